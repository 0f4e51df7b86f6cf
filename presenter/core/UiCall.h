// Running work on the user interface thread from a worker thread, and library calls that wait on
// the network from the user interface thread, without either side ever blocking the other for
// good.
#pragma once

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace beamora {

// The way into a window's thread for its worker threads. The window owns it through a
// shared_ptr that its workers share, and closes it before it goes: from then on nothing more
// reaches the window and no worker waits on it.
class UiGate {
  public:
    explicit UiGate(QObject* window) : window_(window) {}

    // Runs `work` on the window's thread and waits until it has run; on that thread itself it
    // runs at once. False, without running it or without waiting for its end, once the gate is
    // closed. Any thread.
    bool Run(const std::function<void()>& work);
    // Window's thread, before the window goes. Safe to call twice.
    void Close();
    bool closed() const { return closed_.load(); }

  private:
    std::mutex mutex_;  // held while a call is posted, so that Close cannot come in between
    std::condition_variable finished_;
    QObject* window_;
    std::atomic<bool> closed_{false};
};

// Runs `call` on a thread of its own and returns its result. Meanwhile the calling (user
// interface) thread keeps running its timers, painting and calls from other threads, while user
// input waits until the call has returned, so it is handled afterwards and in order.
int RunWhileUiWaits(const std::function<int()>& call);

}  // namespace beamora
