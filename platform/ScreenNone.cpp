// Builds without X11 have no X screen to ask.
#include "platform/ScreenBackends.h"

namespace platform {
bool X11ScreenSize(int* width, int* height) {
    *width = 0;
    *height = 0;
    return false;
}
}  // namespace platform
