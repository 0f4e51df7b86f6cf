// A skinned window's face: a back buffer holding every picture drawn so far, and the texts laid
// over it. Pictures are drawn into the buffer (they stay until drawn over); texts are kept by
// slot and drawn on top each time the window paints, so a text is replaced, never smeared over
// itself. The window's paintEvent calls Paint; nothing else paints the window.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <map>

#include "presenter/controls/SkinText.h"

class QPainter;

namespace beamora {

class CPicture;

class SkinSurface {
  public:
    // One text over the face, drawn as DrawSkinText draws it.
    struct Text {
        QFont font;
        QColor colour;
        int x = 0;
        int y = 0;
        QString text;
        TextAlign align = TextAlign::kTopLeft;
    };

    // Makes the buffer `size` pixels (cleared to black) and drops every text.
    void Reset(QSize size);
    bool IsMade() const { return !buffer_.isNull(); }

    // Draws `picture` unscaled with its top-left corner at (x, y). Returns the rectangle that
    // changed (empty when nothing was drawn), for the window to repaint.
    QRect DrawPicture(const CPicture& picture, int x, int y);

    // Sets or replaces the text of `slot`; returns the rectangle to repaint (old and new text).
    QRect SetText(int slot, const Text& text);
    // Removes the text of `slot`; returns the rectangle it covered.
    QRect ClearText(int slot);
    // Removes every text; returns the rectangle they covered.
    QRect ClearTexts();
    const Text* TextAt(int slot) const;

    // Paints the face within `exposed`: the buffer, then the texts. User interface thread.
    void Paint(QPainter& painter, const QRect& exposed) const;

    // The face as the window shows it (buffer and texts), for tests and screenshots.
    QImage Composed() const;
    const QImage& Buffer() const { return buffer_; }

  private:
    static QRect TextRect(const Text& text);

    QImage buffer_;
    std::map<int, Text> texts_;
};

}  // namespace beamora
