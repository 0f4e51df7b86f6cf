// Known screen content and the comparisons of a receiver's picture with the screen.
#pragma once

#include <QImage>
#include <cstdint>
#include <string>

namespace e2e {

// A width x height picture of 8 x 8 blocks in colours drawn from seed, crossed by one-pixel lines:
// every colour channel value occurs, and it compresses like a desktop does.
QImage TestPattern(int width, int height, uint32_t seed);

// A width x height picture of noise from seed, which no compressor makes smaller.
QImage Noise(int width, int height, uint32_t seed);

// What a receiver at bits_per_pixel shows for screen: at 16 each channel cut to 5, 6 and 5 bits
// and widened again by repeating its top bits; at 24 and 32 the screen itself (opaque).
QImage Reduce(const QImage& screen, int bits_per_pixel);

// Empty when picture equals expected pixel for pixel; else what differs (size, or the number of
// differing pixels and the first of them).
std::string Differences(const QImage& expected, const QImage& picture);

// How far a scaled picture is from a reference of the same size.
struct Closeness {
    double mean_difference = 0;  // mean absolute channel difference over all pixels, 0..255
    double far_share = 0;        // share of pixels with a channel more than 48 away, 0..1
};
Closeness Compare(const QImage& reference, const QImage& picture);

}  // namespace e2e
