// X11 desktop refresh: map and drop an override-redirect window over the whole screen. Every
// window it covered receives Expose events and repaints, and the root window is redrawn by the
// server, the same trick xrefresh uses.
#include "platform/DesktopRefresh.h"
#include "platform/x11/XDisplay.h"

namespace platform {

void RefreshDesktop() {
    XDisplayPtr display(XOpenDisplay(nullptr));
    if (!display) return;
    int screen = DefaultScreen(display.get());
    Window root = RootWindow(display.get(), screen);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixmap = None;  // keep the screen as it is while the window is up
    Window cover =
        XCreateWindow(display.get(), root, 0, 0, DisplayWidth(display.get(), screen),
                      DisplayHeight(display.get(), screen), 0, CopyFromParent, CopyFromParent,
                      CopyFromParent, CWOverrideRedirect | CWBackPixmap, &attributes);
    XMapWindow(display.get(), cover);
    XDestroyWindow(display.get(), cover);
    XSync(display.get(), False);
}

}  // namespace platform
