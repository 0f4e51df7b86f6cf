#include "mirror/MirrorDriver.h"

#include <mutex>

#include "platform/NoDestructor.h"

namespace mirror {
namespace {

struct DriverSlot {
    std::mutex mutex;
    std::shared_ptr<MirrorDriver> driver;
};

// Never destroyed: the client detaches the driver from static destructors at process exit.
DriverSlot& Slot() {
    static platform::NoDestructor<DriverSlot> slot;
    return *slot;
}

}  // namespace

std::shared_ptr<MirrorDriver> CurrentMirrorDriver() {
    DriverSlot& slot = Slot();
    std::lock_guard lock(slot.mutex);
    if (!slot.driver) slot.driver = CreateDefaultMirrorDriver();
    return slot.driver;
}

void SetMirrorDriver(std::shared_ptr<MirrorDriver> driver) {
    DriverSlot& slot = Slot();
    std::lock_guard lock(slot.mutex);
    slot.driver = std::move(driver);
}

}  // namespace mirror
