// Builds without Xlib, XShm and XFIXES have no X11 desktop.
#include "client/capture/DesktopBackends.h"

namespace tarrowlink {
std::unique_ptr<Desktop> CreateX11Desktop() {
    return nullptr;
}
}  // namespace tarrowlink
