#include "client/session/ControlThreads.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "client/capture/CaptureRecord.h"
#include "client/session/ControlMessage.h"
#include "client/session/Discovery.h"
#include "client/session/Geometry.h"
#include "client/session/NetChannel.h"
#include "client/session/Projection.h"
#include "client/session/Session.h"
#include "client/session/Sockets.h"
#include "platform/Debug.h"
#include "platform/NoDestructor.h"
#include "platform/Socket.h"
#include "platform/WorkerThread.h"

namespace tarrowlink {
namespace {

constexpr int kControlPassPause_ms = 50;
constexpr int kExitJoin_ms = 2000;

struct ControlThreadsState {
    std::mutex threads_mutex;  // guards the two thread objects
    platform::WorkerThread control;
    platform::WorkerThread keep_alive;

    std::mutex pause_mutex;
    std::condition_variable pause_changed;
    int pause_count = 0;
    std::atomic<int> keep_alive_interval_ms{10000};
};

ControlThreadsState& State() {
    static platform::NoDestructor<ControlThreadsState> state;
    return *state;
}

void HandleChangeResolution(const uint8_t* message) {
    int32_t width, height, bits;
    bool out_of_range = false;
    if (!ParseMode(reinterpret_cast<const char*>(message + 4), kControlPayloadSize, &width, &height,
                   &bits, &out_of_range)) {
        if (out_of_range) platform::DebugOutput("Unsupported receiver mode refused\n");
        return;
    }
    Session& session = TheSession();
    if (session.state.load() == StateProjecting) {
        // The running capture keeps the size its buffers and surfaces were made for; the new mode
        // takes effect at the next projection start.
        session.receiver_width.store(width);
        session.receiver_height.store(height);
        TheGeometry().grid_pending.store(1);
    } else {
        ComputeGeometry(width, height);
        ApplyVideoGrid(width, height);
    }
    session.receiver_bits.store(bits);
    Notify(kNotifyResolutionChanged);
}

// The control connection is gone: end the projection, forget the connection, tell the
// application. The sending thread ends first, so that it cannot open new connections to the
// receiver while the application handles the notification.
void HandleConnectionLost() {
    SetServerSeen(0);
    TheSession().logged_in.store(false);
    TerminateSendingThread();
    CloseTcpSocket(TcpSocket::Data);
    CloseTcpSocket(TcpSocket::Control);
    FullRefreshFlag().store(1);
    Notify(kNotifyConnectionLost);
}

void ControlThread(const platform::WorkerThread::Context& context) {
    uint8_t message[kControlMessageSize] = {};
    for (;;) {
        if (SessionChannel().ReceiveControl(message, kControlMessageSize) < 0) break;
        if (context.StopRequested()) return;
        platform::DebugOutput("Read TCP Message successfully\n");
        Session& session = TheSession();
        switch (GetInt32(message)) {
            case SERVER_START:
                if (session.state.load() != StateProjecting) {
                    if (StartSending()) {
                        Notify(kNotifyReceiverStarted);
                    } else {
                        // This side cannot send: the receiver must not wait for a picture, and
                        // the application hears that the projection did not start.
                        SendControlRequest(MSG_STOP_REQUEST);
                        Notify(kNotifyStartRejected);
                    }
                }
                platform::DebugOutput("SERVER_START\n");
                break;
            case SERVER_START_REJECT:
                SetLastFailure(kFailureStartRejected);
                StopProjecting(1);
                session.state.store(StateConnected);
                Notify(kNotifyStartRejected);
                platform::DebugOutput("SERVER_START_REJECT\n");
                break;
            case SERVER_STOP:
                if (session.state.load() == StateProjecting) {
                    StopProjecting(1);
                    Notify(kNotifyReceiverStopped);
                }
                platform::DebugOutput("SERVER_STOP\n");
                break;
            case SERVER_CHANGE_RESOLUTION:
                HandleChangeResolution(message);
                platform::DebugOutput("SERVER_CHANGE_RESOLUTION\n");
                break;
            default:
                platform::DebugOutput("Tcp Message do not receive any messages from server\n");
                break;
        }
        std::memset(message, 0, sizeof message);
        PutInt32(message, -1);
        if (!context.SleepFor(kControlPassPause_ms)) return;
    }
    if (context.StopRequested()) return;  // ended from outside: not a lost connection
    HandleConnectionLost();
    platform::DebugOutput("tcp control listenning server error\n");
}

void KeepAliveThread(const platform::WorkerThread::Context& context) {
    ControlThreadsState& state = State();
    // Every wait is on pause_changed, which a resume, a new interval and StopControlThreads
    // notify: the thread sleeps through a projection and through each interval instead of
    // polling. A stop requested by other means (the thread object's own end) is seen within
    // kStopLook.
    constexpr auto kStopLook = std::chrono::seconds(1);
    std::unique_lock lock(state.pause_mutex);
    while (!context.StopRequested()) {
        while (state.pause_count > 0 && !context.StopRequested()) {
            state.pause_changed.wait_for(lock, kStopLook);
        }
        if (context.StopRequested()) return;
        lock.unlock();
        SessionChannel().SendControl(nullptr, MSG_KEEP_ALIVE);  // failures are only logged
        lock.lock();
        // A shortened interval takes effect at once: its setter notifies.
        const auto since = std::chrono::steady_clock::now();
        while (!context.StopRequested() &&
               std::chrono::steady_clock::now() - since <
                   std::chrono::milliseconds(state.keep_alive_interval_ms.load())) {
            const auto due = since + std::chrono::milliseconds(state.keep_alive_interval_ms.load());
            state.pause_changed.wait_until(
                lock, std::min(due, std::chrono::steady_clock::now() + kStopLook));
        }
    }
}

// Ends the control thread; the caller holds threads_mutex.
// Ends the control thread; the caller holds threads_mutex. False when it did not end in time.
bool EndControlThreadLocked(ControlThreadsState& state, int join_timeout_ms) {
    state.control.RequestStop();
    if (state.control.Running()) {
        int fd = TcpSocketFd(TcpSocket::Control);
        platform::ShutdownSocket(fd);  // wakes its blocking read
    }
    return state.control.Join(join_timeout_ms);
}

}  // namespace

void StartControlThreads() {
    ControlThreadsState& state = State();
    platform::DebugOutput("Start Tcp control thread\n");
    std::lock_guard lock(state.threads_mutex);
    if (state.control.Exists()) EndControlThreadLocked(state, -1);
    {
        // A new connection starts with keep-alives running: a projection of an earlier one that
        // ended by its loss or a new login left its pause behind.
        std::lock_guard pause_lock(state.pause_mutex);
        state.pause_count = 0;
        state.pause_changed.notify_all();
    }
    if (!state.control.Start(ControlThread)) platform::DebugOutput("Cannot create TCP thread!\n");
    if (!state.keep_alive.Exists()) state.keep_alive.Start(KeepAliveThread);
}

void EndControlThread() {
    ControlThreadsState& state = State();
    std::lock_guard lock(state.threads_mutex);
    if (!state.control.Exists()) return;
    platform::DebugOutput("Main sending thread has been terminated.\n");
    EndControlThreadLocked(state, -1);
}

void PauseKeepAlive() {
    ControlThreadsState& state = State();
    std::lock_guard lock(state.pause_mutex);
    ++state.pause_count;
}

void ResumeKeepAlive() {
    ControlThreadsState& state = State();
    std::lock_guard lock(state.pause_mutex);
    if (state.pause_count > 0) --state.pause_count;
    state.pause_changed.notify_all();
}

bool KeepAliveExists() {
    ControlThreadsState& state = State();
    std::lock_guard lock(state.threads_mutex);
    return state.keep_alive.Exists();
}

void SetKeepAliveIntervalForTests(int interval_ms) {
    ControlThreadsState& state = State();
    std::lock_guard lock(state.pause_mutex);
    state.keep_alive_interval_ms.store(interval_ms);
    state.pause_changed.notify_all();
}

bool StopControlThreads() {
    ControlThreadsState& state = State();
    std::lock_guard lock(state.threads_mutex);
    bool ended = EndControlThreadLocked(state, kExitJoin_ms);
    state.keep_alive.RequestStop();
    {
        // The keep-alive thread waits on pause_changed, not on the stop request itself.
        std::lock_guard pause_lock(state.pause_mutex);
        state.pause_changed.notify_all();
    }
    return state.keep_alive.Join(kExitJoin_ms) && ended;
}

}  // namespace tarrowlink
