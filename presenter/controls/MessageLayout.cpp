#include "presenter/controls/MessageLayout.h"

#include <QFont>
#include <QFontMetricsF>
#include <cmath>

namespace beamora {
namespace {

constexpr QChar kFullWidthComma(0xFF0C);
constexpr int kSpaceExtra = 3;  // pixels added after every space

bool IsAsciiLetter(QChar c) {
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
}

// Every character on its own: a line ends at a line feed or where the pen passed the limit.
std::vector<TextPiece> LayoutByCharacter(const QString& text, int style, const CharMetrics& metrics,
                                         int line_height) {
    std::vector<TextPiece> pieces;
    qreal x = 0;
    int y = 0;
    for (QChar c : text) {
        const CharWidths w = metrics(c);
        // The full-width comma is drawn before its leading space is counted, so that it sits
        // against the character before it.
        if (c != kFullWidthComma) x += w.a;
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) {
            pieces.push_back({QString(c), static_cast<int>(std::lround(x)), y});
        }
        if (c == kFullWidthComma) x += w.a;
        x += w.b + w.c;
        if (c == QLatin1Char(' ')) x += kSpaceExtra;
        const bool full = style == kStyleInformation ? x > 330 : x >= 256;
        if (c == QLatin1Char('\n') || full) {
            y += line_height;
            x = 0;
        }
    }
    return pieces;
}

// Words, each with the space that ends it, wrapped before a word would reach the limit. The last
// word wraps by the same rule (else it would run out of the panel); only a word longer than a
// whole line stays where it is.
std::vector<TextPiece> LayoutByWord(const QString& text, const CharMetrics& metrics,
                                    int line_height) {
    constexpr int kLimit = 256;
    std::vector<TextPiece> pieces;
    qreal line_x = 0;
    int y = 0;
    qreal word_width = 0;
    qsizetype start = 0;
    qsizetype length = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char(' ')) {
            const CharWidths w = metrics(c);
            word_width += w.a + w.b + w.c;
            ++length;
            continue;
        }
        if (word_width + line_x + kSpaceExtra >= kLimit) {
            y += line_height;
            line_x = 0;
        }
        // A piece of one character here is a space that follows a space: it adds its extra.
        // (A one-letter first word is a word like any other and stays at the line's start.)
        if (length == 1 && word_width == 0) line_x += kSpaceExtra;
        pieces.push_back({text.mid(start, length), static_cast<int>(std::lround(line_x)), y});
        line_x += word_width + kSpaceExtra;
        word_width = 0;
        // The next piece starts after this space and, counted with it, ends with its own space.
        start = i + 1;
        length = 1;
    }
    if (start < text.size()) {
        if (line_x > 0 && word_width + line_x + kSpaceExtra >= kLimit) {
            y += line_height;
            line_x = 0;
        }
        pieces.push_back({text.mid(start), static_cast<int>(std::lround(line_x)), y});
    }
    return pieces;
}

}  // namespace

int MessageTextOffset(int style) {
    return style == kStyleInformation ? 0 : 70;
}

std::vector<TextPiece> LayoutMessageBody(const QString& text, int style, const CharMetrics& metrics,
                                         int line_height) {
    if (style != kStyleInformation && !text.isEmpty() && IsAsciiLetter(text.at(0))) {
        return LayoutByWord(text, metrics, line_height);
    }
    return LayoutByCharacter(text, style, metrics, line_height);
}

CharMetrics FontCharMetrics(const QFont& font) {
    return [metrics = QFontMetricsF(font)](QChar c) {
        const qreal a = metrics.leftBearing(c);
        const qreal c_width = metrics.rightBearing(c);
        return CharWidths{a, metrics.horizontalAdvance(c) - a - c_width, c_width};
    };
}

}  // namespace beamora
