// The process-wide session: the state every ClientControl and every library thread shares, the
// notifications to the application, and the orderly end of the library's threads at process exit.
#pragma once

#include <atomic>
#include <cstdint>

#include "client/UserInterface.h"

namespace tarrowlink {

// Projection state (SessionState).
enum SessionStateValue : int32_t {
    StateProjecting = 0,
    StateStopped = 1,
    StateConnected = 2,
    StateIdle = 3,
};

struct Session {
    std::atomic<int32_t> state{StateIdle};
    std::atomic<NotifyTarget*> window{nullptr};
    unsigned int notify_message = 0;  // registered "PROJECTOR_NOTIFY", set at construction
    std::atomic<int32_t> network_started{0};
    // Set once the process is exiting: waits give up and no notification is sent any more.
    std::atomic<bool> shutting_down{false};
};

// The one session of this process. Never destroyed, so threads may use it during exit.
Session& TheSession();

// Sends the notify message to the window set by SetWindowHandle, synchronously, with the calling
// thread's last socket error as wparam and code as lparam. Nothing happens without a window or
// while the process exits. Any thread.
void Notify(int code);

// True once the process has begun to exit. Any thread.
inline bool ShuttingDown() {
    return TheSession().shutting_down.load();
}

}  // namespace tarrowlink
