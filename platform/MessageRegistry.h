// Process-wide registry of message numbers by name, the counterpart of registered window messages:
// the library and the application each register "PROJECTOR_NOTIFY" and get the same number.
#pragma once

#include <string_view>

namespace platform {

// Returns the number registered for name, registering it on first use. Numbers start at 0xC000,
// as registered window messages do; the same name always gives the same number in one process.
// Names compare case-insensitively. Any thread. An empty name returns 0 (nothing is registered).
unsigned int RegisterMessage(std::string_view name);

}  // namespace platform
