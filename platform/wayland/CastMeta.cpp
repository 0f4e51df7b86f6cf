#include "platform/wayland/CastMeta.h"

#include <algorithm>

namespace platform::wayland {

bool CursorBitmapFits(size_t meta_bytes, size_t cursor_bytes, size_t header_bytes,
                      uint64_t bitmap_offset, uint64_t pixels_offset, int64_t stride, int64_t width,
                      int64_t height, int max_side) {
    if (width <= 0 || height <= 0 || width > max_side || height > max_side) return false;
    if (stride < width * 4) return false;
    if (bitmap_offset < cursor_bytes || bitmap_offset > meta_bytes ||
        meta_bytes - bitmap_offset < header_bytes) {
        return false;
    }
    const uint64_t room = meta_bytes - bitmap_offset;  // bytes from the header's start
    // At most 256 rows of at most a few kilobytes: no overflow in 64 bits.
    if (stride > int64_t{1} << 20) return false;
    const uint64_t last_byte =
        pixels_offset + static_cast<uint64_t>(stride) * (height - 1) + width * 4;
    return pixels_offset >= header_bytes && pixels_offset <= room && last_byte <= room;
}

bool ClipToFrame(int64_t* x, int64_t* y, int64_t* width, int64_t* height, int frame_width,
                 int frame_height) {
    const int64_t x1 = std::min<int64_t>(*x + *width, frame_width);
    const int64_t y1 = std::min<int64_t>(*y + *height, frame_height);
    *x = std::max<int64_t>(*x, 0);
    *y = std::max<int64_t>(*y, 0);
    *width = x1 - *x;
    *height = y1 - *y;
    return *width > 0 && *height > 0;
}

}  // namespace platform::wayland
