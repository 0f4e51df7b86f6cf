#include "presenter/controls/Picture.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <new>

#include "presenter/controls/StandardMessage.h"

namespace beamora {

CPicture::~CPicture() {
    Release();
}

void CPicture::Release() {
    image_ = QImage();
    height_ = 0;
    length_ = 0;
    width_ = 0;
}

bool CPicture::Load(const QString& path) {
    Release();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;

    const int64_t size = file.size();
    QByteArray bytes;
    if (size < 0 || size > kPictureMaxFileBytes) {
        ShowStandardMessage(kPictureErrorCaption, kPictureNoMemoryText);
    } else {
        try {
            bytes.resize(static_cast<qsizetype>(size));
        } catch (const std::bad_alloc&) {
            bytes.clear();
            ShowStandardMessage(kPictureErrorCaption, kPictureNoMemoryText);
        }
    }
    bool made = false;
    if (bytes.size() == size && file.read(bytes.data(), size) == size) {
        made = LoadFromBytes(bytes);
    }
    length_ = static_cast<int32_t>(size < 0 ? 0 : std::min<int64_t>(size, INT32_MAX));
    return made;
}

namespace {

uint32_t Little32(const QByteArray& bytes, int at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
}

}  // namespace

bool BitmapCutShort(const QByteArray& bytes) {
    // File header (14 bytes) and the info header's size, width, height, planes and depth.
    constexpr int kHeaders = 14 + 16;
    if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M') return false;
    if (bytes.size() < kHeaders) return true;
    const uint32_t pixels_at = Little32(bytes, 10);
    const int64_t width = static_cast<int32_t>(Little32(bytes, 18));
    const int64_t height = static_cast<int32_t>(Little32(bytes, 22));
    const int64_t depth = static_cast<uint8_t>(bytes[28]) | static_cast<uint8_t>(bytes[29]) << 8;
    const uint32_t compression = bytes.size() >= 34 ? Little32(bytes, 30) : 0;
    // Compressed pixels have no fixed size; their decoder checks them.
    if (compression != 0 && compression != 3) return false;
    const int64_t row_bytes = (std::abs(width) * depth + 31) / 32 * 4;
    return static_cast<int64_t>(bytes.size()) < int64_t{pixels_at} + row_bytes * std::abs(height);
}

bool CPicture::LoadFromBytes(const QByteArray& bytes) {
    image_ = QImage();
    width_ = 0;
    height_ = 0;
    // A bitmap whose pixels end early is not a whole picture, however much of it would decode.
    if (BitmapCutShort(bytes)) return false;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    QImage image;
    if (!reader.read(&image)) {
        if (reader.error() == QImageReader::UnsupportedFormatError) {
            ShowStandardMessage(kPictureErrorCaption, kPictureNotSupportedText);
        }
        return false;
    }
    // The pixel size is the image's own, whatever the screen's resolution.
    image_ = std::move(image);
    width_ = image_.width();
    height_ = image_.height();
    return true;
}

int CPicture::Draw(QPainter* painter, int x, int y, int width, int height, int width_factor,
                   int height_factor) const {
    if (painter == nullptr || image_.isNull()) return 0;
    if (!painter->isActive()) {
        ShowStandardMessage(kPictureErrorCaption, kPictureNoMemoryText);
        return 0;
    }
    const QRect target(x, y, width + width_ * width_factor, height + height_ * height_factor);
    if (target.width() == image_.width() && target.height() == image_.height()) {
        painter->drawImage(QPoint(x, y), image_);
    } else {
        painter->drawImage(target, image_);
    }
    return 1;
}

}  // namespace beamora
