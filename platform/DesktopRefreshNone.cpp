// Desktop refresh for builds without a window system: there is nothing to redraw.
#include "platform/DesktopRefresh.h"

namespace platform {
void RefreshDesktop() {}
}  // namespace platform
