// The presenter program `beamora` on a private Xvfb: one shaped window where it belongs, a second
// copy that only brings the first forward, and the ways the window ends the program at once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/EndToEnd.h"

// Xlib's macros (Status, None, Bool) clash with Qt's and GoogleTest's names: it comes last.
// clang-format off
#include "platform/x11/XDisplay.h"
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/shape.h>
// clang-format on

namespace e2e {
namespace {

constexpr char kTitle[] = "RVX-700";

// The top-level windows titled kTitle (children of the root: no window manager runs here).
std::vector<Window> PresenterWindows(Display* display) {
    std::vector<Window> found;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
        return found;
    }
    for (unsigned int i = 0; i < count; ++i) {
        char* name = nullptr;
        if (XFetchName(display, children[i], &name) && name != nullptr) {
            if (std::string(name) == kTitle) found.push_back(children[i]);
            XFree(name);
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

std::vector<std::string> NetWmState(Display* display, Window window) {
    std::vector<std::string> names;
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_STATE", False), 0, 64,
                           False, XA_ATOM, &type, &format, &items, &after, &data) == Success &&
        data != nullptr) {
        auto* atoms = reinterpret_cast<Atom*>(data);
        for (unsigned long i = 0; i < items; ++i) {
            char* name = XGetAtomName(display, atoms[i]);
            names.emplace_back(name);
            XFree(name);
        }
        XFree(data);
    }
    return names;
}

class Presenter : public EndToEnd {
  protected:
    void SetUp() override {
        StartScreen();
        // What the window's shape cuts away shows this colour.
        screen_->Fill(0, 0, 1024, 768, 0xFF00FF);
        display_.reset(XOpenDisplay(xvfb_->Display().c_str()));
        ASSERT_TRUE(display_);
    }
    ChildProcess* Start(const std::string& log) {
        programs_.push_back(std::make_unique<ChildProcess>(
            BEAMORA_PROGRAM, std::vector<std::string>{}, dir_.File(log),
            std::vector<std::pair<std::string, std::string>>{
                {"DISPLAY", xvfb_->Display()}, {"LANG", "C"}, {"LC_ALL", ""}}));
        return programs_.back().get();
    }
    // Waits for the one presenter window and its first painting.
    Window AwaitWindow() {
        Window window = 0;
        WaitFor([&] {
            auto windows = PresenterWindows(display_.get());
            if (windows.size() == 1) window = windows.front();
            XWindowAttributes attributes{};
            return window != 0 && XGetWindowAttributes(display_.get(), window, &attributes) &&
                   attributes.map_state == IsViewable;
        });
        // The first status tick paints within a few milliseconds of the window showing.
        WaitFor([&] { return screen_->Grab().pixel(352 + 160, 227 + 43) != 0xFFFF00FF; }, 5000);
        return window;
    }

    platform::XDisplayPtr display_;
    std::vector<std::unique_ptr<ChildProcess>> programs_;
};

TEST_F(Presenter, OneShapedWindowOnTopWhereItBelongsAndASecondCopyOnlyBringsItForward) {
    ChildProcess* first = Start("first.txt");
    const Window window = AwaitWindow();
    ASSERT_NE(window, 0u) << first->Log();

    // Centred across, a third down: ((1024 - 320) / 2, (768 - 86) / 3).
    int x = -1, y = -1;
    Window child = 0;
    XTranslateCoordinates(display_.get(), window, DefaultRootWindow(display_.get()), 0, 0, &x, &y,
                          &child);
    EXPECT_EQ(x, 352);
    EXPECT_EQ(y, 227);
    // Asked to stay on top while it first shows.
    const auto state = NetWmState(display_.get(), window);
    EXPECT_NE(std::find(state.begin(), state.end(), "_NET_WM_STATE_ABOVE"), state.end());

    // Only the rounded deck is part of the window: its corner pixels show what lies beneath.
    int count = 0, ordering = 0;
    XRectangle* shape =
        XShapeGetRectangles(display_.get(), window, ShapeBounding, &count, &ordering);
    ASSERT_NE(shape, nullptr);
    auto in_shape = [&](int px, int py) {
        for (int i = 0; i < count; ++i) {
            if (px >= shape[i].x && px < shape[i].x + shape[i].width && py >= shape[i].y &&
                py < shape[i].y + shape[i].height) {
                return true;
            }
        }
        return false;
    };
    EXPECT_FALSE(in_shape(0, 0));
    EXPECT_FALSE(in_shape(319, 85));
    EXPECT_TRUE(in_shape(4, 0));
    EXPECT_TRUE(in_shape(160, 43));
    XFree(shape);
    const QImage screen = screen_->Grab();
    EXPECT_EQ(screen.pixel(352, 227), 0xFFFF00FFu);
    EXPECT_NE(screen.pixel(352 + 160, 227 + 43), 0xFFFF00FFu);

    // A second copy ends at once, leaving the one window.
    ChildProcess* second = Start("second.txt");
    EXPECT_EQ(second->Wait(5000), 0) << second->Log();
    EXPECT_EQ(PresenterWindows(display_.get()).size(), 1u);
    EXPECT_TRUE(first->Running());
}

TEST_F(Presenter, EscapeAndTheWindowManagersCloseEndTheProgramAtOnce) {
    for (bool escape : {true, false}) {
        ChildProcess* program = Start(escape ? "escape.txt" : "close.txt");
        const Window window = AwaitWindow();
        ASSERT_NE(window, 0u) << program->Log();
        Display* d = display_.get();
        if (escape) {
            XSetInputFocus(d, window, RevertToParent, CurrentTime);
            XSync(d, False);
            ChildProcess key("/usr/bin/xdotool", {"key", "--clearmodifiers", "Escape"},
                             dir_.File("xdotool.txt"), {{"DISPLAY", xvfb_->Display()}});
            key.Wait(5000);
        } else {
            XEvent event{};
            event.xclient.type = ClientMessage;
            event.xclient.window = window;
            event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
            event.xclient.format = 32;
            event.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
            event.xclient.data.l[1] = CurrentTime;
            XSendEvent(d, window, False, NoEventMask, &event);
            XFlush(d);
        }
        // No four-second farewell: the program is gone well before that.
        EXPECT_EQ(program->Wait(2500), 0) << (escape ? "Escape" : "close") << "\n"
                                          << program->Log();
        EXPECT_TRUE(WaitFor([&] { return PresenterWindows(d).empty(); }, 2000));
    }
}

}  // namespace
}  // namespace e2e
