#include "presenter/controls/MessagePanel.h"

#include <QFontMetrics>

#include "presenter/core/Resources.h"

namespace beamora {

MessagePanel::MessagePanel(const Resources& resources, QWidget* parent)
    : SkinnedPanel(resources, resources.skin().message.deck, QLX_MESSAGEBOX_DECK_LOGINCODE_X,
                   kMessageFonts, parent),
      resources_(resources) {}

QPoint MessagePanel::BodyOrigin() const {
    return QPoint(Pos(QLX_MESSAGEBOX_TEXT_SUBTITLE_X) + MessageTextOffset(style_),
                  Pos(QLX_MESSAGEBOX_TEXT_SUBTITLE_Y));
}

void MessagePanel::SetTexts(const QString& title, const QString& body, const QString& caption,
                            int style) {
    style_ = style;
    const MessagePanelPictures& pictures = resources_.skin().message;
    setWindowTitle(title);  // what the taskbar and window lists show
    AddText(title, 0, kTitleColour, QLX_MESSAGEBOX_TEXT_TITLE_X);
    const QFont& font = Font(1);
    pieces_ = LayoutMessageBody(body, style, FontCharMetrics(font), QFontMetrics(font).height());
    const QPoint origin = BodyOrigin();
    int slot = 1000;  // past the fixed texts' slots
    for (const TextPiece& piece : pieces_) {
        surface_.SetText(slot++, {font, Qt::black, origin.x() + piece.x, origin.y() + piece.y,
                                  piece.text, TextAlign::kTopLeft});
    }
    const CPicture* icon = style == kStyleError      ? &pictures.icon_error
                           : style == kStyleQuestion ? &pictures.icon_question
                           : style == kStyleWarning  ? &pictures.icon_warning
                                                     : nullptr;
    if (icon != nullptr) PutPicture(*icon, QLX_MESSAGEBOX_ICON_INFORMATION_X);
    AddButton(kButtonClose, pictures.exit2, QLX_MESSAGEBOX_BUTTON_EXIT2_X);
    AddButton(kButtonOk, pictures.button, QLX_MESSAGEBOX_BUTTON_OK_X, caption,
              QLX_MESSAGEBOX_TEXT_BUTTON_OK_X);
}

int ShowMessagePanel(const Resources& resources, QWidget* parent, const QString& title,
                     const QString& body, const QString& caption, int style) {
    MessagePanel panel(resources, parent);
    panel.SetTexts(title, body, caption, style);
    return panel.exec();
}

}  // namespace beamora
