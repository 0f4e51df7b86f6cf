// The projection's life against the real receiver: the receiver's stop, resume and refusal, the
// user's stop and start, screen size changes, and a receiver that dies.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "client/session/Session.h"
#include "platform/Version.h"
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

using tarrowlink::StateConnected;
using tarrowlink::StateProjecting;
using tarrowlink::StateStopped;

constexpr char kDataConnection[] = "data: connection from 127.0.0.1\n";
constexpr char kDataEnded[] = "data: connection from 127.0.0.1 ended (closed by the presenter)";

TEST_F(EndToEnd, ReceiverStopsAndResumesAndThePictureFlowsAgain) {
    StartScreen();
    screen_->Put(TestPattern(1024, 768, 2), 0, 0);
    Receiver receiver(dir_, {"--mode", "1024x768x24"});
    ASSERT_TRUE(receiver.WaitReady());
    LibraryPresenter presenter;
    ASSERT_TRUE(presenter.LogInAndStart()) << receiver.process().Log();
    const QImage first = screen_->Grab();
    ASSERT_EQ(AwaitPicture(receiver, first), "");

    ASSERT_TRUE(receiver.Command("stop"));
    ASSERT_TRUE(presenter.notes.WaitFor(kNotifyReceiverStopped)) << receiver.process().Log();
    EXPECT_TRUE(WaitFor([] { return SessionState() == StateStopped; }));
    // The presenter closes its data connection; nothing of what is drawn now can arrive.
    EXPECT_TRUE(receiver.process().WaitForLog(kDataEnded)) << receiver.process().Log();
    screen_->Put(TestPattern(512, 384, 3), 256, 192);
    EXPECT_EQ(Differences(first, receiver.Snapshot()), "");

    ASSERT_TRUE(receiver.Command("start"));
    ASSERT_TRUE(presenter.notes.WaitFor(kNotifyReceiverStarted, 2));
    EXPECT_EQ(SessionState(), StateProjecting);
    EXPECT_EQ(AwaitPicture(receiver, screen_->Grab()), "") << receiver.process().Log();
    EXPECT_EQ(receiver.process().Count(kDataConnection), 2);
    EXPECT_EQ(presenter.notes.Codes(),
              (std::vector<int>{kNotifyCodeOk, kNotifyReceiverStarted, kNotifyReceiverStopped,
                                kNotifyReceiverStarted}));
}

TEST_F(EndToEnd, UserStopAndStartAgainOpenANewDataConnection) {
    StartScreen();
    screen_->Put(TestPattern(1024, 768, 4), 0, 0);
    Receiver receiver(dir_, {"--mode", "1024x768x16"});
    ASSERT_TRUE(receiver.WaitReady());
    LibraryPresenter presenter;
    ASSERT_TRUE(presenter.LogInAndStart()) << receiver.process().Log();
    ASSERT_EQ(AwaitPicture(receiver, Reduce(screen_->Grab(), 16)), "");
    EXPECT_EQ(receiver.process().Count(kDataConnection), 1);

    EXPECT_EQ(presenter.ui.StopProjecting(0), 1);
    EXPECT_EQ(SessionState(), StateStopped);
    EXPECT_EQ(presenter.ui.StopProjecting(0), 0);  // already stopped
    EXPECT_TRUE(receiver.process().WaitForLog("MSG_STOP_REQUEST\n"));
    EXPECT_TRUE(receiver.process().WaitForLog(kDataEnded)) << receiver.process().Log();

    screen_->Fill(0, 0, 1024, 100, 0x804020);
    ASSERT_EQ(presenter.ui.StartProjecting(), 1);
    ASSERT_TRUE(presenter.notes.WaitFor(kNotifyReceiverStarted, 2));
    EXPECT_EQ(presenter.ui.StartProjecting(), 0);  // already projecting
    EXPECT_EQ(AwaitPicture(receiver, Reduce(screen_->Grab(), 16)), "") << receiver.process().Log();
    EXPECT_EQ(receiver.process().Count(kDataConnection), 2) << receiver.process().Log();
    EXPECT_EQ(receiver.process().Count("MSG_START_REQUEST: SERVER_START\n"), 2);
}

TEST_F(EndToEnd, ReceiverModeChangeAppliesAtTheNextStart) {
    StartScreen();
    screen_->Put(TestPattern(1024, 768, 13), 0, 0);
    // A mode larger than the screen: the picture is the screen's size.
    Receiver receiver(dir_, {"--mode", "1280x1024x24"});
    ASSERT_TRUE(receiver.WaitReady());
    LibraryPresenter presenter;
    ASSERT_TRUE(presenter.LogInAndStart()) << receiver.process().Log();
    EXPECT_TRUE(receiver.process().WaitForLog("MSG_PICTURE_SIZE 1024x768\n"));
    ASSERT_EQ(AwaitPicture(receiver, screen_->Grab()), "") << receiver.process().Log();

    ASSERT_TRUE(receiver.Command("mode 1024x768x16"));
    ASSERT_TRUE(presenter.notes.WaitFor(kNotifyResolutionChanged)) << receiver.process().Log();
    int width = 0, height = 0, bits = 0;
    presenter.ui.GetReceiverMode(&width, &height, &bits);
    EXPECT_EQ(std::vector<int>({width, height, bits}), std::vector<int>({1024, 768, 16}));
    // The running projection keeps its start's geometry: changes still arrive whole.
    screen_->Fill(100, 100, 200, 50, 0x123456);
    EXPECT_EQ(AwaitPicture(receiver, screen_->Grab()), "") << receiver.process().Log();

    ASSERT_TRUE(receiver.Command("stop"));
    ASSERT_TRUE(presenter.notes.WaitFor(kNotifyReceiverStopped));
    ASSERT_TRUE(receiver.Command("start"));
    ASSERT_TRUE(presenter.notes.WaitFor(kNotifyReceiverStarted, 2));
    EXPECT_EQ(AwaitPicture(receiver, Reduce(screen_->Grab(), 16)), "") << receiver.process().Log();
}

TEST_F(EndToEnd, RejectingReceiverGives1034ToTheLibraryAndFailsTheCli) {
    StartScreen();
    Receiver receiver(dir_, {"--reject"});
    ASSERT_TRUE(receiver.WaitReady());
    {
        LibraryPresenter presenter;
        ASSERT_EQ(presenter.ui.LoginServer("127.0.0.1"), 1);
        ASSERT_EQ(presenter.ui.StartProjecting(), 1);
        ASSERT_TRUE(presenter.notes.WaitFor(kNotifyStartRejected)) << receiver.process().Log();
        EXPECT_EQ(presenter.notes.Count(kNotifyReceiverStarted), 0);
        EXPECT_TRUE(WaitFor([] { return SessionState() == StateConnected; }));
    }
    CliPresenter cli(dir_, xvfb_->Display());
    EXPECT_EQ(cli.process().Wait(), 1) << cli.process().Log();
    EXPECT_EQ(cli.process().Count("rejected the projection"), 1) << cli.process().Log();
    EXPECT_EQ(receiver.process().Count("SERVER_START_REJECT (this receiver rejects every start)"),
              2);
    EXPECT_EQ(receiver.process().Count(kDataConnection), 0);
}

TEST(Cli, HelpListsEveryCommandAndVersionPrintsIt) {
    TempDir dir;
    ChildProcess help(BEAMORA_CLI_PROGRAM, {"--help"}, dir.File("help.txt"));
    EXPECT_EQ(help.Wait(), 0);
    for (const char* text : {"list [--seconds N]", "present [--receiver NAME|ADDRESS]",
                             "3 the\n                       connection to the receiver was lost"}) {
        EXPECT_EQ(help.Count(text), 1) << text << "\n" << help.Log();
    }
    ChildProcess version(BEAMORA_CLI_PROGRAM, {"--version"}, dir.File("version.txt"));
    EXPECT_EQ(version.Wait(), 0);
    EXPECT_EQ(version.Log(), std::string("beamora-cli ") + platform::kVersionText + "\n");
}

TEST_F(EndToEnd, CliTellsAReceiverGivenByAddressOfItsStopAndOfAStartItCannotServe) {
    StartScreen();
    Receiver receiver(dir_, {"--mode", "1024x768x16"});
    ASSERT_TRUE(receiver.WaitReady());
    {
        // No beacon is needed for the receiver to hear the end of the duration.
        CliPresenter cli(dir_, xvfb_->Display(), "127.0.0.1", 1);
        EXPECT_EQ(cli.process().Wait(), 0) << cli.process().Log();
        EXPECT_TRUE(receiver.process().WaitForLog("MSG_STOP_REQUEST\n"))
            << receiver.process().Log();
    }
    // Without a display the receiver's start cannot be served: it is told, and the user why.
    CliPresenter blind(dir_, "", "127.0.0.1", 60, "blind.txt");
    EXPECT_EQ(blind.process().Wait(), 1) << blind.process().Log();
    EXPECT_EQ(blind.process().Count("cannot capture the screen: no X display"), 1)
        << blind.process().Log();
    EXPECT_EQ(blind.process().Count("beamora-cli: projecting"), 0);
    EXPECT_TRUE(receiver.process().WaitForLog("MSG_STOP_REQUEST\n", 2)) << receiver.process().Log();
    EXPECT_EQ(receiver.process().Count(kDataConnection), 1);
}

TEST_F(EndToEnd, CliSaysWhenNothingWasPresentedToABrokenReceiver) {
    StartScreen();
    screen_->Put(TestPattern(1024, 768, 12), 0, 0);
    struct Case {
        const char* misbehave;
        int duration_s;
        const char* says;
    };
    for (const Case& c : {Case{"drop-data", 3, "beamora-cli: stopped; "},
                          Case{"stall-data", 8, "the picture stopped reaching 127.0.0.1"},
                          Case{"silent-start", 60,
                               "127.0.0.1 did not answer the start request within 10 seconds"}}) {
        Receiver receiver(dir_, {"--misbehave", c.misbehave},
                          std::string("receiver-") + c.misbehave + ".txt");
        ASSERT_TRUE(receiver.WaitReady());
        CliPresenter cli(dir_, xvfb_->Display(), "127.0.0.1", c.duration_s,
                         std::string("cli-") + c.misbehave + ".txt");
        ChildProcess& p = cli.process();
        // The picture keeps changing, as a presentation's does, so a receiver that does not read
        // falls behind and its connection fills up.
        for (int frame = 0; p.Running() && frame < 400; ++frame) {
            screen_->Put(Noise(1024, 384, frame), 0, 192);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_EQ(p.Wait(20000), 4) << c.misbehave << "\n" << p.Log();
        EXPECT_EQ(p.Count(c.says), 1) << c.misbehave << "\n" << p.Log();
        if (std::string(c.misbehave) == "drop-data") {
            // Connections are retried less and less often (one a pass would be about 60), and
            // the failures are reported at most once every 5 seconds.
            const int dropped = receiver.process().Count("dropped (drop-data)");
            EXPECT_GE(dropped, 2) << receiver.process().Log();
            EXPECT_LE(dropped, 10) << receiver.process().Log();
            EXPECT_EQ(p.Count("failed"), 1) << p.Log();
        }
        receiver.process().Signal(SIGKILL);
        receiver.process().Wait();
    }
}

TEST_F(EndToEnd, SecondPresenterIsRejectedWhileTheFirstKeepsProjecting) {
    StartScreen();
    screen_->Put(TestPattern(1024, 768, 18), 0, 0);
    Receiver receiver(dir_, {"--mode", "1024x768x16"});
    ASSERT_TRUE(receiver.WaitReady());
    LibraryPresenter presenter;
    ASSERT_TRUE(presenter.LogInAndStart()) << receiver.process().Log();
    ASSERT_EQ(AwaitPicture(receiver, Reduce(screen_->Grab(), 16)), "");

    CliPresenter second(dir_, xvfb_->Display());
    EXPECT_EQ(second.process().Wait(), 1) << second.process().Log();
    EXPECT_EQ(second.process().Count("rejected the projection"), 1) << second.process().Log();
    EXPECT_EQ(receiver.process().Count("another presenter is projecting"), 1);

    // The first one was not disturbed.
    EXPECT_EQ(SessionState(), StateProjecting);
    screen_->Fill(500, 500, 300, 100, 0x0080FF);
    EXPECT_EQ(AwaitPicture(receiver, Reduce(screen_->Grab(), 16)), "") << receiver.process().Log();
    EXPECT_EQ(presenter.notes.Count(kNotifyReceiverStopped), 0);
    EXPECT_EQ(receiver.process().Count(kDataConnection), 1);
}

TEST_F(EndToEnd, ReceiverKilledGives1038AndALaterLoginToANewReceiverWorks) {
    StartScreen();
    screen_->Put(TestPattern(1024, 768, 5), 0, 0);
    LibraryPresenter presenter;
    {
        Receiver doomed(dir_, {"--mode", "1024x768x16"}, "doomed.txt");
        ASSERT_TRUE(doomed.WaitReady());
        ASSERT_TRUE(presenter.LogInAndStart()) << doomed.process().Log();
        ASSERT_EQ(AwaitPicture(doomed, Reduce(screen_->Grab(), 16)), "");
        doomed.process().Signal(SIGKILL);
        EXPECT_EQ(doomed.process().Wait(), 128 + SIGKILL);
        ASSERT_TRUE(presenter.notes.WaitFor(kNotifyConnectionLost));
        EXPECT_NE(SessionState(), StateProjecting);
    }
    EXPECT_EQ(presenter.notes.Count(kNotifyConnectionLost), 1);

    // A new receiver on the same ports, in another mode.
    screen_->Fill(300, 200, 400, 300, 0x20C060);
    Receiver receiver(dir_, {"--mode", "1024x768x32"});
    ASSERT_TRUE(receiver.WaitReady()) << receiver.process().Log();
    ASSERT_TRUE(presenter.LogInAndStart()) << receiver.process().Log();
    int width = 0, height = 0, bits = 0;
    presenter.ui.GetReceiverMode(&width, &height, &bits);
    EXPECT_EQ(bits, 32);
    EXPECT_EQ(AwaitPicture(receiver, screen_->Grab()), "") << receiver.process().Log();
}

TEST_F(EndToEnd, CliReportsTheReceiversStopResumeAndDeathAndExitsThree) {
    StartScreen();
    screen_->Put(TestPattern(1024, 768, 6), 0, 0);
    Receiver receiver(dir_, {"--mode", "1024x768x16"});
    ASSERT_TRUE(receiver.WaitReady());
    CliPresenter cli(dir_, xvfb_->Display());
    ChildProcess& p = cli.process();
    ASSERT_TRUE(p.WaitForLog("beamora-cli: projecting\n")) << p.Log();
    ASSERT_EQ(AwaitPicture(receiver, Reduce(screen_->Grab(), 16)), "");

    receiver.Command("stop");
    EXPECT_TRUE(p.WaitForLog("the receiver stopped the projection")) << p.Log();
    screen_->Put(TestPattern(200, 200, 9), 10, 10);
    receiver.Command("start");
    EXPECT_TRUE(p.WaitForLog("beamora-cli: projecting again\n")) << p.Log();
    EXPECT_EQ(AwaitPicture(receiver, Reduce(screen_->Grab(), 16)), "");

    receiver.process().Signal(SIGKILL);
    EXPECT_EQ(p.Wait(), 3) << p.Log();
    EXPECT_EQ(p.Count("connection to 127.0.0.1 lost"), 1) << p.Log();
}

TEST_F(EndToEnd, EachScreenSizeChangeIsReportedOnceAndTheCaptureFollows) {
    StartScreen();
    screen_->Put(TestPattern(1024, 768, 8), 0, 0);
    Receiver receiver(dir_, {"--mode", "1024x768x24"});
    ASSERT_TRUE(receiver.WaitReady());
    LibraryPresenter presenter;
    ASSERT_TRUE(presenter.LogInAndStart());
    ASSERT_EQ(AwaitPicture(receiver, screen_->Grab()), "");
    ChildProcess& log = receiver.process();

    // The sending loop learns the screen size at the end of its first pass, which the first
    // picture does not wait for; a change that arrives shows that pass is over.
    screen_->Fill(0, 0, 64, 64, 0xFF0000);
    ASSERT_EQ(AwaitPicture(receiver, screen_->Grab()), "");

    // A change near the corner that is about to leave the screen: the capture may read it
    // after the screen shrank, which must fail quietly instead of ending the process.
    screen_->Fill(900, 700, 100, 60, 0x00FF00);
    ASSERT_TRUE(screen_->Resize(800, 600));
    EXPECT_TRUE(log.WaitForLog("MSG_SCREEN_CHANGED\n")) << log.Log();
    // Many passes of 50 ms later it has still been said once.
    EXPECT_FALSE(log.WaitForLog("MSG_SCREEN_CHANGED\n", 2, 1000));

    ASSERT_TRUE(screen_->Resize(1024, 768));
    EXPECT_TRUE(log.WaitForLog("MSG_SCREEN_CHANGED\n", 2)) << log.Log();
    EXPECT_FALSE(log.WaitForLog("MSG_SCREEN_CHANGED\n", 3, 1000));
    EXPECT_EQ(SessionState(), StateProjecting);

    // Back at the size the projection started with, new content still arrives whole.
    screen_->Put(TestPattern(1024, 768, 10), 0, 0);
    EXPECT_EQ(AwaitPicture(receiver, screen_->Grab()), "") << log.Log();
}

}  // namespace
}  // namespace e2e
