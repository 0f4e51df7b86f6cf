// The system's own destination of debug output, chosen by CMake: stderr on POSIX systems (only
// under BEAMORA_DEBUG=1), the debugger's output (OutputDebugStringA) and then stderr on Windows.
#pragma once

#include <string_view>

namespace platform {

// Writes one text to the default destination; to_stderr is true when BEAMORA_DEBUG=1. Called with
// the debug lock held, so texts never interleave.
void WriteDefaultDebug(std::string_view text, bool to_stderr);

}  // namespace platform
