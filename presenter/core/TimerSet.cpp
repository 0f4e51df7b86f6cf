#include "presenter/core/TimerSet.h"

namespace beamora {

TimerSet::TimerSet(QObject* context, std::function<void(int)> on_timer)
    : context_(context), on_timer_(std::move(on_timer)) {}

TimerSet::~TimerSet() = default;

void TimerSet::Set(int id, int interval_ms) {
    auto& timer = timers_[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        // Expiries arrive through the context's thread and stop with it.
        QObject::connect(timer.get(), &QTimer::timeout, context_, [this, id] { on_timer_(id); });
    }
    timer->start(interval_ms);
}

void TimerSet::Kill(int id) {
    auto found = timers_.find(id);
    if (found != timers_.end()) found->second->stop();
}

bool TimerSet::IsActive(int id) const {
    auto found = timers_.find(id);
    return found != timers_.end() && found->second->isActive();
}

int TimerSet::Interval_ms(int id) const {
    return IsActive(id) ? timers_.at(id)->interval() : -1;
}

}  // namespace beamora
