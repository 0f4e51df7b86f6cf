#include "tools/testpattern/SceneLayout.h"

#include <algorithm>

namespace testpattern {
namespace {

// Percent of a length, rounded down.
int Percent(int length, int percent) {
    return static_cast<int>(static_cast<int64_t>(length) * percent / 100);
}

// r shrunk by `by` pixels on every side, never below zero size.
Rect Inset(const Rect& r, int by) {
    Rect inner{r.x + by, r.y + by, r.width - 2 * by, r.height - 2 * by};
    inner.width = std::max(0, inner.width);
    inner.height = std::max(0, inner.height);
    return inner;
}

// The part of a window below its title bar.
Rect Body(const Rect& frame, int title_height) {
    Rect body{frame.x, frame.y + title_height, frame.width, frame.height - title_height};
    body.height = std::max(0, body.height);
    return body;
}

}  // namespace

bool Contains(const Rect& a, const Rect& b) {
    return b.x >= a.x && b.y >= a.y && b.x + b.width <= a.x + a.width &&
           b.y + b.height <= a.y + a.height;
}

bool Overlaps(const Rect& a, const Rect& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
           b.y < a.y + a.height;
}

SceneLayout LayoutScene(int width, int height) {
    SceneLayout layout;
    layout.width = std::max(0, width);
    layout.height = std::max(0, height);
    const int w = layout.width;
    const int h = layout.height;
    layout.title_height = std::min(22, std::max(0, h / 20));
    const int taskbar_height = std::min(30, h / 16);
    layout.taskbar = {0, h - taskbar_height, w, taskbar_height};

    FakeWindow slides;
    slides.frame = {Percent(w, 12), Percent(h, 5), Percent(w, 52), Percent(h, 56)};
    slides.title = "Quarterly review - Slides";
    slides.style = WindowStyle::kDocument;
    slides.lines = {"Beamora live demo",           "",
                    "* the desktop is captured",   "* changed parts are compressed (LZO1X-1)",
                    "* the receiver decodes them", "  and shows the picture"};

    FakeWindow terminal;
    terminal.frame = {Percent(w, 67), Percent(h, 8), Percent(w, 30), Percent(h, 42)};
    terminal.title = "Terminal";
    terminal.style = WindowStyle::kTerminal;
    terminal.lines = {"$ beamora-cli present --receiver \"Demo projector\"",
                      "beamora-cli: logging in to Demo projector", "beamora-cli: logged in",
                      "beamora-cli: projecting", "$ _"};

    FakeWindow notes;
    notes.frame = {Percent(w, 40), Percent(h, 64), Percent(w, 42), Percent(h, 24)};
    notes.title = "Notes";
    notes.style = WindowStyle::kNotes;
    notes.lines = {"Agenda", "1. Numbers for the quarter", "2. Questions", "Uploading handouts:"};

    layout.windows = {slides, terminal, notes};

    const int icon_size = std::min(40, std::max(0, w / 26));
    const char* icon_labels[] = {"Home", "Slides", "Trash"};
    for (int i = 0; i < 3; ++i) {
        layout.icons.push_back(
            {{Percent(w, 2), Percent(h, 6) + i * (icon_size * 2 + 10), icon_size, icon_size},
             icon_labels[i]});
    }

    // The lower third of the slides window's body is the sliding box's stage.
    Rect slide_body = Inset(Body(slides.frame, layout.title_height), 8);
    const int track_height = std::max(0, slide_body.height / 3);
    layout.slide_track = {slide_body.x, slide_body.y + slide_body.height - track_height,
                          slide_body.width, track_height};
    layout.box_height = std::max(0, track_height - 8);
    layout.box_width = std::min(layout.slide_track.width, layout.box_height * 2);

    // The progress bar sits under the notes' last line.
    Rect notes_body = Inset(Body(notes.frame, layout.title_height), 8);
    const int bar_height = std::min(16, notes_body.height / 4);
    layout.progress_bar = {notes_body.x, notes_body.y + notes_body.height - bar_height,
                           notes_body.width, bar_height};

    // Time of day and frame counter: "12:34:56  frame 1234567" in the 6-pixel core font.
    const int clock_width = std::min(w / 3, 26 * 6);
    layout.clock = Inset({w - clock_width, layout.taskbar.y, clock_width, taskbar_height}, 3);
    return layout;
}

Rect SlidingBox(const SceneLayout& layout, uint64_t frame, int fps) {
    const Rect& track = layout.slide_track;
    const int travel = std::max(0, track.width - layout.box_width);
    const uint64_t one_way = static_cast<uint64_t>(std::max(1, fps)) * 4;  // frames
    const uint64_t phase = frame % (2 * one_way);
    const uint64_t along = phase < one_way ? phase : 2 * one_way - phase;
    const int x = static_cast<int>(static_cast<uint64_t>(travel) * along / one_way);
    return {track.x + x, track.y + (track.height - layout.box_height) / 2, layout.box_width,
            layout.box_height};
}

int ProgressPermille(uint64_t frame, int fps) {
    const uint64_t period = static_cast<uint64_t>(std::max(1, fps)) * 6;  // frames
    return static_cast<int>(frame % period * 1000 / period);
}

std::vector<Rect> DynamicAreas(const SceneLayout& layout) {
    return {layout.slide_track, layout.progress_bar, layout.clock};
}

Rect CentredArea(int screen_width, int screen_height, int width, int height) {
    if (width <= 0 || height <= 0) return {0, 0, screen_width, screen_height};
    width = std::min(width, screen_width);
    height = std::min(height, screen_height);
    return {(screen_width - width) / 2, (screen_height - height) / 2, width, height};
}

}  // namespace testpattern
