#include <windows.h>

#include "platform/DesktopRefresh.h"

namespace platform {

void RefreshDesktop() {
    // The desktop and every window on it, children included, repaint as soon as they can.
    ::RedrawWindow(nullptr, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

}  // namespace platform
