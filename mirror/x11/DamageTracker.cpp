#include "mirror/x11/DamageTracker.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

#include <algorithm>

#include "platform/x11/XDisplay.h"

namespace mirror::x11 {

void DamageTracker::DisplayCloser::operator()(_XDisplay* display) const {
    XCloseDisplay(display);
}

std::unique_ptr<DamageTracker> DamageTracker::Open(const char* display_name, std::string* error) {
    std::unique_ptr<DamageTracker> tracker(new DamageTracker);
    tracker->display_.reset(XOpenDisplay(display_name));
    Display* display = tracker->display_.get();
    if (display == nullptr) {
        *error = "no X display";
        return nullptr;
    }
    int damage_event_base, error_base, major = 1, minor = 1;
    if (!XDamageQueryExtension(display, &damage_event_base, &error_base) ||
        !XDamageQueryVersion(display, &major, &minor)) {
        *error = "the X server has no DAMAGE extension";
        return nullptr;
    }
    // Raw rectangles: each drawing comes as an event with its bounds, and the server keeps no
    // region to empty, so a pass reads what arrived on the socket and asks nothing. (Collected
    // in a region instead, the area would cost a fetch, one more round trip, on every pass
    // after a change.) The server reports the whole root window once at creation.
    tracker->damage_event_ = damage_event_base + XDamageNotify;
    tracker->damage_ =
        XDamageCreate(display, DefaultRootWindow(display), XDamageReportRawRectangles);
    XSync(display, False);
    return tracker;
}

DamageTracker::~DamageTracker() {
    Release();
}

void DamageTracker::Release() {
    Display* display = display_.get();
    if (display == nullptr) return;
    if (damage_ != 0) XDamageDestroy(display, damage_);
    damage_ = 0;
    XSync(display, True);
    display_.reset();
}

namespace {

// The smallest rectangle holding a and b (neither empty).
PixelRect Union(const PixelRect& a, const PixelRect& b) {
    const int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
    const int x1 = std::max(a.x + a.width, b.x + b.width);
    const int y1 = std::max(a.y + a.height, b.y + b.height);
    return {x0, y0, x1 - x0, y1 - y0};
}

}  // namespace

bool DamageTracker::Take(std::vector<PixelRect>* rects) {
    rects->clear();
    Display* display = display_.get();
    if (display == nullptr) return false;
    // The events that arrived, without waiting. Bounds of a drawing that lands after the pixels
    // are read come in a later pass; an area sent twice is found unchanged by the refiner.
    while (platform::XEventsMayWait(display) && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != damage_event_) continue;
        const XRectangle& area = reinterpret_cast<const XDamageNotifyEvent&>(event).area;
        const PixelRect rect{area.x, area.y, area.width, area.height};
        if (rect.width <= 0 || rect.height <= 0) continue;
        // A storm of drawings: the last rectangle grows to hold the rest, so memory stays bounded.
        if (rects->size() < kMaxRects) {
            rects->push_back(rect);
        } else {
            rects->back() = Union(rects->back(), rect);
        }
    }
    return true;
}

}  // namespace mirror::x11
