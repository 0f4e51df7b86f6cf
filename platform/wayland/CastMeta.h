// Checks on the metadata another process puts into a screen cast's buffers, before any of it is
// read: where a cursor bitmap lies inside its metadata, and damage clipped to the frame.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::wayland {

// True when a cursor bitmap of width x height 4-byte pixels, rows stride bytes apart, whose header
// starts bitmap_offset bytes into a cursor metadata block of meta_bytes (the header is
// header_bytes, the pixels pixels_offset bytes after the header's start) lies wholly inside that
// block, and its size is at most max_side square.
bool CursorBitmapFits(size_t meta_bytes, size_t cursor_bytes, size_t header_bytes,
                      uint64_t bitmap_offset, uint64_t pixels_offset, int64_t stride, int64_t width,
                      int64_t height, int max_side);

// Clips the rectangle (x, y, width, height) to a frame of frame_width x frame_height; false when
// nothing of it is left.
bool ClipToFrame(int64_t* x, int64_t* y, int64_t* width, int64_t* height, int frame_width,
                 int frame_height);

}  // namespace platform::wayland
