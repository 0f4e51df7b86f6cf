// Reads root-window pixels for the tile refiner over a connection of its own. It uses XCB, whose
// errors come back as answers: a read that fails (the screen shrank under it) is reported as a
// failed read, never as a fatal X error that would end the process. With MIT-SHM the server
// writes the pixels into a segment shared with this process (no copy through the socket): its
// first half is a frame of the whole screen, its second half takes the reads of areas. Where the
// server can draw into shared memory (a pixmap over the frame), areas are copied into the frame
// at their place; else whole rows are read into it. Without MIT-SHM the pixels come in the reply.
// A copy is clipped to the screen rather than refused: if the screen shrank, the part of an area
// beyond it keeps its old pixels, which no damage on the smaller screen can concern.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
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
    bool ReadsAreas() const override { return pixmap_ != 0; }
    bool ReadAreas(std::span<const PixelRect> areas) override;

  private:
    XcbScreenReader() = default;
    // Attaches a segment for a whole screen; false (and reads go through the socket) when the
    // server has no MIT-SHM or refuses the segment.
    bool AttachSegment();
    // Makes the pixmap over the frame and the GC that copies the screen into it; leaves pixmap_
    // 0 when the server cannot (no shared pixmaps, or not in Z format).
    void MakeFramePixmap(uint8_t root_depth);
    bool ReadShared(const PixelRect& area, size_t offset);
    size_t FrameBytes() const { return static_cast<size_t>(width_px_) * height_px_ * 4; }
    bool ReadCopied(const PixelRect& area);

    xcb_connection_t* connection_ = nullptr;
    uint32_t root_ = 0;
    int width_px_ = 0;
    int height_px_ = 0;
    bool bgrx_ = false;
    uint32_t segment_ = 0;          // xcb_shm_seg_t, 0 without shared memory
    uint8_t* shm_addr_ = nullptr;   // the segment in this process
    uint32_t pixmap_ = 0;           // xcb_pixmap_t over the frame, 0 without one
    uint32_t gc_ = 0;               // xcb_gcontext_t copying root (with its children) to pixmap_
    std::vector<uint32_t> copy_;    // the last read, without shared memory
    std::vector<unsigned> copies_;  // ReadAreas: the sequence numbers of its copies
};

}  // namespace mirror::x11
