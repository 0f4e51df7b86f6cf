#include "presenter/controls/ServerListPanel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTreeWidget>

#include "presenter/core/Resources.h"

namespace beamora {
namespace {

constexpr int kTitle = 46;
constexpr int kSubtitle = 47;
constexpr int kOkCaption = 64;
constexpr int kCancelCaption = 65;

}  // namespace

ServerListPanel::ServerListPanel(const Resources& resources, QWidget* parent)
    : SkinnedPanel(resources, resources.skin().server_list.deck, QLX_SELPROJECTOR_DECK_SERVERLIST_X,
                   kPanelFonts, parent),
      list_(new QTreeWidget(this)) {
    const ServerListPanelPictures& pictures = resources.skin().server_list;
    setWindowTitle(Text(kTitle));
    AddText(Text(kTitle), 0, kTitleColour, QLX_SELPROJECTOR_TEXT_TITLE_X);
    AddText(Text(kSubtitle), 1, 0xFF000000, QLX_SELPROJECTOR_TEXT_SUBTITLE_X);
    AddButton(kButtonClose, pictures.exit2, QLX_SELPROJECTOR_BUTTON_EXIT2_X);
    AddButton(kButtonOk, pictures.button, QLX_SELPROJECTOR_BUTTON_OK_X, Text(kOkCaption),
              QLX_SELPROJECTOR_TEXT_BUTTON_OK_X);
    AddButton(kButtonCancel, pictures.button, QLX_SELPROJECTOR_BUTTON_CANCEL_X,
              Text(kCancelCaption), QLX_SELPROJECTOR_TEXT_BUTTON_CANCEL_X);

    list_->setObjectName(QStringLiteral("ServerList"));
    list_->setColumnCount(2);
    list_->setHeaderLabels({QStringLiteral("IP Address"), QStringLiteral("Device Name")});
    list_->setColumnWidth(0, kAddressColumnWidth);
    list_->setColumnWidth(1, kNameColumnWidth);
    list_->header()->setStretchLastSection(false);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // The two columns fill the list; a long name is elided rather than scrolled to.
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setFont(Font(1));
    // A light blue list on the panel's face.
    QPalette colours = list_->palette();
    colours.setColor(QPalette::Base, QColor(219, 236, 255));
    list_->setPalette(colours);
    list_->setGeometry(Pos(QLX_SELPROJECTOR_LISTBOX_X), Pos(QLX_SELPROJECTOR_LISTBOX_Y), kListWidth,
                       kListHeight);
    list_->installEventFilter(this);
    list_->viewport()->installEventFilter(this);
    list_->setFocus();
}

void ServerListPanel::AddEntry(const QString& address, const QString& name) {
    new QTreeWidgetItem(list_, {address, name});  // owned by the list
}

void ServerListPanel::ButtonClicked(int id) {
    if (id == kButtonOk) {
        chosen_ = -1;
        for (int row = 0; row < list_->topLevelItemCount(); ++row) {
            if (list_->topLevelItem(row)->isSelected()) {
                chosen_ = row;
                break;
            }
        }
    }
    SkinnedPanel::ButtonClicked(id);
}

bool ServerListPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        // A double click picks the row under the pointer; on empty space, none.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        QTreeWidgetItem* item = list_->itemAt(mouse->position().toPoint());
        list_->clearSelection();
        if (item != nullptr) item->setSelected(true);
        chosen_ = item != nullptr ? list_->indexOfTopLevelItem(item) : -1;
        done(kResultOk);
        return true;
    }
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        // Enter and Escape are the panel's, not the list's.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
            keyPressEvent(static_cast<QKeyEvent*>(event));
            return true;
        }
    }
    return SkinnedPanel::eventFilter(watched, event);
}

}  // namespace beamora
