// A stoppable worker thread: the stand-in for the create/terminate/exit-code threads of the
// original design. A stop request wakes the worker's sleeps; the worker checks it between steps.
// Joining can be bounded, so that process exit never hangs on a worker stuck in a call it cannot
// leave (the worker is then detached; its state stays valid because it is shared with it).
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

class WorkerThread {
  public:
    // What the worker's body sees: its stop request and interruptible sleeps.
    class Context {
      public:
        bool StopRequested() const;
        // Sleeps interval_ms; returns false early when a stop is requested.
        bool SleepFor(int interval_ms) const;

      private:
        friend class WorkerThread;
        struct State;
        explicit Context(std::shared_ptr<State> state) : state_(std::move(state)) {}
        std::shared_ptr<State> state_;
    };

    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    // Joins a thread that is still attached (after a stop request). Safe when never started.
    ~WorkerThread();

    // Starts body on a new thread. Returns false when the thread cannot be created or one is
    // already attached (Join or Detach it first). Owner's thread.
    bool Start(std::function<void(const Context&)> body);
    // True from Start until the body has returned.
    bool Running() const;
    // True while a thread is attached (started and not yet joined or detached).
    bool Exists() const { return thread_.joinable(); }
    // Asks the body to stop and wakes its sleeps. Any thread.
    void RequestStop();
    // Waits for the body to return and releases the thread; timeout_ms < 0 waits as long as it
    // takes. Returns false (and detaches the thread) when it did not return in time. Owner's
    // thread; from the worker itself (a process exit it started) it detaches and returns false.
    bool Join(int timeout_ms = -1);

  private:
    std::shared_ptr<Context::State> state_;
    std::thread thread_;
};

}  // namespace platform
