// The operator's commands, one per line on standard input: stop, start, mode WxHxBPP,
// snapshot FILE, quit. Parsing only; the server carries them out.
#pragma once

#include <string>
#include <string_view>

#include "receiver/ControlMessage.h"

namespace receiver {

struct Command {
    enum Kind { kNone, kStop, kStart, kMode, kSnapshot, kQuit, kInvalid };
    Kind kind = kNone;
    ReceiverMode mode;  // kMode
    std::string file;   // kSnapshot
    std::string error;  // kInvalid: what is wrong, one line
};

// Parses one line (without its line feed). Blank lines give kNone.
Command ParseCommand(std::string_view line);

}  // namespace receiver
