// Systems other than Windows have no wireless configuration service to pause: opening it fails,
// as for a Windows system without it.
#include "mirror/MirrorDriver.h"

namespace mirror {

int PauseWirelessService() {
    return 0;
}

int ResumeWirelessService() {
    return 0;
}

}  // namespace mirror
