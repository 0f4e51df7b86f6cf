// Turning the change tracker's boxes into the rectangles one capture step copies and sends: the
// joining and clipping rule, and the two lists it fills. Pure; no I/O.
#pragma once

#include <cstdint>

namespace tarrowlink {

// A changed box as the change tracker reports it: screen pixels, origin top-left, all four
// inclusive; right = -1 marks an empty entry. Same layout as the tracker's tagBOX.
struct ChangeBox {
    int16_t left;
    int16_t top;
    int16_t right;
    int16_t bottom;
};

// The boxes of one step: 16 from the tracker and a sentinel that can never join.
constexpr int kTrackerBoxes = 16;
constexpr int kBoxListSize = kTrackerBoxes + 1;
constexpr ChangeBox kBoxSentinel{9999, 9999, -1, -1};

// One rectangle to copy from the screen: top-down screen pixels. The list ends at the first entry
// whose width or height is 0.
struct BlitEntry {
    int16_t x, y, width, height;
    int16_t reserved[2];
};

// The same rectangle on the capture surface: x1 and y1 exclusive, y counted from the bottom row.
struct RecordRect {
    int16_t x0, y0, x1, y1;
    int16_t reserved[2];
};

constexpr int kMaxRectangles = 16;

// Scales four 16-bit values in place (the stretch path's ScaleRect), or nothing.
using RectScaler = void (*)(int16_t* values, void* context);

// Joins neighbouring boxes and clips them to the capture screen (0..max_x, 0..max_y), filling
// blits and rects in the same order; screen_height is the capture screen's height. With a scaler,
// each record rectangle is scaled onto the capture surface. Returns the number of rectangles
// (0 to 16); the rest of both lists is zeroed.
int JoinBoxes(const ChangeBox* boxes, int max_x, int max_y, int screen_height, BlitEntry* blits,
              RecordRect* rects, RectScaler scaler = nullptr, void* scaler_context = nullptr);

}  // namespace tarrowlink
