// The desktop of a Linux build: a Wayland desktop through the ScreenCast portal or an X display,
// chosen at every projection start (platform::ChooseCaptureBackend); none when neither is there.
#include "client/capture/DesktopBackends.h"
#include "platform/CaptureBackend.h"

namespace tarrowlink {

// Defined in NoDesktop.cpp: the desktop that is not there.
std::unique_ptr<Desktop> CreateNoDesktop();

std::unique_ptr<Desktop> CreatePlatformDesktop() {
    std::unique_ptr<Desktop> desktop;
    switch (platform::ChooseCaptureBackend()) {
        case platform::CaptureBackend::kPortal:
            desktop = CreatePortalDesktop();
            break;
        case platform::CaptureBackend::kX11:
            desktop = CreateX11Desktop();
            break;
        case platform::CaptureBackend::kNone:
            break;
    }
    return desktop ? std::move(desktop) : CreateNoDesktop();
}

}  // namespace tarrowlink
