#include <limits.h>
#include <unistd.h>

#include "platform/Paths.h"

namespace platform {

const char kPathSeparators[] = "/";

std::string ModuleFileName() {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    return std::string(buffer, static_cast<size_t>(n));
}

std::optional<std::string> ComputerName() {
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0 || buffer[0] == '\0') return std::nullopt;
    return std::string(buffer);
}

}  // namespace platform
