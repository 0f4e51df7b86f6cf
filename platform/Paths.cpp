#include "platform/Paths.h"

#include <limits.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace platform {

std::string ModuleFileName() {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    return std::string(buffer, static_cast<size_t>(n));
}

std::string ModuleDirectory() {
    std::string path = ModuleFileName();
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return path.substr(0, slash == 0 ? 1 : slash);
}

std::optional<std::string> ComputerName() {
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0 || buffer[0] == '\0') return std::nullopt;
    return std::string(buffer);
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
