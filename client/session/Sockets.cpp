#include "client/session/Sockets.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>

#include "platform/Debug.h"
#include "platform/Socket.h"

namespace tarrowlink {
namespace {

thread_local int t_last_socket_error = 0;

// Process-wide descriptors; the only state of this layer. Plain ints would race between the
// threads that close a socket and those that use it.
std::atomic<int> g_control_socket{-1};
std::atomic<int> g_data_socket{-1};
std::atomic<int> g_udp_socket{-1};

std::atomic<int>& Slot(TcpSocket which) {
    return which == TcpSocket::Control ? g_control_socket : g_data_socket;
}

int Fail() {
    t_last_socket_error = errno;
    return -1;
}

}  // namespace

std::mutex& SocketMutex(TcpSocket which) {
    static std::mutex control;
    static std::mutex data;
    return which == TcpSocket::Control ? control : data;
}

int LastSocketError() {
    return t_last_socket_error;
}
void SetLastSocketError(int err) {
    t_last_socket_error = err;
}

int TcpSocketFd(TcpSocket which) {
    return Slot(which).load();
}
int UdpSocketFd() {
    return g_udp_socket.load();
}

int CreateTcpSocket(TcpSocket which) {
    std::atomic<int>& slot = Slot(which);
    if (slot.load() >= 0) return 1;
    platform::UniqueFd fd(platform::OpenTcpSocket());
    if (!fd || !platform::SetNoDelay(fd.get())) return Fail();
    slot.store(fd.release());
    platform::DebugOutput("Create TCP mysocket successfully\n");
    return 0;
}

int CreateUdpSocket() {
    CloseUdpSocket();
    int fd = platform::OpenUdpSocket();
    if (fd < 0) {
        Fail();
        return 0;
    }
    g_udp_socket.store(fd);
    platform::DebugOutput("Create UDP socket successfully\n");
    return 1;
}

int BindUdpSocket(uint16_t port) {
    int fd = g_udp_socket.load();
    if (fd < 0 || !platform::BindAnyAddress(fd, port)) {
        Fail();
        platform::DebugOutput("bind error\n");
        return 0;
    }
    return 1;
}

void CloseTcpSocket(TcpSocket which) {
    int fd = Slot(which).exchange(-1);
    if (fd < 0) return;
    platform::DebugOutput("closing m_TcpSocket\n");
    // Shut down first: a thread blocked on this socket wakes up. The descriptor is closed only when
    // no control message is being written to it.
    platform::ShutdownSocket(fd);
    std::lock_guard lock(SocketMutex(which));
    platform::CloseSocket(fd);
}

void CloseUdpSocket() {
    int fd = g_udp_socket.exchange(-1);
    if (fd < 0) return;
    platform::DebugOutput("closing m_UdpSocket\n");
    platform::ShutdownSocket(fd);
    platform::CloseSocket(fd);
}

int ConnectTo(int fd, const char* host, uint16_t port, int timeout_ms) {
    auto address = platform::ResolveIpv4(host);
    if (!address) {
        SetLastSocketError(EHOSTUNREACH);
        return 0;
    }
    if (fd < 0 || !platform::ConnectWithTimeout(fd, *address, port, timeout_ms)) {
        Fail();
        return 0;
    }
    platform::DebugOutput("connect successfully\n");
    return 1;
}

int SendAll(int fd, const void* buffer, int length, int stall_timeout_ms) {
    const char* bytes = static_cast<const char*>(buffer);
    int sent = 0;
    while (sent < length) {
        // Sent straight away while the socket has room (the usual case); waited for, at most the
        // stall timeout, only when it has none.
        int n = platform::SendSome(fd, bytes + sent, static_cast<size_t>(length - sent),
                                   stall_timeout_ms >= 0);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && stall_timeout_ms >= 0 && errno == EAGAIN) {
            const int ready = platform::WaitWritable(fd, stall_timeout_ms);
            if (ready > 0) continue;
            if (ready == 0) errno = ETIMEDOUT;
        }
        Fail();
        platform::DebugOutput("Send package error!\n");
        return -1;
    }
    return length;
}

int ReceiveAll(int fd, void* buffer, int length, int timeout_ms) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    char* bytes = static_cast<char*>(buffer);
    int received = 0;
    if (fd < 0 && length > 0) {
        errno = EBADF;
        Fail();
        platform::DebugOutput("Receive feedback from server error!\n");
        return -1;
    }
    while (received < length) {
        if (timeout_ms >= 0) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            int ready =
                platform::WaitReadable(fd, static_cast<int>(std::max<long long>(0, left.count())));
            if (ready <= 0) {
                if (ready == 0) errno = ETIMEDOUT;
                Fail();
                platform::DebugOutput("Receive feedback from server error!\n");
                return -1;
            }
        }
        int n = platform::ReceiveSome(fd, bytes + received, static_cast<size_t>(length - received));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ECONNRESET;
            Fail();
            platform::DebugOutput("Receive feedback from server error!\n");
            return -1;
        }
        received += n;
    }
    return length;
}

}  // namespace tarrowlink
