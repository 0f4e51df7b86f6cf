// Plain per-pixel forms of the wire pixel layouts, written straight from their bit layouts, and
// small frame makers: what the converter and encoder tests compare against.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace tarrowlink::test {

enum class Wire { k24, k565, k565Swapped, k555, k555Swapped, kOpaque32 };

inline int BytesPerPixel(Wire form) {
    switch (form) {
        case Wire::k24:
            return 3;
        case Wire::kOpaque32:
            return 4;
        default:
            return 2;
    }
}

// Writes the wire bytes of one source pixel (bytes blue, green, red, unused); returns their count.
inline int WriteReference(Wire form, const uint8_t* pixel, uint8_t* out) {
    const unsigned b = pixel[0], g = pixel[1], r = pixel[2];
    unsigned value = 0;
    switch (form) {
        case Wire::k24:
            out[0] = pixel[0], out[1] = pixel[1], out[2] = pixel[2];
            return 3;
        case Wire::kOpaque32:
            out[0] = pixel[0], out[1] = pixel[1], out[2] = pixel[2], out[3] = 0xFF;
            return 4;
        case Wire::k565:
            value = (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3);
            break;
        case Wire::k565Swapped:
            value = (b >> 3) << 11 | (g >> 2) << 5 | (r >> 3);
            break;
        case Wire::k555:
            value = (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
            break;
        case Wire::k555Swapped:
            value = (b >> 3) << 10 | (g >> 3) << 5 | (r >> 3);
            break;
    }
    out[0] = static_cast<uint8_t>(value & 0xFF);
    out[1] = static_cast<uint8_t>(value >> 8);
    return 2;
}

inline void AppendReference(Wire form, const uint8_t* pixel, std::vector<uint8_t>& out) {
    uint8_t bytes[4];
    out.insert(out.end(), bytes, bytes + WriteReference(form, pixel, bytes));
}

inline std::vector<uint8_t> Reference(Wire form, const uint8_t* source, int count) {
    std::vector<uint8_t> out;
    for (int i = 0; i < count; ++i) AppendReference(form, source + 4 * i, out);
    return out;
}

inline std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (auto& byte : bytes) byte = static_cast<uint8_t>(random());
    return bytes;
}

// A capture buffer of width x height 32-bit pixels that compresses well: flat bands with a few
// short runs of "text", and random bytes in every pixel's unused fourth byte.
inline std::vector<uint8_t> FlatFrame(int width, int height, uint32_t seed) {
    std::vector<uint8_t> frame = RandomBytes(size_t(width) * height * 4, seed);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &frame[(size_t(y) * width + x) * 4];
            bool text = (y % 12) < 8 && (x % 9) < 3 && (x / 90) % 2 == 0;
            p[0] = text ? 0x10 : static_cast<uint8_t>(0x30 + 8 * (y / 64));
            p[1] = text ? 0x20 : static_cast<uint8_t>(0xC0 - 4 * (x / 128));
            p[2] = text ? 0x30 : 0xE7;
        }
    }
    return frame;
}

}  // namespace tarrowlink::test
