// The X DAMAGE extension on the root window, standing in for the mirror driver: it collects every
// area the X server draws on the screen, and hands the collected area over on request.
#pragma once

#include <cstddef>
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
    // collecting afresh: the drawings' bounds as the server reported them (they may overlap);
    // past kMaxRects of them, the last rectangle holds the rest. No round trip: it reads the
    // notifications already sent. False when released. One thread at a time.
    bool Take(std::vector<PixelRect>* rects);

    // The most rectangles Take gives one by one.
    static constexpr size_t kMaxRects = 4096;

  private:
    struct DisplayCloser {
        void operator()(_XDisplay* display) const;
    };

    DamageTracker() = default;

    std::unique_ptr<_XDisplay, DisplayCloser> display_;
    unsigned long damage_ = 0;  // Damage
    int damage_event_ = 0;      // the event type of a damage notification
};

}  // namespace mirror::x11
