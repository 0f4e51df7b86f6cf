// Runs the library's unit tests on a beacon/control port of their own: parallel test processes
// never collide on the fixed ports, and nothing else on the machine is disturbed.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "client/tests/TestSupport.h"

namespace tarrowlink::test {

uint16_t FreePort() {
    // A port that is free for UDP and TCP alike (the beacon and control ports are one number).
    for (int attempt = 0; attempt < 50; ++attempt) {
        int udp = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(udp, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        getsockname(udp, reinterpret_cast<sockaddr*>(&addr), &len);
        int tcp = socket(AF_INET, SOCK_STREAM, 0);
        bool tcp_free = bind(tcp, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        close(tcp);
        close(udp);
        if (tcp_free) return ntohs(addr.sin_port);
    }
    return 0;
}

}  // namespace tarrowlink::test

int main(int argc, char** argv) {
    uint16_t port = tarrowlink::test::FreePort();
    setenv("BEAMORA_CONTROL_PORT", std::to_string(port).c_str(), 1);
    setenv("BEAMORA_DATA_PORT", std::to_string(tarrowlink::test::FreePort()).c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
