// The projection's geometry: how the local screen maps onto the picture the receiver shows. Kept
// process-wide between projections; written by the control thread and the API caller, read by the
// sending thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace tarrowlink {

struct Geometry {
    std::atomic<int32_t> capture_width{0};  // capture surface and pictures sent, pixels
    std::atomic<int32_t> capture_height{0};
    std::atomic<int32_t> stretch{0};        // 1: the screen is scaled down onto the capture
    std::atomic<int32_t> picture_width{0};  // announced in MSG_PICTURE_SIZE
    std::atomic<int32_t> picture_height{0};
    std::atomic<int32_t> resolution_divisor{1};  // 1 for a 1024 x 768 receiver, else 2
    std::atomic<float> coefficient_x{1.0f};      // last Vitrex::GetCof(1)
    std::atomic<float> coefficient_y{1.0f};      // last Vitrex::GetCof(0)
    std::atomic<int32_t> last_screen_width{0};   // as last seen by the sending loop
    std::atomic<int32_t> last_screen_height{0};
    std::atomic<int32_t> first_send{1};  // the first screen update of the process goes twice
    std::atomic<int32_t> grid_pending{
        0};  // a mode change during a projection awaits the next start
};

Geometry& TheGeometry();

// Getters that return -1 while the value is 0.
int32_t CaptureWidth();
int32_t CaptureHeight();

// The local screen size (primary screen, pixels); false when it cannot be read.
bool LocalScreenSize(int* width, int* height);
// Replaces where LocalScreenSize gets its answer (tests); an empty function restores the desktop.
void SetScreenSizeSourceForTests(std::function<bool(int*, int*)> source);

// Works out the capture and picture sizes for a receiver of width x height and the local screen.
// 1 when both capture sides are non-zero. Control thread.
int ComputeGeometry(int32_t width, int32_t height);

// Has the change tracker lay its grid for the screen and the receiver and takes its coefficients.
// Returns 1. Control thread.
int ApplyVideoGrid(int32_t width, int32_t height);

}  // namespace tarrowlink
