#include "platform/Debug.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/DebugDefault.h"
#include "platform/NoDestructor.h"

namespace platform {
namespace {

struct DebugState {
    std::mutex mutex;
    DebugSink sink;
    bool to_stderr = false;

    DebugState() {
        const char* env = std::getenv("BEAMORA_DEBUG");
        to_stderr = env != nullptr && std::strcmp(env, "1") == 0;
    }
};

// Never destroyed: library threads may still write while the process exits.
DebugState& State() {
    static NoDestructor<DebugState> state;
    return *state;
}

}  // namespace

void DebugOutput(std::string_view text) {
    DebugState& state = State();
    std::lock_guard lock(state.mutex);
    if (state.sink) {
        state.sink(text);
    } else {
        WriteDefaultDebug(text, state.to_stderr);
    }
}

void DebugFormat(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return;
    DebugOutput(
        std::string_view(buffer, std::min<size_t>(static_cast<size_t>(n), sizeof buffer - 1)));
}

DebugSink SetDebugSink(DebugSink sink) {
    DebugState& state = State();
    std::lock_guard lock(state.mutex);
    DebugSink previous = std::move(state.sink);
    state.sink = std::move(sink);
    return previous;
}

}  // namespace platform
