// The desktop backends a Linux build has, behind CreatePlatformDesktop (LinuxDesktop.cpp picks
// one per projection start). A backend this build lacks is nullptr.
#pragma once

#include <memory>

#include "client/capture/Desktop.h"

namespace tarrowlink {

std::unique_ptr<Desktop> CreateX11Desktop();
std::unique_ptr<Desktop> CreatePortalDesktop();

}  // namespace tarrowlink
