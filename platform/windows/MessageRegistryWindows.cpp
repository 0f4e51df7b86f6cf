// Registered window messages: the number the system gives every program for the name, so that
// the library's notifications reach windows of any program that registered it.
#include <windows.h>

#include <string>

#include "platform/MessageRegistry.h"

namespace platform {

unsigned int RegisterMessage(std::string_view name) {
    if (name.empty()) return 0;
    return ::RegisterWindowMessageA(std::string(name).c_str());
}

}  // namespace platform
