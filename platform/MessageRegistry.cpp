#include "platform/MessageRegistry.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <string>
#include <vector>

#include "platform/NoDestructor.h"

namespace platform {
namespace {

constexpr unsigned int kFirstMessage = 0xC000;

struct Registry {
    std::mutex mutex;
    std::vector<std::string> names;  // index + kFirstMessage is the number
};

Registry& TheRegistry() {
    static NoDestructor<Registry> registry;
    return *registry;
}

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

unsigned int RegisterMessage(std::string_view name) {
    if (name.empty()) return 0;
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    for (size_t i = 0; i < registry.names.size(); ++i) {
        if (SameName(registry.names[i], name)) return kFirstMessage + static_cast<unsigned int>(i);
    }
    registry.names.emplace_back(name);
    return kFirstMessage + static_cast<unsigned int>(registry.names.size() - 1);
}

}  // namespace platform
