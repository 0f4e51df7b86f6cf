#include "platform/Paths.h"

#include <filesystem>
#include <system_error>

namespace platform {

std::string ModuleDirectory() {
    std::string path = ModuleFileName();
    size_t slash = path.find_last_of(kPathSeparators);
    if (slash == std::string::npos) return {};
    return path.substr(0, slash == 0 ? 1 : slash);
}

std::optional<std::string> FindDataDirectory(const std::string& marker) {
    std::string exe_dir = ModuleDirectory();
    if (exe_dir.empty()) return std::nullopt;
    std::error_code ec;
    for (const std::string& candidate : {exe_dir, exe_dir + "/../share/beamora"}) {
        if (std::filesystem::exists(candidate + "/" + marker, ec)) {
            auto canonical = std::filesystem::weakly_canonical(candidate, ec);
            return ec ? candidate : canonical.string();
        }
    }
    return std::nullopt;
}

}  // namespace platform
