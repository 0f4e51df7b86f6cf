// The X screen's outputs, listed as display devices.
#pragma once

#include <vector>

#include "mirror/MirrorDriver.h"

struct _XDisplay;

namespace mirror::x11 {

// The default screen as one device, primary and on the desktop.
DisplayDevice ScreenAsDevice(_XDisplay* display);

// Every output of the default screen (XRandR when the build and the server have it, else the
// screen itself). The primary output is marked primary, outputs that show a picture are marked as
// on the desktop.
std::vector<DisplayDevice> ListOutputs(_XDisplay* display);

}  // namespace mirror::x11
