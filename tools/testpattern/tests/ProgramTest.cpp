// Runs the x11-testpattern program on private Xvfb servers and reads the screen back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/XvfbServer.h"
#include "tools/testpattern/SceneLayout.h"

// Last: Xlib defines macros (None, Bool, Status) that clash with GoogleTest.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

namespace testpattern {
namespace {

using platform::testing::XvfbServer;

// The program running as a child, its stderr kept in a file; killed if a test leaves it behind.
class Program {
  public:
    explicit Program(const std::vector<std::string>& arguments) {
        char name[] = "/tmp/x11-testpattern-test-XXXXXX";
        int fd = mkstemp(name);
        stderr_path_ = name;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fd, 2);
        std::vector<std::string> all{X11_TESTPATTERN_PROGRAM};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fd);
    }
    ~Program() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        unlink(stderr_path_.c_str());
    }

    bool Started() const { return pid_ > 0; }
    void Signal(int signal) { kill(pid_, signal); }

    // The exit status once it ended within `timeout`; -1 when it is still running, -2 when it
    // died of a signal.
    int WaitExit(std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            int status;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

    std::string Stderr() const {
        std::ifstream in(stderr_path_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

  private:
    pid_t pid_ = -1;
    std::string stderr_path_;
};

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};
struct ImageDestroyer {
    void operator()(XImage* i) const { XDestroyImage(i); }
};
using ImagePtr = std::unique_ptr<XImage, ImageDestroyer>;

// The root window's pixels inside r.
ImagePtr ReadRoot(Display* display, const Rect& r) {
    return ImagePtr(XGetImage(display, DefaultRootWindow(display), r.x, r.y,
                              static_cast<unsigned>(r.width), static_cast<unsigned>(r.height),
                              AllPlanes, ZPixmap));
}

bool SamePixels(XImage* a, XImage* b) {
    for (int y = 0; y < a->height; ++y) {
        for (int x = 0; x < a->width; ++x) {
            if (XGetPixel(a, x, y) != XGetPixel(b, x, y)) return false;
        }
    }
    return true;
}

// Reads the root window until `done` holds for the area or two seconds pass.
template <typename Done>
bool WaitForScreen(Display* display, const Rect& area, Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < end) {
        ImagePtr image = ReadRoot(display, area);
        if (image && done(image.get())) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// The title bar's blue as the server stores it at `depth`.
unsigned long TitleBlue(int depth) {
    if (depth == 16) return (40u >> 3) << 11 | (90u >> 2) << 5 | (170u >> 3);
    return 40u << 16 | 90u << 8 | 170u;
}

TEST(TestPatternProgram, OnceLeavesTheSceneOnTheRootAtDepths24And16) {
    for (int depth : {24, 16}) {
        SCOPED_TRACE(depth);
        XvfbServer xvfb(800, 600, depth);
        ASSERT_TRUE(xvfb.Ok()) << xvfb.Error();
        Program program({"--display", xvfb.Display(), "--once"});
        ASSERT_TRUE(program.Started());
        ASSERT_EQ(program.WaitExit(std::chrono::seconds(10)), 0) << program.Stderr();

        // The picture outlives the program: it is the root window's background now.
        std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(xvfb.Display().c_str()));
        ASSERT_TRUE(display);
        SceneLayout layout = LayoutScene(800, 600);
        const Rect& slides = layout.windows[0].frame;
        ImagePtr title = ReadRoot(display.get(), {slides.x + slides.width / 2, slides.y + 2, 1, 1});
        ASSERT_TRUE(title);
        EXPECT_EQ(XGetPixel(title.get(), 0, 0), TitleBlue(depth));
        // The wallpaper is a gradient: its top and bottom differ.
        ImagePtr top = ReadRoot(display.get(), {0, 0, 1, 1});
        ImagePtr bottom = ReadRoot(display.get(), {0, layout.taskbar.y - 2, 1, 1});
        EXPECT_NE(XGetPixel(top.get(), 0, 0), XGetPixel(bottom.get(), 0, 0));
    }
}

TEST(TestPatternProgram, MovesOnlyItsMovingPartsAndEndsOnSigterm) {
    XvfbServer xvfb(1024, 768, 24);
    ASSERT_TRUE(xvfb.Ok()) << xvfb.Error();
    Program program({"--display", xvfb.Display(), "--fps", "30"});
    ASSERT_TRUE(program.Started());
    std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(xvfb.Display().c_str()));
    ASSERT_TRUE(display);
    SceneLayout layout = LayoutScene(1024, 768);
    const Rect terminal = layout.windows[1].frame;

    // Wait for the first frame: the terminal window's title bar appears.
    ASSERT_TRUE(WaitForScreen(display.get(),
                              {terminal.x + terminal.width / 2, terminal.y + 2, 1, 1},
                              [](XImage* i) { return XGetPixel(i, 0, 0) == TitleBlue(24); }))
        << program.Stderr();
    ImagePtr track = ReadRoot(display.get(), layout.slide_track);
    ImagePtr still = ReadRoot(display.get(), terminal);
    ASSERT_TRUE(track && still);
    EXPECT_TRUE(WaitForScreen(display.get(), layout.slide_track, [&](XImage* now) {
        return !SamePixels(now, track.get());
    })) << "the sliding box did not move";
    ImagePtr still_later = ReadRoot(display.get(), terminal);
    EXPECT_TRUE(SamePixels(still.get(), still_later.get())) << "a still window changed";

    program.Signal(SIGTERM);
    EXPECT_EQ(program.WaitExit(std::chrono::seconds(3)), 0) << program.Stderr();
}

TEST(TestPatternProgram, AreaTurnsEveryPixelOfItsAreaIntoItsNegativeEachFrameAndNothingElse) {
    XvfbServer xvfb(800, 600, 24);
    ASSERT_TRUE(xvfb.Ok()) << xvfb.Error();
    // The still scene first: the reference for the area and for what lies outside it.
    Program still({"--display", xvfb.Display(), "--area", "200x100", "--once"});
    ASSERT_TRUE(still.Started());
    ASSERT_EQ(still.WaitExit(std::chrono::seconds(10)), 0) << still.Stderr();
    std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(xvfb.Display().c_str()));
    ASSERT_TRUE(display);
    const Rect area = CentredArea(800, 600, 200, 100);
    const Rect around{area.x - 20, area.y - 20, area.width + 40, area.height + 40};
    ImagePtr scene = ReadRoot(display.get(), around);
    ASSERT_TRUE(scene);

    Program program({"--display", xvfb.Display(), "--area", "200x100", "--fps", "2"});
    ASSERT_TRUE(program.Started());
    auto inside = [&](int x, int y) {
        return x >= 20 && y >= 20 && x < 20 + area.width && y < 20 + area.height;
    };
    // Every pixel of the area is the scene's negative, every other one the scene, or the reverse
    // inside the area: both states must show up within two seconds at two frames a second.
    for (bool negative : {true, false}) {
        EXPECT_TRUE(WaitForScreen(display.get(), around,
                                  [&](XImage* now) {
                                      for (int y = 0; y < now->height; ++y) {
                                          for (int x = 0; x < now->width; ++x) {
                                              unsigned long expected = XGetPixel(scene.get(), x, y);
                                              if (negative && inside(x, y))
                                                  expected = ~expected & 0xFFFFFF;
                                              if (XGetPixel(now, x, y) != expected) return false;
                                          }
                                      }
                                      return true;
                                  }))
            << (negative ? "the negative" : "the scene") << " never showed";
    }
    program.Signal(SIGTERM);
    EXPECT_EQ(program.WaitExit(std::chrono::seconds(3)), 0) << program.Stderr();
}

TEST(TestPatternProgram, EndsAfterItsSecondsAndWhenTheServerGoesAway) {
    {
        XvfbServer xvfb(640, 480, 24);
        ASSERT_TRUE(xvfb.Ok()) << xvfb.Error();
        Program program({"--display", xvfb.Display(), "--fps", "5", "--seconds", "1"});
        ASSERT_TRUE(program.Started());
        EXPECT_EQ(program.WaitExit(std::chrono::seconds(10)), 0) << program.Stderr();
    }
    auto xvfb = std::make_unique<XvfbServer>(640, 480, 24);
    ASSERT_TRUE(xvfb->Ok()) << xvfb->Error();
    Program program({"--display", xvfb->Display(), "--fps", "1"});
    ASSERT_TRUE(program.Started());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_EQ(program.WaitExit(std::chrono::milliseconds(1)), -1) << program.Stderr();
    xvfb.reset();  // the server ends while the program waits for its next frame
    EXPECT_EQ(program.WaitExit(std::chrono::seconds(5)), 0) << program.Stderr();
    EXPECT_NE(program.Stderr().find("went away"), std::string::npos) << program.Stderr();
}

TEST(TestPatternProgram, RefusesBadUsageAndAMissingDisplay) {
    Program usage({"--fps", "0"});
    ASSERT_TRUE(usage.Started());
    EXPECT_EQ(usage.WaitExit(std::chrono::seconds(5)), 2);
    EXPECT_NE(usage.Stderr().find("--fps"), std::string::npos);

    // A display number no server listens on.
    Program nowhere({"--display", ":65000", "--once"});
    ASSERT_TRUE(nowhere.Started());
    EXPECT_EQ(nowhere.WaitExit(std::chrono::seconds(5)), 1);
    EXPECT_NE(nowhere.Stderr().find("cannot open display"), std::string::npos);
}

}  // namespace
}  // namespace testpattern
