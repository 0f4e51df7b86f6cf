#include "client/capture/EncoderBase.h"

#include <algorithm>
#include <cstddef>
#include <limits>

#include "client/capture/PixelConvert.h"
#include "client/capture/PixelKernels.h"

namespace tarrowlink {

EncoderBase::~EncoderBase() = default;

void EncoderBase::Reset(int32_t width, int32_t height) {
    m_width = width;
    m_height = height;
    m_sourceFormat = PixelFormat{};
    m_wireFormat = PixelFormat{};
}

int32_t EncoderBase::MaxEncodedSize(int32_t width, int32_t height) {
    int64_t raw = int64_t{m_wireFormat.bitsPerPixel} * width * height / 8 + 12;
    return static_cast<int32_t>(std::clamp<int64_t>(raw, 0, std::numeric_limits<int32_t>::max()));
}

int32_t EncoderBase::ConvertRows16(const uint8_t* source, uint8_t* destination,
                                   const PixelRect& rectangle) {
    return ConvertRowsTo(16, WholeBuffer(source), destination, rectangle);
}

int32_t EncoderBase::Reserved() {
    return 0;
}

int32_t EncoderBase::ConvertRows24(const uint8_t* source, uint8_t* destination,
                                   const PixelRect& rectangle) {
    return ConvertRowsTo(24, WholeBuffer(source), destination, rectangle);
}

int32_t EncoderBase::ConvertRowsOpaque32(const uint8_t* source, uint8_t* destination,
                                         const PixelRect& rectangle) const {
    return ConvertRowsTo(32, WholeBuffer(source), destination, rectangle);
}

int32_t EncoderBase::ConvertRowsTo(int32_t bits_per_pixel, const PixelSource& source,
                                   uint8_t* destination, const PixelRect& rectangle) const {
    static const pixel::ConvertFunction opaque = pixel::UsableConverterSets().front()->toOpaque32;
    switch (bits_per_pixel) {
        case 16:
            return ConvertRows(Convert32To565, 2, source, destination, rectangle);
        case 24:
            return ConvertRows(Convert32To24, 3, source, destination, rectangle);
        case 32:
            return ConvertRows(opaque, 4, source, destination, rectangle);
        default:
            return 0;
    }
}

bool EncoderBase::InsideCapture(const PixelRect& r) const {
    return r.x0 >= 0 && r.x0 < r.x1 && r.x1 <= m_width && r.y0 >= 0 && r.y0 < r.y1 &&
           r.y1 <= m_height;
}

void EncoderBase::PrefetchRows(const PixelSource& source, const PixelRect& rectangle) const {
    if (source.at == nullptr || !InsideCapture(rectangle)) return;
    constexpr size_t kCacheLine = 64;
    const size_t row_bytes = static_cast<size_t>(rectangle.x1 - rectangle.x0) * 4;
    for (int32_t y = rectangle.y0; y < rectangle.y1; ++y) {
        const uint8_t* row = source.Pixel(rectangle.x0, y);
        for (size_t at = 0; at < row_bytes; at += kCacheLine) __builtin_prefetch(row + at, 0, 2);
    }
}

int32_t EncoderBase::ConvertRows(RowConverter convert, int32_t bytes_per_pixel,
                                 const PixelSource& source, uint8_t* destination,
                                 const PixelRect& rectangle) const {
    if (source.at == nullptr || destination == nullptr || !InsideCapture(rectangle)) return 0;
    const int32_t pixels = rectangle.x1 - rectangle.x0;
    const int32_t rows = rectangle.y1 - rectangle.y0;
    const size_t pitch = static_cast<size_t>(pixels) * bytes_per_pixel;
    for (int32_t y = 0; y < rows; ++y, destination += pitch) {
        convert(destination, source.Pixel(rectangle.x0, rectangle.y0 + y), pixels);
    }
    return static_cast<int32_t>(pitch * rows);
}

}  // namespace tarrowlink
