// The small desktop interface the capture reads the screen and the pointer through. The X11
// backend implements it over MIT-SHM and XFIXES, the Wayland one over the ScreenCast portal's
// PipeWire stream; tests use a scripted desktop of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarrowlink {

// The pointer's image and position.
struct CursorImage {
    int width = 0;  // pixels
    int height = 0;
    int hot_x = 0;  // hotspot inside the image
    int hot_y = 0;
    int x = 0;  // pointer position on the screen
    int y = 0;
    bool visible = true;
    std::vector<uint32_t> argb;  // width x height, premultiplied ARGB, top row first
};

class Desktop {
  public:
    virtual ~Desktop() = default;

    // Connects to the desktop. False when there is none. Thread that starts the projection.
    virtual bool Open() = 0;
    // Screen size in pixels (valid after Open).
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Reads the screen rectangle (x, y, width, height), which must lie inside the screen, into dst
    // as 32-bit pixels (bytes blue, green, red, unused), rows top-down, dst_stride bytes apart
    // (negative for a bottom-up destination).
    // False on failure. One thread at a time (the sending thread while projecting).
    virtual bool ReadPixels(int x, int y, int width, int height, uint8_t* dst,
                            ptrdiff_t dst_stride) = 0;
    // Reads the same rectangle as ReadPixels but lends the pixels where the desktop keeps them
    // instead of copying them: *pixels is the top row, rows *stride bytes apart, valid until the
    // next read. False when the desktop cannot lend them in that pixel layout (the caller then
    // copies with ReadPixels). Same thread as ReadPixels.
    virtual bool ReadPixelsInPlace(int /*x*/, int /*y*/, int /*width*/, int /*height*/,
                                   const uint8_t** /*pixels*/, ptrdiff_t* /*stride*/) {
        return false;
    }
    // Asks the desktop for its current size (it may have changed since Open). False on failure.
    virtual bool QueryScreenSize(int* width, int* height) = 0;
    // The current pointer image and position. False when it cannot be read.
    virtual bool ReadCursor(CursorImage* cursor) = 0;
    // True once the desktop has ended for good (a screen cast closed by the desktop or refused):
    // nothing more can be read. *reason says why, in words for the user.
    virtual bool Lost(std::string* /*reason*/) const { return false; }
};

// Makes the desktop backend for this session (the build decides which exist; on Linux the
// session's desktop picks among them), or the one a test installed.
std::unique_ptr<Desktop> CreateDesktop();
// Installs a factory for tests; an empty one restores the build's backend.
void SetDesktopFactoryForTests(std::function<std::unique_ptr<Desktop>()> factory);

}  // namespace tarrowlink
