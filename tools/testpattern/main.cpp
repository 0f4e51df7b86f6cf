// x11-testpattern: draws moving, desktop-like content on the root window of an X display, so a
// headless X server (Xvfb) has something worth capturing. Used by the demo, by tests and (with
// --area) by bench/peer-compare.
#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "platform/x11/XDisplay.h"
#include "tools/testpattern/PatternOptions.h"
#include "tools/testpattern/ScenePainter.h"

namespace {

volatile sig_atomic_t g_stop_signal = 0;

void OnStopSignal(int number) {
    g_stop_signal = number;
}

std::string g_display_name;

// Xlib calls this when the connection breaks (the server ended or was killed). Nothing of ours is
// left on a server that is gone, so this is a normal end.
int OnConnectionLost(Display*) {
    std::fprintf(stderr, "x11-testpattern: the X server on %s went away\n", g_display_name.c_str());
    std::exit(0);
}

// SIGINT, SIGTERM and SIGHUP are blocked except while waiting for the next frame, so a signal is
// never lost between the check and the wait. Returns the mask to wait with.
sigset_t InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigset_t stop_signals, wait_mask;
    sigemptyset(&stop_signals);
    for (int number : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(number, &action, nullptr);
        sigaddset(&stop_signals, number);
    }
    sigprocmask(SIG_BLOCK, &stop_signals, &wait_mask);
    for (int number : {SIGINT, SIGTERM, SIGHUP}) sigdelset(&wait_mask, number);
    // A write to a closed connection must reach Xlib as an error, not kill us.
    signal(SIGPIPE, SIG_IGN);
    return wait_mask;
}

// Waits until `deadline` or a stop signal, reading whatever the server sends meanwhile (which is
// how a vanished server is noticed).
void WaitUntil(Display* display, std::chrono::steady_clock::time_point deadline,
               const sigset_t& wait_mask) {
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
        }
        if (g_stop_signal != 0) return;
        auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::nanoseconds::zero()) return;
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timespec timeout{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        int ready = ppoll(&connection, 1, &timeout, &wait_mask);
        if (ready < 0 && errno != EINTR) return;
    }
}

}  // namespace

int main(int argc, char** argv) {
    testpattern::PatternOptions options;
    std::string error;
    if (!testpattern::ParsePatternOptions(std::vector<std::string>(argv + 1, argv + argc), &options,
                                          &error)) {
        std::fprintf(stderr, "x11-testpattern: %s\n%s", error.c_str(),
                     testpattern::PatternUsage().c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(testpattern::PatternUsage().c_str(), stdout);
        return 0;
    }
    const char* name = options.display.empty() ? nullptr : options.display.c_str();
    platform::XDisplayPtr display(XOpenDisplay(name));
    if (!display) {
        std::fprintf(stderr, "x11-testpattern: cannot open display \"%s\"\n", XDisplayName(name));
        return 1;
    }
    g_display_name = DisplayString(display.get());
    XSetIOErrorHandler(OnConnectionLost);
    const sigset_t wait_mask = InstallStopSignals();

    testpattern::ScenePainter painter(display.get(), options.fps);
    const testpattern::Rect area = testpattern::CentredArea(
        painter.Layout().width, painter.Layout().height, options.area_width, options.area_height);
    if (options.area) painter.ShowStill();
    if (options.once && options.area) {
        XSync(display.get(), False);
        return 0;
    }
    if (options.once) {
        painter.ShowFrame(0, std::time(nullptr), true);
        XSync(display.get(), False);
        return 0;
    }

    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::nanoseconds(1000000000 / options.fps);
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(options.seconds);
    auto next = start;
    for (uint64_t frame = 0; g_stop_signal == 0; ++frame) {
        if (options.area) {
            painter.ShowAreaFrame(frame, area);
        } else {
            painter.ShowFrame(frame, std::time(nullptr), frame == 0);
        }
        // One round trip a frame keeps us from queueing faster than the server draws, and tells
        // that the frame is on the screen before it is reported.
        XSync(display.get(), False);
        if (options.print_frames) {
            std::printf("frame %llu\n", static_cast<unsigned long long>(frame));
            std::fflush(stdout);
        }
        next += period;
        const auto now = Clock::now();
        if (next < now) next = now;  // fell behind: drop the missed frames, keep the pace
        if (options.seconds > 0 && next >= end) {
            WaitUntil(display.get(), end, wait_mask);
            break;
        }
        WaitUntil(display.get(), next, wait_mask);
    }
    return 0;
}
