#include "presenter/controls/SkinText.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace beamora {

namespace {

// Stretches `font` so that its average character is `width_px` wide.
void StretchToWidth(QFont& font, int width_px) {
    font.setStretch(QFont::Unstretched);
    const qreal natural = QFontMetricsF(font).averageCharWidth();
    if (natural > 0) {
        const int stretch = static_cast<int>(std::lround(100.0 * width_px / natural));
        font.setStretch(std::clamp(stretch, 1, 4000));
    }
}

}  // namespace

QFont MakeSkinFont(int height_px, int width_px, int weight, const QString& face) {
    QFont font;
    if (!face.isEmpty()) font.setFamilies({face});
    font.setPixelSize(std::max(1, height_px));
    font.setWeight(weight >= 600 ? QFont::Bold : QFont::Normal);
    // Antialiased outlines, as with a TrueType font on the original.
    font.setStyleStrategy(QFont::PreferOutline);
    if (width_px > 0) StretchToWidth(font, width_px);
    return font;
}

void FitFontToCell(QFont& font, int cell_px) {
    const int cell = std::max(1, cell_px);
    for (int size = cell; size >= 1; --size) {
        font.setPixelSize(size);
        const QFontMetrics metrics(font);
        if (metrics.ascent() + metrics.descent() <= cell) return;
    }
}

QFont MakeCellFont(int cell_px, int weight, const QString& face, int width_px) {
    QFont font = MakeSkinFont(cell_px, 0, weight, face);
    FitFontToCell(font, cell_px);
    if (width_px > 0) StretchToWidth(font, width_px);
    return font;
}

void DrawSkinText(QPainter& painter, const QFont& font, const QColor& colour, int x, int y,
                  const QString& text, TextAlign align) {
    if (text.isEmpty()) return;
    painter.save();
    painter.setFont(font);
    painter.setPen(colour);
    painter.setBackgroundMode(Qt::TransparentMode);
    const QFontMetrics metrics(font);
    int left = x;
    if (align == TextAlign::kTopCentre) left = x - metrics.horizontalAdvance(text) / 2;
    painter.drawText(QPoint(left, y + metrics.ascent()), text);
    painter.restore();
}

QSize MeasureSkinText(const QFont& font, const QString& text) {
    const QFontMetrics metrics(font);
    return QSize(metrics.horizontalAdvance(text), metrics.height());
}

QString SkinString(std::u16string_view units) {
    const size_t end = std::min(units.find(u'\0'), units.size());
    return QString::fromUtf16(units.data(), static_cast<qsizetype>(end));
}

}  // namespace beamora
