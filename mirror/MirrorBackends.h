// The mirror driver backends a Linux build has, behind CreateDefaultMirrorDriver (which picks one
// per attach: the ScreenCast portal on Wayland, DAMAGE on X11). A backend this build lacks is
// nullptr.
#pragma once

#include <memory>

#include "mirror/MirrorDriver.h"

namespace mirror {

std::shared_ptr<MirrorDriver> CreateX11MirrorDriver();
std::shared_ptr<MirrorDriver> CreatePortalMirrorDriver();

}  // namespace mirror
