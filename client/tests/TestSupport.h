// Helpers shared by the library's tests: captured debug lines, a recording notification target
// and a beacon sender on loopback.
#pragma once

#if defined(_WIN32)
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <sys/socket.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/UserInterface.h"
#include "platform/Debug.h"
#include "platform/Ports.h"
#include "platform/Socket.h"

namespace tarrowlink::test {

uint16_t FreePort();

// Captures every debug text while it lives.
class DebugCapture {
  public:
    DebugCapture() {
        platform::SetDebugSink([this](std::string_view text) {
            std::lock_guard lock(mutex_);
            lines_.emplace_back(text);
        });
    }
    ~DebugCapture() { platform::SetDebugSink({}); }
    std::vector<std::string> Lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    int Count(const std::string& text) const {
        auto lines = Lines();
        return static_cast<int>(std::count(lines.begin(), lines.end(), text));
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Records notifications (the message number and the code) as they are sent.
class RecordingTarget : public NotifyTarget {
  public:
    void SendNotify(unsigned int message, uintptr_t, intptr_t lparam) override {
        std::lock_guard lock(mutex_);
        messages_.push_back(message);
        codes_.push_back(static_cast<int>(lparam));
    }
    std::vector<int> Codes() const {
        std::lock_guard lock(mutex_);
        return codes_;
    }
    std::vector<unsigned int> Messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<unsigned int> messages_;
    std::vector<int> codes_;
};

// Sends datagrams to the beacon port on loopback from a chosen source address (any of 127/8).
class BeaconSender {
  public:
    explicit BeaconSender(const char* source = "127.0.0.1") {
        fd_ = platform::OpenUdpSocket();
        sockaddr_in local{};
        local.sin_family = AF_INET;
        inet_pton(AF_INET, source, &local.sin_addr);
        bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
    }
    ~BeaconSender() { platform::CloseSocket(fd_); }
    void Send(const void* data, size_t size) const {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(platform::ControlPort());
        sendto(fd_, static_cast<const char*>(data), static_cast<int>(size), 0,
               reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    // A regular beacon: the name, zero-padded to 32 bytes.
    void SendName(const std::string& name) const {
        char beacon[32] = {};
        std::copy_n(name.data(), std::min<size_t>(name.size(), 32), beacon);
        Send(beacon, sizeof beacon);
    }

  private:
    int fd_ = -1;
};

// Polls cond every 10 ms for up to timeout_ms.
template <typename Cond>
bool WaitFor(Cond cond, int timeout_ms = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < deadline) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return cond();
}

}  // namespace tarrowlink::test
