// The data connection: opened by the first unit, reopened after a unit could not be delivered.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "client/capture/CaptureRecord.h"
#include "client/session/NetChannel.h"
#include "client/session/Session.h"
#include "client/session/Sockets.h"
#include "client/tests/TestSupport.h"
#include "platform/Ports.h"
#include "platform/Socket.h"

namespace tarrowlink {
namespace {

class DataListener {
  public:
    DataListener() {
        fd_.reset(socket(AF_INET, SOCK_STREAM, 0));
        int one = 1;
        setsockopt(fd_.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(platform::DataPort());
        EXPECT_EQ(bind(fd_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        listen(fd_.get(), 4);
    }
    // Accepts one connection (waiting up to 2 s).
    platform::UniqueFd Accept() {
        if (platform::WaitReadable(fd_.get(), 2000) <= 0) return platform::UniqueFd();
        return platform::UniqueFd(accept(fd_.get(), nullptr, nullptr));
    }

  private:
    platform::UniqueFd fd_;
};

std::vector<uint8_t> ReadSome(int fd, size_t size) {
    std::vector<uint8_t> bytes(size);
    size_t got = 0;
    while (got < size && platform::WaitReadable(fd, 2000) > 0) {
        ssize_t n = recv(fd, bytes.data() + got, size - got, 0);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

TEST(DataChannel, FirstUnitConnectsAndAFailedUnitReconnectsWithAFullPicture) {
    SetReceiverAddress("127.0.0.1");
    NetChannel channel;
    channel.CloseData(0);
    const DataStats before = CurrentDataStats();
    uint8_t unit[3] = {5, 6, 7};
    {
        test::DebugCapture debug;
        EXPECT_EQ(channel.SendData(unit, 3, nullptr), -1);  // nobody listens yet
        EXPECT_EQ(debug.Count("failed Data Connection\n"), 1);
        EXPECT_LT(TcpSocketFd(TcpSocket::Data), 0);
        // Right after a failure the next unit waits its turn: dropped, no new attempt.
        FullRefreshFlag().store(0);
        EXPECT_EQ(channel.SendData(unit, 3, nullptr), -1);
        EXPECT_EQ(debug.Count("failed Data Connection\n"), 1);
        EXPECT_EQ(FullRefreshFlag().load(), 1);
    }
    DataListener listener;
    uint8_t chunks[6] = {10, 11, 12, 20, 21, 22};
    int sizes[2] = {3, 3};
    ASSERT_TRUE(test::WaitFor([&] { return channel.SendData(chunks, 2, sizes) == 0; }));
    platform::UniqueFd first = listener.Accept();
    ASSERT_TRUE(first);
    EXPECT_EQ(ReadSome(first.get(), 6), std::vector<uint8_t>(chunks, chunks + 6));

    // The receiver drops the connection: sends fail, the socket is dropped and the next capture
    // step will send the whole picture on a new connection.
    first.reset();
    FullRefreshFlag().store(0);
    std::vector<uint8_t> big(1 << 20, 7);
    for (int i = 0; i < 20 && TcpSocketFd(TcpSocket::Data) >= 0; ++i) {
        channel.SendData(big.data(), static_cast<int>(big.size()), nullptr);
    }
    EXPECT_LT(TcpSocketFd(TcpSocket::Data), 0);
    EXPECT_EQ(FullRefreshFlag().load(), 1);
    ASSERT_TRUE(test::WaitFor([&] { return channel.SendData(unit, 3, nullptr) == 0; }));
    platform::UniqueFd second = listener.Accept();
    ASSERT_TRUE(second);
    EXPECT_EQ(ReadSome(second.get(), 3), std::vector<uint8_t>(unit, unit + 3));
    const DataStats after = CurrentDataStats();
    EXPECT_EQ(after.connections - before.connections, 2u);
    EXPECT_GE(after.failures - before.failures, 2u);
    EXPECT_GE(after.units_sent - before.units_sent, 2u);
    channel.CloseData(0);
}

TEST(DataChannel, AReceiverThatDropsEveryConnectionIsRetriedLessAndLessOften) {
    SetReceiverAddress("127.0.0.1");
    NetChannel channel;
    channel.CloseData(0);
    DataListener listener;
    std::atomic<bool> done{false};
    std::atomic<int> accepted{0};
    std::thread receiver([&] {
        while (!done.load()) {
            platform::UniqueFd connection = listener.Accept();
            if (connection) ++accepted;  // and closed at once
        }
    });
    // A sending thread's passes for 2 s: without waiting between attempts there would be one
    // connection a pass (about 40); waiting 50, 100, 200, ... ms leaves a handful.
    std::vector<uint8_t> unit(64 * 1024, 1);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < end) {
        channel.SendData(unit.data(), static_cast<int>(unit.size()), nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    done.store(true);
    receiver.join();
    EXPECT_GE(accepted.load(), 2);
    EXPECT_LE(accepted.load(), 8);
    channel.CloseData(0);
}

}  // namespace
}  // namespace tarrowlink
