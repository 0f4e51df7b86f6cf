// The pointer as the receiver takes it: a 32 x 32 image, either monochrome (AND and XOR masks) or
// colour (an AND mask and 32-bit pixels), and where it stands on the capture screen. Pure.
#pragma once

#include <cstdint>

#include "client/capture/Desktop.h"

namespace tarrowlink {

constexpr int kCursorSide = 32;
constexpr int kCursorMaskBytes = 256;    // AND mask then XOR mask, 32 rows of 4 bytes each
constexpr int kCursorPixelBytes = 4096;  // 32 x 32 x 4, rows bottom-up

enum CursorKind : int32_t {
    kCursorMonochrome = 101,
    kCursorColour = 102,
    kCursorOutside = 1028,  // wholly outside the capture screen: nothing new to send
};

// Placement: visible width, visible height, x, y, x from the origin, y from the origin.
struct CursorPlacement {
    int16_t values[6];
};

struct CursorShape {
    CursorPlacement placement{};
    uint8_t mask[kCursorMaskBytes] = {};     // colour cursors use the first 128 bytes
    uint8_t pixels[kCursorPixelBytes] = {};  // colour only: BGRX, bottom row first
};

// Works out kind, placement and bits for the pointer on a capture screen of 0..max_x, 0..max_y.
// Images larger than 32 x 32 are scaled down to fit (hotspot with them). A pointer whose pixels
// are only opaque black, opaque white or transparent is monochrome; any other is colour.
CursorKind BuildCursorShape(const CursorImage& image, int max_x, int max_y, CursorShape* shape);

}  // namespace tarrowlink
