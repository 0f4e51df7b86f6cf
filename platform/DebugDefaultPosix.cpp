#include <cstdio>

#include "platform/DebugDefault.h"

namespace platform {

void WriteDefaultDebug(std::string_view text, bool to_stderr) {
    if (!to_stderr) return;
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

}  // namespace platform
