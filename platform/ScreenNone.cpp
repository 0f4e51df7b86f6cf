// Builds without a window system have no screen.
#include "platform/Screen.h"

namespace platform {
bool ScreenSize(int* width, int* height) {
    *width = 0;
    *height = 0;
    return false;
}
}  // namespace platform
