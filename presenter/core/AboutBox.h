// The plain about box of the program (not the skinned About of the menu): the program's name and
// version, a copyright line and OK. Linux has no window-menu item for it, so the desktop entry's
// "About Beamora" action opens it (`beamora --about`).
#pragma once

#include <QDialog>

namespace beamora {

class AboutBox : public QDialog {
  public:
    explicit AboutBox(QWidget* parent = nullptr);
};

}  // namespace beamora
