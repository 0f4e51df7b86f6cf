// beamora-cli presenting a Wayland desktop through the ScreenCast portal, on the headless sway
// stack of wayland-session: the receiver's picture is the screen (grim's copy of it) at depths 16
// and 24, after drawing and after a change of a small part, which alone goes out again; and a
// refusal, or the desktop ending the screen cast, ends the projection with the reason.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/e2e/Pictures.h"
#include "tests/e2e/Processes.h"

namespace e2e {
namespace {

// Runs a program of the stack (swaymsg, grim), found on PATH, and waits for it; its exit status.
int RunTool(const std::string& program, std::vector<std::string> arguments, const TempDir& dir) {
    arguments.insert(arguments.begin(), program);
    ChildProcess child("/usr/bin/env", std::move(arguments), dir.File("run.txt"));
    return child.Wait(10000);
}

// The screen as the compositor shows it.
QImage Grab(const TempDir& dir) {
    const std::string path = dir.File("screen.png");
    ::unlink(path.c_str());
    if (RunTool("grim", {path}, dir) != 0) return {};
    return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
}

// Shows picture as the desktop's background (everything but the bar).
bool SetBackground(const QImage& picture, const TempDir& dir) {
    const std::string path = dir.File("background.png");
    return picture.save(QString::fromStdString(path)) &&
           RunTool("swaymsg", {"output", "HEADLESS-1", "bg", path, "stretch"}, dir) == 0;
}

// Polls until the screen differs from before and holds still (other processes redraw it in
// their own time, sometimes in steps).
QImage AwaitChangedScreen(const QImage& before, const TempDir& dir) {
    QImage last, now;
    WaitFor([&] {
        last = now;
        now = Grab(dir);
        return !now.isNull() && now != before && now == last;
    });
    return now;
}

class WaylandMirror : public ::testing::TestWithParam<int> {
  protected:
    TempDir dir_;
};

TEST_P(WaylandMirror, PictureIsTheScreenAndOnlyAChangedPartIsSentAgain) {
    const int bits = GetParam();
    QImage screen = Grab(dir_);
    ASSERT_FALSE(screen.isNull());
    ASSERT_TRUE(SetBackground(TestPattern(1024, 768, 3), dir_));
    screen = AwaitChangedScreen(screen, dir_);
    Receiver receiver(dir_, {"--mode", "1024x768x" + std::to_string(bits)});
    ASSERT_TRUE(receiver.WaitReady()) << receiver.process().Log();
    CliPresenter cli(dir_, "", kReceiverName);
    ASSERT_TRUE(cli.process().WaitForLog("beamora-cli: projecting\n")) << cli.process().Log();
    ASSERT_EQ(receiver.AwaitPicture(Reduce(screen, bits)), "") << receiver.process().Log();

    unsigned long long units_before = 0, bytes_before = 0;
    bool settled = false;
    ASSERT_TRUE(receiver.SettledTotals(&units_before, &bytes_before, &settled) && settled);

    // New text on the bar: a strip at the top, a few per cent of the screen.
    {
        std::ofstream bar(std::getenv("BEAMORA_TEST_BAR"), std::ios::app);
        bar << "Slide 2 of 17 - changed\n";
    }
    screen = AwaitChangedScreen(screen, dir_);
    ASSERT_EQ(receiver.AwaitPicture(Reduce(screen, bits)), "") << receiver.process().Log();
    unsigned long long units_after = 0, bytes_after = 0;
    ASSERT_TRUE(receiver.SettledTotals(&units_after, &bytes_after, &settled) && settled);
    EXPECT_LT(bytes_after - bytes_before, bytes_before / 10)
        << "units " << units_before << " -> " << units_after;
    EXPECT_LT(units_after - units_before, 48u) << "bytes " << bytes_before << " -> " << bytes_after;

    cli.process().Signal(SIGTERM);
    EXPECT_EQ(cli.process().Wait(), 0) << cli.process().Log();
    EXPECT_EQ(cli.process().Count("beamora-cli: stopped\n"), 1) << cli.process().Log();
}

INSTANTIATE_TEST_SUITE_P(Depths, WaylandMirror, ::testing::Values(16, 24),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Depth" + std::to_string(info.param);
                         });

// The desktop ends the screen cast (its portal backend goes away, and with it the cast): the
// projection ends, the receiver is told to stop, and beamora-cli ends with status 1 and the
// reason, rather than streaming a picture that no longer changes.
TEST(WaylandCast, ClosedByTheDesktopEndsTheProjectionWithTheReason) {
    TempDir dir;
    Receiver receiver(dir, {"--mode", "1024x768x16"});
    ASSERT_TRUE(receiver.WaitReady()) << receiver.process().Log();
    CliPresenter cli(dir, "", kReceiverName);
    ASSERT_TRUE(cli.process().WaitForLog("beamora-cli: projecting\n")) << cli.process().Log();
    const char* portal = std::getenv("BEAMORA_TEST_PORTAL_PID");
    ASSERT_NE(portal, nullptr);
    ASSERT_EQ(::kill(std::atoi(portal), SIGTERM), 0);
    EXPECT_EQ(cli.process().Wait(15000), 1) << cli.process().Log();
    EXPECT_EQ(cli.process().Count("the desktop's screen sharing was refused or has ended"), 1)
        << cli.process().Log();
    EXPECT_TRUE(receiver.process().WaitForLog("MSG_STOP_REQUEST\n")) << receiver.process().Log();
}

std::string ReadToken() {
    std::ifstream in(std::string(std::getenv("XDG_STATE_HOME")) + "/beamora/screencast-token");
    std::string token;
    std::getline(in, token);
    return token;
}

// The permission is kept: the first presentation stores the portal's restore token, and the next
// one starts the cast with it (the receiver is told to start only once the cast runs). This
// portal backend sends no frames to a second cast of the same output in one session, so the
// second run is not asked to deliver a picture.
TEST(WaylandCast, PermissionIsKeptForTheNextPresentation) {
    TempDir dir;
    Receiver receiver(dir, {"--mode", "1024x768x24"});
    ASSERT_TRUE(receiver.WaitReady()) << receiver.process().Log();
    // Ended once a picture has arrived: a busy machine can take seconds for the first frame.
    CliPresenter first(dir, "", kReceiverName, 60, "cli0.txt");
    ASSERT_TRUE(first.process().WaitForLog("beamora-cli: projecting\n")) << first.process().Log();
    unsigned long long units = 0, bytes = 0;
    EXPECT_TRUE(WaitFor(
        [&] { return receiver.WaitForNextStats() && receiver.Totals(&units, &bytes) && units > 0; },
        20000))
        << receiver.process().Log();
    first.process().Signal(SIGTERM);
    EXPECT_EQ(first.process().Wait(20000), 0) << first.process().Log();
    const std::string token = ReadToken();
    EXPECT_FALSE(token.empty());

    CliPresenter second(dir, "", kReceiverName, 60, "cli1.txt");
    EXPECT_TRUE(second.process().WaitForLog("beamora-cli: projecting\n")) << second.process().Log();
    second.process().Signal(SIGTERM);
    second.process().Wait();
    EXPECT_EQ(ReadToken(), token);
}

// Run with the portal refusing (wayland-session --refuse): the start fails with the reason, the
// receiver is told to stop, and nothing is presented.
TEST(WaylandCast, RefusalEndsTheStartWithTheReason) {
    TempDir dir;
    Receiver receiver(dir, {"--mode", "1024x768x16"});
    ASSERT_TRUE(receiver.WaitReady()) << receiver.process().Log();
    CliPresenter cli(dir, "", kReceiverName);
    EXPECT_EQ(cli.process().Wait(20000), 1) << cli.process().Log();
    EXPECT_EQ(cli.process().Count("the desktop's screen sharing was refused or has ended"), 1)
        << cli.process().Log();
    EXPECT_EQ(cli.process().Count("beamora-cli: projecting"), 0) << cli.process().Log();
    EXPECT_TRUE(receiver.process().WaitForLog("MSG_STOP_REQUEST\n")) << receiver.process().Log();
}

}  // namespace
}  // namespace e2e
