// Debug output on Windows goes to the debugger (DebugView and the like show it) and, under
// BEAMORA_DEBUG=1, to stderr as well, as on the other systems.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/DebugDefault.h"

namespace platform {

void WriteDefaultDebug(std::string_view text, bool to_stderr) {
    ::OutputDebugStringA(std::string(text).c_str());
    if (!to_stderr) return;
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

}  // namespace platform
