#include "platform/Screen.h"

#include "platform/CaptureBackend.h"
#include "platform/ScreenBackends.h"

namespace platform {

bool ScreenSize(int* width, int* height) {
    *width = 0;
    *height = 0;
    switch (ChooseCaptureBackend()) {
        case CaptureBackend::kPortal:
            return PortalScreenSize(width, height);
        case CaptureBackend::kX11:
            return X11ScreenSize(width, height);
        case CaptureBackend::kNone:
            break;
    }
    return false;
}

}  // namespace platform
