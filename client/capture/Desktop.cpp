#include "client/capture/Desktop.h"

#include <mutex>

#include "platform/NoDestructor.h"

namespace tarrowlink {

// Defined by the desktop backend the build selected.
std::unique_ptr<Desktop> CreatePlatformDesktop();

namespace {
struct Factory {
    std::mutex mutex;
    std::function<std::unique_ptr<Desktop>()> factory;
};

Factory& TheFactory() {
    static platform::NoDestructor<Factory> factory;
    return *factory;
}
}  // namespace

std::unique_ptr<Desktop> CreateDesktop() {
    Factory& f = TheFactory();
    std::lock_guard lock(f.mutex);
    if (f.factory) return f.factory();
    return CreatePlatformDesktop();
}

void SetDesktopFactoryForTests(std::function<std::unique_ptr<Desktop>()> factory) {
    Factory& f = TheFactory();
    std::lock_guard lock(f.mutex);
    f.factory = std::move(factory);
}

}  // namespace tarrowlink
