// A TCP proxy on loopback that the end-to-end tests put between a presenter and the receiver's
// data (or control) port, to harm one of the connections it carries: delay what passes, cut it
// in the middle, stop reading from the presenter while keeping the connection open, or reset it.
#pragma once

#include <chrono>
#include <cstdint>
#include <future>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/Socket.h"

namespace e2e {

struct Fault {
    enum Kind {
        kNone,
        kDelay,  // every byte, both ways, is passed on delay_ms after it arrived
        kCut,    // after `after` bytes from the presenter, both sides are closed
        kStall,  // after `after` bytes from the presenter, nothing more is read from it
        kReset,  // after `after` bytes from the presenter, both sides are reset (SO_LINGER 0)
    };
    Kind kind = kNone;
    int delay_ms = 0;
    uint64_t after = 0;
    int connection = 1;  // which connection, counted from 1, is harmed; the others pass unharmed
};

class FaultProxy {
  public:
    using Clock = std::chrono::steady_clock;

    // Listens on 127.0.0.1 on a port of the kernel's choosing and passes every connection on to
    // 127.0.0.1:target_port, for lifetime_ms at most. Check Ok() before use.
    FaultProxy(uint16_t target_port, Fault fault, int lifetime_ms = 60000);
    ~FaultProxy();
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    bool Ok() const { return port_ != 0; }
    uint16_t Port() const { return port_; }
    // Connections accepted so far.
    int Connections() const;
    // When connection `number` (from 1) was accepted; nullopt before.
    std::optional<Clock::time_point> AcceptedAt(int number) const;
    // When the fault struck (the cut, the reset, the last byte read before stalling); nullopt
    // before.
    std::optional<Clock::time_point> FaultedAt() const;
    // Closes every socket and ends the proxy's thread: false when it did not end within 5 s.
    bool Stop();

  private:
    void Run(int lifetime_ms);

    const uint16_t target_port_;
    const Fault fault_;
    uint16_t port_ = 0;
    platform::UniqueFd listener_;
    platform::UniqueFd wake_read_, wake_write_;
    mutable std::mutex mutex_;
    std::vector<Clock::time_point> accepted_;
    std::optional<Clock::time_point> faulted_;
    std::future<void> ended_;
    std::thread thread_;
};

}  // namespace e2e
