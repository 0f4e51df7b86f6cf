// The profile file functions on the system's own (GetPrivateProfileStringA), so that files read
// exactly as other Windows programs read them. Paths should be absolute: the system looks a bare
// file name up in the Windows folder.
#include <windows.h>
// windows.h maps these names to the win.ini functions; here they are this library's.
#undef GetProfileString
#undef GetProfileInt

#include <vector>

#include "platform/Profile.h"

namespace platform {
namespace {

// Stands for "no such key": no profile value can hold this control character alone.
constexpr char kMissing[] = "\x01";

}  // namespace

std::string GetProfileString(std::string_view section, std::string_view key,
                             std::string_view fallback, size_t size, const std::string& path) {
    if (size == 0) return {};
    std::vector<char> buffer(size);
    DWORD n = ::GetPrivateProfileStringA(std::string(section).c_str(), std::string(key).c_str(),
                                         std::string(fallback).c_str(), buffer.data(),
                                         static_cast<DWORD>(size), path.c_str());
    return std::string(buffer.data(), std::min<size_t>(n, size - 1));
}

// GetPrivateProfileIntA reads an empty value as missing; the value is read as text instead, so
// that every system reads integers the same way (ParseProfileInt).
int GetProfileInt(std::string_view section, std::string_view key, int fallback,
                  const std::string& path) {
    std::string value = GetProfileString(section, key, kMissing, 64, path);
    if (value == kMissing) return fallback;
    return ParseProfileInt(value);
}

}  // namespace platform
