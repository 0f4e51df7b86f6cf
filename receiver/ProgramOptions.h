// The command line of beamora-receiver.
#pragma once

#include <string>
#include <vector>

#include "receiver/ReceiverServer.h"

namespace receiver {

struct ProgramOptions {
    ServerOptions server;
    bool window = false;
    bool fullscreen = false;
    bool help = false;
    bool version = false;  // --version: print it and exit
};

// The --help text.
std::string UsageText();

// Parses argv[1..]; ports come from platform::ControlPort() and platform::DataPort(), the default
// name from the host name. False with *error set (one line) on a usage error.
bool ParseProgramOptions(const std::vector<std::string>& arguments, ProgramOptions* options,
                         std::string* error);

}  // namespace receiver
