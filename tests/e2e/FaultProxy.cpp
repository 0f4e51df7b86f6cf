#include "tests/e2e/FaultProxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <memory>
#include <string>

namespace e2e {
namespace {

using Clock = FaultProxy::Clock;
using std::chrono::milliseconds;

constexpr size_t kReadChunk = 64 * 1024;
// A side is not read while this much of what it sent still waits for the other side.
constexpr size_t kMostQueued = 4 * 1024 * 1024;

// One direction of a connection: what was read from one side and waits to be written to the
// other.
struct Flow {
    struct Chunk {
        Clock::time_point due;
        std::string bytes;
    };
    std::deque<Chunk> chunks;
    size_t queued = 0;
    bool ended = false;  // the source side will send no more
    bool shut = false;   // and that end has been passed on (shutdown for writing)

    bool Due(Clock::time_point now) const { return !chunks.empty() && chunks.front().due <= now; }
};

// One connection through the proxy: the presenter's side and the proxy's own to the receiver.
struct Link {
    platform::UniqueFd presenter, receiver;
    Flow up, down;  // presenter to receiver, receiver to presenter
    uint64_t from_presenter = 0;
    bool harmed = false;   // this connection suffers the fault
    bool stalled = false;  // no longer read from the presenter (kStall struck)
    bool dead = false;
};

// Reads up to `most` bytes (some are waiting, or the end) and queues them to go on at `due`; false
// when the connection failed.
bool Read(int fd, Flow& flow, size_t most, Clock::time_point due, uint64_t* counted) {
    std::string bytes(std::min(most, kReadChunk), '\0');
    ssize_t got = ::recv(fd, bytes.data(), bytes.size(), MSG_DONTWAIT);
    if (got < 0) return errno == EAGAIN || errno == EINTR;
    if (got == 0) {
        flow.ended = true;
        return true;
    }
    bytes.resize(static_cast<size_t>(got));
    flow.queued += bytes.size();
    if (counted != nullptr) *counted += bytes.size();
    flow.chunks.push_back({due, std::move(bytes)});
    return true;
}

// Writes what is due; passes the end on once everything before it was written. False when the
// connection failed.
bool Write(int fd, Flow& flow, Clock::time_point now) {
    while (flow.Due(now)) {
        std::string& bytes = flow.chunks.front().bytes;
        ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent < 0) return errno == EAGAIN || errno == EINTR;
        flow.queued -= static_cast<size_t>(sent);
        if (static_cast<size_t>(sent) < bytes.size()) {
            bytes.erase(0, static_cast<size_t>(sent));
            return true;
        }
        flow.chunks.pop_front();
    }
    if (flow.ended && flow.chunks.empty() && !flow.shut) {
        ::shutdown(fd, SHUT_WR);
        flow.shut = true;
    }
    return true;
}

void Reset(platform::UniqueFd& fd) {
    linger abort{1, 0};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    fd.reset();
}

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

}  // namespace

FaultProxy::FaultProxy(uint16_t target_port, Fault fault, int lifetime_ms)
    : target_port_(target_port), fault_(fault) {
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    wake_read_.reset(pipe_fds[0]);
    wake_write_.reset(pipe_fds[1]);
    listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_.get(), 16) != 0 ||
        ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return;
    }
    port_ = ntohs(address.sin_port);
    std::promise<void> ended;
    ended_ = ended.get_future();
    thread_ = std::thread([this, lifetime_ms, ended = std::move(ended)]() mutable {
        Run(lifetime_ms);
        ended.set_value();
    });
}

FaultProxy::~FaultProxy() {
    Stop();
}

int FaultProxy::Connections() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(accepted_.size());
}

std::optional<Clock::time_point> FaultProxy::AcceptedAt(int number) const {
    std::lock_guard lock(mutex_);
    if (number < 1 || number > static_cast<int>(accepted_.size())) return std::nullopt;
    return accepted_[static_cast<size_t>(number - 1)];
}

std::optional<Clock::time_point> FaultProxy::FaultedAt() const {
    std::lock_guard lock(mutex_);
    return faulted_;
}

bool FaultProxy::Stop() {
    if (!thread_.joinable()) return true;
    char byte = 1;
    [[maybe_unused]] ssize_t written = ::write(wake_write_.get(), &byte, 1);
    // The loop looks at the pipe at least every 100 ms.
    const bool ended = ended_.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    thread_.join();
    return ended;
}

void FaultProxy::Run(int lifetime_ms) {
    const auto end = Clock::now() + milliseconds(lifetime_ms);
    std::vector<std::unique_ptr<Link>> links;
    std::vector<pollfd> fds;
    for (auto now = Clock::now(); now < end; now = Clock::now()) {
        // What each socket waits for, and when the next delayed chunk falls due.
        auto wake_at = std::min(end, now + milliseconds(100));
        fds.clear();
        fds.push_back({wake_read_.get(), POLLIN, 0});
        fds.push_back({listener_.get(), POLLIN, 0});
        for (auto& link : links) {
            const bool read_presenter = !link->up.ended && link->up.queued < kMostQueued &&
                                        !(link->harmed && link->from_presenter >= fault_.after &&
                                          fault_.kind != Fault::kDelay);
            const bool read_receiver = !link->down.ended && link->down.queued < kMostQueued;
            for (Flow* flow : {&link->up, &link->down}) {
                if (!flow->chunks.empty()) wake_at = std::min(wake_at, flow->chunks.front().due);
            }
            // A side with nothing to wait for is left out, so that its hangup is not reported
            // on every round: a half-open connection stays as it is until the proxy ends.
            const auto side = [&](const platform::UniqueFd& fd, bool read, bool write) {
                const short events =
                    static_cast<short>((read ? POLLIN : 0) | (write ? POLLOUT : 0));
                fds.push_back({events != 0 ? fd.get() : -1, events, 0});
            };
            side(link->presenter, read_presenter, link->down.Due(now));
            side(link->receiver, read_receiver, link->up.Due(now));
        }
        const auto wait = std::chrono::ceil<milliseconds>(wake_at - now).count();
        if (::poll(fds.data(), fds.size(), static_cast<int>(std::max<long>(wait, 0))) < 0 &&
            errno != EINTR) {
            break;
        }
        if (fds[0].revents != 0) break;
        now = Clock::now();

        // Readable (or at its end) where that was waited for.
        const auto readable = [](const pollfd& p) {
            return (p.events & POLLIN) && (p.revents & (POLLIN | POLLHUP | POLLERR));
        };
        for (size_t i = 0; i < links.size(); ++i) {
            Link& link = *links[i];
            const auto due = now + milliseconds(fault_.kind == Fault::kDelay ? fault_.delay_ms : 0);
            bool ok = true;
            if (readable(fds[2 + 2 * i])) {
                // A harmed connection is read up to the byte where the fault strikes.
                size_t most = kReadChunk;
                if (link.harmed && fault_.kind != Fault::kDelay) {
                    most = static_cast<size_t>(fault_.after - link.from_presenter);
                }
                ok = Read(link.presenter.get(), link.up, most, due, &link.from_presenter);
            }
            if (ok && readable(fds[3 + 2 * i])) {
                ok = Read(link.receiver.get(), link.down, kReadChunk, due, nullptr);
            }
            ok = ok && Write(link.receiver.get(), link.up, now) &&
                 Write(link.presenter.get(), link.down, now);
            link.dead = !ok || (link.up.shut && link.down.shut);

            if (!link.dead && link.harmed && fault_.kind != Fault::kDelay &&
                link.from_presenter >= fault_.after) {
                bool struck = false;
                if (fault_.kind == Fault::kStall && !link.stalled) {
                    link.stalled = struck = true;
                } else if (fault_.kind != Fault::kStall && link.up.queued == 0) {
                    // Everything up to the fault reached the receiver's side: end it there.
                    if (fault_.kind == Fault::kReset) {
                        Reset(link.presenter);
                        Reset(link.receiver);
                    }
                    link.dead = struck = true;
                }
                if (struck) {
                    std::lock_guard lock(mutex_);
                    faulted_ = now;
                }
            }
        }
        std::erase_if(links, [](const auto& link) { return link->dead; });

        if (fds[1].revents & POLLIN) {
            platform::UniqueFd presenter(
                ::accept4(listener_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
            if (!presenter) continue;
            int number;
            {
                std::lock_guard lock(mutex_);
                accepted_.push_back(now);
                number = static_cast<int>(accepted_.size());
            }
            // The receiver is on this machine: the connection is made, or refused, at once.
            platform::UniqueFd receiver(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
            sockaddr_in target = Loopback(target_port_);
            if (::connect(receiver.get(), reinterpret_cast<sockaddr*>(&target), sizeof target) !=
                    0 ||
                ::fcntl(receiver.get(), F_SETFL, O_NONBLOCK) != 0) {
                continue;  // the presenter's side is closed with it
            }
            auto link = std::make_unique<Link>();
            link->presenter = std::move(presenter);
            link->receiver = std::move(receiver);
            link->harmed = fault_.kind != Fault::kNone && number == fault_.connection;
            links.push_back(std::move(link));
        }
    }
    // Every connection still open is closed here, before the proxy reports its end.
}

}  // namespace e2e
