#include "client/capture/CursorShape.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace tarrowlink {
namespace {

// The image fitted into 32 x 32 (nearest pixel when larger), transparent where it has no pixels.
struct FittedImage {
    std::array<uint32_t, kCursorSide * kCursorSide> argb{};
    int hot_x = 0;
    int hot_y = 0;
};

FittedImage Fit(const CursorImage& image) {
    FittedImage fitted;
    if (image.width <= 0 || image.height <= 0 ||
        image.argb.size() < static_cast<size_t>(image.width) * image.height) {
        return fitted;
    }
    int side = std::max(image.width, image.height);
    int scale_num = side > kCursorSide ? kCursorSide : 1;
    int scale_den = side > kCursorSide ? side : 1;
    int w = image.width * scale_num / scale_den;
    int h = image.height * scale_num / scale_den;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int sx = x * scale_den / scale_num;
            int sy = y * scale_den / scale_num;
            fitted.argb[y * kCursorSide + x] =
                image.argb[static_cast<size_t>(sy) * image.width + sx];
        }
    }
    fitted.hot_x = image.hot_x * scale_num / scale_den;
    fitted.hot_y = image.hot_y * scale_num / scale_den;
    return fitted;
}

bool IsMonochrome(const FittedImage& fitted) {
    for (uint32_t p : fitted.argb) {
        uint32_t alpha = p >> 24;
        uint32_t rgb = p & 0xFFFFFF;
        if (alpha == 0 && rgb == 0) continue;
        if (alpha == 0xFF && (rgb == 0 || rgb == 0xFFFFFF)) continue;
        return false;
    }
    return true;
}

void SetBit(uint8_t* mask, int x, int y) {
    mask[y * 4 + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
}

}  // namespace

CursorKind BuildCursorShape(const CursorImage& image, int max_x, int max_y, CursorShape* shape) {
    FittedImage fitted = Fit(image);
    int x = image.x - fitted.hot_x;
    int y = image.y - fitted.hot_y;
    if (x > max_x || y > max_y || x + kCursorSide < 0 || y + kCursorSide < 0) return kCursorOutside;

    int width = x + kCursorSide > max_x ? max_x - x + 1 : kCursorSide;
    int height = y + kCursorSide > max_y ? max_y - y + 1 : kCursorSide;
    if (!image.visible) width = height = 1;
    shape->placement = {{static_cast<int16_t>(width), static_cast<int16_t>(height),
                         static_cast<int16_t>(x), static_cast<int16_t>(y), static_cast<int16_t>(x),
                         static_cast<int16_t>(y)}};

    std::memset(shape->mask, 0, sizeof shape->mask);
    uint8_t* and_mask = shape->mask;
    if (IsMonochrome(fitted)) {
        uint8_t* xor_mask = shape->mask + kCursorMaskBytes / 2;
        for (int row = 0; row < kCursorSide; ++row) {
            for (int col = 0; col < kCursorSide; ++col) {
                uint32_t p = fitted.argb[row * kCursorSide + col];
                if ((p >> 24) == 0) {
                    SetBit(and_mask, col, row);  // transparent: the screen shows through
                } else if ((p & 0xFFFFFF) != 0) {
                    SetBit(xor_mask, col, row);  // white
                }
            }
        }
        return kCursorMonochrome;
    }
    // Colour: the pixels drawn over black (they are premultiplied already), and an AND mask that
    // lets the screen show through where the pointer is mostly transparent.
    std::memset(shape->pixels, 0, sizeof shape->pixels);
    for (int row = 0; row < kCursorSide; ++row) {
        uint8_t* out = shape->pixels + (kCursorSide - 1 - row) * kCursorSide * 4;
        for (int col = 0; col < kCursorSide; ++col) {
            uint32_t p = fitted.argb[row * kCursorSide + col];
            if ((p >> 24) < 0x80) SetBit(and_mask, col, row);
            out[col * 4 + 0] = static_cast<uint8_t>(p);
            out[col * 4 + 1] = static_cast<uint8_t>(p >> 8);
            out[col * 4 + 2] = static_cast<uint8_t>(p >> 16);
            out[col * 4 + 3] = 0;
        }
    }
    return kCursorColour;
}

}  // namespace tarrowlink
