// The receiver's TCP/UDP ports. 6566 carries the beacons (UDP) and the control connection (TCP),
// 6565 the data connection. BEAMORA_CONTROL_PORT and BEAMORA_DATA_PORT override them (read once per
// process) so that tests can run side by side on free ports.
#pragma once

#include <cstdint>

namespace platform {

constexpr uint16_t kDefaultControlPort = 6566;
constexpr uint16_t kDefaultDataPort = 6565;

// Beacon and control port: BEAMORA_CONTROL_PORT when it holds a number from 1 to 65535, else 6566.
uint16_t ControlPort();

// Data port: BEAMORA_DATA_PORT when it holds a number from 1 to 65535, else 6565.
uint16_t DataPort();

// Parses a port number text; 0 when it is not a whole number from 1 to 65535.
uint16_t ParsePort(const char* text);

}  // namespace platform
