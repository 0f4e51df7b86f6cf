// Builds without PipeWire and sd-bus have no ScreenCast portal desktop.
#include "client/capture/DesktopBackends.h"

namespace tarrowlink {
std::unique_ptr<Desktop> CreatePortalDesktop() {
    return nullptr;
}
}  // namespace tarrowlink
