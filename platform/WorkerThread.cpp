#include "platform/WorkerThread.h"

#include <chrono>
#include <system_error>

namespace platform {

struct WorkerThread::Context::State {
    mutable std::mutex mutex;
    mutable std::condition_variable wake;
    bool stop = false;
    bool finished = false;
};

bool WorkerThread::Context::StopRequested() const {
    std::lock_guard lock(state_->mutex);
    return state_->stop;
}

bool WorkerThread::Context::SleepFor(int interval_ms) const {
    std::unique_lock lock(state_->mutex);
    state_->wake.wait_for(lock, std::chrono::milliseconds(interval_ms),
                          [&] { return state_->stop; });
    return !state_->stop;
}

WorkerThread::~WorkerThread() {
    if (thread_.joinable()) {
        RequestStop();
        Join();
    }
}

bool WorkerThread::Start(std::function<void(const Context&)> body) {
    if (thread_.joinable()) return false;
    auto state = std::make_shared<Context::State>();
    try {
        thread_ = std::thread([state, body = std::move(body)] {
            body(Context(state));
            std::lock_guard lock(state->mutex);
            state->finished = true;
            state->wake.notify_all();
        });
    } catch (const std::system_error&) {
        return false;
    }
    state_ = std::move(state);
    return true;
}

bool WorkerThread::Running() const {
    if (!state_) return false;
    std::lock_guard lock(state_->mutex);
    return !state_->finished;
}

void WorkerThread::RequestStop() {
    if (!state_) return;
    std::lock_guard lock(state_->mutex);
    state_->stop = true;
    state_->wake.notify_all();
}

bool WorkerThread::Join(int timeout_ms) {
    if (!thread_.joinable()) return true;
    if (thread_.get_id() == std::this_thread::get_id()) {
        // The worker itself is ending the process (exit() from one of its calls): it cannot wait
        // for itself.
        thread_.detach();
        return false;
    }
    if (timeout_ms >= 0) {
        std::unique_lock lock(state_->mutex);
        if (!state_->wake.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                   [&] { return state_->finished; })) {
            lock.unlock();
            thread_.detach();
            return false;
        }
    }
    thread_.join();
    return true;
}

}  // namespace platform
