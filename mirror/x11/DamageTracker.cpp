#include "mirror/x11/DamageTracker.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/Xfixes.h>

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
    int damage_event_base, event_base, error_base, major = 1, minor = 1;
    if (!XDamageQueryExtension(display, &damage_event_base, &error_base) ||
        !XDamageQueryVersion(display, &major, &minor)) {
        *error = "the X server has no DAMAGE extension";
        return nullptr;
    }
    major = 2;
    minor = 0;
    if (!XFixesQueryExtension(display, &event_base, &error_base) ||
        !XFixesQueryVersion(display, &major, &minor) || major < 2) {
        *error = "the X server has no XFIXES 2 extension";
        return nullptr;
    }
    tracker->region_ = XFixesCreateRegion(display, nullptr, 0);
    // NonEmpty: one event each time the collected area goes from empty to not empty, so that Take
    // knows without asking whether there is anything to fetch.
    tracker->damage_event_ = damage_event_base + XDamageNotify;
    tracker->damage_ = XDamageCreate(display, DefaultRootWindow(display), XDamageReportNonEmpty);
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
    if (region_ != 0) XFixesDestroyRegion(display, region_);
    damage_ = 0;
    region_ = 0;
    XSync(display, True);
    display_.reset();
}

bool DamageTracker::Take(std::vector<PixelRect>* rects) {
    rects->clear();
    Display* display = display_.get();
    if (display == nullptr) return false;
    // The events that arrived, without waiting: a notify says that damage was collected since the
    // last subtraction (or, read late, before it, which only costs one empty fetch).
    while (platform::XEventsMayWait(display) && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == damage_event_) pending_ = true;
    }
    if (!pending_) return true;  // nothing drawn: no round trip
    pending_ = false;
    // Moves the whole collected area into region_ and empties the damage in one request.
    XDamageSubtract(display, damage_, None, region_);
    int count = 0;
    XRectangle* area = XFixesFetchRegion(display, region_, &count);  // the round trip
    if (area != nullptr) {
        rects->reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            rects->push_back({area[i].x, area[i].y, area[i].width, area[i].height});
        }
        XFree(area);
    }
    return true;
}

}  // namespace mirror::x11
