// Thin socket helpers shared by the client library, the CLI and the reference receiver, over the
// system's sockets (BSD sockets, or WinSock 2.2 on Windows; the backend is chosen by CMake).
// Every call is safe on any thread; none raises SIGPIPE (sends use MSG_NOSIGNAL).
//
// Sockets are plain ints, -1 for none. A WinSock SOCKET fits: Windows keeps the significant bits
// of kernel handles within 32 (so that 32- and 64-bit processes can share them). Failed calls
// leave an errno value in errno (WinSock's errors are translated: WSAETIMEDOUT is ETIMEDOUT).
#pragma once

#if defined(_WIN32)
#include <winsock2.h>
#else
#include <netinet/in.h>
#endif

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

namespace platform {

// Owns one socket (on POSIX systems any file descriptor); closes it on destruction. -1 means
// "none".
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    // Closes the current descriptor (if any) and takes fd.
    void reset(int fd = -1);

  private:
    int fd_ = -1;
};

// Starts the system's socket layer for this process (WSAStartup for WinSock 2.2; nothing to do
// elsewhere). False when it cannot be used. Call before any other socket call; the layer is never
// shut down (sockets of library threads may outlive every caller).
bool StartNetwork();

// A new IPv4 stream (TCP) or datagram (UDP) socket, not inherited by child processes; -1 on
// failure.
int OpenTcpSocket();
int OpenUdpSocket();
// Closes a socket (none: nothing happens).
void CloseSocket(int fd);
// Shuts both directions down, waking a thread blocked on the socket. The socket stays open.
void ShutdownSocket(int fd);
// Binds fd to every local address at port. False on failure.
bool BindAnyAddress(int fd, uint16_t port);

// One send call: the bytes sent (at least 1), or -1 (errno; EAGAIN when dont_wait and the socket
// has no room, EINTR to be retried). A return of 0 means nothing could be sent.
int SendSome(int fd, const void* buffer, size_t length, bool dont_wait);
// One receive call: the bytes received, 0 at the end of the stream, -1 on error (errno).
int ReceiveSome(int fd, void* buffer, size_t length);
// One datagram into buffer: its real length (larger than length when it did not fit and was cut),
// -1 on error (errno; EAGAIN when none is waiting). *from is its sender.
int ReceiveDatagram(int fd, void* buffer, size_t length, in_addr* from);

// The address a dotted IPv4 text stands for; nullopt for anything else (names included).
std::optional<in_addr> ParseIpv4(const char* text);

// IPv4 address of host: a dotted address as it stands, else the first IPv4 address that name
// resolution gives. nullopt when the text is empty or does not resolve.
std::optional<in_addr> ResolveIpv4(const char* host);

// Connects fd to address:port, giving up after timeout_ms (a negative value waits as long as the
// system does). On failure errno tells why (ETIMEDOUT for the time limit). fd stays blocking.
bool ConnectWithTimeout(int fd, in_addr address, uint16_t port, int timeout_ms);

// Waits until fd is readable: 1 readable (or at end of stream), 0 timed out, -1 error.
// timeout_ms 0 polls, negative waits forever. EINTR is retried.
int WaitReadable(int fd, int timeout_ms);
// The same for room to write: 1 writable, 0 timed out, -1 error.
int WaitWritable(int fd, int timeout_ms);

// Switches Nagle's algorithm off (TCP_NODELAY = 1). Returns false on failure.
bool SetNoDelay(int fd);

// Makes a dead peer noticeable on an idle or stuck connection: TCP keep-alive probes after idle_s,
// then every interval_s, giving up after count probes; and TCP_USER_TIMEOUT of user_timeout_ms for
// data that stays unacknowledged. Returns false when an option could not be set (on Windows: the
// keep-alive; the bound on unacknowledged data, TCP_MAXRT in whole seconds, is set where the
// system has it).
bool SetDeadPeerDetection(int fd, int idle_s, int interval_s, int count, int user_timeout_ms);

// Dotted text of an IPv4 address into out (at least 16 bytes, always zero-terminated).
void FormatIpv4(in_addr address, char* out, size_t out_size);

}  // namespace platform
