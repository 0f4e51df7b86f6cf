// The window part of the single-instance rule for builds without a window system: no window of
// another copy can ever be found, so the instance lock alone decides.
#include "presenter/core/SingleInstance.h"

namespace beamora {

bool ActivateRunningInstance(const std::string& /*title*/) {
    return false;
}

}  // namespace beamora
