#include "client/tests/ScriptedReceiver.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "platform/Ports.h"

namespace tarrowlink::test {
namespace {

int32_t Get32(const uint8_t* at) {
    return static_cast<int32_t>(at[0] | at[1] << 8 | at[2] << 16 |
                                static_cast<uint32_t>(at[3]) << 24);
}

bool ReadAll(int fd, uint8_t* buffer, size_t size) {
    size_t got = 0;
    while (got < size) {
        ssize_t n = recv(fd, buffer + got, size - got, 0);
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

int32_t Message::Type() const {
    return Get32(bytes);
}
int32_t Message::IntAt(int offset) const {
    return Get32(bytes + offset);
}
std::string Message::TextAt(int offset, int size) const {
    const char* text = reinterpret_cast<const char*>(bytes + offset);
    return std::string(text, strnlen(text, static_cast<size_t>(size)));
}

Message Reply(int32_t type, const char* text) {
    Message m;
    uint32_t v = static_cast<uint32_t>(type);
    for (int i = 0; i < 4; ++i) m.bytes[i] = static_cast<uint8_t>(v >> (8 * i));
    if (text != nullptr) std::strncpy(reinterpret_cast<char*>(m.bytes + 4), text, 123);
    return m;
}

ScriptedReceiver::ScriptedReceiver(Script script) : script_(std::move(script)) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(platform::ControlPort());
    bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(listener_, 8);
    thread_ = std::thread([this] { Run(); });
}

ScriptedReceiver::~ScriptedReceiver() {
    stop_.store(true);
    thread_.join();
    CloseAll();
    close(listener_);
}

void ScriptedReceiver::Run() {
    while (!stop_.load()) {
        if (drop_.load()) {
            CloseAll();
            drop_.store(false);
        }
        std::vector<pollfd> polls{{listener_, POLLIN, 0}};
        {
            std::lock_guard lock(mutex_);
            for (int fd : fds_) polls.push_back({fd, POLLIN, 0});
        }
        if (poll(polls.data(), polls.size(), 20) <= 0) continue;
        if (polls[0].revents & POLLIN) {
            int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                std::lock_guard lock(mutex_);
                fds_.push_back(fd);
                fd_connection_.push_back(connections_.fetch_add(1));
            }
        }
        for (size_t i = 1; i < polls.size(); ++i) {
            if (!(polls[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            int fd = polls[i].fd;
            Message in;
            bool ok = ReadAll(fd, in.bytes, sizeof in.bytes);
            std::lock_guard lock(mutex_);
            auto it = std::find(fds_.begin(), fds_.end(), fd);
            if (it == fds_.end()) continue;
            size_t index = static_cast<size_t>(it - fds_.begin());
            if (!ok) {  // the client closed this connection
                close(fd);
                fds_.erase(it);
                fd_connection_.erase(fd_connection_.begin() + static_cast<long>(index));
                continue;
            }
            in.connection = fd_connection_[index];
            received_.push_back(in);
            for (const Message& out : script_(in))
                send(fd, out.bytes, sizeof out.bytes, MSG_NOSIGNAL);
        }
    }
}

std::vector<Message> ScriptedReceiver::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

int ScriptedReceiver::CountType(int32_t type) const {
    auto all = Received();
    return static_cast<int>(
        std::count_if(all.begin(), all.end(), [&](const Message& m) { return m.Type() == type; }));
}

bool ScriptedReceiver::NewestOpen() const {
    std::lock_guard lock(mutex_);
    return !fds_.empty() && fd_connection_.back() == connections_.load() - 1;
}

void ScriptedReceiver::Send(const Message& message) {
    std::lock_guard lock(mutex_);
    if (!fds_.empty()) send(fds_.back(), message.bytes, sizeof message.bytes, MSG_NOSIGNAL);
}

void ScriptedReceiver::DropConnections() {
    // The receiving thread closes them, so that no descriptor is closed under its reads.
    drop_.store(true);
    while (drop_.load() && thread_.joinable() && !stop_.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void ScriptedReceiver::CloseAll() {
    std::lock_guard lock(mutex_);
    for (int fd : fds_) {
        shutdown(fd, SHUT_RDWR);
        close(fd);
    }
    fds_.clear();
    fd_connection_.clear();
}

}  // namespace tarrowlink::test
