// Cost of one capture step (ScreenCapture::CaptureScreen) on a private X server: the change
// tracker's box query (DAMAGE, the tile refiner's read-back), the shared-memory read, the stretch
// when the screen is larger than the receiver, into the buffer the records share (or, unscaled,
// pointing the records at the tracker's copy).
//
// Each benchmark runs on its own Xvfb of the screen size it names (started on first use, never the
// developer's display), so the figures do not depend on the desktop the program runs under. Every
// iteration first draws the change on the root window (not timed), so that DAMAGE reports it like
// any other drawing, then times one step. Without Xvfb the benchmarks are skipped with an error;
// the encoder benchmarks do not need an X server.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "client/bench/BenchFrames.h"
#include "client/capture/CaptureRecord.h"
#include "client/capture/Scaling.h"
#include "client/capture/ScreenCapture.h"
#include "mirror/Vitrex.h"
#include "platform/testing/XvfbServer.h"

// Last: Xlib defines macros (CursorShape, Status, ...) that clash with names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "platform/x11/XDisplay.h"

namespace tarrowlink::bench {
namespace {

// A private server, kept until the program ends, and how many changes were drawn on it: the
// alternation goes on from one run of a benchmark to the next, so that no draw repeats the
// picture already on the screen.
struct BenchServer {
    std::unique_ptr<platform::testing::XvfbServer> xvfb;
    int turn = 0;
};

// The server of the screen size. Main thread.
BenchServer* ServerFor(const FrameSize& screen) {
    static std::map<std::pair<int, int>, BenchServer> servers;
    BenchServer& server = servers[{screen.width, screen.height}];
    if (!server.xvfb) {
        server.xvfb =
            std::make_unique<platform::testing::XvfbServer>(screen.width, screen.height, 24);
    }
    return server.xvfb->Ok() ? &server : nullptr;
}

// What each iteration draws before the timed step.
enum class Change {
    kFull,   // a whole new picture (desktop and noise in turn)
    kSmall,  // a 100 x 100 square in two colours in turn
    kNone,   // nothing
};

// The screen, a drawing connection to it and a started capture with its 16 records.
class CaptureRig {
  public:
    bool Start(benchmark::State& state, const FrameSize& screen, const FrameSize& receiver) {
        server_ = ServerFor(screen);
        if (server_ == nullptr) {
            state.SkipWithError("no private X server (is Xvfb installed?)");
            return false;
        }
        // The capture and the change tracker open the display named by DISPLAY.
        const std::string& name = server_->xvfb->Display();
        setenv("DISPLAY", name.c_str(), 1);
        display_.reset(XOpenDisplay(name.c_str()));
        if (!display_) {
            state.SkipWithError("cannot open the private X server");
            return false;
        }
        screen_ = screen;
        root_ = DefaultRootWindow(display_.get());
        gc_ = DefaultGC(display_.get(), DefaultScreen(display_.get()));

        // The session's geometry: a screen wider than the receiver is stretched onto it.
        int capture_width = receiver.width;
        int capture_height = receiver.height;
        int stretch = 0;
        Vitrex::SetVideoGrid(screen.width, screen.height, receiver.width, receiver.height);
        const float cof_x = Vitrex::GetCof(1);
        const float cof_y = Vitrex::GetCof(0);
        const int32_t divisor = receiver.width == 1024 && receiver.height == 768 ? 1 : 2;
        if (screen.width > receiver.width) {
            stretch = 1;
            capture_width = ScaleCoordinate(static_cast<uint16_t>(screen.width), cof_x, divisor);
            capture_height = ScaleCoordinate(static_cast<uint16_t>(screen.height), cof_y, divisor);
        }
        capture_.SetResolutionDivisor(divisor);
        if (!capture_.BeginScaled(capture_width, capture_height, cof_x, cof_y, stretch)) {
            state.SkipWithError("capture start failed");
            return false;
        }
        // One buffer for all records, as a projection's records have: the step writes the
        // pixels there and copies nothing more.
        const size_t size = size_t(capture_width) * size_t(capture_height) * 4;
        std::shared_ptr<uint8_t[]> shared(new uint8_t[size]());
        for (CaptureRecord& record : records_) {
            record.frame_buffer = shared;
            record.frame_buffer_size = size;
        }
        return true;
    }

    // Puts this benchmark's picture on the screen, so that the first timed draw changes all it
    // draws, and takes a projection's first step (the whole screen) before the timed ones.
    void WarmUp(Change change) {
        Draw(change);
        FullRefreshFlag().store(1);
        capture_.CaptureScreen(records_);
        capture_.CaptureScreen(records_);
    }

    // Draws the next change and waits until the server has done it.
    void Draw(Change change) {
        Display* d = display_.get();
        const int turn = ++server_->turn;
        if (change == Change::kFull) {
            if (!images_[0]) {
                images_[0] = MakeImage(Scene::kDesktop);
                images_[1] = MakeImage(Scene::kNoise);
            }
            XPutImage(d, root_, gc_, images_[turn % 2].get(), 0, 0, 0, 0,
                      static_cast<unsigned>(screen_.width), static_cast<unsigned>(screen_.height));
        } else if (change == Change::kSmall) {
            XSetForeground(d, gc_, turn % 2 ? 0x3060c0 : 0xe0d020);
            XFillRectangle(d, root_, gc_, 300, 200, 100, 100);
        }
        XSync(d, False);
    }

    int Step() { return capture_.CaptureScreen(records_); }

    // Area of the records of the last step, in capture pixels.
    int64_t RecordPixels(int count) const {
        int64_t total = 0;
        for (int i = 0; i < count; ++i) {
            const int16_t* p = records_[i].placement;
            total += int64_t(p[2] - p[0]) * int64_t(p[3] - p[1]);
        }
        return total;
    }

  private:
    struct ImageDestroyer {
        void operator()(XImage* image) const {
            image->data = nullptr;  // the pixels belong to the frame cache
            XDestroyImage(image);
        }
    };
    using ImagePtr = std::unique_ptr<XImage, ImageDestroyer>;

    // The scene as an image for the root window. The frames are bottom-up; drawn top-down they
    // show upside down, which changes nothing here.
    ImagePtr MakeImage(Scene scene) {
        Display* d = display_.get();
        const std::vector<uint8_t>& frame = CaptureFrame(scene, screen_);
        int s = DefaultScreen(d);
        return ImagePtr(XCreateImage(d, DefaultVisual(d, s),
                                     static_cast<unsigned>(DefaultDepth(d, s)), ZPixmap, 0,
                                     reinterpret_cast<char*>(const_cast<uint8_t*>(frame.data())),
                                     static_cast<unsigned>(screen_.width),
                                     static_cast<unsigned>(screen_.height), 32, screen_.width * 4));
    }

    platform::XDisplayPtr display_;
    Window root_ = 0;
    GC gc_ = nullptr;
    BenchServer* server_ = nullptr;
    FrameSize screen_{};
    ImagePtr images_[2];
    ScreenCapture capture_;
    CaptureRecord records_[kMaxRectangles];
};

void BM_Capture(benchmark::State& state, FrameSize screen, Change change) {
    CaptureRig rig;
    if (!rig.Start(state, screen, FrameSize{1024, 768})) return;
    rig.WarmUp(change);
    int64_t records = 0;
    int64_t pixels = 0;
    for (auto _ : state) {
        state.PauseTiming();
        rig.Draw(change);
        state.ResumeTiming();
        int count = rig.Step();
        benchmark::DoNotOptimize(count);
        records += count;
        pixels += rig.RecordPixels(count);
    }
    const double steps = double(state.iterations());
    state.counters["records"] = double(records) / steps;
    state.counters["pixels"] = double(pixels) / steps;
    state.counters["steps/s"] = benchmark::Counter(steps, benchmark::Counter::kIsRate);
}

const bool kRegistered = [] {
    const FrameSize xga{1024, 768};
    const FrameSize full_hd{1920, 1080};
    // Real time: most of a step waits on the X server, which is another process.
    benchmark::RegisterBenchmark("BM_CaptureFull/1024x768", BM_Capture, xga, Change::kFull)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_CaptureSmall/1024x768", BM_Capture, xga, Change::kSmall)
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_CaptureIdle/1024x768", BM_Capture, xga, Change::kNone)
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_CaptureFull/1920x1080_to_1024x768", BM_Capture, full_hd,
                                 Change::kFull)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
}  // namespace tarrowlink::bench
