// Paints the test pattern on the root window of an X display. The still parts are painted once
// into a pixmap; each frame copies the dynamic areas from it into a back buffer, draws the moving
// parts there and copies only those areas to the screen, so a frame damages little and never
// flickers.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "tools/testpattern/SceneLayout.h"

namespace testpattern {

class ScenePainter {
  public:
    // Prepares pixmaps, a GC and the core font "fixed" for `display` (borrowed, must outlive the
    // painter) and paints the still scene. Called on the program's only thread.
    ScenePainter(Display* display, int fps);
    ~ScenePainter();
    ScenePainter(const ScenePainter&) = delete;
    ScenePainter& operator=(const ScenePainter&) = delete;

    // Draws frame number `frame` (the counter shown) with the clock at `now` and puts it on the
    // screen. With `as_background` the whole frame also becomes the root window's background, so
    // it stays when this program exits and comes back on exposures.
    void ShowFrame(uint64_t frame, std::time_t now, bool as_background);

    // Makes the scene without its moving parts the root window's background (it stays when this
    // program exits). The start of --area.
    void ShowStill();
    // Frame `frame` of --area: `area` of the still scene as its negative on even frames and as it
    // is on odd ones, so that every frame changes every pixel of the area (ShowStill first).
    void ShowAreaFrame(uint64_t frame, const Rect& area);

    const SceneLayout& Layout() const { return layout_; }

  private:
    // A pixel value for 8-bit red, green and blue on the root window's visual.
    unsigned long Pixel(int red, int green, int blue);
    void Fill(Drawable target, const Rect& r, unsigned long pixel);
    void Text(Drawable target, int x, int baseline, const std::string& text, unsigned long pixel);
    void Frame3d(Drawable target, const Rect& r, bool raised);
    void PaintStill();
    void PaintWindow(const FakeWindow& window);
    void PaintMoving(uint64_t frame, std::time_t now);

    Display* display_;
    int fps_;
    Window root_;
    Visual* visual_;
    Colormap colormap_;
    int depth_;
    SceneLayout layout_;
    Pixmap still_ = 0;  // the scene without its moving parts
    Pixmap back_ = 0;   // the frame being composed
    GC gc_ = nullptr;
    XFontStruct* font_ = nullptr;  // null when the server has no "fixed": then no text
};

}  // namespace testpattern
