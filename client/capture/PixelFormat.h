// The pixel format record handed to the frame encoder: what the capture surface holds and what the
// receiver asked for. Only the bits per pixel drive the encoder; the other fields travel unchanged.
#pragma once

#include <cstdint>

namespace tarrowlink {

struct PixelFormat {
    int32_t bitsPerPixel = 0;
    int32_t reserved[2] = {0, 0};  // always 0
    int32_t redMax = 0;
    int32_t greenMax = 0;
    int32_t blueMax = 0;
    int32_t redShift = 0;  // channel values: bit shifts in the 16-bit record, 8 in the others
    int32_t greenShift = 0;
    int32_t blueShift = 0;
};
static_assert(sizeof(PixelFormat) == 9 * sizeof(int32_t), "nine int32, bits per pixel first");

// The capture surface: 32 bits per pixel, bytes blue, green, red, unused.
constexpr PixelFormat kCapturePixelFormat{32, {0, 0}, 255, 255, 255, 8, 8, 8};
// The receiver's 16-bit 5-6-5 format.
constexpr PixelFormat kWirePixelFormat16{16, {0, 0}, 31, 63, 31, 11, 5, 0};
// The receiver's packed 24-bit format: bytes blue, green, red.
constexpr PixelFormat kWirePixelFormat24{24, {0, 0}, 255, 255, 255, 8, 8, 8};

// The wire format for a receiver depth: 16 and 24 have records of their own, any other depth gets
// a copy of the capture record (the encoder accepts only 16, 24 and 32).
constexpr PixelFormat WirePixelFormatFor(int32_t bits_per_pixel) {
    if (bits_per_pixel == 16) return kWirePixelFormat16;
    if (bits_per_pixel == 24) return kWirePixelFormat24;
    return kCapturePixelFormat;
}

}  // namespace tarrowlink
