#include "presenter/controls/LoginCodePanel.h"

#include <QLineEdit>
#include <QRegularExpressionValidator>

#include "presenter/core/Resources.h"

namespace beamora {
namespace {

constexpr int kTitle = 49;
constexpr int kSubtitle = 50;
constexpr int kText = 51;
constexpr int kOkCaption = 64;
constexpr int kCancelCaption = 65;

}  // namespace

LoginCodePanel::LoginCodePanel(const Resources& resources, QWidget* parent)
    : SkinnedPanel(resources, resources.skin().login.deck, QLX_LOGIN_DECK_LOGINCODE_X, kPanelFonts,
                   parent),
      edit_(new QLineEdit(this)) {
    const LoginPanelPictures& pictures = resources.skin().login;
    setWindowTitle(Text(kTitle));
    AddText(Text(kTitle), 0, kTitleColour, QLX_LOGIN_TEXT_TITLE_X);
    AddText(Text(kSubtitle), 1, 0xFF000000, QLX_LOGIN_TEXT_SUBTITLE_X);
    AddText(Text(kText), 3, 0xFF000000, QLX_LOGIN_TEXT_TEXT_X);
    PutPicture(pictures.icon, QLX_LOGIN_ICON_INFORMATION_X);
    AddButton(kButtonClose, pictures.exit2, QLX_LOGIN_BUTTON_EXIT2_X);
    AddButton(kButtonOk, pictures.button, QLX_LOGIN_BUTTON_OK_X, Text(kOkCaption),
              QLX_LOGIN_TEXT_BUTTON_OK_X);
    AddButton(kButtonCancel, pictures.button, QLX_LOGIN_BUTTON_CANCEL_X, Text(kCancelCaption),
              QLX_LOGIN_TEXT_BUTTON_CANCEL_X);

    // Receivers' codes are digits: a letter would become a code the user did not type.
    edit_->setObjectName(QStringLiteral("LoginCode"));
    edit_->setMaxLength(kMaxCodeLength);
    edit_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,4}")), edit_));
    edit_->setAlignment(Qt::AlignCenter);
    edit_->setFont(Font(0));
    edit_->setGeometry(Pos(QLX_LOGIN_EDITBOX_X), Pos(QLX_LOGIN_EDITBOX_Y), kEditWidth, kEditHeight);
    connect(edit_, &QLineEdit::returnPressed, this, [this] { ButtonClicked(kButtonOk); });
    edit_->setFocus();
}

void LoginCodePanel::ButtonClicked(int id) {
    if (id == kButtonOk) code_ = edit_->text().left(kMaxCodeLength);
    SkinnedPanel::ButtonClicked(id);
}

}  // namespace beamora
