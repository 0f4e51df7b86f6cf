// The presenter's own message box: a title, a body laid out by the message layout rules, an icon
// for the error style and one captioned button (1), plus close and Escape (2).
#pragma once

#include <QString>

#include "presenter/controls/MessageLayout.h"
#include "presenter/controls/SkinnedPanel.h"

namespace beamora {

class MessagePanel : public SkinnedPanel {
  public:
    // The message panel's fonts: 19 bold, a 12-pixel body 6 pixels wide on average, 24 bold and
    // 11 normal.
    static constexpr std::array<FontSpec, 4> kMessageFonts = {
        FontSpec{19, 700, 0}, FontSpec{12, 0, 6}, FontSpec{24, 700, 0}, FontSpec{11, 0, 0}};

    explicit MessagePanel(const Resources& resources, QWidget* parent = nullptr);

    // Sets the texts and the style (kStyleError ... kStyleWarning) before the panel is shown.
    void SetTexts(const QString& title, const QString& body, const QString& caption, int style);

    // The body as laid out (relative to the body's origin), for tests.
    const std::vector<TextPiece>& BodyPieces() const { return pieces_; }
    // The body's origin: the subtitle position moved right by the style's offset.
    QPoint BodyOrigin() const;

  private:
    const Resources& resources_;
    int style_ = kStyleError;
    std::vector<TextPiece> pieces_;
};

// Shows one message modally (title, body, caption, style) over `parent`; returns 1 or 2.
int ShowMessagePanel(const Resources& resources, QWidget* parent, const QString& title,
                     const QString& body, const QString& caption, int style);

}  // namespace beamora
