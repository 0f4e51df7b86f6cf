#include "platform/CaptureBackend.h"

#include <cstdlib>
#include <cstring>

namespace platform {

namespace {
bool Set(const char* value) {
    return value != nullptr && value[0] != '\0';
}
}  // namespace

CaptureBackend ChooseCaptureBackendFor(const char* capture, const char* wayland_display,
                                       const char* display, bool portal_offers_screencast) {
    if (Set(capture) && std::strcmp(capture, "x11") == 0) return CaptureBackend::kX11;
    if (Set(capture) && std::strcmp(capture, "portal") == 0) return CaptureBackend::kPortal;
    if (Set(wayland_display) && portal_offers_screencast) return CaptureBackend::kPortal;
    if (Set(display)) return CaptureBackend::kX11;
    return CaptureBackend::kNone;
}

CaptureBackend ChooseCaptureBackend() {
    const char* capture = std::getenv("BEAMORA_CAPTURE");
    const char* wayland_display = std::getenv("WAYLAND_DISPLAY");
    const char* display = std::getenv("DISPLAY");
    // The bus is asked only when its answer can change the choice.
    const bool overridden =
        Set(capture) && (std::strcmp(capture, "x11") == 0 || std::strcmp(capture, "portal") == 0);
    const bool portal = !overridden && Set(wayland_display) && PortalOffersScreenCast();
    return ChooseCaptureBackendFor(capture, wayland_display, display, portal);
}

}  // namespace platform
