#include "tools/testpattern/PatternOptions.h"

#include <charconv>

namespace testpattern {
namespace {

// A whole decimal number in [low, high], nothing else.
bool ParseBounded(const std::string& text, int low, int high, int* value) {
    int parsed = 0;
    const char* end = text.data() + text.size();
    auto [stop, failure] = std::from_chars(text.data(), end, parsed);
    if (text.empty() || failure != std::errc() || stop != end) return false;
    if (parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

// "WxH" with each side a whole number in [1, 16384], or "full" (0 x 0).
bool ParseArea(const std::string& text, int* width, int* height) {
    if (text == "full") {
        *width = *height = 0;
        return true;
    }
    const size_t x = text.find('x');
    return x != std::string::npos && ParseBounded(text.substr(0, x), 1, 16384, width) &&
           ParseBounded(text.substr(x + 1), 1, 16384, height);
}

}  // namespace

bool ParsePatternOptions(const std::vector<std::string>& arguments, PatternOptions* options,
                         std::string* error) {
    *options = PatternOptions{};
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        bool has_value = i + 1 < arguments.size();
        if (option == "--help" || option == "-h") {
            options->help = true;
        } else if (option == "--once") {
            options->once = true;
        } else if (option == "--print-frames") {
            options->print_frames = true;
        } else if (option == "--display" || option == "--fps" || option == "--seconds" ||
                   option == "--area") {
            if (!has_value) {
                *error = option + " needs a value";
                return false;
            }
            const std::string& value = arguments[++i];
            if (option == "--display") {
                options->display = value;
            } else if (option == "--fps" && !ParseBounded(value, 1, 60, &options->fps)) {
                *error = "--fps takes a whole number from 1 to 60, not \"" + value + "\"";
                return false;
            } else if (option == "--seconds" &&
                       !ParseBounded(value, 0, 7 * 86400, &options->seconds)) {
                *error = "--seconds takes a whole number of seconds, not \"" + value + "\"";
                return false;
            } else if (option == "--area") {
                if (!ParseArea(value, &options->area_width, &options->area_height)) {
                    *error = "--area takes WxH (1 to 16384 each) or full, not \"" + value + "\"";
                    return false;
                }
                options->area = true;
            }
        } else {
            *error = "unexpected argument \"" + option + "\"";
            return false;
        }
    }
    return true;
}

std::string PatternUsage() {
    return "usage: x11-testpattern [--display NAME] [--fps N] [--seconds N] [--once]\n"
           "                       [--area WxH|full] [--print-frames]\n"
           "Draws a desktop-like picture on the root window of the X display (default $DISPLAY):\n"
           "a gradient, windows with title bars and text, a sliding box, a progress bar and a\n"
           "clock with a frame counter, redrawn N times a second (default 10).\n"
           "  --seconds N  stop after N seconds (default: until SIGINT or SIGTERM)\n"
           "  --once       draw one frame, keep it as the root background and exit\n"
           "  --area WxH|full  draw the scene without its moving parts and turn a centred area of\n"
           "               WxH (or the whole screen) into its negative and back on every frame,\n"
           "               so each frame changes every pixel of it; with --once: the still scene\n"
           "  --print-frames  write \"frame N\" on stdout once frame N (from 0) is on the screen\n"
           "It ends cleanly on SIGINT, SIGTERM and when the X server goes away.\n"
           "Exit 0 done, 1 cannot open the display, 2 usage.\n";
}

}  // namespace testpattern
