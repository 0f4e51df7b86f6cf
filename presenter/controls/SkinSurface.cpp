#include "presenter/controls/SkinSurface.h"

#include <QFontMetrics>
#include <QPainter>

#include "presenter/controls/Picture.h"

namespace beamora {

void SkinSurface::Reset(QSize size) {
    buffer_ = QImage(size, QImage::Format_RGB32);
    buffer_.fill(Qt::black);
    texts_.clear();
}

QRect SkinSurface::DrawPicture(const CPicture& picture, int x, int y) {
    if (buffer_.isNull() || !picture.IsLoaded()) return QRect();
    QPainter painter(&buffer_);
    if (!picture.Draw(&painter, x, y, picture.Width(), picture.Height())) return QRect();
    return QRect(x, y, picture.Width(), picture.Height());
}

QRect SkinSurface::TextRect(const Text& text) {
    if (text.text.isEmpty()) return QRect();
    const QFontMetrics metrics(text.font);
    // The painted glyphs may reach past the advance (italics, bearings): a margin covers them.
    const int width = metrics.horizontalAdvance(text.text);
    const int left = text.align == TextAlign::kTopCentre ? text.x - width / 2 : text.x;
    return QRect(left, text.y, width, metrics.height()).adjusted(-2, -1, 2, 1);
}

QRect SkinSurface::SetText(int slot, const Text& text) {
    QRect dirty = TextRect(text);
    auto found = texts_.find(slot);
    if (found != texts_.end()) {
        dirty |= TextRect(found->second);
        found->second = text;
    } else {
        texts_.emplace(slot, text);
    }
    return dirty;
}

QRect SkinSurface::ClearText(int slot) {
    auto found = texts_.find(slot);
    if (found == texts_.end()) return QRect();
    const QRect dirty = TextRect(found->second);
    texts_.erase(found);
    return dirty;
}

QRect SkinSurface::ClearTexts() {
    QRect dirty;
    for (const auto& [slot, text] : texts_) dirty |= TextRect(text);
    texts_.clear();
    return dirty;
}

const SkinSurface::Text* SkinSurface::TextAt(int slot) const {
    auto found = texts_.find(slot);
    return found == texts_.end() ? nullptr : &found->second;
}

void SkinSurface::Paint(QPainter& painter, const QRect& exposed) const {
    if (buffer_.isNull()) return;
    painter.drawImage(exposed.topLeft(), buffer_, exposed);
    painter.setRenderHint(QPainter::TextAntialiasing);
    for (const auto& [slot, text] : texts_) {
        if (!TextRect(text).intersects(exposed)) continue;
        DrawSkinText(painter, text.font, text.colour, text.x, text.y, text.text, text.align);
    }
}

QImage SkinSurface::Composed() const {
    QImage image = buffer_.copy();
    if (image.isNull()) return image;
    QPainter painter(&image);
    Paint(painter, image.rect());
    return image;
}

}  // namespace beamora
