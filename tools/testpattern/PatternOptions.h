// Command line of x11-testpattern: which display, how fast, how long.
#pragma once

#include <string>
#include <vector>

namespace testpattern {

struct PatternOptions {
    std::string display;  // X display name; empty: $DISPLAY
    int fps = 10;         // frames drawn per second, 1 to 60
    int seconds = 0;      // run time in seconds; 0: until SIGINT/SIGTERM or the server goes away
    bool once = false;    // draw one frame, leave it as the root background and exit
    bool help = false;
};

// Parses the arguments that follow the program name. Returns false with *error set (one line,
// no program name) on a usage error; *options is then unspecified.
bool ParsePatternOptions(const std::vector<std::string>& arguments, PatternOptions* options,
                         std::string* error);

// The --help text.
std::string PatternUsage();

}  // namespace testpattern
