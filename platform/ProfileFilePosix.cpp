// The profile file functions over the portable reader.
#include "platform/Profile.h"

namespace platform {

std::string GetProfileString(std::string_view section, std::string_view key,
                             std::string_view fallback, size_t size, const std::string& path) {
    if (size == 0) return {};
    std::string result(fallback);
    if (auto profile = Profile::Load(path)) {
        if (auto value = profile->Find(section, key)) result = *value;
    }
    if (result.size() > size - 1) result.resize(size - 1);
    return result;
}

int GetProfileInt(std::string_view section, std::string_view key, int fallback,
                  const std::string& path) {
    auto profile = Profile::Load(path);
    if (!profile) return fallback;
    auto value = profile->Find(section, key);
    if (!value) return fallback;
    return ParseProfileInt(*value);
}

}  // namespace platform
