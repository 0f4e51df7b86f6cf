// Reads root-window pixels for the tile refiner over a connection of its own. It uses XCB, whose
// errors come back as answers: a read that fails (the screen shrank under it) is reported as a
// failed read, never as a fatal X error that would end the process.
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

    bool Read(const PixelRect& area, std::vector<uint32_t>* pixels) override;

  private:
    XcbScreenReader() = default;

    xcb_connection_t* connection_ = nullptr;
    uint32_t root_ = 0;
    int width_px_ = 0;
    int height_px_ = 0;
};

}  // namespace mirror::x11
