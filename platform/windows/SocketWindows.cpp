// The socket helpers on WinSock 2.2. Sockets travel as ints (see Socket.h); WinSock's error codes
// are translated to the errno values the callers test.
#include <winsock2.h>
// after winsock2.h, which they need
#include <mstcpip.h>
#include <ws2tcpip.h>

#include <cerrno>
#include <mutex>

#include "platform/Socket.h"

namespace platform {
namespace {

// TCP_MAXRT (ws2ipdef.h of the Windows SDK; mingw-w64's headers lack it): the longest time, in
// whole seconds, that data may stay unacknowledged before the connection is dropped.
constexpr int kTcpMaxRt = 5;

SOCKET Handle(int fd) {
    return fd < 0 ? INVALID_SOCKET : static_cast<SOCKET>(static_cast<unsigned int>(fd));
}

int FromHandle(SOCKET s) {
    return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}

int ErrnoOf(int wsa_error) {
    switch (wsa_error) {
        case 0:
            return 0;
        case WSAEINTR:
            return EINTR;
        case WSAEWOULDBLOCK:
            return EAGAIN;
        case WSAEINPROGRESS:
            return EINPROGRESS;
        case WSAETIMEDOUT:
            return ETIMEDOUT;
        case WSAECONNREFUSED:
            return ECONNREFUSED;
        case WSAECONNRESET:
            return ECONNRESET;
        case WSAECONNABORTED:
            return ECONNABORTED;
        case WSAENOTCONN:
            return ENOTCONN;
        case WSAESHUTDOWN:
            return EPIPE;
        case WSAENOTSOCK:
            return EBADF;
        case WSAEMSGSIZE:
            return EMSGSIZE;
        case WSAEADDRINUSE:
            return EADDRINUSE;
        case WSAEHOSTUNREACH:
            return EHOSTUNREACH;
        case WSAENETUNREACH:
            return ENETUNREACH;
        case WSAENETDOWN:
            return ENETDOWN;
        case WSAEACCES:
            return EACCES;
        case WSAEINVAL:
            return EINVAL;
        case WSAENOBUFS:
            return ENOBUFS;
        case WSANOTINITIALISED:
            return ENETDOWN;
        default:
            return EIO;
    }
}

// Puts the socket's last error into errno; returns -1 for the caller to pass on.
int Fail() {
    errno = ErrnoOf(WSAGetLastError());
    return -1;
}

bool SetBlocking(SOCKET s, bool blocking) {
    u_long non_blocking = blocking ? 0 : 1;
    return ::ioctlsocket(s, FIONBIO, &non_blocking) == 0;
}

// select() on one socket: 1 ready (or failed, for writing: a connect's error), 0 timed out, -1.
int WaitFor(int fd, bool write, int timeout_ms) {
    SOCKET s = Handle(fd);
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(s, &ready);
    FD_SET(s, &failed);
    timeval limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    int n = ::select(0, write ? nullptr : &ready, write ? &ready : nullptr, &failed,
                     timeout_ms < 0 ? nullptr : &limit);
    if (n == SOCKET_ERROR) return Fail();
    return n > 0 ? 1 : 0;
}

}  // namespace

void UniqueFd::reset(int fd) {
    int old = std::exchange(fd_, fd);
    if (old >= 0) ::closesocket(Handle(old));
}

bool StartNetwork() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        WSADATA data{};
        started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    return started;
}

int OpenTcpSocket() {
    SOCKET s =
        ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return Fail();
    return FromHandle(s);
}

int OpenUdpSocket() {
    SOCKET s =
        ::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return Fail();
    return FromHandle(s);
}

void CloseSocket(int fd) {
    if (fd >= 0) ::closesocket(Handle(fd));
}

void ShutdownSocket(int fd) {
    if (fd >= 0) ::shutdown(Handle(fd), SD_BOTH);
}

bool BindAnyAddress(int fd, uint16_t port) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(port);
    if (::bind(Handle(fd), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        Fail();
        return false;
    }
    return true;
}

int SendSome(int fd, const void* buffer, size_t length, bool dont_wait) {
    SOCKET s = Handle(fd);
    int chunk = static_cast<int>(std::min<size_t>(length, 1 << 30));
    // WinSock has no per-call "don't wait": the socket is non-blocking for this call only. Only the
    // data connection sends this way, and nothing reads from it meanwhile.
    if (dont_wait && !SetBlocking(s, false)) return Fail();
    int n = ::send(s, static_cast<const char*>(buffer), chunk, 0);
    int error = n == SOCKET_ERROR ? WSAGetLastError() : 0;
    if (dont_wait) SetBlocking(s, true);
    if (n == SOCKET_ERROR) {
        errno = ErrnoOf(error);
        return -1;
    }
    return n;
}

int ReceiveSome(int fd, void* buffer, size_t length) {
    int chunk = static_cast<int>(std::min<size_t>(length, 1 << 30));
    int n = ::recv(Handle(fd), static_cast<char*>(buffer), chunk, 0);
    return n == SOCKET_ERROR ? Fail() : n;
}

int ReceiveDatagram(int fd, void* buffer, size_t length, in_addr* from) {
    if (WaitFor(fd, false, 0) <= 0) {
        errno = EAGAIN;
        return -1;
    }
    sockaddr_in sender{};
    int sender_size = sizeof sender;
    int chunk = static_cast<int>(std::min<size_t>(length, 1 << 30));
    int n = ::recvfrom(Handle(fd), static_cast<char*>(buffer), chunk, 0,
                       reinterpret_cast<sockaddr*>(&sender), &sender_size);
    if (n == SOCKET_ERROR) {
        // WinSock reports a datagram that did not fit as an error and does not tell its length.
        if (WSAGetLastError() != WSAEMSGSIZE) return Fail();
        n = chunk + 1;
    }
    *from = sender.sin_addr;
    return n;
}

bool ConnectWithTimeout(int fd, in_addr address, uint16_t port, int timeout_ms) {
    SOCKET s = Handle(fd);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr = address;
    peer.sin_port = htons(port);
    if (timeout_ms >= 0 && !SetBlocking(s, false)) {
        Fail();
        return false;
    }
    int error = 0;
    if (::connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
        error = WSAGetLastError();
        if (timeout_ms >= 0 && error == WSAEWOULDBLOCK) {
            int ready = WaitFor(fd, true, timeout_ms);
            if (ready == 0) {
                error = WSAETIMEDOUT;
            } else if (ready < 0) {
                error = WSAGetLastError();
            } else {
                int len = sizeof error;
                if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) !=
                    0) {
                    error = WSAGetLastError();
                }
            }
        }
    }
    if (timeout_ms >= 0) SetBlocking(s, true);
    errno = ErrnoOf(error);
    return error == 0;
}

int WaitReadable(int fd, int timeout_ms) {
    return WaitFor(fd, false, timeout_ms);
}

int WaitWritable(int fd, int timeout_ms) {
    return WaitFor(fd, true, timeout_ms);
}

bool SetNoDelay(int fd) {
    BOOL one = TRUE;
    return ::setsockopt(Handle(fd), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one),
                        sizeof one) == 0;
}

bool SetDeadPeerDetection(int fd, int idle_s, int interval_s, int count, int user_timeout_ms) {
    SOCKET s = Handle(fd);
    // The probe count is the system's own (10) on Windows before 10 version 1703.
    (void)count;
    tcp_keepalive keepalive{1, static_cast<ULONG>(idle_s) * 1000,
                            static_cast<ULONG>(interval_s) * 1000};
    DWORD returned = 0;
    if (::WSAIoctl(s, SIO_KEEPALIVE_VALS, &keepalive, sizeof keepalive, nullptr, 0, &returned,
                   nullptr, nullptr) != 0) {
        Fail();
        return false;
    }
    // Best effort: Wine does not know TCP_MAXRT (Windows has it since Vista); the keep-alive
    // probes still notice the dead peer of an idle connection there.
    DWORD max_rt_s = static_cast<DWORD>((user_timeout_ms + 999) / 1000);
    ::setsockopt(s, IPPROTO_TCP, kTcpMaxRt, reinterpret_cast<const char*>(&max_rt_s),
                 sizeof max_rt_s);
    return true;
}

}  // namespace platform
