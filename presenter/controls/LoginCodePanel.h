// The panel that asks for a receiver's 4-digit login code: an edit box that takes digits only,
// at most four, with OK (or Enter), Cancel, close and Escape.
#pragma once

#include <QString>

#include "presenter/controls/SkinnedPanel.h"

class QLineEdit;

namespace beamora {

class LoginCodePanel : public SkinnedPanel {
  public:
    static constexpr int kEditWidth = 82;
    static constexpr int kEditHeight = 25;
    static constexpr int kMaxCodeLength = 4;

    explicit LoginCodePanel(const Resources& resources, QWidget* parent = nullptr);

    // The code as typed (at most four digits); read after OK.
    QString Code() const { return code_; }
    QLineEdit* edit() const { return edit_; }

  protected:
    void ButtonClicked(int id) override;

  private:
    QLineEdit* edit_;  // owned by the panel (a child widget)
    QString code_;
};

}  // namespace beamora
