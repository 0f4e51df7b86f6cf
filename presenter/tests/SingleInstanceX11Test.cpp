// The window part of the single-instance rule on a private Xvfb. The test plays the window
// manager: it applies the _NET_WM_STATE requests sent to the root window to the window's state,
// as a window manager would, and records _NET_ACTIVE_WINDOW requests and beeps. Windows and
// frames are made with Xlib, the way the running copy and a window manager would make them.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/XvfbServer.h"
#include "presenter/core/SingleInstance.h"
#include "presenter/tests/ForkedChild.h"

// Last: Xlib defines macros (None, Bool, Status) that clash with GoogleTest.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>

#include "platform/x11/XDisplay.h"

namespace beamora {
namespace {

constexpr char kTitle[] = "RVX-700";

// A window named by _NET_WM_NAME (UTF-8) and/or WM_NAME (type STRING, Latin-1); an empty name is
// not set. Made on `display` and left unmapped.
Window MakeWindow(Display* display, Window parent, const std::string& net_name,
                  const std::string& latin1_name) {
    const Window window = XCreateSimpleWindow(display, parent, 20, 20, 200, 100, 0, 0, 0);
    if (!net_name.empty()) {
        XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                        XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(net_name.data()),
                        static_cast<int>(net_name.size()));
    }
    if (!latin1_name.empty()) {
        XChangeProperty(display, window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(latin1_name.data()),
                        static_cast<int>(latin1_name.size()));
    }
    return window;
}

class SingleInstanceX11 : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Ok()) << server_.Error();
        setenv("DISPLAY", server_.Display().c_str(), 1);
        std::string pattern = "/tmp/beamora-instance-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        runtime_dir_ = pattern;
        setenv("XDG_RUNTIME_DIR", runtime_dir_.c_str(), 1);

        display_.reset(XOpenDisplay(server_.Display().c_str()));
        wm_.reset(XOpenDisplay(server_.Display().c_str()));
        ASSERT_TRUE(display_ && wm_);
        root_ = DefaultRootWindow(display_.get());
        XSelectInput(wm_.get(), root_, SubstructureNotifyMask);
        int opcode, error, major = XkbMajorVersion, minor = XkbMinorVersion;
        ASSERT_TRUE(XkbQueryExtension(wm_.get(), &opcode, &xkb_event_, &error, &major, &minor));
        XkbSelectEvents(wm_.get(), XkbUseCoreKbd, XkbBellNotifyMask, XkbBellNotifyMask);
        net_wm_state_ = XInternAtom(wm_.get(), "_NET_WM_STATE", False);
        above_ = XInternAtom(wm_.get(), "_NET_WM_STATE_ABOVE", False);
        net_active_window_ = XInternAtom(wm_.get(), "_NET_ACTIVE_WINDOW", False);
        XSync(wm_.get(), False);
    }
    void TearDown() override {
        std::error_code ignored;
        if (!runtime_dir_.empty()) std::filesystem::remove_all(runtime_dir_, ignored);
    }

    Window Make(Window parent, const std::string& net_name, const std::string& latin1_name,
                bool map = true) {
        const Window window = MakeWindow(display_.get(), parent, net_name, latin1_name);
        if (map) XMapWindow(display_.get(), window);
        XSync(display_.get(), False);
        return window;
    }

    // Handles every request that has reached the window manager by now.
    void RunWindowManager() {
        XSync(wm_.get(), False);
        while (XPending(wm_.get()) > 0) {
            XEvent event;
            XNextEvent(wm_.get(), &event);
            if (event.type == xkb_event_ &&
                reinterpret_cast<XkbEvent*>(&event)->any.xkb_type == XkbBellNotify) {
                ++beeps_;
            }
            if (event.type != ClientMessage) continue;
            const XClientMessageEvent& message = event.xclient;
            if (message.message_type == net_active_window_) activated_.push_back(message.window);
            if (message.message_type == net_wm_state_ &&
                (static_cast<Atom>(message.data.l[1]) == above_ ||
                 static_cast<Atom>(message.data.l[2]) == above_)) {
                const bool add = message.data.l[0] == 1;
                if (add) made_topmost_.push_back(message.window);
                SetAbove(message.window, add);
            }
        }
    }

    std::vector<Atom> States(Window window) {
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        std::vector<Atom> states;
        if (XGetWindowProperty(wm_.get(), window, net_wm_state_, 0, 64, False, XA_ATOM, &type,
                               &format, &count, &after, &data) == Success &&
            format == 32) {
            const auto* list = reinterpret_cast<const Atom*>(data);
            states.assign(list, list + count);
        }
        if (data != nullptr) XFree(data);
        return states;
    }
    bool IsTopmost(Window window) {
        const auto states = States(window);
        return std::find(states.begin(), states.end(), above_) != states.end();
    }
    void SetAbove(Window window, bool above) {
        auto states = States(window);
        std::erase(states, above_);
        if (above) states.push_back(above_);
        XChangeProperty(wm_.get(), window, net_wm_state_, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(states.data()),
                        static_cast<int>(states.size()));
        XSync(wm_.get(), False);
    }

    // The uppermost child of the root window.
    Window Topmost() {
        Window root, parent, top = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(display_.get(), root_, &root, &parent, &children, &count) && count > 0) {
            top = children[count - 1];
        }
        if (children != nullptr) XFree(children);
        return top;
    }

    void ForgetRequests() {
        RunWindowManager();
        activated_.clear();
        made_topmost_.clear();
        beeps_ = 0;
    }

    platform::testing::XvfbServer server_;
    std::string runtime_dir_;
    platform::XDisplayPtr display_;
    platform::XDisplayPtr wm_;
    Window root_ = 0;
    int xkb_event_ = 0;
    Atom net_wm_state_ = 0;
    Atom above_ = 0;
    Atom net_active_window_ = 0;
    std::vector<Window> activated_;
    std::vector<Window> made_topmost_;
    int beeps_ = 0;
};

using Windows = std::vector<Window>;

TEST_F(SingleInstanceX11, FindsExactlyItsTitleAtTheTopOrInAFrame) {
    // The application's own X error handler is in place again after each search.
    const XErrorHandler own = [](Display*, XErrorEvent*) { return 0; };
    XSetErrorHandler(own);
    EXPECT_FALSE(ActivateRunningInstance(kTitle));
    EXPECT_EQ(XSetErrorHandler(own), own);
    Make(root_, "RVX-7000", "RVX-700 (2)");
    EXPECT_FALSE(ActivateRunningInstance(kTitle));

    const Window top = Make(root_, kTitle, "");
    for (const char* near : {"RVX-70", "rvx-700"}) {
        EXPECT_FALSE(ActivateRunningInstance(near)) << near;
    }
    EXPECT_TRUE(ActivateRunningInstance(kTitle));
    RunWindowManager();
    EXPECT_EQ(activated_, Windows{top});

    // A client in a frame, named only by a Latin-1 WM_NAME; a hidden window of the same title,
    // above it in the stacking order, is passed over.
    ForgetRequests();
    const std::string title = "Pr\u00e4sentation RVX-700";
    const Window frame = Make(root_, "", "");
    const Window client = Make(root_, "", "Pr\xe4sentation RVX-700", false);
    XReparentWindow(display_.get(), client, frame, 0, 0);
    XMapWindow(display_.get(), client);
    Make(root_, title, "", false);
    EXPECT_TRUE(ActivateRunningInstance(title));
    RunWindowManager();
    EXPECT_EQ(activated_, Windows{client});

    setenv("DISPLAY", ":65000", 1);  // no such server
    EXPECT_FALSE(ActivateRunningInstance(kTitle));
}

TEST_F(SingleInstanceX11, BringsItForwardWithABeepWithoutLeavingItTopmost) {
    const Window frame = Make(root_, "", "");
    const Window client = Make(root_, kTitle, "", false);
    XReparentWindow(display_.get(), client, frame, 0, 0);
    XMapWindow(display_.get(), client);
    const Window cover = Make(root_, "", "");
    ASSERT_EQ(Topmost(), cover);

    EXPECT_TRUE(ActivateRunningInstance(kTitle));
    RunWindowManager();
    EXPECT_EQ(Topmost(), frame);
    EXPECT_EQ(made_topmost_, Windows{client});
    EXPECT_FALSE(IsTopmost(client));
    EXPECT_EQ(activated_, Windows{client});
    EXPECT_EQ(beeps_, 1);

    // Kept on top by its user: it stays so.
    SetAbove(client, true);
    ForgetRequests();
    EXPECT_TRUE(ActivateRunningInstance(kTitle));
    RunWindowManager();
    EXPECT_TRUE(IsTopmost(client));
    EXPECT_EQ(activated_, Windows{client});
    EXPECT_EQ(beeps_, 1);
}

TEST_F(SingleInstanceX11, ASecondCopyGivesWayToTheFirst) {
    // The first copy: holds the lock from its start; on 'w' shows its window a moment later and
    // answers its id, on 'd' closes it, on 'q' ends a moment later. "A moment later": by then the
    // second copy is waiting.
    test::ForkedChild first([](int commands, int answers) {
        const auto lock = InstanceLock::TryAcquire(kTitle);
        const char held = lock ? 'L' : 'n';
        if (write(answers, &held, 1) != 1) return 1;
        platform::XDisplayPtr display(XOpenDisplay(nullptr));
        if (!display) return 2;
        Window window = 0;
        char command;
        while (read(commands, &command, 1) == 1) {
            if (command == 'w') {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                window = MakeWindow(display.get(), DefaultRootWindow(display.get()), kTitle, "");
                XMapWindow(display.get(), window);
                XSync(display.get(), False);
                if (write(answers, &window, sizeof window) != sizeof window) return 3;
            } else if (command == 'd') {
                XDestroyWindow(display.get(), window);
                XSync(display.get(), False);
                if (write(answers, &command, 1) != 1) return 4;
            } else if (command == 'q') {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                return 0;
            }
        }
        return 5;
    });
    ASSERT_EQ(first.Receive(), 'L');
    std::unique_ptr<InstanceLock> lock;
    const std::chrono::seconds long_wait(30);  // far beyond what any step takes

    // The lock is held and no window shows up: this copy does not run.
    EXPECT_FALSE(ClaimSingleInstance(kTitle, &lock, std::chrono::milliseconds(200)));
    EXPECT_FALSE(lock);

    // The window shows up while this copy waits: it is brought forward.
    ASSERT_TRUE(first.Send('w'));
    EXPECT_FALSE(ClaimSingleInstance(kTitle, &lock, long_wait));
    EXPECT_FALSE(lock);
    Window window = 0;
    ASSERT_TRUE(first.ReceiveValue(&window));
    RunWindowManager();
    EXPECT_EQ(activated_, Windows{window});
    EXPECT_EQ(beeps_, 1);

    // The first copy ends while this one waits: this one runs.
    ASSERT_TRUE(first.Send('d'));
    ASSERT_EQ(first.Receive(), 'd');
    ASSERT_TRUE(first.Send('q'));
    EXPECT_TRUE(ClaimSingleInstance(kTitle, &lock, long_wait));
    EXPECT_TRUE(lock);
    EXPECT_EQ(first.Wait(), 0);
}

}  // namespace
}  // namespace beamora
