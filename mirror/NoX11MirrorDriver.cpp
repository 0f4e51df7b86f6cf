// Builds without X11 DAMAGE have no X11 mirror device.
#include "mirror/MirrorBackends.h"

namespace mirror {
std::shared_ptr<MirrorDriver> CreateX11MirrorDriver() {
    return nullptr;
}
}  // namespace mirror
