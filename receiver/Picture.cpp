#include "receiver/Picture.h"

#include <algorithm>

namespace receiver {
namespace {

constexpr uint32_t kOpaque = 0xFF000000u;

uint32_t From565(const uint8_t* p) {
    uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
    uint32_t r = (v >> 11) & 0x1F;
    uint32_t g = (v >> 5) & 0x3F;
    uint32_t b = v & 0x1F;
    r = (r << 3) | (r >> 2);
    g = (g << 2) | (g >> 4);
    b = (b << 3) | (b >> 2);
    return kOpaque | r << 16 | g << 8 | b;
}

// Blue, green, red byte order for 24 and 32 bits per pixel.
uint32_t FromBgr(const uint8_t* p) {
    return kOpaque | static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
}

bool MaskBit(const std::array<uint8_t, kCursorMaskBytes>& mask, int column, int row) {
    return (mask[row * (kCursorSide / 8) + column / 8] >> (7 - column % 8)) & 1;
}

}  // namespace

Picture::Picture(const CaptureGeometry& geometry) {
    Reset(geometry);
}

void Picture::Reset(const CaptureGeometry& geometry) {
    geometry_ = geometry;
    pixels_.assign(static_cast<size_t>(geometry.capture_width) * geometry.capture_height, kOpaque);
    has_cursor_ = false;
    ++version_;
}

void Picture::WriteStrip(int x, int y, int width, int height, const uint8_t* raw) {
    const int bytes_per_pixel = geometry_.BytesPerPixel();
    for (int r = 0; r < height; ++r) {
        // Row r of the strip is row y + r from the bottom of the surface.
        int row = geometry_.capture_height - 1 - (y + r);
        uint32_t* out = &pixels_[static_cast<size_t>(row) * geometry_.capture_width + x];
        const uint8_t* in = raw + static_cast<size_t>(r) * width * bytes_per_pixel;
        switch (bytes_per_pixel) {
            case 2:
                for (int c = 0; c < width; ++c) out[c] = From565(in + 2 * c);
                break;
            case 3:
                for (int c = 0; c < width; ++c) out[c] = FromBgr(in + 3 * c);
                break;
            default:
                for (int c = 0; c < width; ++c) out[c] = FromBgr(in + 4 * c);
                break;
        }
    }
    ++version_;
}

void Picture::SetCursor(const CursorShape& cursor) {
    cursor_ = cursor;
    has_cursor_ = true;
    ++version_;
}

ComposedImage Picture::Compose() const {
    ComposedImage image;
    image.width = geometry_.visible_width;
    image.height = geometry_.visible_height;
    image.pixels.resize(static_cast<size_t>(image.width) * image.height);
    for (int row = 0; row < image.height; ++row) {
        std::copy_n(&pixels_[static_cast<size_t>(row) * geometry_.capture_width], image.width,
                    &image.pixels[static_cast<size_t>(row) * image.width]);
    }
    if (!has_cursor_ || cursor_.Hidden()) return image;
    // The cursor is applied as (screen AND mask) XOR image, clipped to the visible part.
    for (int r = 0; r < std::min(cursor_.height, kCursorSide); ++r) {
        int row = cursor_.top + r;
        if (row < 0 || row >= image.height) continue;
        for (int c = 0; c < std::min(cursor_.width, kCursorSide); ++c) {
            int column = cursor_.x + c;
            if (column < 0 || column >= image.width) continue;
            uint32_t& pixel = image.pixels[static_cast<size_t>(row) * image.width + column];
            uint32_t keep = MaskBit(cursor_.and_mask, c, r) ? 0x00FFFFFFu : 0u;
            uint32_t flip = cursor_.colour
                                ? cursor_.colour_pixels[r * kCursorSide + c] & 0x00FFFFFFu
                                : (MaskBit(cursor_.xor_mask, c, r) ? 0x00FFFFFFu : 0u);
            pixel = kOpaque | ((pixel & keep) ^ flip);
        }
    }
    return image;
}

}  // namespace receiver
