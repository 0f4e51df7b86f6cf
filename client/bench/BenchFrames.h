// Deterministic test pictures for the benchmarks, as capture buffers: 32-bit pixels (bytes blue,
// green, red, unused), rows bottom-up like the capture surface. The same scene and size always
// give the same bytes, so runs on different days compare.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarrowlink::bench {

enum class Scene {
    // A desktop: flat background, windows with frames and title bars, lines of text on white,
    // a photo-like gradient area and a task bar.
    kDesktop,
    // Random bytes in every pixel: the worst case for compression.
    kNoise,
};

struct FrameSize {
    int width;
    int height;
};

// The screen sizes every frame benchmark runs at: 1024x768 and 1920x1080.
std::span<const FrameSize> BenchSizes();

// "1024x768", "desktop": the pieces of benchmark names.
std::string SizeName(const FrameSize& size);
const char* SceneName(Scene scene);

// The scene at the given size, made on first use and kept for the whole run. Main thread.
const std::vector<uint8_t>& CaptureFrame(Scene scene, const FrameSize& size);

}  // namespace tarrowlink::bench
