#include <windows.h>

#include "platform/Paths.h"

namespace platform {

const char kPathSeparators[] = "\\/";

std::string ModuleFileName() {
    char buffer[MAX_PATH + 1];
    DWORD n = ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    // A full buffer means the path was cut: no path rather than a wrong one.
    if (n == 0 || n >= sizeof buffer) return {};
    return std::string(buffer, n);
}

std::optional<std::string> ComputerName() {
    char buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof buffer;
    if (!::GetComputerNameA(buffer, &size) || size == 0) return std::nullopt;
    return std::string(buffer, size);
}

}  // namespace platform
