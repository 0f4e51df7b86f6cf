#include "client/bench/BenchFrames.h"

#include <array>
#include <cmath>
#include <map>
#include <random>
#include <tuple>
#include <utility>

namespace tarrowlink::bench {
namespace {

constexpr FrameSize kSizes[] = {{1024, 768}, {1920, 1080}};

// A top-down painter over a bottom-up capture buffer.
class Canvas {
  public:
    Canvas(int width, int height)
        : width_(width), height_(height), pixels_(size_t(width) * height * 4, 0) {}

    void Put(int x, int y, uint32_t rgb) {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
        uint8_t* p = &pixels_[(size_t(height_ - 1 - y) * width_ + x) * 4];
        p[0] = static_cast<uint8_t>(rgb);
        p[1] = static_cast<uint8_t>(rgb >> 8);
        p[2] = static_cast<uint8_t>(rgb >> 16);
        p[3] = 0;
    }
    void Fill(int x0, int y0, int x1, int y1, uint32_t rgb) {
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) Put(x, y, rgb);
        }
    }
    int width() const { return width_; }
    int height() const { return height_; }
    std::vector<uint8_t> Take() { return std::move(pixels_); }

  private:
    int width_, height_;
    std::vector<uint8_t> pixels_;
};

uint32_t Rgb(int r, int g, int b) {
    auto clamp = [](int v) { return uint32_t(v < 0 ? 0 : v > 255 ? 255 : v); };
    return clamp(r) << 16 | clamp(g) << 8 | clamp(b);
}

// Glyphs of 6 x 9 pixels drawn at a 7-pixel advance, from a fixed pseudo-random font.
class Font {
  public:
    explicit Font(std::mt19937& random) {
        for (auto& glyph : glyphs_) {
            for (auto& row : glyph) row = static_cast<uint8_t>(random() & random() & 0x3F);
        }
    }
    void Draw(Canvas& canvas, int x, int y, int glyph, uint32_t ink) const {
        for (int row = 0; row < 9; ++row) {
            for (int column = 0; column < 6; ++column) {
                if (glyphs_[static_cast<unsigned>(glyph) % kGlyphs][row] >> column & 1)
                    canvas.Put(x + column, y + row, ink);
            }
        }
    }
    static constexpr int kGlyphs = 48;

  private:
    std::array<std::array<uint8_t, 9>, kGlyphs> glyphs_{};
};

void DrawText(Canvas& canvas, const Font& font, std::mt19937& random, int x0, int y0, int x1,
              int y1, uint32_t ink) {
    for (int y = y0; y + 9 <= y1; y += 15) {
        int x = x0;
        const int line_end = x1 - int(random() % 120);
        while (x < line_end) {
            int word = 2 + int(random() % 8);
            for (int i = 0; i < word && x + 6 <= line_end; ++i, x += 7) {
                font.Draw(canvas, x, y, int(random()), ink);
            }
            x += 7;
        }
    }
}

void DrawWindow(Canvas& canvas, const Font& font, std::mt19937& random, int x0, int y0, int x1,
                int y1, const char* kind) {
    canvas.Fill(x0, y0, x1, y1, Rgb(60, 60, 60));  // frame
    for (int x = x0 + 1; x < x1 - 1; ++x) {        // title bar gradient
        int t = (x - x0) * 255 / (x1 - x0);
        canvas.Fill(x, y0 + 1, x + 1, y0 + 25, Rgb(20 + t / 4, 60 + t / 3, 140 + t / 3));
    }
    DrawText(canvas, font, random, x0 + 10, y0 + 8, x0 + 200, y0 + 20, Rgb(255, 255, 255));
    canvas.Fill(x1 - 70, y0 + 5, x1 - 6, y0 + 21, Rgb(200, 60, 50));    // buttons
    canvas.Fill(x0 + 1, y0 + 25, x1 - 1, y0 + 50, Rgb(236, 236, 236));  // tool bar
    for (int i = 0; x0 + 10 + 30 * i < x1 - 30; ++i) {
        canvas.Fill(x0 + 10 + 30 * i, y0 + 29, x0 + 30 + 30 * i, y0 + 46,
                    Rgb(90 + 20 * (i % 5), 120, 160 - 15 * (i % 7)));
    }
    canvas.Fill(x0 + 1, y0 + 50, x1 - 1, y1 - 1, Rgb(255, 255, 255));  // client area
    if (kind[0] == 't') {
        DrawText(canvas, font, random, x0 + 12, y0 + 60, x1 - 20, y1 - 10, Rgb(30, 30, 30));
    } else {
        // A list: alternating row shades with short texts.
        for (int y = y0 + 52, row = 0; y + 18 < y1; y += 18, ++row) {
            if (row % 2) canvas.Fill(x0 + 1, y, x1 - 1, y + 18, Rgb(242, 245, 250));
            DrawText(canvas, font, random, x0 + 12, y + 4, x0 + (x1 - x0) / 2, y + 14,
                     Rgb(40, 40, 40));
        }
    }
}

// A photo: smooth colour fields with fine grain, which compresses poorly.
void DrawPhoto(Canvas& canvas, std::mt19937& random, int x0, int y0, int x1, int y1) {
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            double u = (x - x0) / 57.0, v = (y - y0) / 43.0;
            int grain = int(random() % 7) - 3;
            int r = int(120 + 80 * std::sin(u) * std::cos(v * 0.7)) + grain;
            int g = int(140 + 60 * std::cos(u * 0.6 + v)) + grain;
            int b = int(100 + 90 * std::sin(v * 1.3 - u * 0.4)) + grain;
            canvas.Put(x, y, Rgb(r, g, b));
        }
    }
}

std::vector<uint8_t> MakeDesktop(const FrameSize& size) {
    Canvas canvas(size.width, size.height);
    std::mt19937 random(20261207);
    Font font(random);
    const int w = size.width, h = size.height;
    canvas.Fill(0, 0, w, h, Rgb(58, 110, 165));  // wallpaper
    DrawPhoto(canvas, random, w * 55 / 100, h * 6 / 100, w * 96 / 100, h * 45 / 100);
    DrawWindow(canvas, font, random, w * 3 / 100, h * 4 / 100, w * 52 / 100, h * 80 / 100, "text");
    DrawWindow(canvas, font, random, w * 30 / 100, h * 50 / 100, w * 85 / 100, h * 92 / 100 - 40,
               "list");
    canvas.Fill(0, h - 40, w, h, Rgb(40, 44, 52));  // task bar
    for (int i = 0; i < 12; ++i) {
        DrawPhoto(canvas, random, 8 + 44 * i, h - 34, 36 + 44 * i, h - 6);  // icons
    }
    DrawText(canvas, font, random, w - 90, h - 26, w - 10, h - 14, Rgb(230, 230, 230));
    return canvas.Take();
}

std::vector<uint8_t> MakeNoise(const FrameSize& size) {
    std::mt19937 random(4242);
    std::vector<uint8_t> pixels(size_t(size.width) * size.height * 4);
    for (auto& byte : pixels) byte = static_cast<uint8_t>(random());
    return pixels;
}

}  // namespace

std::span<const FrameSize> BenchSizes() {
    return kSizes;
}

std::string SizeName(const FrameSize& size) {
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

const char* SceneName(Scene scene) {
    return scene == Scene::kDesktop ? "desktop" : "noise";
}

const std::vector<uint8_t>& CaptureFrame(Scene scene, const FrameSize& size) {
    static std::map<std::tuple<int, int, int>, std::vector<uint8_t>> frames;
    auto key = std::make_tuple(int(scene), size.width, size.height);
    auto found = frames.find(key);
    if (found == frames.end()) {
        found = frames.emplace(key, scene == Scene::kDesktop ? MakeDesktop(size) : MakeNoise(size))
                    .first;
    }
    return found->second;
}

}  // namespace tarrowlink::bench
