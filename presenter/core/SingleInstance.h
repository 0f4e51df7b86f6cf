// The presenter's single-instance rule: one running copy per user and X display. A second start
// brings the running copy's window to the front with a beep and ends.
//
// The lock and the rule are the same on every platform (SingleInstance.cpp); finding and raising
// the running copy's window is the desktop backend's part (x11/SingleInstanceX11.cpp, or
// SingleInstanceNone.cpp where there is no window system and nothing is ever found).
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "platform/Socket.h"

namespace beamora {

// A per-user, per-display lock held while the presenter runs, so that two copies started at the
// same moment cannot both run. It is an flock() on the file "beamora-<name>-<display>.lock" in
// $XDG_RUNTIME_DIR, or in /tmp/beamora-<uid> (made mode 0700) when that variable is unset or not a
// directory. <display> is DISPLAY without its screen number (":0" and ":0.0" are one display), so
// two users, or two X servers of one user, never block each other. The kernel drops the lock when
// the holding process ends in any way, so a crashed copy never blocks the next start, and
// programs the holder starts do not inherit it. The file itself stays: removing it would let two
// processes lock two different files of the same name.
class InstanceLock {
  public:
    // Takes the lock for `name` (any text; characters other than letters, digits, '.', '-' and
    // '_' become '_' in the file name). nullptr when another process holds it, or when the lock
    // file cannot be made: *error (when given) then says why, and is cleared in the other cases.
    // Any thread; never blocks.
    static std::unique_ptr<InstanceLock> TryAcquire(const std::string& name,
                                                    std::string* error = nullptr);

    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock() = default;  // closing the file releases the lock

    // The lock file, for diagnostics.
    const std::string& Path() const { return path_; }

  private:
    // Lets only TryAcquire make one, through std::make_unique.
    struct Key {
        explicit Key() = default;
    };

  public:
    InstanceLock(Key, platform::UniqueFd file, std::string path)
        : file_(std::move(file)), path_(std::move(path)) {}

  private:
    platform::UniqueFd file_;
    std::string path_;
};

// Looks for a top-level window titled exactly `title` (its _NET_WM_NAME in UTF-8, or its WM_NAME)
// on the X display named by DISPLAY, whether it is a child of the root or sits inside window
// manager frames; a mapped window is preferred over an unmapped one. When found: makes it topmost
// (_NET_WM_STATE_ABOVE added), raises it and its frame, asks the window manager to activate it
// (_NET_ACTIVE_WINDOW), sounds the default beep, then makes it not topmost again, unless it was
// topmost before, and returns true. False when there is no such window, or it went away during
// these requests (its copy is ending), or there is no display. X errors (windows vanishing during
// the search) are absorbed. Main thread: it swaps Xlib's process-wide error handler for its
// duration (errors of other displays still reach the previous handler). Takes a few milliseconds;
// never waits for another client's answer.
bool ActivateRunningInstance(const std::string& title);

// How long ClaimSingleInstance waits, at most, for the window of a copy that holds the lock.
inline constexpr std::chrono::milliseconds kClaimWait{3000};

// The whole start-up rule, called by the presenter before it makes any window. True when this
// process may run: it then holds *lock, the InstanceLock named `title`, and keeps it for its
// whole life. False when another copy runs; this call has then brought that copy's window to the
// front with a beep (ActivateRunningInstance). A copy that holds the lock but shows no window yet
// is waited for, polling every 100 ms, up to `wait`; one that gives up the lock meanwhile lets
// this process run. Past `wait` with the lock still held elsewhere and no window, false (the other
// copy is starting or hung; this one must not run beside it). When no lock file can be made at
// all, the window search alone decides, and *lock stays empty on true. Main thread.
bool ClaimSingleInstance(const std::string& title, std::unique_ptr<InstanceLock>* lock,
                         std::chrono::milliseconds wait = kClaimWait);

}  // namespace beamora
