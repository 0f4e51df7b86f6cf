// Builds without PipeWire or sd-bus have no ScreenCast portal capture.
#include "platform/CaptureBackend.h"
#include "platform/ScreenBackends.h"

namespace platform {

bool PortalOffersScreenCast() {
    return false;
}

bool PortalScreenSize(int* width, int* height) {
    *width = 0;
    *height = 0;
    return false;
}

}  // namespace platform
