// The unit that travels from a capture step to the outgoing messages, and the process-wide flag
// that makes the next step send the whole screen.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "client/capture/CursorShape.h"

namespace tarrowlink {

enum CaptureRecordType : int32_t {
    kRecordScreen = 200,
    kRecordMonochromeCursor = kCursorMonochrome,
    kRecordColourCursor = kCursorColour,
};

struct CaptureRecord {
    int32_t type = 0;
    // Screen records: x0, y0, x1, y1, 0, 0 on the capture surface (rows from the bottom). Cursor
    // records: the cursor placement.
    int16_t placement[6] = {};
    uint8_t cursor_pixels[kCursorPixelBytes] = {};  // colour cursors only
    // Made by the session at projection start. Unless `pixels` is set, a screen record holds the
    // rectangle's pixels at the rectangle's place in a capture width x height x 4 buffer
    // (bottom-up rows of capture width), which the screen records of a projection share: the
    // rectangles of one step are copied from one surface, so where they overlap they hold the
    // same pixels. A cursor record holds the cursor's mask bits (and, colour, the converted
    // pixels after them).
    std::shared_ptr<uint8_t[]> frame_buffer;
    size_t frame_buffer_size = 0;
    // Screen records whose pixels the capture step did not copy: the placement's pixel (x0, y0)
    // in memory the step borrowed, the placement's next row pixels_stride bytes on (negative:
    // the screen's rows go downwards). Valid until the next capture step or the capture's stop.
    // Null: the pixels are in frame_buffer.
    const uint8_t* pixels = nullptr;
    ptrdiff_t pixels_stride = 0;
};

// 1 makes the next capture step send the whole screen. Starts at 1; the session sets it when a
// projection stops or the connection changes, the sending thread's capture step clears it.
std::atomic<int32_t>& FullRefreshFlag();

}  // namespace tarrowlink
