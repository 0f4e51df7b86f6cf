// The one way the presenter's windows make fonts and draw texts.
//
// A font is asked for by pixel height, optional average character width and weight (0 or 400
// normal, 700 bold) in the system's default face; only the tooltip window names a face. A text is
// drawn in one colour on a transparent background, either from its top-left corner or centred
// horizontally on a point with its top at that point's y.
#pragma once

#include <QColor>
#include <QFont>
#include <QSize>
#include <QString>
#include <cstddef>
#include <string_view>

class QPainter;

namespace beamora {

enum class TextAlign { kTopLeft, kTopCentre };

// A font `height_px` pixels high, in `face` (empty: the default face). `width_px` > 0 stretches the
// font so that its average character is that many pixels wide. Any thread that may use QFont.
QFont MakeSkinFont(int height_px, int width_px, int weight, const QString& face = QString());

// A font whose character cell (ascent plus descent) is at most `cell_px` pixels high, as large as
// that allows, in `face` (empty: the default face). This is how the skin's font heights are meant:
// a pixel size alone names the em height, which comes out taller than the cell.
// `width_px` > 0 then stretches it so that its average character is that many pixels wide.
QFont MakeCellFont(int cell_px, int weight, const QString& face = QString(), int width_px = 0);
// Sets `font`'s pixel size to the largest whose cell fits `cell_px`, keeping its families.
void FitFontToCell(QFont& font, int cell_px);

// Draws `text` with `font` in `colour`, transparent, at (x, y) as `align` says; the text is one
// line, drawn whole and without clipping. User interface thread (painting).
void DrawSkinText(QPainter& painter, const QFont& font, const QColor& colour, int x, int y,
                  const QString& text, TextAlign align);

// Width and height, in pixels, of `text` as one line in `font`.
QSize MeasureSkinText(const QFont& font, const QString& text);

// A zero-terminated text of UTF-16 units as a QString, counted up to its terminator or the end of
// the view, whichever comes first.
QString SkinString(std::u16string_view units);

}  // namespace beamora
