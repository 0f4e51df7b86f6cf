// The panel in which the user picks the receiver to present on, from those a search heard: a
// list of addresses and names, OK, Cancel and close. Every receiver added is listed (the list
// scrolls); OK gives the first selected row, a double click the row under the pointer.
#pragma once

#include <QString>

#include "presenter/controls/SkinnedPanel.h"

class QTreeWidget;

namespace beamora {

class ServerListPanel : public SkinnedPanel {
  public:
    // The list control's size in pixels, and its two columns' widths.
    static constexpr int kListWidth = 318;
    static constexpr int kListHeight = 98;
    static constexpr int kAddressColumnWidth = 120;
    static constexpr int kNameColumnWidth = 190;

    explicit ServerListPanel(const Resources& resources, QWidget* parent = nullptr);

    // Appends a receiver; row i is the i-th receiver added. Before the panel is shown.
    void AddEntry(const QString& address, const QString& name);
    // After OK (or a double click): the chosen row, -1 when none was selected.
    int ChosenIndex() const { return chosen_; }

    QTreeWidget* list() const { return list_; }

  protected:
    void ButtonClicked(int id) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QTreeWidget* list_;  // owned by the panel (a child widget)
    int chosen_ = -1;
};

}  // namespace beamora
