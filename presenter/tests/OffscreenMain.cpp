// Runs the presenter's unit tests inside a QApplication on Qt's offscreen platform: no X server
// and no DISPLAY of the developer's are used, and the library listens on ports of this process's
// own, so a search started by a test never meets real receivers or another test.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <string>

namespace {

// A port free for UDP and TCP alike on loopback.
int FreePort() {
    for (int attempt = 0; attempt < 50; ++attempt) {
        int udp = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(udp, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        getsockname(udp, reinterpret_cast<sockaddr*>(&address), &length);
        int tcp = socket(AF_INET, SOCK_STREAM, 0);
        const bool free = bind(tcp, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        close(tcp);
        close(udp);
        if (free) return ntohs(address.sin_port);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("BEAMORA_CONTROL_PORT", std::to_string(FreePort()).c_str(), 1);
    setenv("BEAMORA_DATA_PORT", std::to_string(FreePort()).c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
