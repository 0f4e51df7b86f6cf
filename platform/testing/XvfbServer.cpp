#include "platform/testing/XvfbServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform::testing {

XvfbServer::XvfbServer(int width, int height, int depth) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        return;
    }
    std::string screen =
        std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(fds[1], 3);  // the one descriptor the server inherits
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "-nolisten",
               "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (pid_ < 0) {
        error_ = std::string("fork: ") + std::strerror(errno);
        close(fds[0]);
        return;
    }
    // The server writes its display number and a line feed once it accepts clients.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (poll(&p, 1, 10000) > 0) {
        char c;
        if (read(fds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        error_ = "Xvfb did not start (is the xvfb package installed?)";
        return;
    }
    display_ = ":" + number;
}

XvfbServer::~XvfbServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace platform::testing
