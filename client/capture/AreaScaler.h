// The stretch path's picture scaling: every destination pixel is the mean of the source pixels it
// covers (a box filter, the counterpart of a halftone stretch), so text and lines stay readable
// when the screen is shrunk onto the capture surface.
//
// The result is defined by pixman's separable box convolution (ScaleAreaReference). ScaleArea
// computes the same bytes directly, about twice as fast, because the sending thread scales every
// changed rectangle of a large screen on every pass.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarrowlink {

// Scales src (sw x sh 32-bit pixels, bytes blue, green, red, unused; rows src_stride bytes apart)
// onto dst (dw x dh, rows dst_stride bytes apart; negative for bottom-up). The unused byte of dst
// is written as the reference writes it. False when the filter cannot be made. Any thread; each
// thread keeps the tables of the last four size pairs it scaled (tens of kilobytes for a whole
// screen), nothing is shared.
bool ScaleArea(const uint8_t* src, int sw, int sh, ptrdiff_t src_stride, uint8_t* dst, int dw,
               int dh, ptrdiff_t dst_stride);

// The same through pixman_image_composite32 with a separable box convolution and pad repeat: the
// definition ScaleArea is held to. Rows top-down, strides of whole rows (sw * 4, dw * 4).
bool ScaleAreaReference(const uint8_t* src, int sw, int sh, uint8_t* dst, int dw, int dh);

}  // namespace tarrowlink
