#include "platform/ProcessExit.h"

namespace platform {

bool OtherThreadsEndedByExit() {
    return false;
}

}  // namespace platform
