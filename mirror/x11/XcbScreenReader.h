// Reads root-window pixels for the tile refiner over a connection of its own. It uses XCB, whose
// errors come back as answers: a read that fails (the screen shrank under it) is reported as a
// failed read, never as a fatal X error that would end the process. With MIT-SHM the server
// writes the pixels into a segment shared with this process (no copy through the socket): its
// first half is a frame of the whole screen that whole rows are read into at their place, its
// second half takes the reads of areas. Without it the pixels come in the reply.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "mirror/TileRefiner.h"

struct xcb_connection_t;

namespace mirror::x11 {

class XcbScreenReader final : public PixelReader {
  public:
    // Connects to display_name (nullptr: $DISPLAY). nullptr when it cannot, or when the root
    // window's pixels are not 32 bits each.
    static std::unique_ptr<XcbScreenReader> Open(const char* display_name);
    ~XcbScreenReader() override;
    XcbScreenReader(const XcbScreenReader&) = delete;
    XcbScreenReader& operator=(const XcbScreenReader&) = delete;

    int WidthPx() const { return width_px_; }
    int HeightPx() const { return height_px_; }
    // True when the pixels read are bytes blue, green, red, unused (the capture's layout).
    bool Bgrx() const { return bgrx_; }
    // True when reads go through shared memory.
    bool Shared() const { return shm_addr_ != nullptr; }

    bool Read(const PixelRect& area, const uint32_t** pixels) override;
    uint32_t* Frame(int width_px, int height_px) override;
    bool ReadRows(int y0, int y1) override;

  private:
    XcbScreenReader() = default;
    // Attaches a segment for a whole screen; false (and reads go through the socket) when the
    // server has no MIT-SHM or refuses the segment.
    bool AttachSegment();
    bool ReadShared(const PixelRect& area, size_t offset);
    size_t FrameBytes() const { return static_cast<size_t>(width_px_) * height_px_ * 4; }
    bool ReadCopied(const PixelRect& area);

    xcb_connection_t* connection_ = nullptr;
    uint32_t root_ = 0;
    int width_px_ = 0;
    int height_px_ = 0;
    bool bgrx_ = false;
    uint32_t segment_ = 0;         // xcb_shm_seg_t, 0 without shared memory
    uint8_t* shm_addr_ = nullptr;  // the segment in this process
    std::vector<uint32_t> copy_;   // the last read, without shared memory
};

}  // namespace mirror::x11
