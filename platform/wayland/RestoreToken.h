// Where the portal's restore token is kept, and which tokens are taken from that file.
#pragma once

#include <string>

namespace platform::wayland {

// The file of the restore token: $XDG_STATE_HOME/beamora/screencast-token when that variable is
// an absolute path, else $HOME/.local/state/beamora/screencast-token; empty when neither is.
std::string RestoreTokenPath(const char* xdg_state_home, const char* home);

// A token the portal can have made: 1 to 256 printable ASCII characters without spaces. Anything
// else in the file (a damaged or foreign file) is ignored, so the user is simply asked again.
bool ValidRestoreToken(const std::string& token);

}  // namespace platform::wayland
