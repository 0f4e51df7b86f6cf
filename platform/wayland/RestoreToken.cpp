#include "platform/wayland/RestoreToken.h"

namespace platform::wayland {

namespace {
constexpr size_t kMaxTokenLength = 256;
constexpr char kTokenFile[] = "/beamora/screencast-token";

bool Absolute(const char* path) {
    return path != nullptr && path[0] == '/';
}
}  // namespace

std::string RestoreTokenPath(const char* xdg_state_home, const char* home) {
    if (Absolute(xdg_state_home)) return std::string(xdg_state_home) + kTokenFile;
    if (Absolute(home)) return std::string(home) + "/.local/state" + kTokenFile;
    return {};
}

bool ValidRestoreToken(const std::string& token) {
    if (token.empty() || token.size() > kMaxTokenLength) return false;
    for (char c : token) {
        if (c <= ' ' || c > '~') return false;
    }
    return true;
}

}  // namespace platform::wayland
