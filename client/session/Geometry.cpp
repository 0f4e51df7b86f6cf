#include "client/session/Geometry.h"

#include <mutex>

#include "client/capture/Scaling.h"
#include "client/session/Session.h"
#include "mirror/Vitrex.h"
#include "platform/NoDestructor.h"
#include "platform/Screen.h"

namespace tarrowlink {
namespace {

struct ScreenSource {
    std::mutex mutex;
    std::function<bool(int*, int*)> source;
};

ScreenSource& TheScreenSource() {
    static platform::NoDestructor<ScreenSource> source;
    return *source;
}

}  // namespace

Geometry& TheGeometry() {
    static platform::NoDestructor<Geometry> geometry;
    return *geometry;
}

int32_t CaptureWidth() {
    int32_t v = TheGeometry().capture_width.load();
    return v == 0 ? -1 : v;
}

int32_t CaptureHeight() {
    int32_t v = TheGeometry().capture_height.load();
    return v == 0 ? -1 : v;
}

bool LocalScreenSize(int* width, int* height) {
    ScreenSource& s = TheScreenSource();
    std::function<bool(int*, int*)> source;
    {
        std::lock_guard lock(s.mutex);
        source = s.source;
    }
    return source ? source(width, height) : platform::ScreenSize(width, height);
}

void SetScreenSizeSourceForTests(std::function<bool(int*, int*)> source) {
    ScreenSource& s = TheScreenSource();
    std::lock_guard lock(s.mutex);
    s.source = std::move(source);
}

int ApplyVideoGrid(int32_t width, int32_t height) {
    int sw = 0, sh = 0;
    LocalScreenSize(&sw, &sh);
    Vitrex::SetVideoGrid(sw, sh, width, height);
    Geometry& g = TheGeometry();
    g.coefficient_x.store(Vitrex::GetCof(1));
    g.coefficient_y.store(Vitrex::GetCof(0));
    return 1;
}

int ComputeGeometry(int32_t width, int32_t height) {
    Session& session = TheSession();
    Geometry& g = TheGeometry();
    session.receiver_width.store(width);
    session.receiver_height.store(height);
    g.resolution_divisor.store(width == 1024 && height == 768 ? 1 : 2);
    int sw = 0, sh = 0;
    if (!LocalScreenSize(&sw, &sh) || sw <= 0 || sh <= 0) return 0;
    if (sw != 800 && sw != 640 && sw != 1024) {
        ApplyVideoGrid(width, height);
    } else {
        // These screens are scaled only by the divisor: coefficients left from an earlier, larger
        // screen would distort the picture.
        g.coefficient_x.store(1.0f);
        g.coefficient_y.store(1.0f);
    }
    if (sw > width) {
        g.stretch.store(1);
        int32_t divisor = g.resolution_divisor.load();
        g.capture_width.store(
            ScaleCoordinate(static_cast<uint16_t>(sw), g.coefficient_x.load(), divisor));
        g.capture_height.store(
            ScaleCoordinate(static_cast<uint16_t>(sh), g.coefficient_y.load(), divisor));
    } else {
        g.stretch.store(0);
        g.capture_width.store(width);
        g.capture_height.store(height);
    }
    if (sw < width && sh < height) {
        g.picture_width.store(sw);
        g.picture_height.store(sh);
    } else {
        g.picture_width.store(g.capture_width.load());
        g.picture_height.store(g.capture_height.load());
    }
    return g.capture_width.load() != 0 && g.capture_height.load() != 0 ? 1 : 0;
}

}  // namespace tarrowlink
