#include "receiver/Commands.h"

namespace receiver {
namespace {

std::string_view Trim(std::string_view text) {
    const char* blanks = " \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

}  // namespace

Command ParseCommand(std::string_view line) {
    Command command;
    line = Trim(line);
    if (line.empty()) return command;
    size_t space = line.find_first_of(" \t");
    std::string_view word = line.substr(0, space);
    std::string_view argument = space == std::string_view::npos ? "" : Trim(line.substr(space));
    auto invalid = [&](std::string text) {
        command.kind = Command::kInvalid;
        command.error = std::move(text);
        return command;
    };
    if (word == "stop" || word == "start" || word == "quit") {
        if (!argument.empty()) return invalid(std::string(word) + " takes no argument");
        command.kind = word == "stop"    ? Command::kStop
                       : word == "start" ? Command::kStart
                                         : Command::kQuit;
        return command;
    }
    if (word == "mode") {
        auto mode = ParseModeText(argument);
        if (!mode) return invalid("mode needs WxHxBPP (bits per pixel 16, 24 or 32)");
        command.kind = Command::kMode;
        command.mode = *mode;
        return command;
    }
    if (word == "snapshot") {
        if (argument.empty()) return invalid("snapshot needs a file name");
        command.kind = Command::kSnapshot;
        command.file = std::string(argument);
        return command;
    }
    return invalid("unknown command \"" + std::string(word) +
                   "\" (stop, start, mode WxHxBPP, snapshot FILE, quit)");
}

}  // namespace receiver
