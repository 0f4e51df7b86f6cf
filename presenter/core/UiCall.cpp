#include "presenter/core/UiCall.h"

#include <QEventLoop>
#include <QThread>
#include <chrono>
#include <memory>
#include <thread>

namespace beamora {

bool UiGate::Run(const std::function<void()>& work) {
    std::unique_lock lock(mutex_);
    if (closed_.load()) return false;
    if (QThread::currentThread() == window_->thread()) {
        lock.unlock();
        work();
        return true;
    }
    auto finished = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(
        window_,
        [this, finished, work] {
            work();
            std::lock_guard done(mutex_);
            *finished = true;
            finished_.notify_all();
        },
        Qt::QueuedConnection);
    while (!*finished) {
        if (closed_.load()) return false;
        finished_.wait_for(lock, std::chrono::milliseconds(50));
    }
    return true;
}

void UiGate::Close() {
    std::lock_guard lock(mutex_);
    closed_.store(true);
    finished_.notify_all();
}

int RunWhileUiWaits(const std::function<int()>& call) {
    QEventLoop loop;
    std::atomic<int> result{0};
    std::thread worker([&] {
        result.store(call());
        // Queued: the loop may not be running yet; it quits as soon as it runs this.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    return result.load();
}

}  // namespace beamora
