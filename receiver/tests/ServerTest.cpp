#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "receiver/ReceiverServer.h"
#include "receiver/tests/TestPresenter.h"

namespace receiver {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::Presenter;
using test::TcpClient;

// Keeps every snapshot in memory.
class RecordingOutput : public ReceiverOutput {
  public:
    bool WriteSnapshot(const std::string& path, const ComposedImage& image, std::string*) override {
        std::lock_guard lock(mutex_);
        snapshots_.push_back({path, image});
        changed_.notify_all();
        return true;
    }
    // Waits until at least count snapshots were written; returns the last one.
    std::optional<std::pair<std::string, ComposedImage>> WaitForSnapshot(size_t count) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, 5s, [&] { return snapshots_.size() >= count; })) {
            return std::nullopt;
        }
        return snapshots_.back();
    }
    size_t Count() {
        std::lock_guard lock(mutex_);
        return snapshots_.size();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::pair<std::string, ComposedImage>> snapshots_;
};

// A receiver on free ports, served on a thread of its own for the test's lifetime.
class RunningServer {
  public:
    explicit RunningServer(ServerOptions options) : server_(std::move(options), output_) {
        std::string error;
        EXPECT_TRUE(server_.Open(&error)) << error;
        thread_ = std::thread([this] { server_.Run(); });
    }
    ~RunningServer() {
        server_.RequestQuit();
        thread_.join();
    }
    ReceiverServer& server() { return server_; }
    RecordingOutput& output() { return output_; }

  private:
    RecordingOutput output_;
    ReceiverServer server_;
    std::thread thread_;
};

ServerOptions Options(ReceiverMode mode = {}) {
    ServerOptions options;
    options.settings.name = "Test receiver";
    options.settings.mode = mode;
    options.beacons = false;
    return options;
}

// Every pixel of image shows screen at the wire depth.
void ExpectShows(const ComposedImage& image, const test::Screen& screen, int depth) {
    ASSERT_EQ(image.width, screen.width);
    ASSERT_EQ(image.height, screen.height);
    for (int row = 0; row < image.height; ++row) {
        for (int x = 0; x < image.width; ++x) {
            ASSERT_EQ(image.pixels[static_cast<size_t>(row) * image.width + x],
                      test::Quantize(screen.At(x, row), depth))
                << x << "," << row;
        }
    }
}

TEST(ReceiverServer, BeaconsCarryTheNameZeroPadded) {
    platform::UniqueFd udp(::socket(AF_INET, SOCK_DGRAM, 0));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(udp.get(), reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    socklen_t length = sizeof local;
    ::getsockname(udp.get(), reinterpret_cast<sockaddr*>(&local), &length);

    ServerOptions options = Options();
    options.settings.name = std::string(40, 'N');  // cut to 31 characters and a zero
    options.beacons = true;
    options.beacon_port = ntohs(local.sin_port);
    options.beacon_targets = {in_addr{htonl(INADDR_LOOPBACK)}};
    options.beacon_interval_ms = 50;
    RunningServer running(options);

    for (int i = 0; i < 2; ++i) {  // repeated, not once
        ASSERT_EQ(platform::WaitReadable(udp.get(), 3000), 1);
        char beacon[64];
        ASSERT_EQ(::recv(udp.get(), beacon, sizeof beacon, 0), 32);
        EXPECT_EQ(std::string(beacon, 31), std::string(31, 'N'));
        EXPECT_EQ(beacon[31], '\0');
    }
}

TEST(ReceiverServer, LoginWithCodeThenProjectionEndsInASnapshot) {
    const int depth = 16;
    ServerOptions options = Options(ReceiverMode{96, 64, depth});
    options.settings.code = 1234;
    options.settings.version_text = "1.0.0";
    options.snapshot_path = "out.png";
    RunningServer running(options);
    const uint16_t control = running.server().ControlPort();

    // First connection: version, then a login without code, which the receiver refuses; the
    // presenter then closes and comes back with the code.
    {
        Presenter first(control);
        ASSERT_TRUE(first.Connected());
        EXPECT_EQ(first.Version("0.9.0"), SERVER_VERSION_ERROR);
        EXPECT_EQ(first.Version("1.0.0"), SERVER_VERSION_OK);
        EXPECT_EQ(first.LastReply().PayloadText(0, 124), "96x64x16");
        EXPECT_EQ(first.Login(0), SERVER_CODE_ERROR);
    }
    Presenter presenter(control);
    ASSERT_TRUE(presenter.Connected());
    EXPECT_EQ(presenter.Login(4321), SERVER_CODE_ERROR);
    EXPECT_EQ(presenter.Login(1234), SERVER_CODE_OK);
    EXPECT_EQ(presenter.Ask(MSG_START_REQUEST), SERVER_START);
    ASSERT_TRUE(presenter.PictureSize(96, 64));

    // Someone else may log in but not project meanwhile.
    Presenter other(control);
    EXPECT_EQ(other.Login(1234), SERVER_CODE_OK);
    EXPECT_EQ(other.Ask(MSG_START_REQUEST), SERVER_START_REJECT);

    test::Screen screen(96, 64, 8);
    TcpClient data(running.server().DataPort());
    ASSERT_TRUE(data.Connected());
    ASSERT_TRUE(data.Send(test::EncodeRectangle(screen, depth, 0, 0, 96, 64, 16)));
    ASSERT_TRUE(presenter.SendMessage(MSG_KEEP_ALIVE));
    ASSERT_TRUE(presenter.SendMessage(MSG_STOP_REQUEST));
    auto at_stop = running.output().WaitForSnapshot(1);
    ASSERT_TRUE(at_stop);
    EXPECT_EQ(at_stop->first, "out.png");
    data.Close();
    auto at_close = running.output().WaitForSnapshot(2);
    ASSERT_TRUE(at_close);
    ExpectShows(at_close->second, screen, depth);
}

TEST(ReceiverServer, BadUnitClosesItsConnectionAndTheNextOneIsServed) {
    ServerOptions options = Options(ReceiverMode{64, 48, 24});
    options.snapshot_path = "auto.png";
    RunningServer running(options);
    test::Screen screen(64, 48, 6);
    {
        TcpClient bad(running.server().DataPort());
        ASSERT_TRUE(bad.Connected());
        ASSERT_TRUE(bad.Send(test::EncodeRectangle(test::Screen(64, 48, 1), 24, 0, 0, 64, 16, 16)));
        ASSERT_TRUE(bad.Send(test::StripUnit(60, 0, 8, 1, Bytes(10, 0))));  // past the edge
        EXPECT_TRUE(bad.ClosedByPeer());
    }
    TcpClient good(running.server().DataPort());
    ASSERT_TRUE(good.Connected());
    ASSERT_TRUE(good.Send(test::EncodeRectangle(screen, 24, 0, 0, 64, 48, 16)));
    good.Close();
    // The refused connection's end wrote the first snapshot, the good one's the second.
    auto snapshot = running.output().WaitForSnapshot(2);
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(running.output().Count(), 2u);
    ExpectShows(snapshot->second, screen, 24);
}

TEST(ReceiverServer, WhileOnePresenterProjectsOthersCannotSendPictures) {
    RunningServer running(Options());
    Presenter presenter(running.server().ControlPort());
    ASSERT_EQ(presenter.Login(0), SERVER_CODE_OK);
    ASSERT_EQ(presenter.Ask(MSG_START_REQUEST), SERVER_START);

    // A data connection from another address (127.0.0.2) is closed at once ...
    platform::UniqueFd stranger(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in source{};
    source.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.2", &source.sin_addr);
    ASSERT_EQ(::bind(stranger.get(), reinterpret_cast<sockaddr*>(&source), sizeof source), 0);
    ASSERT_TRUE(platform::ConnectWithTimeout(stranger.get(), in_addr{htonl(INADDR_LOOPBACK)},
                                             running.server().DataPort(), 2000));
    ASSERT_EQ(platform::WaitReadable(stranger.get(), 3000), 1);
    char byte;
    EXPECT_LE(::recv(stranger.get(), &byte, 1, 0), 0);
    // ... while the presenter's own is served.
    TcpClient own(running.server().DataPort());
    ASSERT_TRUE(
        own.Send(test::EncodeRectangle(test::Screen(1024, 768, 1), 16, 0, 0, 1024, 16, 16)));
    EXPECT_FALSE(own.ClosedByPeer(300));
}

TEST(ReceiverServer, PresenterThatReconnectsIsServedOnTheNewConnection) {
    ServerOptions options = Options();
    options.snapshot_path = "left.png";
    RunningServer running(options);
    auto old_connection = std::make_unique<Presenter>(running.server().ControlPort());
    ASSERT_EQ(old_connection->Login(0), SERVER_CODE_OK);
    ASSERT_EQ(old_connection->Ask(MSG_START_REQUEST), SERVER_START);
    // Logging in again closes the old connection first; that ends its projection.
    old_connection.reset();
    Presenter again(running.server().ControlPort());
    ASSERT_EQ(again.Login(0), SERVER_CODE_OK);
    EXPECT_EQ(again.Ask(MSG_START_REQUEST), SERVER_START);
    EXPECT_TRUE(running.output().WaitForSnapshot(1));
}

TEST(ReceiverServer, OperatorCommandsReachThePresenter) {
    RunningServer running(Options());
    Presenter presenter(running.server().ControlPort());
    ASSERT_EQ(presenter.Login(0), SERVER_CODE_OK);
    EXPECT_EQ(presenter.Ask(MSG_START_REQUEST), SERVER_START);

    running.server().Post("stop");
    auto stop = presenter.Receive();
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->type, SERVER_STOP);

    running.server().Post("mode 800x600x32");
    auto mode = presenter.Receive();
    ASSERT_TRUE(mode);
    EXPECT_EQ(mode->type, SERVER_CHANGE_RESOLUTION);
    EXPECT_EQ(mode->PayloadText(0, 124), "800x600x32");

    running.server().Post("start");
    auto start = presenter.Receive();
    ASSERT_TRUE(start);
    EXPECT_EQ(start->type, SERVER_START);
    // A version asked now reports the new mode.
    EXPECT_EQ(presenter.Version("x"), SERVER_VERSION_OK);
    EXPECT_EQ(presenter.LastReply().PayloadText(0, 124), "800x600x32");
}

TEST(ReceiverServer, MessagesSplitAcrossSegmentsAreJoined) {
    RunningServer running(Options());
    Presenter presenter(running.server().ControlPort());
    ControlMessage login;
    login.type = MSG_LOGIN;
    auto bytes = login.Encode();
    for (size_t i = 0; i < bytes.size(); i += 50) {
        ASSERT_TRUE(presenter.Send(bytes.data() + i, std::min<size_t>(50, bytes.size() - i)));
        std::this_thread::sleep_for(5ms);
    }
    auto reply = presenter.Receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->type, SERVER_CODE_OK);
}

}  // namespace
}  // namespace receiver

namespace receiver {
namespace {

TEST(ReceiverServer, IdleConnectionsCannotLockPresentersOut) {
    ServerOptions options = Options();
    options.login_deadline_ms = 1500;
    RunningServer running(options);
    const uint16_t port = running.server().ControlPort();
    // Every place taken by connections that never log in ...
    std::vector<std::unique_ptr<TcpClient>> idle;
    for (int i = 0; i < ReceiverServer::kMaxControlConnections; ++i) {
        idle.push_back(std::make_unique<TcpClient>(port));
        ASSERT_TRUE(idle.back()->Connected());
    }
    // ... and a presenter still gets in: the oldest idle one makes room.
    Presenter presenter(port);
    ASSERT_EQ(presenter.Login(0), SERVER_CODE_OK);
    EXPECT_TRUE(idle.front()->ClosedByPeer(1000));
    EXPECT_FALSE(idle.back()->ClosedByPeer(100));
    // The others go when their time to log in is over; the presenter stays.
    for (size_t i = 1; i < idle.size(); ++i) EXPECT_TRUE(idle[i]->ClosedByPeer(3000)) << i;
    EXPECT_EQ(presenter.Ask(MSG_START_REQUEST), SERVER_START);
}

}  // namespace
}  // namespace receiver
