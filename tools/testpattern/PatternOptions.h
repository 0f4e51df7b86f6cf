// Command line of x11-testpattern: which display, what to draw, how fast, how long.
#pragma once

#include <string>
#include <vector>

namespace testpattern {

struct PatternOptions {
    std::string display;  // X display name; empty: $DISPLAY
    int fps = 10;         // frames drawn per second, 1 to 60
    int seconds = 0;      // run time in seconds; 0: until SIGINT/SIGTERM or the server goes away
    bool once = false;    // draw one frame, leave it as the root background and exit
    // --area WxH|full: instead of the moving scene, the still scene with one centred area that
    // turns into its negative and back on every frame, so that each frame changes every pixel of
    // that area and nothing else (a steady, known load for CPU benchmarks of screen senders).
    bool area = false;
    int area_width = 0;   // 0 with area: the whole screen
    int area_height = 0;  // 0 with area: the whole screen
    // Writes "frame N" (N counting from 0) on stdout, flushed, once frame N is on the screen, so
    // a benchmark can count the changes drawn in a window of time.
    bool print_frames = false;
    bool help = false;
};

// Parses the arguments that follow the program name. Returns false with *error set (one line,
// no program name) on a usage error; *options is then unspecified.
bool ParsePatternOptions(const std::vector<std::string>& arguments, PatternOptions* options,
                         std::string* error);

// The --help text.
std::string PatternUsage();

}  // namespace testpattern
