// Builds without the ScreenCast portal have no Wayland mirror device.
#include "mirror/MirrorBackends.h"

namespace mirror {
std::shared_ptr<MirrorDriver> CreatePortalMirrorDriver() {
    return nullptr;
}
}  // namespace mirror
