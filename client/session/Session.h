// The process-wide session: the state every ClientControl and every library thread shares, the
// notifications to the application, and the orderly end of the library's threads at process exit.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

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
    std::atomic<WindowHandle> window{nullptr};
    unsigned int notify_message = 0;  // registered "PROJECTOR_NOTIFY", set at construction
    std::atomic<int32_t> network_started{0};
    // Set once the process is exiting: waits give up and no notification is sent any more.
    std::atomic<bool> shutting_down{false};

    // ReceiverMode: from the last SERVER_VERSION_OK or applied SERVER_CHANGE_RESOLUTION; 0 = none.
    std::atomic<int32_t> receiver_width{0};
    std::atomic<int32_t> receiver_height{0};
    std::atomic<int32_t> receiver_bits{0};

    // A FailureCode: why the last login or projection start failed.
    std::atomic<int32_t> last_failure{kFailureNone};
    // True from a successful login until its control connection is closed or lost: the receiver
    // then holds this presenter and must hear its stop.
    std::atomic<bool> logged_in{false};

    // The receiver's address text (at most 15 characters), set by LoginServer.
    std::mutex address_mutex;
    std::string receiver_address;
};

// ReceiverMode getters: -1 while the value is 0.
int32_t ReceiverWidth();
int32_t ReceiverHeight();
int32_t ReceiverBits();

// The receiver address every TCP connection goes to; "" before the first LoginServer.
std::string ReceiverAddress();
void SetReceiverAddress(const std::string& address);

// The one session of this process. Never destroyed, so threads may use it during exit.
Session& TheSession();

// Sends the notify message to the window set by SetWindowHandle, synchronously, with the calling
// thread's last socket error as wparam and code as lparam. Nothing happens without a window or
// while the process exits. Any thread.
void Notify(int code);

// Delivers one notify message to window (not null) and returns when its handler has: the
// NotifyTarget's SendNotify, or SendMessageA to a window handle on Windows (chosen by CMake).
void DeliverNotify(WindowHandle window, unsigned int message, uintptr_t wparam, intptr_t lparam);

// Records why a login or projection start failed (a FailureCode). Any thread.
inline void SetLastFailure(int code) {
    TheSession().last_failure.store(code);
}

// True once the process has begun to exit. Any thread.
inline bool ShuttingDown() {
    return TheSession().shutting_down.load();
}

}  // namespace tarrowlink
