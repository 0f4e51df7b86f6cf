#include <gtest/gtest.h>
#if defined(_WIN32)
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <sys/socket.h>
#endif

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/Debug.h"
#include "platform/MessageRegistry.h"
#include "platform/Paths.h"
#include "platform/Ports.h"
#include "platform/Socket.h"

namespace platform {
namespace {

TEST(Debug, CapturingSinkSeesExactTextsAndCanBeRemoved) {
    std::vector<std::string> lines;
    SetDebugSink([&](std::string_view text) { lines.emplace_back(text); });
    DebugOutput("bind error\n");
    DebugFormat("Hostname %s, IP %s\n", "room", "10.0.0.2");
    DebugOutput("no line feed");
    SetDebugSink({});
    DebugOutput("not captured\n");
    EXPECT_EQ(lines, (std::vector<std::string>{"bind error\n", "Hostname room, IP 10.0.0.2\n",
                                               "no line feed"}));
}

TEST(MessageRegistry, SameNameSameNumberAcrossThreads) {
    unsigned int a = RegisterMessage("PROJECTOR_NOTIFY");
    unsigned int b = 0;
    std::thread([&] { b = RegisterMessage("projector_notify"); }).join();
    EXPECT_GE(a, 0xC000u);
    EXPECT_EQ(a, b);
    EXPECT_NE(RegisterMessage("OTHER_MESSAGE"), a);
    EXPECT_EQ(RegisterMessage(""), 0u);
}

TEST(Ports, ParsesOnlyValidPortNumbers) {
    EXPECT_EQ(ParsePort("6566"), 6566);
    EXPECT_EQ(ParsePort("65535"), 65535);
    EXPECT_EQ(ParsePort("0"), 0);
    EXPECT_EQ(ParsePort("65536"), 0);
    EXPECT_EQ(ParsePort("12ab"), 0);
    EXPECT_EQ(ParsePort("-1"), 0);
    EXPECT_EQ(ParsePort(""), 0);
    EXPECT_EQ(ParsePort(nullptr), 0);
}

TEST(Paths, ModuleAndComputerName) {
    EXPECT_NE(ModuleFileName().find("platform_tests"), std::string::npos);
    EXPECT_FALSE(ModuleDirectory().empty());
    EXPECT_TRUE(ComputerName().has_value());
    EXPECT_FALSE(FindDataDirectory("no-such-marker-file").has_value());
}

TEST(Socket, ConnectGivesUpOnTimeoutAndSucceedsOnListener) {
    ASSERT_TRUE(StartNetwork());
    UniqueFd listener(OpenTcpSocket());
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(listener.get(), 1), 0);
    socklen_t len = sizeof addr;
    getsockname(listener.get(), reinterpret_cast<sockaddr*>(&addr), &len);

    auto loopback = ResolveIpv4("127.0.0.1");
    ASSERT_TRUE(loopback.has_value());
    UniqueFd client(OpenTcpSocket());
    EXPECT_TRUE(ConnectWithTimeout(client.get(), *loopback, ntohs(addr.sin_port), 2000));
    EXPECT_TRUE(SetNoDelay(client.get()));
    EXPECT_TRUE(SetDeadPeerDetection(client.get(), 5, 2, 3, 15000));

    // Nothing to accept the connection of a closed port: refused, not hanging.
    listener.reset();
    UniqueFd again(OpenTcpSocket());
    EXPECT_FALSE(ConnectWithTimeout(again.get(), *loopback, ntohs(addr.sin_port), 2000));

    EXPECT_FALSE(ResolveIpv4("").has_value());
    EXPECT_TRUE(ResolveIpv4("localhost").has_value());
    char text[16];
    FormatIpv4(*loopback, text, sizeof text);
    EXPECT_STREQ(text, "127.0.0.1");
}

TEST(Socket, DatagramsTellTheirSenderAndOneTooLongIsSeenAsSuch) {
    ASSERT_TRUE(StartNetwork());
    UniqueFd receiver(OpenUdpSocket());
    ASSERT_TRUE(receiver);
    ASSERT_TRUE(BindAnyAddress(receiver.get(), 0));
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    getsockname(receiver.get(), reinterpret_cast<sockaddr*>(&addr), &len);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

    char buffer[32];
    in_addr from{};
    EXPECT_EQ(ReceiveDatagram(receiver.get(), buffer, sizeof buffer, &from), -1);  // none waiting
    UniqueFd sender(OpenUdpSocket());
    for (int size : {32, 40}) {
        std::string datagram(static_cast<size_t>(size), 'b');
        ASSERT_EQ(sendto(sender.get(), datagram.data(), size, 0, reinterpret_cast<sockaddr*>(&addr),
                         sizeof addr),
                  size);
        ASSERT_EQ(WaitReadable(receiver.get(), 2000), 1);
        int n = ReceiveDatagram(receiver.get(), buffer, sizeof buffer, &from);
        if (size == 32) {
            EXPECT_EQ(n, 32);
        } else {
            EXPECT_GT(n, 32);  // cut, and said so
        }
        char text[16];
        FormatIpv4(from, text, sizeof text);
        EXPECT_STREQ(text, "127.0.0.1");
    }
}

}  // namespace
}  // namespace platform
