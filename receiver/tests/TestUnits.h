// Builds data-stream units the way a presenter does (LZO1X-1 compressed strips and cursors) and
// keeps a reference picture to compare the receiver's decoding with.
#pragma once

#include <lzo/lzo1x.h>

#include <cstdint>
#include <vector>

#include "receiver/CaptureGeometry.h"
#include "receiver/Picture.h"
#include "receiver/UnitParser.h"

namespace receiver::test {

using Bytes = std::vector<uint8_t>;

inline void PutBe16(Bytes& out, int value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

inline void PutBe32(Bytes& out, uint32_t value) {
    PutBe16(out, static_cast<int>(value >> 16));
    PutBe16(out, static_cast<int>(value & 0xFFFF));
}

inline Bytes Lzo(const Bytes& raw) {
    static const bool ready = lzo_init() == LZO_E_OK;
    (void)ready;
    std::vector<uint8_t> work(LZO1X_1_MEM_COMPRESS);
    Bytes out(raw.size() + raw.size() / 16 + 64 + 3);
    lzo_uint length = 0;
    lzo1x_1_compress(raw.data(), raw.size(), out.data(), &length, work.data());
    out.resize(length);
    return out;
}

// A strip unit with the given header and data (compressed_length = data size unless given).
inline Bytes StripUnit(int x, int y, int width, int height, const Bytes& data,
                       int64_t compressed_length = -1) {
    Bytes unit;
    PutBe16(unit, x);
    PutBe16(unit, y);
    PutBe16(unit, width);
    PutBe16(unit, height);
    PutBe32(unit, kUnitStrip);
    PutBe32(unit, static_cast<uint32_t>(compressed_length < 0 ? data.size() : compressed_length));
    unit.insert(unit.end(), data.begin(), data.end());
    return unit;
}

inline Bytes CursorHeader(uint32_t kind, int x, int y_field, int width, int height, int length) {
    Bytes unit;
    PutBe16(unit, x & 0xFFFF);
    PutBe16(unit, y_field & 0xFFFF);
    PutBe16(unit, width);
    PutBe16(unit, height);
    PutBe32(unit, kind);
    PutBe16(unit, x < 0 ? -x : 0);
    PutBe16(unit, 0);
    PutBe16(unit, length);
    return unit;
}

// The 0xFFRRGGBB value a receiver shows for rgb after the trip through the wire depth.
inline uint32_t Quantize(uint32_t rgb, int bits_per_pixel) {
    if (bits_per_pixel != 16) return 0xFF000000u | (rgb & 0xFFFFFF);
    uint32_t r = (rgb >> 19) & 0x1F, g = (rgb >> 10) & 0x3F, b = (rgb >> 3) & 0x1F;
    return 0xFF000000u | ((r << 3) | (r >> 2)) << 16 | ((g << 2) | (g >> 4)) << 8 |
           ((b << 3) | (b >> 2));
}

inline void AppendPixel(Bytes& out, uint32_t rgb, int bits_per_pixel) {
    uint8_t r = rgb >> 16, g = rgb >> 8, b = rgb;
    if (bits_per_pixel == 16) {
        uint16_t v = static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
        return;
    }
    out.push_back(b);
    out.push_back(g);
    out.push_back(r);
    if (bits_per_pixel == 32) out.push_back(0xFF);
}

// A presenter's screen content: a top-down 0x00RRGGBB image of the capture size with patterns
// that LZO1X-1 compresses.
struct Screen {
    int width;
    int height;
    std::vector<uint32_t> pixels;

    Screen(int w, int h, uint32_t seed) : width(w), height(h), pixels(static_cast<size_t>(w) * h) {
        // Seven colours in a pattern that repeats every 21 columns and shifts every 2 rows, so
        // that LZO1X-1 compresses it while neighbouring pixels still differ.
        static const uint32_t kPalette[7] = {0x102030, 0xF0E0D0, 0x33CC66, 0xCC3366,
                                             0x6633CC, 0xFFFF00, 0x00FFFF};
        for (int row = 0; row < h; ++row) {
            for (int x = 0; x < w; ++x) {
                pixels[static_cast<size_t>(row) * w + x] = kPalette[(x / 3 + row / 2 + seed) % 7];
            }
        }
    }
    uint32_t At(int x, int row) const { return pixels[static_cast<size_t>(row) * width + x]; }
};

// The strips a presenter sends for the rectangle [x0, x1) x [y0, y1) (rows from the bottom):
// bands of rows_per_strip rows from the bottom up, the last one shorter.
inline Bytes EncodeRectangle(const Screen& screen, int bits_per_pixel, int x0, int y0, int x1,
                             int y1, int rows_per_strip, int* strips = nullptr) {
    Bytes stream;
    int count = 0;
    for (int y = y0; y < y1; y += rows_per_strip) {
        int rows = std::min(rows_per_strip, y1 - y);
        Bytes raw;
        for (int r = 0; r < rows; ++r) {
            int row = screen.height - 1 - (y + r);
            for (int x = x0; x < x1; ++x) AppendPixel(raw, screen.At(x, row), bits_per_pixel);
        }
        Bytes unit = StripUnit(x0, y, x1 - x0, rows, Lzo(raw));
        stream.insert(stream.end(), unit.begin(), unit.end());
        ++count;
    }
    if (strips != nullptr) *strips = count;
    return stream;
}

inline CaptureGeometry Geometry(int width, int height, int bits_per_pixel) {
    return CaptureGeometry{width, height, width, height, bits_per_pixel};
}

}  // namespace receiver::test
