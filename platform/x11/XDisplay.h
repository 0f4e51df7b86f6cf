// An owned connection to an X server: closed when its owner goes.
#pragma once

#include <X11/Xlib.h>

#include <memory>

namespace platform {

struct XDisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};

using XDisplayPtr = std::unique_ptr<Display, XDisplayCloser>;

}  // namespace platform
