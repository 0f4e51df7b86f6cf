// The X DAMAGE extension on the root window, standing in for the mirror driver: it collects every
// area the X server draws on the screen, and hands the collected area over on request.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "mirror/BoxReducer.h"

struct _XDisplay;

namespace mirror::x11 {

class DamageTracker {
  public:
    // Opens its own connection to display_name (nullptr: $DISPLAY) and starts collecting damage
    // on the root window (the server counts the whole screen as damaged to begin with). nullptr
    // (and *error says why) when there is no display or it lacks DAMAGE or XFIXES.
    static std::unique_ptr<DamageTracker> Open(const char* display_name, std::string* error);
    ~DamageTracker();
    DamageTracker(const DamageTracker&) = delete;
    DamageTracker& operator=(const DamageTracker&) = delete;

    // Stops collecting and closes the connection; safe to call again, and before destruction.
    void Release();

    // Replaces rects with the area damaged since the previous call (or since Open) and starts
    // collecting afresh. One round trip whatever the number of rectangles, none when no damage
    // notification arrived since the previous call. False when released. One thread at a time.
    bool Take(std::vector<PixelRect>* rects);

  private:
    struct DisplayCloser {
        void operator()(_XDisplay* display) const;
    };

    DamageTracker() = default;

    std::unique_ptr<_XDisplay, DisplayCloser> display_;
    unsigned long damage_ = 0;  // Damage
    unsigned long region_ = 0;  // XserverRegion receiving the collected area
    int damage_event_ = 0;      // the event type of a damage notification
    bool pending_ = true;       // damage may have been collected (the whole screen at first)
};

}  // namespace mirror::x11
