// A screen cast of one monitor through the org.freedesktop.portal.ScreenCast portal and a
// PipeWire stream: the latest frame's pixels (32-bit, bytes blue, green, red, unused), the damage
// collected since the last look, and the pointer. The capture and the change tracker share one
// cast per process (Acquire), so the user is asked once and both see the same frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform::wayland {

// A rectangle of the screen: origin and size in pixels.
struct CastRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The pointer as the stream's cursor metadata gives it.
struct CastCursor {
    bool known = false;    // false until the stream has sent cursor metadata
    bool visible = false;  // on the screen (the portal hides it off the monitor)
    int x = 0;             // position of the hotspot on the screen
    int y = 0;
    int hot_x = 0;
    int hot_y = 0;
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;  // premultiplied ARGB, width x height, top row first
};

class ScreenCast {
  public:
    virtual ~ScreenCast() = default;

    // Screen size in pixels: the size of the stream's frames.
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // False once the cast has ended (the portal session was closed, the stream failed); *reason
    // then says why, in words for the user. Any thread.
    virtual bool Alive(std::string* reason) const = 0;
    // Copies the rectangle (inside the screen) of the latest frame into dst as ReadPixels does:
    // rows top-down, dst_stride bytes apart (negative for bottom-up). False once ended, and before
    // the first frame (so that no made-up picture goes out).
    virtual bool ReadPixels(int x, int y, int width, int height, uint8_t* dst,
                            ptrdiff_t dst_stride) = 0;
    // Moves the damage collected since the last call into *rects (replacing its content). A frame
    // without damage metadata counts as wholly changed. False once ended.
    virtual bool TakeDamage(std::vector<CastRect>* rects) = 0;
    // The latest pointer. False once ended.
    virtual bool ReadCursor(CastCursor* cursor) = 0;
};

// The cast this process shares: the running one, or a new one (the portal may ask the user; a
// restore token from an earlier permission is used and kept in $XDG_STATE_HOME/beamora). Waits up
// to a minute for the user, a few seconds for the stream's format and briefly for the first frame
// (some portals send it only at the screen's next change; reads fail until it comes).
// nullptr with *error when the portal or the stream cannot be had or the user refused. The cast
// lives while someone holds it. Thread that starts the projection.
std::shared_ptr<ScreenCast> AcquireScreenCast(std::string* error);
// A cast of one node of the session's own PipeWire daemon, without the portal: for tests that
// produce the stream themselves. nullptr with *error as AcquireScreenCast.
std::shared_ptr<ScreenCast> OpenPipeWireNodeForTests(uint32_t node_id, std::string* error);
// The running cast, if any, without starting one. Any thread.
std::shared_ptr<ScreenCast> RunningScreenCast();
// Keeps the running cast alive until the next AcquireScreenCast hands it on (a size query that
// precedes the capture's start), or ReleaseHeldScreenCast.
void HoldScreenCast(std::shared_ptr<ScreenCast> cast);
void ReleaseHeldScreenCast();

}  // namespace platform::wayland
