// beamora-cli presenting through a proxy that harms its connections to the receiver: delayed,
// cut in the middle of a unit, left half open (no longer read) and reset. The presenter gets its
// own ports through its environment; the receiver keeps the test's.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/Ports.h"
#include "tests/e2e/EndToEnd.h"
#include "tests/e2e/FaultProxy.h"

namespace e2e {
namespace {

constexpr char kDataConnection[] = "data: connection from 127.0.0.1\n";
// Partway into the first picture, a test pattern of about 130 kB in units of a few kB at 16 bits
// a pixel.
constexpr uint64_t kMidPicture = 40001;

class FaultProxyTest : public EndToEnd {
  protected:
    // A receiver, a proxy with the fault in front of its data port (and one that passes everything
    // on in front of its control port, when given), and beamora-cli presenting through them the
    // test pattern of seed.
    void Start(Fault data, uint32_t seed, const Fault* control = nullptr) {
        screen_->Put(TestPattern(1024, 768, seed), 0, 0);
        const std::string name = std::to_string(seed);
        receiver_ = std::make_unique<Receiver>(
            dir_, std::vector<std::string>{"--mode", "1024x768x16"}, "receiver-" + name + ".txt");
        ASSERT_TRUE(receiver_->WaitReady());
        data_ = std::make_unique<FaultProxy>(platform::DataPort(), data);
        ASSERT_TRUE(data_->Ok());
        std::vector<std::pair<std::string, std::string>> environment{
            {"DISPLAY", xvfb_->Display()}, {"BEAMORA_DATA_PORT", std::to_string(data_->Port())}};
        if (control != nullptr) {
            control_ = std::make_unique<FaultProxy>(platform::ControlPort(), *control);
            ASSERT_TRUE(control_->Ok());
            environment.emplace_back("BEAMORA_CONTROL_PORT", std::to_string(control_->Port()));
        }
        cli_ = std::make_unique<ChildProcess>(
            BEAMORA_CLI_PROGRAM,
            std::vector<std::string>{"present", "--receiver", "127.0.0.1", "--duration", "60"},
            dir_.File("cli-" + name + ".txt"), environment);
        ASSERT_TRUE(cli_->WaitForLog("beamora-cli: projecting\n")) << cli_->Log();
    }

    // Keeps part of the screen changing every 50 ms, as a presentation does, until cond holds
    // (15 s at most): a small square, or half the screen of noise that fills any buffer.
    template <typename Cond>
    bool ChangeUntil(Cond cond, bool noise) {
        for (int frame = 0; frame < 300 && !cond(); ++frame) {
            if (noise) {
                screen_->Put(Noise(1024, 384, 1000 + frame), 0, 192);
            } else {
                screen_->Fill(0, 0, 32, 32, 0x050301 * (frame + 1));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return cond();
    }

    // Ends beamora-cli as a user does: its exit status.
    int StopPresenting() {
        cli_->Signal(SIGTERM);
        return cli_->Wait();
    }

    std::unique_ptr<Receiver> receiver_;
    std::unique_ptr<FaultProxy> data_, control_;
    std::unique_ptr<ChildProcess> cli_;
};

TEST_F(FaultProxyTest, DelayedConnectionsStillCarryTheExactPicture) {
    StartScreen();
    const Fault delay{Fault::kDelay, 100};
    Start(delay, 1, &delay);
    EXPECT_EQ(AwaitPicture(*receiver_, Reduce(screen_->Grab(), 16)), "")
        << receiver_->process().Log();
    screen_->Put(TestPattern(400, 300, 2), 100, 100);
    EXPECT_EQ(AwaitPicture(*receiver_, Reduce(screen_->Grab(), 16)), "")
        << receiver_->process().Log();

    EXPECT_EQ(StopPresenting(), 0) << cli_->Log();
    EXPECT_EQ(cli_->Count("beamora-cli: stopped\n"), 1) << cli_->Log();
    EXPECT_TRUE(receiver_->process().WaitForLog("MSG_STOP_REQUEST\n"));
    EXPECT_EQ(receiver_->process().Count(kDataConnection), 1);
    EXPECT_EQ(data_->Connections(), 1);
    EXPECT_TRUE(data_->Stop());
    EXPECT_TRUE(control_->Stop());
}

TEST_F(FaultProxyTest, AUnitCutOrResetMidwayIsDroppedAndThePictureIsSentWholeAgain) {
    StartScreen();
    struct Case {
        Fault::Kind kind;
        const char* receiver_says;
        bool carry_on;  // present on for longer than the CLI counts a failure as recent (8 s)
        int status;     // beamora-cli's on SIGTERM, and its last words
        const char* cli_says;
    };
    uint32_t seed = 10;
    for (const Case& c : {Case{Fault::kCut, "bytes of an unfinished unit dropped", true, 0,
                               "beamora-cli: stopped\n"},
                          Case{Fault::kReset, "(receive failed: Connection reset by peer)", false,
                               4, "the picture stopped reaching 127.0.0.1"}}) {
        SCOPED_TRACE(c.kind == Fault::kCut ? "cut" : "reset");
        Start({c.kind, 0, kMidPicture}, ++seed);
        ChildProcess& log = receiver_->process();
        ASSERT_TRUE(WaitFor([&] { return data_->FaultedAt().has_value(); })) << log.Log();
        // The presenter learns of it when it next sends; then it connects again.
        ASSERT_TRUE(ChangeUntil([&] { return data_->Connections() >= 2; }, false))
            << cli_->Log() << log.Log();
        // The part of the first picture that never arrived is there: it was sent whole again.
        EXPECT_EQ(AwaitPicture(*receiver_, Reduce(screen_->Grab(), 16)), "") << log.Log();
        EXPECT_EQ(log.Count(c.receiver_says), 1) << log.Log();
        if (c.carry_on) {
            const auto settled = *data_->FaultedAt() + std::chrono::milliseconds(8500);
            ChangeUntil([&] { return FaultProxy::Clock::now() > settled; }, false);
            EXPECT_EQ(AwaitPicture(*receiver_, Reduce(screen_->Grab(), 16)), "") << log.Log();
        }
        EXPECT_EQ(log.Count(kDataConnection), 2) << log.Log();

        // Stopped within 8 s of the failure, the presentation counts as failing: the CLI cannot
        // yet tell the new connection from one that stalls. Later it counts as presented.
        EXPECT_EQ(StopPresenting(), c.status) << cli_->Log();
        EXPECT_EQ(cli_->Count(c.cli_says), 1) << cli_->Log();
        EXPECT_EQ(data_->Connections(), 2);
        EXPECT_TRUE(data_->Stop());
    }
}

TEST_F(FaultProxyTest, AHalfOpenConnectionIsGivenUpAfterFiveSecondsAndTheNextOneWorks) {
    StartScreen();
    Start({Fault::kStall, 0, kMidPicture}, 20);
    ASSERT_TRUE(WaitFor([&] { return data_->FaultedAt().has_value(); }));
    // The presenter's buffers fill up; 5 s after its last byte went out it gives up.
    ASSERT_TRUE(ChangeUntil([&] { return data_->Connections() >= 2; }, true)) << cli_->Log();
    const auto given_up = std::chrono::duration_cast<std::chrono::milliseconds>(
                              *data_->AcceptedAt(2) - *data_->FaultedAt())
                              .count();
    EXPECT_GE(given_up, 4000);
    EXPECT_LE(given_up, 10000);
    // Noise does not always go out exact: a test pattern takes its place.
    screen_->Put(TestPattern(1024, 384, 21), 0, 192);
    EXPECT_EQ(AwaitPicture(*receiver_, Reduce(screen_->Grab(), 16)), "")
        << receiver_->process().Log();
    // The receiver gave up the old connection for the new one.
    EXPECT_EQ(receiver_->process().Count("replaced by a new connection from 127.0.0.1"), 1)
        << receiver_->process().Log();

    // Stopped at once, the presentation counts as failing: a connection failed within 8 s.
    EXPECT_EQ(StopPresenting(), 4) << cli_->Log();
    EXPECT_EQ(cli_->Count("the picture stopped reaching 127.0.0.1"), 1) << cli_->Log();
    EXPECT_TRUE(data_->Stop());
}

}  // namespace
}  // namespace e2e
