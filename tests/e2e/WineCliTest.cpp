// The Windows build under Wine against this build's receiver: beamora-cli.exe presents what
// wine-painter.exe paints on the Wine desktop (this test's Xvfb), and lists the receiver's
// beacons. Run by the Windows build's ctest, which names its programs in BEAMORA_WINE_RUN (the
// Wine runner), BEAMORA_WINDOWS_BIN and BEAMORA_WINEPREFIX; without them the tests skip.
#include <gtest/gtest.h>

#include <QPainter>
#include <cstdlib>

#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

// The first case of a run may make the Wine prefix first (about 20 s): the painter's first picture
// is given two minutes.

// Where the painter puts the pointer, and the area its image may cover.
constexpr int kPointerX = 600;
constexpr int kPointerY = 200;
const QRect kPointerArea(kPointerX - 32, kPointerY - 32, 64, 64);

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// picture without the pointer's area, for comparing it with the screen (which has no pointer).
QImage WithoutPointer(const QImage& picture) {
    QImage masked = picture.convertToFormat(QImage::Format_RGB32);
    QPainter(&masked).fillRect(kPointerArea, Qt::black);
    return masked;
}

class WineCli : public EndToEnd {
  protected:
    void SetUp() override {
        if (Environment("BEAMORA_WINE_RUN").empty() || Environment("BEAMORA_WINDOWS_BIN").empty()) {
            GTEST_SKIP() << "run by the Windows build's ctest";
        }
    }
    void TearDown() override {
        // The prefix's Wine session ends with the test: the next one has another display.
        const std::string prefix = Environment("BEAMORA_WINEPREFIX");
        if (!prefix.empty()) {
            std::system(("WINEPREFIX='" + prefix + "' wineserver -k 2>/dev/null").c_str());
        }
    }

    // A Windows program of the build under Wine, on this test's X display.
    std::unique_ptr<ChildProcess> Wine(const std::string& program, std::vector<std::string> args,
                                       const std::string& log_name) {
        args.insert(args.begin(), Environment("BEAMORA_WINDOWS_BIN") + "/" + program);
        return std::make_unique<ChildProcess>(
            Environment("BEAMORA_WINE_RUN"), args, dir_.File(log_name),
            std::vector<std::pair<std::string, std::string>>{
                {"BEAMORA_WINE_DISPLAY", xvfb_->Display()},
                {"BEAMORA_WINEPREFIX", Environment("BEAMORA_WINEPREFIX")}});
    }

    // The screen once it holds still (two grabs 300 ms apart agree).
    QImage SettledScreen() {
        QImage last = screen_->Grab();
        for (int i = 0; i < 50; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            QImage now = screen_->Grab();
            if (now == last) return now;
            last = now;
        }
        return last;
    }

    // Polls the receiver until its picture, but for the pointer's area, is expected.
    std::string AwaitPictureWithPointer(Receiver& receiver, const QImage& expected,
                                        QImage* picture) {
        std::string last;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        do {
            *picture = receiver.Snapshot();
            last = Differences(WithoutPointer(expected), WithoutPointer(*picture));
            if (last.empty()) return last;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        } while (std::chrono::steady_clock::now() < deadline);
        return last;
    }
};

class WineCliDepth : public WineCli, public ::testing::WithParamInterface<int> {};

TEST_P(WineCliDepth, PicturePointerPartialChangeAndStopReachTheReceiver) {
    const int depth = GetParam();
    StartScreen();
    auto painter = Wine("wine-painter.exe", {}, "painter.txt");
    ASSERT_TRUE(painter->WaitForLog("painted", 1, 120000)) << painter->Log();
    const QImage painted = SettledScreen();
    ASSERT_EQ(painted.pixel(100, 100) & 0xFFFFFFu, 0xFF0000u)
        << "the painter's picture is not shown";

    Receiver receiver(dir_, {"--mode", "1024x768x" + std::to_string(depth)});
    ASSERT_TRUE(receiver.WaitReady()) << receiver.process().Log();
    auto cli = Wine("beamora-cli.exe", {"present", "--receiver", "127.0.0.1", "--duration", "30"},
                    "cli.txt");
    ASSERT_TRUE(cli->WaitForLog("beamora-cli: projecting", 1, 60000)) << cli->Log();

    QImage picture;
    ASSERT_EQ(AwaitPictureWithPointer(receiver, Reduce(painted, depth), &picture), "")
        << receiver.process().Log() << cli->Log();
    // The pointer: drawn over the screen where the painter put it.
    const QImage screen_part = Reduce(painted, depth).copy(kPointerArea);
    EXPECT_TRUE(WaitFor(
        [&] {
            picture = receiver.Snapshot().convertToFormat(QImage::Format_RGB32);
            return !Differences(screen_part, picture.copy(kPointerArea)).empty();
        },
        10000))
        << "no pointer in the picture\n"
        << cli->Log();

    // The count is taken once the totals hold still between two stats lines.
    unsigned long long units_before = 0, bytes_before = 0;
    ASSERT_TRUE(receiver.SettledTotals(&units_before, &bytes_before));

    ASSERT_TRUE(painter->Command("change"));
    ASSERT_TRUE(painter->WaitForLog("changed", 1, 20000)) << painter->Log();
    QImage changed = SettledScreen();
    ASSERT_NE(changed, painted);
    ASSERT_EQ(AwaitPictureWithPointer(receiver, Reduce(changed, depth), &picture), "")
        << receiver.process().Log();
    ASSERT_TRUE(receiver.WaitForNextStats());
    unsigned long long units_after = 0, bytes_after = 0;
    ASSERT_TRUE(receiver.Totals(&units_after, &bytes_after));
    // 1.6 % of the screen changed: it must cost a small part of the whole screen.
    EXPECT_LT(bytes_after - bytes_before, bytes_before / 10)
        << "units " << units_before << " -> " << units_after;

    // The duration ends: the stop request reaches the receiver.
    EXPECT_EQ(cli->Wait(60000), 0) << cli->Log();
    EXPECT_EQ(cli->Count("beamora-cli: stopped"), 1) << cli->Log();
    EXPECT_TRUE(receiver.process().WaitForLog("MSG_STOP_REQUEST\n")) << receiver.process().Log();
    painter->Command("quit");
}

INSTANTIATE_TEST_SUITE_P(Depths, WineCliDepth, ::testing::Values(16, 24),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Depth" + std::to_string(info.param);
                         });

// A screen larger than the receiver is shrunk onto its picture (StretchBlt in HALFTONE mode).
TEST_F(WineCli, LargerScreenIsShrunkOntoTheReceiversPicture) {
    StartScreen(1280, 1024);
    auto painter = Wine("wine-painter.exe", {"large"}, "painter.txt");
    ASSERT_TRUE(painter->WaitForLog("painted", 1, 120000)) << painter->Log();
    const QImage painted = SettledScreen();
    Receiver receiver(dir_, {"--mode", "1024x768x24"});
    ASSERT_TRUE(receiver.WaitReady()) << receiver.process().Log();
    auto cli = Wine("beamora-cli.exe", {"present", "--receiver", "127.0.0.1", "--duration", "20"},
                    "cli.txt");
    ASSERT_TRUE(cli->WaitForLog("beamora-cli: projecting", 1, 60000)) << cli->Log();
    std::string last;
    EXPECT_TRUE(WaitFor(
        [&] {
            QImage picture = receiver.Snapshot();
            if (picture.size() != QSize(1024, 768)) return false;
            const QImage reference =
                painted.scaled(picture.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            const Closeness c = Compare(reference, picture);
            last = "mean difference " + std::to_string(c.mean_difference) + ", far pixels " +
                   std::to_string(c.far_share);
            // Block edges may differ (Wine's stretch picks pixels); the blocks may not.
            return c.mean_difference < 4 && c.far_share < 0.05;
        },
        20000))
        << last << "\n"
        << cli->Log();
    EXPECT_EQ(cli->Wait(60000), 0) << cli->Log();
}

TEST_F(WineCli, ListHearsTheReceiversBeacons) {
    StartScreen();
    Receiver receiver(dir_, {"--name", "wine-room"});
    ASSERT_TRUE(receiver.WaitReady()) << receiver.process().Log();
    auto cli = Wine("beamora-cli.exe", {"list", "--seconds", "5"}, "list.txt");
    EXPECT_EQ(cli->Wait(60000), 0) << cli->Log();
    EXPECT_EQ(cli->Count("127.0.0.1\twine-room"), 1) << cli->Log();
}

}  // namespace
}  // namespace e2e
