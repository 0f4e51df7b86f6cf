// Inside of the pixel converters: the per-pixel forms shared by every implementation (the scalar
// tails and the portable set), and the table of converter sets that CMake picks per architecture.
// Not for use outside client/capture except by its tests and benchmarks.
#pragma once

#include <cstdint>
#include <span>

namespace tarrowlink::pixel {

using ConvertFunction = void (*)(uint8_t* destination, const uint8_t* source, int count);

// One complete implementation of the converters. All sets produce identical bytes.
struct ConverterSet {
    const char* name;
    ConvertFunction to24;
    ConvertFunction to565;
    ConvertFunction to565Swapped;
    ConvertFunction to555;
    ConvertFunction to555Swapped;
    // 32-bit pixels with the fourth byte set to 0xFF: the receiver's 32-bit form.
    ConvertFunction toOpaque32;
};

// The sets this CPU can run, best first; the public converters use the first. Built once; any
// thread. The list is made by the architecture's selection file (chosen in CMake).
std::span<const ConverterSet* const> UsableConverterSets();

// The portable set, written with plain integer code.
extern const ConverterSet kPortableConverters;

// The 16-bit forms all come from one recipe: the red and blue bytes, each masked to its top five
// bits, are weighted (blue by kBlueWeight, red by kRedWeight) and summed, the masked green bits are
// added, and the sum is shifted right by kShift. The vector code does the weighting with a 16-bit
// multiply-add, so every set shares the same arithmetic.
template <uint32_t kBlueWeight, uint32_t kRedWeight, uint32_t kGreenMask, int kShift>
struct Form16 {
    static constexpr uint32_t blueWeight = kBlueWeight;
    static constexpr uint32_t redWeight = kRedWeight;
    static constexpr uint32_t greenMask = kGreenMask;
    static constexpr int shift = kShift;

    // pixel: the source pixel as blue | green << 8 | red << 16.
    static inline uint32_t Pixel(uint32_t pixel) {
        uint32_t blue = pixel & 0xF8;
        uint32_t red = (pixel >> 16) & 0xF8;
        return (blue * kBlueWeight + red * kRedWeight + (pixel & kGreenMask)) >> kShift;
    }
};
using Form565 = Form16<4, 0x2000, 0xFC00, 5>;
using Form565Swapped = Form16<0x2000, 4, 0xFC00, 5>;
using Form555 = Form16<8, 0x2000, 0xF800, 6>;
using Form555Swapped = Form16<0x2000, 8, 0xF800, 6>;

// Scalar loops over whole runs: the portable set, and the tails of the vector sets. Byte-wise
// loads and stores, so they are right on any alignment and byte order.
template <typename Form>
inline void Scalar16(uint8_t* destination, const uint8_t* source, int count) {
    for (int i = 0; i < count; ++i, source += 4, destination += 2) {
        uint32_t pixel = source[0] | source[1] << 8 | uint32_t{source[2]} << 16;
        uint32_t value = Form::Pixel(pixel);
        destination[0] = static_cast<uint8_t>(value);
        destination[1] = static_cast<uint8_t>(value >> 8);
    }
}

inline void Scalar24(uint8_t* destination, const uint8_t* source, int count) {
    for (int i = 0; i < count; ++i, source += 4, destination += 3) {
        destination[0] = source[0];
        destination[1] = source[1];
        destination[2] = source[2];
    }
}

inline void ScalarOpaque32(uint8_t* destination, const uint8_t* source, int count) {
    for (int i = 0; i < count; ++i, source += 4, destination += 4) {
        destination[0] = source[0];
        destination[1] = source[1];
        destination[2] = source[2];
        destination[3] = 0xFF;
    }
}

}  // namespace tarrowlink::pixel
