#include "tools/testpattern/ScenePainter.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>

namespace testpattern {
namespace {

// Bits to shift an 8-bit channel by so that it lands in `mask`, and how many bits the mask keeps.
void MaskPosition(unsigned long mask, int* shift, int* bits) {
    *shift = 0;
    *bits = 0;
    if (mask == 0) return;
    while ((mask & 1) == 0) {
        mask >>= 1;
        ++*shift;
    }
    while ((mask & 1) != 0) {
        mask >>= 1;
        ++*bits;
    }
}

unsigned long Channel(int value8, unsigned long mask) {
    int shift, bits;
    MaskPosition(mask, &shift, &bits);
    if (bits == 0) return 0;
    unsigned long value = static_cast<unsigned long>(std::clamp(value8, 0, 255));
    value = bits >= 8 ? value << (bits - 8) : value >> (8 - bits);
    return (value << shift) & mask;
}

// A colour of the hue circle (0..359) at full saturation and brightness.
void Hue(int degrees, int* red, int* green, int* blue) {
    degrees %= 360;
    const int sector = degrees / 60;
    const int rising = (degrees % 60) * 255 / 60;
    const int falling = 255 - rising;
    const int table[6][3] = {{255, rising, 0},  {falling, 255, 0}, {0, 255, rising},
                             {0, falling, 255}, {rising, 0, 255},  {255, 0, falling}};
    *red = table[sector][0];
    *green = table[sector][1];
    *blue = table[sector][2];
}

}  // namespace

ScenePainter::ScenePainter(Display* display, int fps)
    : display_(display),
      fps_(fps),
      root_(DefaultRootWindow(display)),
      visual_(DefaultVisual(display, DefaultScreen(display))),
      colormap_(DefaultColormap(display, DefaultScreen(display))),
      depth_(DefaultDepth(display, DefaultScreen(display))),
      layout_(LayoutScene(DisplayWidth(display, DefaultScreen(display)),
                          DisplayHeight(display, DefaultScreen(display)))) {
    const auto w = static_cast<unsigned>(std::max(1, layout_.width));
    const auto h = static_cast<unsigned>(std::max(1, layout_.height));
    still_ = XCreatePixmap(display_, root_, w, h, static_cast<unsigned>(depth_));
    back_ = XCreatePixmap(display_, root_, w, h, static_cast<unsigned>(depth_));
    gc_ = XCreateGC(display_, root_, 0, nullptr);
    XSetGraphicsExposures(display_, gc_, False);
    font_ = XLoadQueryFont(display_, "fixed");
    if (font_ != nullptr) {
        XSetFont(display_, gc_, font_->fid);
    } else {
        std::fprintf(stderr, "x11-testpattern: the X server has no \"fixed\" font; no text\n");
    }
    PaintStill();
    XCopyArea(display_, still_, back_, gc_, 0, 0, w, h, 0, 0);
}

ScenePainter::~ScenePainter() {
    if (font_ != nullptr) XFreeFont(display_, font_);
    XFreeGC(display_, gc_);
    XFreePixmap(display_, back_);
    XFreePixmap(display_, still_);
}

unsigned long ScenePainter::Pixel(int red, int green, int blue) {
    if (visual_->c_class == TrueColor || visual_->c_class == DirectColor) {
        return Channel(red, visual_->red_mask) | Channel(green, visual_->green_mask) |
               Channel(blue, visual_->blue_mask);
    }
    // Colour-mapped screens: ask the server (used for the few colours of a frame only).
    XColor color{};
    color.red = static_cast<unsigned short>(red * 257);
    color.green = static_cast<unsigned short>(green * 257);
    color.blue = static_cast<unsigned short>(blue * 257);
    if (XAllocColor(display_, colormap_, &color) == 0) {
        return (red + green + blue) / 3 >= 128 ? WhitePixel(display_, DefaultScreen(display_))
                                               : BlackPixel(display_, DefaultScreen(display_));
    }
    return color.pixel;
}

void ScenePainter::Fill(Drawable target, const Rect& r, unsigned long pixel) {
    if (r.width <= 0 || r.height <= 0) return;
    XSetForeground(display_, gc_, pixel);
    XFillRectangle(display_, target, gc_, r.x, r.y, static_cast<unsigned>(r.width),
                   static_cast<unsigned>(r.height));
}

void ScenePainter::Text(Drawable target, int x, int baseline, const std::string& text,
                        unsigned long pixel) {
    if (font_ == nullptr || text.empty()) return;
    XSetForeground(display_, gc_, pixel);
    XDrawString(display_, target, gc_, x, baseline, text.data(), static_cast<int>(text.size()));
}

void ScenePainter::Frame3d(Drawable target, const Rect& r, bool raised) {
    if (r.width < 2 || r.height < 2) return;
    const unsigned long light = Pixel(250, 250, 250);
    const unsigned long dark = Pixel(90, 90, 90);
    Fill(target, {r.x, r.y, r.width, 1}, raised ? light : dark);
    Fill(target, {r.x, r.y, 1, r.height}, raised ? light : dark);
    Fill(target, {r.x, r.y + r.height - 1, r.width, 1}, raised ? dark : light);
    Fill(target, {r.x + r.width - 1, r.y, 1, r.height}, raised ? dark : light);
}

void ScenePainter::PaintStill() {
    const int w = layout_.width;
    const int h = layout_.height;
    // Wallpaper: deep blue at the top to teal at the bottom, in 2-pixel bands.
    for (int y = 0; y < h; y += 2) {
        const int t = h > 1 ? y * 255 / (h - 1) : 0;
        Fill(still_, {0, y, w, 2}, Pixel(20 + t / 8, 40 + t / 2, 110 + t / 4));
    }
    const int ascent = font_ != nullptr ? font_->ascent : 10;
    for (const DesktopIcon& icon : layout_.icons) {
        Fill(still_, icon.image, Pixel(235, 200, 90));
        Frame3d(still_, icon.image, true);
        Text(still_, icon.image.x, icon.image.y + icon.image.height + ascent + 3, icon.label,
             Pixel(255, 255, 255));
    }
    for (const FakeWindow& window : layout_.windows) PaintWindow(window);

    // Task bar: a start button and one button per window; the clock is drawn every frame.
    const Rect& bar = layout_.taskbar;
    Fill(still_, bar, Pixel(45, 48, 56));
    Fill(still_, {bar.x, bar.y, bar.width, 1}, Pixel(120, 124, 135));
    const int button_height = std::max(0, bar.height - 6);
    const int text_y = bar.y + 3 + (button_height + ascent) / 2 - 1;
    Rect start{bar.x + 4, bar.y + 3, 60, button_height};
    Fill(still_, start, Pixel(60, 140, 70));
    Frame3d(still_, start, true);
    Text(still_, start.x + 12, text_y, "Start", Pixel(255, 255, 255));
    int x = start.x + start.width + 8;
    for (const FakeWindow& window : layout_.windows) {
        Rect button{x, bar.y + 3, 150, button_height};
        if (button.x + button.width > layout_.clock.x - 8) break;
        Fill(still_, button, Pixel(70, 74, 84));
        Frame3d(still_, button, true);
        Text(still_, button.x + 6, text_y, window.title.substr(0, 23), Pixel(230, 230, 230));
        x += button.width + 4;
    }
}

void ScenePainter::PaintWindow(const FakeWindow& window) {
    const Rect& f = window.frame;
    if (f.width <= 0 || f.height <= 0) return;
    const int title = layout_.title_height;
    const int ascent = font_ != nullptr ? font_->ascent : 10;
    const int line_height = font_ != nullptr ? font_->ascent + font_->descent + 2 : 15;
    // Drop shadow, frame, title bar with its text and three buttons.
    Fill(still_, {f.x + 5, f.y + 5, f.width, f.height}, Pixel(15, 25, 45));
    Fill(still_, f, Pixel(200, 200, 205));
    Fill(still_, {f.x, f.y, f.width, title}, Pixel(40, 90, 170));
    Text(still_, f.x + 8, f.y + (title + ascent) / 2 - 1, window.title, Pixel(255, 255, 255));
    const int button = std::max(0, title - 8);
    const unsigned long button_colours[3] = {Pixel(230, 80, 70), Pixel(240, 190, 60),
                                             Pixel(90, 190, 90)};
    for (int i = 0; i < 3; ++i) {
        Fill(still_, {f.x + f.width - (3 - i) * (button + 6), f.y + 4, button, button},
             button_colours[i]);
    }

    Rect body{f.x + 2, f.y + title, f.width - 4, f.height - title - 2};
    unsigned long background = Pixel(255, 255, 255);
    unsigned long ink = Pixel(20, 20, 20);
    if (window.style == WindowStyle::kTerminal) {
        background = Pixel(12, 12, 12);
        ink = Pixel(80, 230, 90);
    } else if (window.style == WindowStyle::kNotes) {
        background = Pixel(255, 246, 170);
    }
    Fill(still_, body, background);
    // Lines longer than a small window is wide end at its edge.
    XRectangle clip{static_cast<short>(body.x), static_cast<short>(body.y),
                    static_cast<unsigned short>(std::max(0, body.width)),
                    static_cast<unsigned short>(std::max(0, body.height))};
    XSetClipRectangles(display_, gc_, 0, 0, &clip, 1, YXBanded);
    int baseline = body.y + 6 + ascent;
    for (size_t i = 0; i < window.lines.size(); ++i) {
        if (baseline > body.y + body.height) break;
        // A document's first line is its heading, in the title bar's blue.
        const bool heading = window.style == WindowStyle::kDocument && i == 0;
        Text(still_, body.x + 8, baseline, window.lines[i], heading ? Pixel(40, 90, 170) : ink);
        baseline += line_height;
    }
    XSetClipMask(display_, gc_, None);
    if (window.style == WindowStyle::kDocument) {
        // A small bar chart to the right of the bullets, so the slide is not only text.
        const Rect& track = layout_.slide_track;
        const int chart_x = body.x + body.width * 2 / 3;
        const int chart_bottom = track.y - 8;
        const int chart_top = body.y + 10;
        const int bar_width = std::max(1, body.width / 30);
        const int heights[4] = {35, 60, 50, 85};
        const unsigned long colours[4] = {Pixel(70, 130, 200), Pixel(230, 120, 50),
                                          Pixel(90, 170, 90), Pixel(190, 70, 150)};
        for (int i = 0; i < 4 && chart_bottom > chart_top; ++i) {
            const int height = (chart_bottom - chart_top) * heights[i] / 100;
            Fill(still_, {chart_x + i * (bar_width + 6), chart_bottom - height, bar_width, height},
                 colours[i]);
        }
        Fill(still_, track, Pixel(232, 238, 246));
    }
}

void ScenePainter::PaintMoving(uint64_t frame, std::time_t now) {
    // The sliding box, its colour turning round the hue circle every six seconds.
    const Rect box = SlidingBox(layout_, frame, fps_);
    int red, green, blue;
    Hue(static_cast<int>(frame * 60 / static_cast<uint64_t>(std::max(1, fps_))), &red, &green,
        &blue);
    Fill(back_, box, Pixel(red, green, blue));
    Frame3d(back_, box, true);
    const int ascent = font_ != nullptr ? font_->ascent : 10;
    Text(back_, box.x + std::max(2, box.width / 2 - 21), box.y + (box.height + ascent) / 2 - 1,
         "Beamora", Pixel(0, 0, 0));

    const Rect& bar = layout_.progress_bar;
    Fill(back_, bar, Pixel(255, 255, 255));
    Fill(back_, {bar.x, bar.y, bar.width * ProgressPermille(frame, fps_) / 1000, bar.height},
         Pixel(60, 150, 230));
    Frame3d(back_, bar, false);

    std::tm local{};
    localtime_r(&now, &local);
    char clock[64];
    std::snprintf(clock, sizeof clock, "%02d:%02d:%02d  frame %llu", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<unsigned long long>(frame));
    const Rect& area = layout_.clock;
    Text(back_, area.x + 4, area.y + (area.height + ascent) / 2 - 1, clock, Pixel(255, 255, 255));
}

void ScenePainter::ShowFrame(uint64_t frame, std::time_t now, bool as_background) {
    const std::vector<Rect> areas = DynamicAreas(layout_);
    for (const Rect& r : areas) {
        if (r.width <= 0 || r.height <= 0) continue;
        XCopyArea(display_, still_, back_, gc_, r.x, r.y, static_cast<unsigned>(r.width),
                  static_cast<unsigned>(r.height), r.x, r.y);
    }
    PaintMoving(frame, now);
    if (as_background) {
        // The window keeps its own reference to the pixmap, so it outlives this program.
        XSetWindowBackgroundPixmap(display_, root_, back_);
        XClearWindow(display_, root_);
        return;
    }
    for (const Rect& r : areas) {
        if (r.width <= 0 || r.height <= 0) continue;
        XCopyArea(display_, back_, root_, gc_, r.x, r.y, static_cast<unsigned>(r.width),
                  static_cast<unsigned>(r.height), r.x, r.y);
    }
}

void ScenePainter::ShowStill() {
    XSetWindowBackgroundPixmap(display_, root_, still_);
    XClearWindow(display_, root_);
}

void ScenePainter::ShowAreaFrame(uint64_t frame, const Rect& area) {
    if (area.width <= 0 || area.height <= 0) return;
    // Inverting every bit of a pixel changes each of its colour channels.
    XSetFunction(display_, gc_, frame % 2 == 0 ? GXcopyInverted : GXcopy);
    XCopyArea(display_, still_, root_, gc_, area.x, area.y, static_cast<unsigned>(area.width),
              static_cast<unsigned>(area.height), area.x, area.y);
    XSetFunction(display_, gc_, GXcopy);
}

}  // namespace testpattern
