// The receiver's picture is the screen: at depths 24 and 32 pixel for pixel, at depth 16 its 5-6-5
// reduction; after drawing known content and after changing part of it, with the library in this
// process and with beamora-cli.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

struct MirrorCase {
    int bits_per_pixel;
    bool cli;  // beamora-cli rather than the library in this process
};

class Mirror : public EndToEnd, public ::testing::WithParamInterface<MirrorCase> {};

TEST_P(Mirror, PictureIsTheScreenAndOnlyAChangedPartIsSentAgain) {
    const MirrorCase c = GetParam();
    StartScreen();
    screen_->Put(TestPattern(1024, 768, 1), 0, 0);
    Receiver receiver(dir_, {"--mode", "1024x768x" + std::to_string(c.bits_per_pixel)});
    ASSERT_TRUE(receiver.WaitReady()) << receiver.process().Log();

    std::unique_ptr<LibraryPresenter> library;
    std::unique_ptr<CliPresenter> cli;
    if (c.cli) {
        // By name: the CLI finds the receiver through its beacons.
        cli = std::make_unique<CliPresenter>(dir_, xvfb_->Display(), kReceiverName);
        ASSERT_TRUE(cli->process().WaitForLog("beamora-cli: projecting\n")) << cli->process().Log();
    } else {
        library = std::make_unique<LibraryPresenter>();
        ASSERT_TRUE(library->LogInAndStart()) << receiver.process().Log();
    }

    ASSERT_EQ(AwaitPicture(receiver, Reduce(screen_->Grab(), c.bits_per_pixel)), "")
        << receiver.process().Log();
    // The whole screen has arrived once it shows, but the very first update of a process goes
    // out twice, 400 ms apart: the count is taken once the totals hold still between two stats
    // lines, whenever that is.
    unsigned long long units_before = 0, bytes_before = 0;
    ASSERT_TRUE(receiver.SettledTotals(&units_before, &bytes_before));

    // A filled rectangle and a small picture elsewhere: 1.6 % of the screen.
    screen_->Fill(200, 300, 120, 80, 0x3366CC);
    screen_->Put(TestPattern(64, 48, 7), 700, 100);
    ASSERT_EQ(AwaitPicture(receiver, Reduce(screen_->Grab(), c.bits_per_pixel)), "")
        << receiver.process().Log();
    ASSERT_TRUE(receiver.WaitForNextStats());
    unsigned long long units_after = 0, bytes_after = 0;
    ASSERT_TRUE(receiver.Totals(&units_after, &bytes_after));
    // The whole screen went out once or twice before (48 strips each time); the change must cost
    // a small part of that.
    EXPECT_LT(bytes_after - bytes_before, bytes_before / 10)
        << "units " << units_before << " -> " << units_after;
    EXPECT_LT(units_after - units_before, 48u) << "bytes " << bytes_before << " -> " << bytes_after;

    if (c.cli) {
        cli->process().Signal(SIGTERM);
        EXPECT_EQ(cli->process().Wait(), 0) << cli->process().Log();
        EXPECT_EQ(cli->process().Count("beamora-cli: stopped\n"), 1) << cli->process().Log();
    } else {
        EXPECT_EQ(library->ui.StopProjecting(0), 1);
    }
    EXPECT_TRUE(receiver.process().WaitForLog("MSG_STOP_REQUEST\n")) << receiver.process().Log();
    EXPECT_TRUE(receiver.process().WaitForLog("ended (closed by the presenter)"));
}

// A changed area whose pixels do not compress (a photograph's grain, video, noise) must reach the
// receiver too. A strip may not be declared larger than its pixels, so such strips come changed a
// little (fewer bits per channel, or a few repeated pixels at their start): close to the screen,
// and nothing of the old picture left.
TEST_F(EndToEnd, IncompressibleChangeArrivesCoarser) {
    StartScreen();
    screen_->Put(TestPattern(1024, 768, 14), 0, 0);
    Receiver receiver(dir_, {"--mode", "1024x768x16"});
    ASSERT_TRUE(receiver.WaitReady());
    LibraryPresenter presenter;
    ASSERT_TRUE(presenter.LogInAndStart()) << receiver.process().Log();
    const QImage before = Reduce(screen_->Grab(), 16);
    ASSERT_EQ(AwaitPicture(receiver, before), "");
    screen_->Put(Noise(256, 64, 15), 300, 300);
    const QImage after = Reduce(screen_->Grab(), 16);
    const QRect patch(300, 300, 256, 64);
    Closeness to_noise, to_old;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    do {
        QImage picture = receiver.Snapshot();
        if (picture.size() == after.size()) {
            to_noise = Compare(after.copy(patch), picture.copy(patch));
            to_old = Compare(before.copy(patch), picture.copy(patch));
            if (to_noise.mean_difference < 40) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < deadline);
    EXPECT_LT(to_noise.mean_difference, 40) << "the noise did not arrive";
    EXPECT_GT(to_old.mean_difference, 2 * to_noise.mean_difference);
}

INSTANTIATE_TEST_SUITE_P(Depths, Mirror,
                         ::testing::Values(MirrorCase{16, false}, MirrorCase{24, false},
                                           MirrorCase{32, false}, MirrorCase{16, true},
                                           MirrorCase{32, true}),
                         [](const ::testing::TestParamInfo<MirrorCase>& info) {
                             return std::string(info.param.cli ? "Cli" : "Library") +
                                    std::to_string(info.param.bits_per_pixel);
                         });

}  // namespace
}  // namespace e2e
