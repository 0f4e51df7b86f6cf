#include <X11/Xlib.h>

#include <string>

#include "mirror/x11/Outputs.h"

namespace mirror::x11 {

DisplayDevice ScreenAsDevice(_XDisplay* display) {
    int screen = DefaultScreen(display);
    DisplayDevice device;
    device.name = "SCREEN-" + std::to_string(screen);
    device.string = "X screen " + std::to_string(DisplayWidth(display, screen)) + "x" +
                    std::to_string(DisplayHeight(display, screen));
    device.id = std::string("X11 ") + DisplayString(display);
    device.state_flags = kDevicePrimary | kDeviceAttachedToDesktop;
    return device;
}

}  // namespace mirror::x11
