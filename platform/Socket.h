// Thin POSIX socket helpers shared by the client library, the CLI and the reference receiver.
// Every call is safe on any thread; none raises SIGPIPE (sends use MSG_NOSIGNAL).
#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

namespace platform {

// Owns one file descriptor; closes it on destruction. -1 means "none".
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
// data that stays unacknowledged. Returns false when an option could not be set.
bool SetDeadPeerDetection(int fd, int idle_s, int interval_s, int count, int user_timeout_ms);

// Dotted text of an IPv4 address into out (at least 16 bytes, always zero-terminated).
void FormatIpv4(in_addr address, char* out, size_t out_size);

}  // namespace platform
