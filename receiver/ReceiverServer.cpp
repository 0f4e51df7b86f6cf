#include "receiver/ReceiverServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/Debug.h"
#include "receiver/Commands.h"
#include "receiver/DataStream.h"

namespace receiver {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kBeaconSize = 32;
constexpr size_t kReadChunk = 256 * 1024;
constexpr int kSendTimeoutMs = 2000;

std::string Dotted(in_addr address) {
    char text[16];
    platform::FormatIpv4(address, text, sizeof text);
    return text;
}

// A TCP socket listening on `address` (0.0.0.0: any local one) at port (0: a free one). Returns
// the bound port.
platform::UniqueFd Listen(in_addr address, uint16_t port, uint16_t* bound, std::string* error) {
    platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) {
        *error = std::string("cannot create a TCP socket: ") + std::strerror(errno);
        return {};
    }
    int one = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr = address;
    local.sin_port = htons(port);
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(fd.get(), 8) != 0) {
        const std::string at = address.s_addr == htonl(INADDR_ANY) ? "" : " of " + Dotted(address);
        *error =
            "cannot listen on TCP port " + std::to_string(port) + at + ": " + std::strerror(errno);
        return {};
    }
    socklen_t length = sizeof local;
    ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&local), &length);
    *bound = ntohs(local.sin_port);
    return fd;
}

// Accepts one connection; address_out gets the peer's dotted address.
platform::UniqueFd Accept(int listener, std::string* address_out) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    platform::UniqueFd fd(
        ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC));
    if (!fd) return fd;
    *address_out = Dotted(peer.sin_addr);
    platform::SetNoDelay(fd.get());
    // A presenter that vanishes without closing is noticed within about a minute.
    platform::SetDeadPeerDetection(fd.get(), 20, 5, 4, 60000);
    timeval timeout{kSendTimeoutMs / 1000, (kSendTimeoutMs % 1000) * 1000};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    return fd;
}

bool SendAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

int MillisecondsUntil(Clock::time_point when) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(when - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

CaptureGeometry ModeGeometry(const ReceiverMode& mode) {
    return CaptureGeometry{mode.width, mode.height, mode.width, mode.height, mode.bits_per_pixel};
}

}  // namespace

struct ReceiverServer::DataConnection {
    DataConnection(Picture& picture, std::function<ProjectionStart()> start)
        : stream(picture, std::move(start)) {}
    platform::UniqueFd fd;
    std::string address;
    DataStream stream;
};

ReceiverServer::ReceiverServer(ServerOptions options, ReceiverOutput& output)
    : options_(std::move(options)),
      output_(output),
      handler_(options_.settings),
      picture_(ModeGeometry(options_.settings.mode)) {}

ReceiverServer::~ReceiverServer() = default;

bool ReceiverServer::Open(std::string* error) {
    wake_fd_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake_fd_) {
        *error = std::string("cannot create an event descriptor: ") + std::strerror(errno);
        return false;
    }
    const in_addr local = options_.bind_address;
    control_listener_ = Listen(local, options_.control_port, &bound_control_port_, error);
    if (!control_listener_) return false;
    data_listener_ = Listen(local, options_.data_port, &bound_data_port_, error);
    if (!data_listener_) return false;
    if (options_.beacons) {
        beacon_fd_.reset(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        int one = 1;
        if (!beacon_fd_ ||
            ::setsockopt(beacon_fd_.get(), SOL_SOCKET, SO_BROADCAST, &one, sizeof one) != 0) {
            *error = std::string("cannot create the beacon socket: ") + std::strerror(errno);
            return false;
        }
        // Presenters take the beacon's source as the receiver's address.
        if (local.s_addr != htonl(INADDR_ANY)) {
            sockaddr_in from{};
            from.sin_family = AF_INET;
            from.sin_addr = local;
            if (::bind(beacon_fd_.get(), reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
                *error = "cannot send beacons from " + Dotted(local) + ": " + std::strerror(errno);
                return false;
            }
        }
        if (options_.beacon_port == 0) options_.beacon_port = bound_control_port_;
        if (options_.beacon_targets.empty()) {
            options_.beacon_targets.push_back(in_addr{htonl(INADDR_BROADCAST)});
            options_.beacon_targets.push_back(in_addr{htonl(INADDR_LOOPBACK)});
        }
        beacon_failed_.assign(options_.beacon_targets.size(), false);
    }
    commands_open_ = options_.command_fd >= 0;
    return true;
}

void ReceiverServer::Wake() {
    uint64_t one = 1;
    if (wake_fd_) {
        [[maybe_unused]] ssize_t written = ::write(wake_fd_.get(), &one, sizeof one);
    }
}

void ReceiverServer::RequestQuit() {
    quit_.store(true);
    Wake();
}

void ReceiverServer::Post(const std::string& line) {
    {
        std::lock_guard lock(posted_mutex_);
        posted_.push_back(line);
    }
    Wake();
}

void ReceiverServer::Run() {
    {
        std::string targets;
        for (in_addr target : options_.beacon_targets) {
            targets += (targets.empty() ? "" : ", ") + Dotted(target);
        }
        platform::DebugFormat(
            "receiver: \"%s\" mode %s, %scontrol port %u, data port %u, beacons %s%s%s\n",
            options_.settings.name.c_str(), options_.settings.mode.Text().c_str(),
            options_.bind_address.s_addr == htonl(INADDR_ANY)
                ? ""
                : ("on " + Dotted(options_.bind_address) + ", ").c_str(),
            bound_control_port_, bound_data_port_, options_.beacons ? "to " : "off",
            targets.c_str(),
            options_.beacons ? (" port " + std::to_string(options_.beacon_port)).c_str() : "");
    }
    auto next_beacon = Clock::now();
    auto next_stats = Clock::now() + std::chrono::seconds(1);
    auto next_frame = Clock::now();
    std::vector<pollfd> fds;
    while (!quit_.load()) {
        if (options_.beacons && Clock::now() >= next_beacon) {
            SendBeacons();
            next_beacon = Clock::now() + std::chrono::milliseconds(options_.beacon_interval_ms);
        }
        if (options_.stats && Clock::now() >= next_stats) {
            WriteStats();
            next_stats += std::chrono::seconds(1);
        }
        if (output_.WantsFrames() && Clock::now() >= next_frame &&
            picture_.Version() != published_version_) {
            PublishFrame(false);
            next_frame = Clock::now() + std::chrono::milliseconds(kFrameIntervalMs);
        }

        // Connections past their time to log in go before the sockets are polled.
        const int login_due = DropLateLogins();
        std::erase_if(controls_, [](const auto& connection) { return connection->closing; });

        // Control sockets come before the data socket, so that a picture size announced before
        // the data connection opened is known when its first unit is decoded.
        fds.clear();
        fds.push_back({wake_fd_.get(), POLLIN, 0});
        fds.push_back({commands_open_ ? options_.command_fd : -1, POLLIN, 0});
        fds.push_back({control_listener_.get(), POLLIN, 0});
        for (auto& connection : controls_) fds.push_back({connection->fd.get(), POLLIN, 0});
        fds.push_back({data_listener_.get(), POLLIN, 0});
        // A stalling receiver keeps its data connection open and never reads it.
        const bool stall =
            options_.settings.misbehaviour == ReceiverSettings::Misbehaviour::kStallData;
        fds.push_back({data_ && !stall ? data_->fd.get() : -1, POLLIN, 0});

        int timeout = 1000;
        if (login_due >= 0) timeout = std::min(timeout, login_due);
        if (options_.beacons) timeout = std::min(timeout, MillisecondsUntil(next_beacon));
        if (options_.stats) timeout = std::min(timeout, MillisecondsUntil(next_stats));
        if (output_.WantsFrames() && picture_.Version() != published_version_) {
            timeout = std::min(timeout, MillisecondsUntil(next_frame));
        }
        int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            platform::DebugFormat("receiver: poll failed: %s\n", std::strerror(errno));
            break;
        }
        if (ready == 0) continue;

        const short kReadable = POLLIN | POLLHUP | POLLERR;
        size_t index = 0;
        if (fds[index++].revents & kReadable) {
            uint64_t count;
            [[maybe_unused]] auto got = ::read(wake_fd_.get(), &count, sizeof count);
            std::deque<std::string> lines;
            {
                std::lock_guard lock(posted_mutex_);
                lines.swap(posted_);
            }
            for (const auto& line : lines) Execute(line);
        }
        if (fds[index++].revents & (kReadable | POLLNVAL)) ReadCommands();
        if (fds[index++].revents & kReadable) AcceptControl();
        size_t control_count = fds.size() - 5;
        for (size_t i = 0; i < control_count && i < controls_.size(); ++i) {
            if (fds[index + i].revents & kReadable) ReadControl(*controls_[i]);
        }
        index += control_count;
        // Connections that ended are removed only now, so the indices above stay valid.
        std::erase_if(controls_, [](const auto& connection) { return connection->closing; });
        bool data_readable = fds[index + 1].revents & kReadable;
        int data_fd = fds[index + 1].fd;
        if (fds[index].revents & kReadable) AcceptData();
        // A replaced connection is not read: its descriptor is gone.
        if (data_readable && data_ && data_->fd.get() == data_fd) ReadData();
    }

    if (data_) CloseData("the receiver is ending", false);
    controls_.clear();
    platform::DebugOutput("receiver: ending\n");
    if (output_.WantsFrames()) PublishFrame(true);
    SnapshotIfAsked();
}

void ReceiverServer::AcceptControl() {
    std::string address;
    platform::UniqueFd fd = Accept(control_listener_.get(), &address);
    if (!fd) return;
    auto open = [](const auto& connection) { return !connection->closing; };
    if (std::count_if(controls_.begin(), controls_.end(), open) >= kMaxControlConnections) {
        // Full: the oldest connection that has not logged in makes room; presenters that have
        // logged in keep their places.
        ControlConnection* oldest = nullptr;
        for (auto& connection : controls_) {
            if (connection->closing || handler_.LoggedIn(connection->id)) continue;
            if (oldest == nullptr || connection->accepted_at < oldest->accepted_at) {
                oldest = connection.get();
            }
        }
        if (oldest == nullptr) {
            platform::DebugFormat(
                "control: connection from %s refused: %d presenters are connected\n",
                address.c_str(), kMaxControlConnections);
            return;
        }
        platform::DebugFormat("control: presenter %s #%d dropped to make room: not logged in\n",
                              oldest->address.c_str(), oldest->id);
        Drop(*oldest);
    }
    auto connection = std::make_unique<ControlConnection>();
    connection->accepted_at = Clock::now();
    connection->id = next_id_++;
    connection->fd = std::move(fd);
    connection->address = address;
    handler_.Connected(connection->id, address);
    controls_.push_back(std::move(connection));
}

void ReceiverServer::ReadControl(ControlConnection& connection) {
    if (connection.closing) return;
    uint8_t bytes[16 * kControlMessageSize];
    ssize_t got = ::recv(connection.fd.get(), bytes, sizeof bytes, 0);
    if (got < 0 && errno == EINTR) return;
    if (got <= 0) {
        if (connection.filled > 0) {
            platform::DebugFormat("control: presenter %s #%d left in the middle of a message\n",
                                  connection.address.c_str(), connection.id);
        }
        Drop(connection);
        return;
    }
    for (ssize_t i = 0; i < got;) {
        size_t take = std::min<size_t>(kControlMessageSize - connection.filled, got - i);
        std::memcpy(connection.buffer + connection.filled, bytes + i, take);
        connection.filled += take;
        i += static_cast<ssize_t>(take);
        if (connection.filled == kControlMessageSize) {
            connection.filled = 0;
            Apply(handler_.Received(connection.id, ControlMessage::Decode(connection.buffer)));
            if (connection.closing) return;
        }
    }
}

int ReceiverServer::DropLateLogins() {
    const auto now = Clock::now();
    const auto deadline = std::chrono::milliseconds(options_.login_deadline_ms);
    int next_ms = -1;
    for (auto& connection : controls_) {
        if (connection->closing || handler_.LoggedIn(connection->id)) continue;
        const auto due = connection->accepted_at + deadline;
        if (now >= due) {
            platform::DebugFormat("control: presenter %s #%d dropped: not logged in within %d ms\n",
                                  connection->address.c_str(), connection->id,
                                  options_.login_deadline_ms);
            Drop(*connection);
            continue;
        }
        const int left = MillisecondsUntil(due);
        next_ms = next_ms < 0 ? left : std::min(next_ms, left);
    }
    return next_ms;
}

void ReceiverServer::Drop(ControlConnection& connection) {
    if (connection.closing) return;
    // The presenter is gone for the handler at once, so that its next connection, possibly read
    // in this same round, is not refused as a second presenter.
    connection.closing = true;
    Apply(handler_.Disconnected(connection.id));
}

void ReceiverServer::Apply(const ControlActions& actions) {
    for (const auto& send : actions.sends) {
        for (auto& connection : controls_) {
            if (connection->id != send.connection || connection->closing) continue;
            auto bytes = send.message.Encode();
            if (!SendAll(connection->fd.get(), bytes.data(), bytes.size())) {
                platform::DebugFormat("control: cannot send %s to presenter %s #%d: %s\n",
                                      ReceiverMessageName(send.message.type).c_str(),
                                      connection->address.c_str(), connection->id,
                                      std::strerror(errno));
                Drop(*connection);
            }
        }
    }
    if (actions.projection_started) {
        platform::DebugOutput("receiver: projection started\n");
    }
    if (actions.projection_stopped) {
        platform::DebugOutput("receiver: projection stopped\n");
        SnapshotIfAsked();
    }
}

void ReceiverServer::AcceptData() {
    std::string address;
    platform::UniqueFd fd = Accept(data_listener_.get(), &address);
    if (!fd) return;
    // While a presenter projects, only its own machine may send it pictures.
    auto projecting = handler_.ProjectingAddress();
    if (projecting && *projecting != address) {
        platform::DebugFormat("data: connection from %s refused: %s is projecting\n",
                              address.c_str(), projecting->c_str());
        return;
    }
    if (options_.settings.misbehaviour == ReceiverSettings::Misbehaviour::kDropData) {
        platform::DebugFormat("data: connection from %s dropped (drop-data)\n", address.c_str());
        return;
    }
    if (data_) CloseData("replaced by a new connection from " + address, false);
    data_ = std::make_unique<DataConnection>(picture_, [this] { return handler_.CurrentStart(); });
    data_->fd = std::move(fd);
    data_->address = address;
    platform::DebugFormat("data: connection from %s\n", address.c_str());
}

void ReceiverServer::ReadData() {
    read_buffer_.resize(kReadChunk);
    ssize_t got = ::recv(data_->fd.get(), read_buffer_.data(), read_buffer_.size(), 0);
    if (got < 0 && errno == EINTR) return;
    if (got < 0) {
        CloseData(std::string("receive failed: ") + std::strerror(errno), false);
        return;
    }
    if (got == 0) {
        CloseData("closed by the presenter", false);
        return;
    }
    if (!data_->stream.Feed(read_buffer_.data(), static_cast<size_t>(got))) {
        CloseData(data_->stream.Error(), true);
    }
}

void ReceiverServer::CloseData(const std::string& reason, bool refused) {
    const StreamCounters& counters = data_->stream.Counters();
    std::string pending;
    if (!refused && data_->stream.PendingBytes() > 0) {
        pending = ", " + std::to_string(data_->stream.PendingBytes()) +
                  " bytes of an unfinished unit dropped";
    }
    if (refused) {
        platform::DebugFormat("data: connection from %s refused a unit and is closed: %s\n",
                              data_->address.c_str(), reason.c_str());
    } else {
        platform::DebugFormat("data: connection from %s ended (%s) after %llu units%s\n",
                              data_->address.c_str(), reason.c_str(),
                              static_cast<unsigned long long>(counters.units), pending.c_str());
    }
    done_units_ += counters.units;
    done_bytes_ += counters.bytes;
    done_updates_ += counters.updates;
    data_.reset();
    SnapshotIfAsked();
}

void ReceiverServer::ReadCommands() {
    char bytes[4096];
    ssize_t got = ::read(options_.command_fd, bytes, sizeof bytes);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (got <= 0) {
        // End of the commands: the receiver goes on serving.
        commands_open_ = false;
        if (!command_text_.empty()) Execute(command_text_);
        command_text_.clear();
        return;
    }
    command_text_.append(bytes, static_cast<size_t>(got));
    size_t end;
    while ((end = command_text_.find('\n')) != std::string::npos) {
        std::string line = command_text_.substr(0, end);
        command_text_.erase(0, end + 1);
        Execute(line);
        if (quit_.load()) return;
    }
    if (command_text_.size() > 4096) {
        platform::DebugOutput("command: line too long, dropped\n");
        command_text_.clear();
    }
}

void ReceiverServer::Execute(const std::string& line) {
    Command command = ParseCommand(line);
    switch (command.kind) {
        case Command::kNone:
            break;
        case Command::kInvalid:
            platform::DebugFormat("command: %s\n", command.error.c_str());
            break;
        case Command::kStop:
            Apply(handler_.Stop());
            break;
        case Command::kStart:
            Apply(handler_.Start());
            break;
        case Command::kMode:
            Apply(handler_.ChangeMode(command.mode));
            break;
        case Command::kSnapshot:
            Snapshot(command.file);
            break;
        case Command::kQuit:
            quit_.store(true);
            break;
    }
}

void ReceiverServer::SendBeacons() {
    uint8_t beacon[kBeaconSize] = {};
    // The name stays zero-terminated within the 32 bytes.
    std::memcpy(beacon, options_.settings.name.data(),
                std::min(options_.settings.name.size(), kBeaconSize - 1));
    for (size_t i = 0; i < options_.beacon_targets.size(); ++i) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr = options_.beacon_targets[i];
        to.sin_port = htons(options_.beacon_port);
        ssize_t sent = ::sendto(beacon_fd_.get(), beacon, sizeof beacon, MSG_NOSIGNAL,
                                reinterpret_cast<sockaddr*>(&to), sizeof to);
        if (sent != static_cast<ssize_t>(sizeof beacon) && !beacon_failed_[i]) {
            platform::DebugFormat("beacon: cannot send to %s: %s (will keep trying)\n",
                                  Dotted(to.sin_addr).c_str(), std::strerror(errno));
        }
        beacon_failed_[i] = sent != static_cast<ssize_t>(sizeof beacon);
    }
}

void ReceiverServer::WriteStats() {
    uint64_t units = done_units_, bytes = done_bytes_, updates = done_updates_;
    if (data_) {
        units += data_->stream.Counters().units;
        bytes += data_->stream.Counters().bytes;
        updates += data_->stream.Counters().updates;
    }
    char line[200];
    std::snprintf(line, sizeof line,
                  "stats: %llu units/s, %llu bytes/s, %llu fps; total %llu units, %llu bytes",
                  static_cast<unsigned long long>(units - last_units_),
                  static_cast<unsigned long long>(bytes - last_bytes_),
                  static_cast<unsigned long long>(updates - last_updates_),
                  static_cast<unsigned long long>(units), static_cast<unsigned long long>(bytes));
    last_units_ = units;
    last_bytes_ = bytes;
    last_updates_ = updates;
    output_.Stats(line);
}

void ReceiverServer::PublishFrame(bool force) {
    if (!force && picture_.Version() == published_version_) return;
    published_version_ = picture_.Version();
    output_.Show(picture_.Compose());
}

void ReceiverServer::Snapshot(const std::string& path) {
    ComposedImage image = picture_.Compose();
    std::string error;
    if (output_.WriteSnapshot(path, image, &error)) {
        platform::DebugFormat("snapshot: wrote %s (%dx%d)\n", path.c_str(), image.width,
                              image.height);
    } else {
        platform::DebugFormat("snapshot: cannot write %s: %s\n", path.c_str(), error.c_str());
    }
}

void ReceiverServer::SnapshotIfAsked() {
    if (!options_.snapshot_path.empty()) Snapshot(options_.snapshot_path);
}

}  // namespace receiver
