// The window's timers, one QTimer per id: setting an id that runs restarts it with the new
// interval, killing it stops it, and every expiry reports the id. The ids are the flow's own
// (statuses, deferred button actions, the search timeout, the exit delay). User interface thread
// only: worker threads reach it through queued calls.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

namespace beamora {

class TimerSet {
  public:
    // `on_timer` runs on each expiry with the timer's id. `context` parents the timers.
    TimerSet(QObject* context, std::function<void(int id)> on_timer);
    ~TimerSet();
    TimerSet(const TimerSet&) = delete;
    TimerSet& operator=(const TimerSet&) = delete;

    // Starts (or restarts) timer `id` to expire every `interval_ms`.
    void Set(int id, int interval_ms);
    // Stops timer `id`; an id that does not run is ignored.
    void Kill(int id);
    bool IsActive(int id) const;
    // Interval of a running timer in ms; -1 when it does not run.
    int Interval_ms(int id) const;

  private:
    QObject* context_;
    std::function<void(int)> on_timer_;
    std::map<int, std::unique_ptr<QTimer>> timers_;
};

}  // namespace beamora
