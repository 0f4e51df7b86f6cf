// An owned connection to an X server: closed when its owner goes.
#pragma once

#include <X11/Xlib.h>
#include <poll.h>

#include <memory>

namespace platform {

struct XDisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};

using XDisplayPtr = std::unique_ptr<Display, XDisplayCloser>;

// True when events may be waiting on display: queued already, or bytes to read on its socket.
// One poll without waiting, where XPending would try several reads; the caller then takes
// them with XPending and XNextEvent. Requests not yet flushed stay so. The thread that owns the
// connection.
inline bool XEventsMayWait(Display* display) {
    if (XEventsQueued(display, QueuedAlready) > 0) return true;
    pollfd socket{ConnectionNumber(display), POLLIN, 0};
    return poll(&socket, 1, 0) != 0;  // an error too: XPending then finds out
}

}  // namespace platform
