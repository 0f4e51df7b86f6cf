#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <memory>
#include <thread>

#include "platform/DesktopRefresh.h"
#include "platform/testing/XvfbServer.h"

// Last: Xlib defines macros (None, Bool, Status) that clash with GoogleTest.
#include "platform/x11/XDisplay.h"

namespace platform {
namespace {

// Waits up to timeout_ms for an Expose event on window; drains every other event.
bool WaitForExpose(Display* display, Window window, int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < deadline) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == Expose && event.xexpose.window == window) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

TEST(DesktopRefresh, EveryWindowIsAskedToRepaint) {
    testing::XvfbServer server;
    ASSERT_TRUE(server.Ok()) << server.Error();
    setenv("DISPLAY", server.Display().c_str(), 1);

    XDisplayPtr display(XOpenDisplay(server.Display().c_str()));
    ASSERT_TRUE(display);
    Window root = DefaultRootWindow(display.get());
    Window window = XCreateSimpleWindow(display.get(), root, 10, 10, 200, 100, 0, 0, 0);
    XSelectInput(display.get(), window, ExposureMask);
    XMapWindow(display.get(), window);
    ASSERT_TRUE(WaitForExpose(display.get(), window, 3000));  // the first paint after mapping
    while (WaitForExpose(display.get(), window, 50)) {
    }

    RefreshDesktop();
    EXPECT_TRUE(WaitForExpose(display.get(), window, 3000));

    // No desktop to talk to: nothing happens, nothing fails.
    setenv("DISPLAY", ":65000", 1);
    RefreshDesktop();
    unsetenv("DISPLAY");
}

}  // namespace
}  // namespace platform
