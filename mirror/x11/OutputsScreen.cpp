// Builds without XRandR list the screen itself.
#include "mirror/x11/Outputs.h"

namespace mirror::x11 {

std::vector<DisplayDevice> ListOutputs(_XDisplay* display) {
    return {ScreenAsDevice(display)};
}

}  // namespace mirror::x11
