// The control connection end to end against a scripted receiver on loopback: login with and
// without a code, refusals, the control thread's handling of the receiver's messages, the loss of
// the connection and the keep-alive.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "client/UserInterface.h"
#include "client/capture/Desktop.h"
#include "client/capture/Scaling.h"
#include "client/session/AesCipher.h"
#include "client/session/ControlMessage.h"
#include "client/session/ControlThreads.h"
#include "client/session/Discovery.h"
#include "client/session/Geometry.h"
#include "client/session/NetChannel.h"
#include "client/session/Projection.h"
#include "client/session/Session.h"
#include "client/tests/ScriptedReceiver.h"
#include "client/tests/TestSupport.h"
#include "platform/Paths.h"

namespace tarrowlink {
namespace {

using test::DebugCapture;
using test::Message;
using test::Reply;
using test::ScriptedReceiver;
using test::WaitFor;

// A desktop of one flat colour, so that projections start without a display.
class FlatDesktop : public Desktop {
  public:
    bool Open() override { return true; }
    int Width() const override { return 1024; }
    int Height() const override { return 768; }
    bool ReadPixels(int, int, int width, int height, uint8_t* dst, ptrdiff_t stride) override {
        for (int row = 0; row < height; ++row)
            std::memset(dst + row * stride, 0x40, size_t(width) * 4);
        return true;
    }
    bool QueryScreenSize(int* width, int* height) override {
        *width = 1024;
        *height = 768;
        return true;
    }
    bool ReadCursor(CursorImage*) override { return false; }
};

// The answers of a receiver in mode `mode` that wants `code` (0: none).
ScriptedReceiver::Script ReceiverWanting(uint32_t code, const char* mode = "1024x768x16") {
    return [=](const Message& in) -> std::vector<Message> {
        switch (in.Type()) {
            case MSG_VERSION:
                return {Reply(SERVER_VERSION_OK, mode)};
            case MSG_LOGIN:
                return {Reply(code == 0 || static_cast<uint32_t>(in.IntAt(4)) == code
                                  ? SERVER_CODE_OK
                                  : SERVER_CODE_ERROR)};
            default:
                return {};
        }
    };
}

class Login : public ::testing::Test {
  protected:
    void SetUp() override {
        // The version file is read from the current directory.
        old_dir_ = std::filesystem::current_path();
        char tmpl[] = "/tmp/beamora-login-XXXXXX";
        dir_ = mkdtemp(tmpl);
        std::filesystem::current_path(dir_);
        char text[16] = "4.5.6-beta9";
        uint8_t block[16];
        AesCipher().EncryptText(AesCipher::kFileKey, text, block);
        std::ofstream("version", std::ios::binary).write(reinterpret_cast<char*>(block), 16);

        SetScreenSizeSourceForTests([](int* w, int* h) {
            *w = 1024;
            *h = 768;
            return true;
        });
        SetDesktopFactoryForTests([] { return std::make_unique<FlatDesktop>(); });
        ui_.Initialize();
        ui_.SetWindowHandle(&window_);
    }
    void TearDown() override {
        // The control thread may still be reporting the receiver's end: let it finish before the
        // window it reports to goes away.
        EndControlThread();
        TerminateSendingThread();
        SetDesktopFactoryForTests({});
        ui_.SetWindowHandle(nullptr);
        std::filesystem::current_path(old_dir_);
        std::filesystem::remove_all(dir_);
    }
    // Logs in to a receiver that needs no code.
    void LogIn(ScriptedReceiver& receiver) {
        ASSERT_EQ(ui_.LoginServer("127.0.0.1"), 1);
        ASSERT_TRUE(WaitFor([&] { return receiver.CountType(MSG_LOGIN) == 1; }));
    }

    UserInterface ui_;
    test::RecordingTarget window_;
    std::filesystem::path old_dir_;
    std::string dir_;
};

TEST_F(Login, WithoutCodeSendsVersionThenLoginAndConnects) {
    ScriptedReceiver receiver(ReceiverWanting(0, "1280x800x24"));
    DebugCapture debug;
    ASSERT_EQ(ui_.LoginServer("127.0.0.1"), 1);
    EXPECT_EQ(TheSession().state.load(), StateConnected);
    EXPECT_EQ(window_.Codes(), std::vector<int>{kNotifyCodeOk});
    int w, h, bits;
    ui_.GetReceiverMode(&w, &h, &bits);
    EXPECT_EQ(std::vector<int>({w, h, bits}), std::vector<int>({1280, 800, 24}));

    auto received = receiver.Received();
    std::erase_if(received, [](const Message& m) { return m.Type() == MSG_KEEP_ALIVE; });
    ASSERT_EQ(received.size(), 2u);
    // MSG_VERSION: the first 8 characters of the version text under the wire key.
    EXPECT_EQ(received[0].Type(), MSG_VERSION);
    uint8_t plain[17] = {};
    AesCipher().DecryptBlock(AesCipher::FormKey(AesCipher::kWireKey), received[0].bytes + 4, plain);
    EXPECT_STREQ(reinterpret_cast<char*>(plain), "4.5.6-be");
    // MSG_LOGIN: code 0, the size from the version reply, the computer name.
    EXPECT_EQ(received[1].Type(), MSG_LOGIN);
    EXPECT_EQ(received[1].IntAt(4), 0);
    EXPECT_EQ(received[1].IntAt(8), 1280);
    EXPECT_EQ(received[1].IntAt(12), 800);
    EXPECT_EQ(received[1].TextAt(16, 112), platform::ComputerName().value_or("UNKNOWN"));
    EXPECT_EQ(received[0].connection, received[1].connection);

    auto lines = debug.Lines();
    std::vector<std::string> expected{
        "Create TCP mysocket successfully\n", "connect successfully\n",
        "Send Package successfully\n",        "SERVER_VERSION_OK\n",
        "Send Package successfully\n",        "SERVER_CODE_OK\n",
        "Start Tcp control thread\n"};
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + expected.size()), expected);
}

TEST_F(Login, CodePathUsesANewConnectionForEachCode) {
    ScriptedReceiver receiver(ReceiverWanting(1234));
    EXPECT_EQ(ui_.LoginServer("127.0.0.1"), 0);
    EXPECT_EQ(window_.Codes(), std::vector<int>{kNotifyCodeError});
    EXPECT_TRUE(WaitFor([&] { return !receiver.NewestOpen(); }));  // closed by the client

    EXPECT_EQ(ui_.LastFailure(), kFailureCodeRefused);
    EXPECT_EQ(ui_.SendServerPwd(1111), 0);  // wrong
    EXPECT_EQ(ui_.LastFailure(), kFailureCodeRefused);
    EXPECT_EQ(ui_.SendServerPwd(1234), 1);  // right, on yet another connection
    EXPECT_EQ(ui_.LastFailure(), kFailureNone);
    EXPECT_EQ(window_.Codes(),
              (std::vector<int>{kNotifyCodeError, kNotifyCodeError, kNotifyCodeOk}));
    EXPECT_EQ(receiver.Connections(), 3);
    auto received = receiver.Received();
    std::erase_if(received, [](const Message& m) { return m.Type() == MSG_KEEP_ALIVE; });
    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[2].IntAt(4), 1111);
    EXPECT_EQ(received[3].IntAt(4), 1234);
    EXPECT_EQ(received[3].IntAt(8), 1024);  // the size of the preceding LoginServer
    EXPECT_EQ(received[3].connection, 2);
    EXPECT_EQ(TheSession().state.load(), StateConnected);
}

TEST_F(Login, RefusalsAndOddReplies) {
    {
        ScriptedReceiver refuses([](const Message& in) -> std::vector<Message> {
            return {Reply(in.Type() == MSG_VERSION ? SERVER_VERSION_ERROR : SERVER_CODE_OK)};
        });
        DebugCapture debug;
        EXPECT_EQ(ui_.LoginServer("127.0.0.1"), 0);
        EXPECT_EQ(debug.Count("SERVER_VERSION_ERROR\n"), 1);
        EXPECT_EQ(ui_.LastFailure(), kFailureVersionRefused);
        EXPECT_EQ(refuses.CountType(MSG_LOGIN), 0);
        EXPECT_TRUE(window_.Codes().empty());
    }
    {
        // An unknown answer to the login still logs in.
        ScriptedReceiver odd([](const Message& in) -> std::vector<Message> {
            return {Reply(in.Type() == MSG_VERSION ? SERVER_VERSION_OK : 42, "800x600x32")};
        });
        DebugCapture debug;
        EXPECT_EQ(ui_.LoginServer("127.0.0.1"), 1);
        EXPECT_EQ(debug.Count("Do not receive any messages from server\n"), 1);
    }
    for (const char* mode :
         {"1024x768", "0x768x16", "abc", "99999x99999x16", "1024x768x15", "8192x8192x32"}) {
        ScriptedReceiver bad_mode(ReceiverWanting(0, mode));
        DebugCapture debug;
        EXPECT_EQ(ui_.LoginServer("127.0.0.1"), 0) << mode;
        EXPECT_EQ(bad_mode.CountType(MSG_LOGIN), 0) << mode;
        bool absurd = std::string(mode) == "99999x99999x16" || std::string(mode) == "1024x768x15" ||
                      std::string(mode) == "8192x8192x32";
        EXPECT_EQ(debug.Count("Unsupported receiver mode refused\n"), absurd ? 1 : 0) << mode;
        EXPECT_EQ(ui_.LastFailure(), kFailureUnsupportedMode) << mode;
    }
    EXPECT_EQ(ui_.LoginServer(""), 0);
}

TEST_F(Login, NoReceiverOrASilentOneFailsInBoundedTime) {
    DebugCapture debug;
    EXPECT_EQ(ui_.LoginServer("127.0.0.1"), 0);  // nothing listens
    EXPECT_EQ(debug.Count("failed Control Connection\n"), 1);
    EXPECT_EQ(debug.Count("connect control Tcp error\n"), 1);
    EXPECT_EQ(ui_.LastFailure(), kFailureNoConnection);

    SetReplyTimeoutForTests(300);
    ScriptedReceiver silent([](const Message&) { return std::vector<Message>{}; });
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ui_.LoginServer("127.0.0.1"), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(silent.CountType(MSG_LOGIN), 0);
    EXPECT_TRUE(WaitFor([&] { return !silent.NewestOpen(); }));
    EXPECT_NE(TheSession().state.load(), StateConnected);
    EXPECT_EQ(ui_.LastFailure(), kFailureNoAnswer);
}

TEST_F(Login, ParseModeReadsOnlySoundModes) {
    struct Case {
        const char* text;
        int ok;
        int32_t w, h, b;
    };
    for (const Case& c :
         {Case{"1024x768x16", 1, 1024, 768, 16}, Case{"xx800xx600x24", 1, 800, 600, 24},
          Case{"1920x1080x32junk", 1, 1920, 1080, 32}, Case{"1024x768", 0, 0, 0, 0},
          Case{"0x768x16", 0, 0, 0, 0}, Case{"x", 0, 0, 0, 0}, Case{"", 0, 0, 0, 0},
          Case{"axbxc", 0, 0, 0, 0}, Case{"4097x768x16", 0, 0, 0, 0},
          Case{"1024x8192x32", 0, 0, 0, 0}, Case{"4096x4096x32", 1, 4096, 4096, 32},
          Case{"1024x768x8", 0, 0, 0, 0}, Case{"99999999999999999999x1x16", 0, 0, 0, 0}}) {
        int32_t w = 0, h = 0, b = 0;
        EXPECT_EQ(ParseMode(c.text, 124, &w, &h, &b), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(std::vector<int32_t>({w, h, b}), std::vector<int32_t>({c.w, c.h, c.b}));
        }
    }
    // A text that fills the payload without a terminating zero is read within its bounds.
    char full[124];
    std::memset(full, '7', sizeof full);
    int32_t w, h, b;
    EXPECT_EQ(ParseMode(full, sizeof full, &w, &h, &b), 0);
}

TEST_F(Login, ReceiverMessagesDriveTheProjectionState) {
    ScriptedReceiver receiver([&](const Message& in) -> std::vector<Message> {
        if (in.Type() == MSG_START_REQUEST) return {Reply(SERVER_START)};
        return ReceiverWanting(0)(in);
    });
    LogIn(receiver);

    ASSERT_EQ(ui_.StartProjecting(), 1);
    ASSERT_TRUE(WaitFor([&] { return window_.Codes().back() == kNotifyReceiverStarted; }));
    EXPECT_EQ(TheSession().state.load(), StateProjecting);
    ASSERT_TRUE(WaitFor([&] { return receiver.CountType(MSG_PICTURE_SIZE) == 1; }));
    for (const Message& m : receiver.Received()) {
        if (m.Type() != MSG_PICTURE_SIZE) continue;
        EXPECT_EQ(m.IntAt(4), 1024);
        EXPECT_EQ(m.IntAt(8), 768);
    }
    EXPECT_EQ(ui_.StartProjecting(), 0);  // already projecting: nothing sent
    EXPECT_EQ(receiver.CountType(MSG_START_REQUEST), 1);

    // A mode change while projecting leaves the running capture as it is ...
    receiver.Send(Reply(SERVER_CHANGE_RESOLUTION, "800x600x24"));
    ASSERT_TRUE(WaitFor([&] { return window_.Codes().back() == kNotifyResolutionChanged; }));
    EXPECT_EQ(ReceiverBits(), 24);
    EXPECT_EQ(ReceiverWidth(), 800);
    EXPECT_EQ(TheGeometry().capture_width.load(), 1024);
    receiver.Send(Reply(SERVER_CHANGE_RESOLUTION, "800x600"));  // invalid: ignored

    receiver.Send(Reply(SERVER_STOP));  // the receiver stops: it is not told again
    ASSERT_TRUE(WaitFor([&] { return window_.Codes().back() == kNotifyReceiverStopped; }));
    EXPECT_EQ(TheSession().state.load(), StateStopped);
    EXPECT_EQ(receiver.CountType(MSG_STOP_REQUEST), 0);

    // ... and takes effect at the next start: a 1024-wide screen on an 800 x 600 receiver.
    receiver.Send(Reply(SERVER_START));
    ASSERT_TRUE(WaitFor([&] { return receiver.CountType(MSG_PICTURE_SIZE) == 2; }));
    ASSERT_TRUE(WaitFor([&] { return window_.Codes().back() == kNotifyReceiverStarted; }));
    EXPECT_EQ(TheGeometry().resolution_divisor.load(), 2);
    std::vector<Message> sizes;
    for (const Message& m : receiver.Received()) {
        if (m.Type() == MSG_PICTURE_SIZE) sizes.push_back(m);
    }
    EXPECT_EQ(sizes.back().IntAt(4), 512);
    EXPECT_EQ(sizes.back().IntAt(8), 384);

    receiver.Send(Reply(SERVER_START_REJECT));
    ASSERT_TRUE(WaitFor([&] { return window_.Codes().back() == kNotifyStartRejected; }));
    EXPECT_EQ(TheSession().state.load(), StateConnected);
    auto codes = window_.Codes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), kNotifyResolutionChanged), 1);
}

TEST_F(Login, UserStopTellsTheLoggedInReceiverExactlyOnce) {
    ScriptedReceiver receiver(ReceiverWanting(0));
    LogIn(receiver);  // by address: no beacon was heard
    ResetDiscoveryForTests();
    auto stops_after = [&](int expected) {
        // The stop is sent before the call returns; a wrong one would arrive within a moment.
        bool arrived = WaitFor([&] { return receiver.CountType(MSG_STOP_REQUEST) >= expected; });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return arrived && receiver.CountType(MSG_STOP_REQUEST) == expected;
    };
    EXPECT_EQ(ui_.StopProjecting(1), 1);  // the receiver already knows
    EXPECT_TRUE(stops_after(0));
    TheSession().state.store(StateConnected);
    EXPECT_EQ(ui_.StopProjecting(0), 1);
    EXPECT_TRUE(stops_after(1));
    EXPECT_EQ(ui_.StopProjecting(0), 0);  // already stopped
    EXPECT_TRUE(stops_after(1));

    // Once the connection is lost there is nobody to tell, until a beacon is heard again.
    receiver.DropConnections();
    ASSERT_TRUE(WaitFor([&] { return window_.Codes().back() == kNotifyConnectionLost; }));
    EXPECT_EQ(ui_.StopProjecting(0), 1);
    EXPECT_TRUE(stops_after(1));
    EXPECT_EQ(receiver.Connections(), 1);
    AddReceiver("r", 2, "127.0.0.1");  // serverSeen 1
    TheSession().state.store(StateConnected);
    EXPECT_EQ(ui_.StopProjecting(0), 1);
    EXPECT_TRUE(stops_after(2));
    ResetDiscoveryForTests();
}

TEST_F(Login, StartThatCannotCaptureIsRefusedAndTheReceiverTold) {
    ScriptedReceiver receiver([&](const Message& in) -> std::vector<Message> {
        if (in.Type() == MSG_START_REQUEST) return {Reply(SERVER_START)};
        return ReceiverWanting(0)(in);
    });
    LogIn(receiver);
    struct Case {
        bool screen;   // the screen size can be read
        bool desktop;  // the capture can open the desktop
        int failure;
        const char* line;
    };
    auto count = [&](int code) {
        auto codes = window_.Codes();
        return static_cast<int>(std::count(codes.begin(), codes.end(), code));
    };
    int round = 0;
    for (const Case& c :
         {Case{false, true, kFailureNoScreen,
               "Cannot start the projection: no screen to capture (no X display)\n"},
          Case{true, false, kFailureCaptureSetup,
               "Cannot start the projection: the screen capture could not be set up\n"}}) {
        ++round;
        SetScreenSizeSourceForTests([&](int* w, int* h) { return *w = 1024, *h = 768, c.screen; });
        SetDesktopFactoryForTests([&]() -> std::unique_ptr<Desktop> {
            if (c.desktop) return std::make_unique<FlatDesktop>();
            struct Closed : FlatDesktop {
                bool Open() override { return false; }
            };
            return std::make_unique<Closed>();
        });
        DebugCapture debug;
        ASSERT_EQ(ui_.StartProjecting(), 1);
        ASSERT_TRUE(WaitFor([&] { return count(kNotifyStartRejected) == round; }));
        EXPECT_EQ(ui_.LastFailure(), c.failure);
        EXPECT_EQ(debug.Count(c.line), 1) << c.line;
        EXPECT_TRUE(WaitFor([&] { return receiver.CountType(MSG_STOP_REQUEST) == round; }));
        EXPECT_EQ(TheSession().state.load(), StateConnected);
        EXPECT_FALSE(SendingThreadRunning());
        EXPECT_EQ(count(kNotifyReceiverStarted), 0);
    }
    // With a screen again, the next start works.
    SetScreenSizeSourceForTests([](int* w, int* h) { return *w = 1024, *h = 768, true; });
    SetDesktopFactoryForTests([] { return std::make_unique<FlatDesktop>(); });
    ASSERT_EQ(ui_.StartProjecting(), 1);
    ASSERT_TRUE(WaitFor([&] { return window_.Codes().back() == kNotifyReceiverStarted; }));
    EXPECT_TRUE(SendingThreadRunning());
    EXPECT_EQ(ui_.LastFailure(), kFailureNone);
}

TEST_F(Login, LosingTheConnectionNotifiesAndALaterLoginWorks) {
    ScriptedReceiver receiver(ReceiverWanting(0));
    LogIn(receiver);
    AddReceiver("r", 2, "127.0.0.1");
    DebugCapture debug;
    receiver.DropConnections();
    ASSERT_TRUE(WaitFor([&] {
        return !window_.Codes().empty() && window_.Codes().back() == kNotifyConnectionLost;
    }));
    ASSERT_TRUE(WaitFor([&] { return debug.Count("tcp control listenning server error\n") == 1; }));
    EXPECT_EQ(TheSession().state.load(), StateIdle);
    EXPECT_EQ(ServerSeen(), 0);

    EXPECT_EQ(ui_.LoginServer("127.0.0.1"), 1);
    EXPECT_EQ(receiver.Connections(), 2);
    ResetDiscoveryForTests();
}

TEST_F(Login, RepeatedLoginEndsThePreviousConnectionQuietly) {
    ScriptedReceiver receiver(ReceiverWanting(0));
    LogIn(receiver);
    DebugCapture debug;
    ASSERT_EQ(ui_.LoginServer("127.0.0.1"), 1);
    EXPECT_EQ(debug.Count("Main sending thread has been terminated.\n"), 1);
    EXPECT_EQ(receiver.Connections(), 2);
    EXPECT_TRUE(WaitFor([&] { return receiver.NewestOpen(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // The old connection was ended from our side: that is no lost connection.
    auto codes = window_.Codes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), kNotifyConnectionLost), 0);
    EXPECT_EQ(TheSession().state.load(), StateConnected);
}

TEST_F(Login, KeepAliveRunsOnItsIntervalAndPausesNest) {
    SetKeepAliveIntervalForTests(40);
    ScriptedReceiver receiver(ReceiverWanting(0));
    LogIn(receiver);
    ASSERT_TRUE(KeepAliveExists());
    ASSERT_TRUE(WaitFor([&] { return receiver.CountType(MSG_KEEP_ALIVE) >= 3; }));

    PauseKeepAlive();
    PauseKeepAlive();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // a send under way may land
    int paused = receiver.CountType(MSG_KEEP_ALIVE);
    ResumeKeepAlive();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(receiver.CountType(MSG_KEEP_ALIVE), paused);  // one pause still holds it
    ResumeKeepAlive();
    ASSERT_TRUE(WaitFor([&] { return receiver.CountType(MSG_KEEP_ALIVE) >= paused + 2; }));
    ResumeKeepAlive();  // a resumption without a pause changes nothing
    PauseKeepAlive();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    paused = receiver.CountType(MSG_KEEP_ALIVE);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(receiver.CountType(MSG_KEEP_ALIVE), paused);
    ResumeKeepAlive();
}

TEST_F(Login, KeepAliveRunsOnANewConnectionAfterAProjectionEndedWithItsOld) {
    SetKeepAliveIntervalForTests(40);
    ScriptedReceiver receiver([&](const Message& in) -> std::vector<Message> {
        if (in.Type() == MSG_START_REQUEST) return {Reply(SERVER_START)};
        return ReceiverWanting(0)(in);
    });
    auto keep_alives_on = [&](int connection) {
        int n = 0;
        for (const Message& m : receiver.Received())
            n += m.Type() == MSG_KEEP_ALIVE && m.connection == connection;
        return n;
    };
    LogIn(receiver);
    for (bool lose_it : {true, false}) {
        // The sending thread pauses the keep-alive while it projects ...
        auto starts = [&] {
            auto codes = window_.Codes();
            return std::count(codes.begin(), codes.end(), kNotifyReceiverStarted);
        };
        const auto before = starts();
        ASSERT_EQ(ui_.StartProjecting(), 1);
        ASSERT_TRUE(WaitFor([&] { return starts() > before; }));
        // ... and the projection ends with its connection, lost or replaced by a new login.
        if (lose_it) {
            receiver.DropConnections();
            ASSERT_TRUE(WaitFor([&] { return window_.Codes().back() == kNotifyConnectionLost; }));
        }
        ASSERT_EQ(ui_.LoginServer("127.0.0.1"), 1);
        const int newest = receiver.Connections() - 1;
        EXPECT_TRUE(WaitFor([&] { return keep_alives_on(newest) >= 2; }, 2000))
            << (lose_it ? "after a lost connection" : "after a new login");
    }
    SetKeepAliveIntervalForTests(10000);
}

TEST(Geometry, ScreensAndReceivers) {
    struct Case {
        int sw, sh, rw, rh;
        int32_t stretch, cw, ch, pw, ph, divisor;
    };
    for (const Case& c : {Case{1024, 768, 1024, 768, 0, 1024, 768, 1024, 768, 1},
                          Case{800, 600, 1024, 768, 0, 1024, 768, 800, 600, 1},
                          Case{640, 480, 1024, 768, 0, 1024, 768, 640, 480, 1},
                          Case{1024, 768, 800, 600, 1, 512, 384, 512, 384, 2},
                          // Only a receiver of exactly 1024 x 768 has divisor 1.
                          Case{640, 480, 1024, 600, 0, 1024, 600, 640, 480, 2},
                          Case{1024, 768, 1280, 768, 0, 1280, 768, 1280, 768, 2},
                          // Larger screens go through the change tracker's grid and are scaled,
                          // however large they are.
                          Case{1280, 1024, 1024, 768, 1, 1024, 768, 1024, 768, 1},
                          Case{1920, 1080, 1024, 768, 1, 1024, 768, 1024, 768, 1},
                          Case{3840, 2160, 1024, 768, 1, 1024, 768, 1024, 768, 1}}) {
        SetScreenSizeSourceForTests([&](int* w, int* h) {
            *w = c.sw;
            *h = c.sh;
            return true;
        });
        ASSERT_EQ(ComputeGeometry(c.rw, c.rh), 1);
        Geometry& g = TheGeometry();
        EXPECT_EQ(std::vector<int32_t>({g.stretch, g.capture_width, g.capture_height,
                                        g.picture_width, g.picture_height, g.resolution_divisor}),
                  std::vector<int32_t>({c.stretch, c.cw, c.ch, c.pw, c.ph, c.divisor}))
            << c.sw << "x" << c.sh << " on " << c.rw << "x" << c.rh;
    }
    SetScreenSizeSourceForTests([](int* w, int* h) { return *w = 0, *h = 0, false; });
    EXPECT_EQ(ComputeGeometry(1024, 768), 0);  // no screen to read: no projection
    SetScreenSizeSourceForTests({});
}

TEST(Geometry, ScaleCoordinate) {
    EXPECT_EQ(ScaleCoordinate(1024, 0.8f, 1), 819);
    EXPECT_EQ(ScaleCoordinate(1024, 0.8f, 2), 409);
    EXPECT_EQ(ScaleCoordinate(100, 1284.0f, 1), 125);  // 0x0504: 5 / 4
    EXPECT_EQ(ScaleCoordinate(100, 1280.0f, 1), 100);  // 0x0500: no denominator, unscaled
    EXPECT_EQ(ScaleCoordinate(65535, 1.0f, 1), 65535);
}

TEST_F(Login, StopRacingTheReceiversStartNeverLeavesAProjectionBehind) {
    // Asking a real display for its size takes a few milliseconds, which is when a stop can come.
    SetScreenSizeSourceForTests([](int* w, int* h) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        *w = 1024;
        *h = 768;
        return true;
    });
    ScriptedReceiver receiver([&](const Message& in) -> std::vector<Message> {
        if (in.Type() == MSG_START_REQUEST) return {Reply(SERVER_START)};
        return ReceiverWanting(0)(in);
    });
    LogIn(receiver);
    auto started = [&] {
        auto codes = window_.Codes();
        return std::count(codes.begin(), codes.end(), kNotifyReceiverStarted);
    };
    for (int round = 0; round < 60; ++round) {
        const auto starts = started();
        ASSERT_EQ(ui_.StartProjecting(), 1) << "round " << round;
        // Stops at every moment of the start: before, during and after the receiver's answer.
        std::this_thread::sleep_for(std::chrono::microseconds((round % 30) * 130));
        ui_.StopProjecting(0);
        // Every answer is handled (one 1036 each), whether before or after the stop; when it
        // came after, the projection runs and one more stop must end it for good.
        ASSERT_TRUE(WaitFor([&] { return started() == starts + 1; })) << "round " << round;
        const int32_t state = TheSession().state.load();
        EXPECT_EQ(SendingThreadRunning(), state == StateProjecting) << "round " << round;
        if (state == StateProjecting) {
            EXPECT_EQ(ui_.StopProjecting(0), 1);
        }
        EXPECT_FALSE(SendingThreadRunning()) << "round " << round;
        EXPECT_EQ(TheSession().state.load(), StateStopped);
    }
}

}  // namespace
}  // namespace tarrowlink
