#include "platform/Ports.h"

#include <cerrno>
#include <cstdlib>

namespace platform {

uint16_t ParsePort(const char* text) {
    if (text == nullptr || *text < '0' || *text > '9') return 0;
    errno = 0;
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 1 || value > 65535) return 0;
    return static_cast<uint16_t>(value);
}

namespace {
uint16_t PortFromEnvironment(const char* name, uint16_t fallback) {
    uint16_t port = ParsePort(std::getenv(name));
    return port != 0 ? port : fallback;
}
}  // namespace

uint16_t ControlPort() {
    static const uint16_t port = PortFromEnvironment("BEAMORA_CONTROL_PORT", kDefaultControlPort);
    return port;
}

uint16_t DataPort() {
    static const uint16_t port = PortFromEnvironment("BEAMORA_DATA_PORT", kDefaultDataPort);
    return port;
}

}  // namespace platform
