#include <X11/Xlib.h>

#include <memory>

#include "platform/ScreenBackends.h"
#include "platform/x11/XDisplay.h"

namespace platform {

bool X11ScreenSize(int* width, int* height) {
    *width = 0;
    *height = 0;
    XDisplayPtr display(XOpenDisplay(nullptr));
    if (!display) return false;
    int screen = DefaultScreen(display.get());
    *width = DisplayWidth(display.get(), screen);
    *height = DisplayHeight(display.get(), screen);
    return true;
}

}  // namespace platform
