// Where everything of the test pattern goes on a screen of a given size: the fake windows, the
// icons, the task bar and the three areas that change from frame to frame. Pure arithmetic, so
// the drawing code only paints what this file decided.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testpattern {

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// True when b lies wholly inside a.
bool Contains(const Rect& a, const Rect& b);
// True when a and b share at least one pixel.
bool Overlaps(const Rect& a, const Rect& b);

enum class WindowStyle { kDocument, kTerminal, kNotes };

struct FakeWindow {
    Rect frame;  // title bar included, pixels
    std::string title;
    WindowStyle style = WindowStyle::kDocument;
    std::vector<std::string> lines;  // body text, top to bottom
};

struct DesktopIcon {
    Rect image;  // the square picture; the label goes below it
    std::string label;
};

struct SceneLayout {
    int width = 0;   // screen, pixels
    int height = 0;  // screen, pixels
    int title_height = 0;
    std::vector<FakeWindow> windows;  // painted back to front
    std::vector<DesktopIcon> icons;
    Rect taskbar;
    Rect slide_track;   // the sliding box moves inside this area of the first window
    Rect progress_bar;  // in the notes window
    Rect clock;         // right end of the task bar: time of day and frame counter
    int box_width = 0;  // the sliding box, pixels
    int box_height = 0;
};

// Lays the scene out for a screen of width x height pixels (any size; areas shrink to nothing on
// screens too small for them, never below zero).
SceneLayout LayoutScene(int width, int height);

// The sliding box at frame `frame` when `fps` frames are drawn a second: it crosses the track in
// four seconds and comes back, always wholly inside the track.
Rect SlidingBox(const SceneLayout& layout, uint64_t frame, int fps);

// How full the progress bar is at `frame`, in per mille: it fills in six seconds, then restarts.
int ProgressPermille(uint64_t frame, int fps);

// Every area a frame may change (slide track, progress bar, clock); the rest of the screen is
// painted once.
std::vector<Rect> DynamicAreas(const SceneLayout& layout);

// The area of --area: width x height centred on a screen of screen_width x screen_height, cut to
// the screen; the whole screen when width or height is 0.
Rect CentredArea(int screen_width, int screen_height, int width, int height);

}  // namespace testpattern
