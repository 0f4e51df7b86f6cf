// How the message panel lays out its body text: character by character (plain texts, and texts
// that do not begin with a Latin letter) or word by word (Latin texts of the icon styles), in
// lines of a fixed width. Pure: the character widths come from the caller.
#pragma once

#include <QChar>
#include <QFont>
#include <QString>
#include <functional>
#include <vector>

namespace beamora {

// Message styles.
enum MessageStyle : int {
    kStyleError = 229,
    kStyleInformation = 230,
    kStyleQuestion = 231,
    kStyleWarning = 232,
};

// A character's widths in pixels: the space before its glyph (a), the glyph (b) and the space
// after it (c); a + b + c is its advance. Fractions count: the pieces are placed where the glyphs
// drawn before them end.
struct CharWidths {
    qreal a = 0;
    qreal b = 0;
    qreal c = 0;
};
using CharMetrics = std::function<CharWidths(QChar)>;

// One piece of the body drawn as one string, its top-left corner relative to the body's origin.
struct TextPiece {
    QString text;
    int x = 0;
    int y = 0;
    bool operator==(const TextPiece&) const = default;
};

// Where the body starts right of the text origin: 0 for the information style (no icon), 70 for
// the others.
int MessageTextOffset(int style);

// Lays `text` out for `style` with lines `line_height` pixels apart.
std::vector<TextPiece> LayoutMessageBody(const QString& text, int style, const CharMetrics& metrics,
                                         int line_height);

// The widths of `font`'s characters as it draws them (Qt's bearings and advance, unrounded).
CharMetrics FontCharMetrics(const QFont& font);

}  // namespace beamora
