#include <windows.h>

#include "platform/Screen.h"

namespace platform {

bool ScreenSize(int* width, int* height) {
    *width = ::GetSystemMetrics(SM_CXSCREEN);
    *height = ::GetSystemMetrics(SM_CYSCREEN);
    if (*width > 0 && *height > 0) return true;
    *width = 0;
    *height = 0;
    return false;
}

}  // namespace platform
