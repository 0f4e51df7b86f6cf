#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

void UniqueFd::reset(int fd) {
    int old = std::exchange(fd_, fd);
    if (old >= 0) ::close(old);
}

bool StartNetwork() {
    return true;
}

int OpenTcpSocket() {
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

int OpenUdpSocket() {
    return ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

void CloseSocket(int fd) {
    if (fd >= 0) ::close(fd);
}

void ShutdownSocket(int fd) {
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

bool BindAnyAddress(int fd, uint16_t port) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(port);
    return ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
}

int SendSome(int fd, const void* buffer, size_t length, bool dont_wait) {
    return static_cast<int>(
        ::send(fd, buffer, length, MSG_NOSIGNAL | (dont_wait ? MSG_DONTWAIT : 0)));
}

int ReceiveSome(int fd, void* buffer, size_t length) {
    return static_cast<int>(::recv(fd, buffer, length, 0));
}

int ReceiveDatagram(int fd, void* buffer, size_t length, in_addr* from) {
    sockaddr_in sender{};
    socklen_t sender_size = sizeof sender;
    // MSG_TRUNC reports the datagram's real length, so one too long is seen, not cut.
    ssize_t n = ::recvfrom(fd, buffer, length, MSG_TRUNC | MSG_DONTWAIT,
                           reinterpret_cast<sockaddr*>(&sender), &sender_size);
    if (n >= 0) *from = sender.sin_addr;
    return static_cast<int>(n);
}

bool ConnectWithTimeout(int fd, in_addr address, uint16_t port, int timeout_ms) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr = address;
    peer.sin_port = htons(port);
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) return false;
    if (timeout_ms >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return false;
    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer);
    int error = rc == 0 ? 0 : errno;
    if (rc != 0 && timeout_ms >= 0 && error == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        int ready;
        do {
            ready = ::poll(&p, 1, timeout_ms);
        } while (ready < 0 && errno == EINTR);
        if (ready == 0) {
            error = ETIMEDOUT;
        } else if (ready < 0) {
            error = errno;
        } else {
            socklen_t len = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
        }
    }
    if (timeout_ms >= 0) ::fcntl(fd, F_SETFL, flags);
    errno = error;
    return error == 0;
}

int WaitWritable(int fd, int timeout_ms) {
    pollfd p{fd, POLLOUT, 0};
    for (;;) {
        int ready = ::poll(&p, 1, timeout_ms);
        if (ready >= 0) return ready > 0 ? 1 : 0;
        if (errno != EINTR) return -1;
    }
}

int WaitReadable(int fd, int timeout_ms) {
    pollfd p{fd, POLLIN, 0};
    for (;;) {
        int ready = ::poll(&p, 1, timeout_ms);
        if (ready >= 0) return ready > 0 ? 1 : 0;
        if (errno != EINTR) return -1;
    }
}

bool SetNoDelay(int fd) {
    int one = 1;
    return ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) == 0;
}

bool SetDeadPeerDetection(int fd, int idle_s, int interval_s, int count, int user_timeout_ms) {
    int one = 1;
    bool ok = ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one) == 0;
    ok &= ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle_s, sizeof idle_s) == 0;
    ok &= ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval_s, sizeof interval_s) == 0;
    ok &= ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count) == 0;
    ok &= ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &user_timeout_ms,
                       sizeof user_timeout_ms) == 0;
    return ok;
}

}  // namespace platform
