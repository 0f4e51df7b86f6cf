#include "client/session/Projection.h"

#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "client/capture/CaptureRecord.h"
#include "client/session/Components.h"
#include "client/session/ControlMessage.h"
#include "client/session/ControlThreads.h"
#include "client/session/Discovery.h"
#include "client/session/Geometry.h"
#include "client/session/NetChannel.h"
#include "client/session/Session.h"
#include "client/session/Sockets.h"
#include "platform/CaptureBackend.h"
#include "platform/Debug.h"
#include "platform/NoDestructor.h"
#include "platform/Socket.h"
#include "platform/WorkerThread.h"

namespace tarrowlink {
namespace {

constexpr int kPassInterval_ms = 50;
constexpr int kFirstSendRepeat_ms = 400;
// A cursor record holds a 32 x 32 cursor's masks and converted pixels: well within this.
constexpr size_t kCursorRecordBytes = 32 * 32 * 4 + 256;

// The capture records of one projection: 16 screen records and the cursor record, each with a
// frame buffer of the capture size. Made at projection start, freed when it stops.
struct ProjectionRecords {
    CaptureRecord screen[kMaxRectangles];
    CaptureRecord cursor;
};

struct SendingState {
    std::mutex mutex;  // guards the thread object and the records' lifetime
    platform::WorkerThread thread;
    std::unique_ptr<ProjectionRecords> records;
};

SendingState& TheSending() {
    static platform::NoDestructor<SendingState> state;
    return *state;
}

// Allocates the records' frame buffers: one of width x height 32-bit pixels that the screen
// records share, and a small one for the cursor. nullptr when a size is 0 or memory runs out.
std::unique_ptr<ProjectionRecords> AllocateRecords(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return nullptr;
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    auto records = std::unique_ptr<ProjectionRecords>(new (std::nothrow) ProjectionRecords);
    if (!records) return nullptr;
    std::shared_ptr<uint8_t[]> screen(new (std::nothrow) uint8_t[size]());
    if (!screen) return nullptr;
    for (CaptureRecord& record : records->screen) {
        record.frame_buffer = screen;
        record.frame_buffer_size = size;
    }
    records->cursor.frame_buffer.reset(new (std::nothrow) uint8_t[kCursorRecordBytes]());
    if (!records->cursor.frame_buffer) return nullptr;
    records->cursor.frame_buffer_size = kCursorRecordBytes;
    return records;
}

void SendScreenRecords(const platform::WorkerThread::Context& context, Components& c,
                       ProjectionRecords& records) {
    int count = c.capture->CaptureScreen(records.screen);
    for (int i = 0; i < count && !context.StopRequested(); ++i) {
        if (!c.screen_update->Prepare(records.screen[i])) continue;
        c.screen_update->Send();
        // The very first update of the process goes out twice, to give a receiver that is still
        // setting up its picture a second chance.
        if (TheGeometry().first_send.exchange(0) == 1) {
            if (!context.SleepFor(kFirstSendRepeat_ms)) return;
            c.screen_update->Send();
        }
    }
}

void SendCursor(Components& c, ProjectionRecords& records) {
    c.capture->CaptureCursor(&records.cursor);
    if (records.cursor.type == kRecordMonochromeCursor) {
        if (c.mono_cursor->Prepare(records.cursor)) c.mono_cursor->Send();
    } else if (records.cursor.type == kRecordColourCursor) {
        if (c.colour_cursor->Prepare(records.cursor)) c.colour_cursor->Send();
    }
}

// Tells the receiver once per change of the local screen size; the capture follows the screen.
void WatchScreenSize(Components& c) {
    Geometry& g = TheGeometry();
    int width = 0, height = 0;
    if (!c.capture->CurrentScreenSize(&width, &height)) return;
    if (g.last_screen_width.load() == 0 && g.last_screen_height.load() == 0) {
        g.last_screen_width.store(width);
        g.last_screen_height.store(height);
        return;
    }
    if (width == g.last_screen_width.load() && height == g.last_screen_height.load()) return;
    g.last_screen_width.store(width);
    g.last_screen_height.store(height);
    SendControlRequest(MSG_SCREEN_CHANGED);
    c.capture->FollowScreen();
}

// The desktop ended for good during the projection (its screen cast was closed): the receiver is
// told to stop, the application hears it as a start that failed, and this thread ends. The
// notification goes out from a thread of its own, since the application may be stopping the
// projection, and so waiting for this thread, at the same moment.
void EndLostDesktop(const std::string& reason) {
    platform::DebugFormat("The desktop can no longer be captured: %s\n", reason.c_str());
    SetLastFailure(kFailureScreenCast);
    SendControlRequest(MSG_STOP_REQUEST);
    TheSession().state.store(StateConnected);
    std::thread([] { Notify(kNotifyStartRejected); }).detach();
}

void SendingThread(const platform::WorkerThread::Context& context, ProjectionRecords* records) {
    Components& c = TheComponents();
    if (!c.Complete()) return;
    if (KeepAliveExists()) PauseKeepAlive();
    if (records == nullptr) return;
    std::string lost;
    while (!context.StopRequested()) {
        SendScreenRecords(context, c, *records);
        if (context.StopRequested()) break;
        if (c.capture->DesktopLost(&lost)) {
            EndLostDesktop(lost);
            return;
        }
        SendCursor(c, *records);
        WatchScreenSize(c);
        if (!context.SleepFor(kPassInterval_ms)) break;
    }
}

// Ends the sending thread; the caller holds sending.mutex.
void TerminateSendingThreadLocked(SendingState& sending) {
    TheSession().state.store(StateIdle);
    if (!sending.thread.Exists()) return;
    platform::DebugOutput("Main sending thread has been terminated.\n");
    sending.thread.RequestStop();
    if (sending.thread.Running()) {
        // A send blocked on a stalled receiver is woken. The unit it was writing is cut off, and
        // every caller closes the data connection right after this, so it is never continued.
        int fd = TcpSocketFd(TcpSocket::Data);
        platform::ShutdownSocket(fd);
    }
    sending.thread.Join();
}

// A start that failed on this side: what was made for it is undone, the session is back to
// logged in and the reason is recorded for the application. Caller holds sending.mutex.
int AbortStartLocked(SendingState& sending, int failure, const char* why) {
    platform::DebugFormat("Cannot start the projection: %s\n", why);
    SetLastFailure(failure);
    sending.records.reset();
    if (TheComponents().capture) TheComponents().capture->Release();
    TheSession().state.store(StateConnected);
    return 0;
}

}  // namespace

int StartProjecting(int32_t start_request_type) {
    if (TheSession().state.load() == StateProjecting) return 0;
    return SessionChannel().SendControl(nullptr, start_request_type) == 0 ? 1 : 0;
}

int StopProjecting(int from_receiver) {
    ResumeKeepAlive();
    Session& session = TheSession();
    // Held throughout, so that a start handled on the control thread meanwhile comes wholly
    // before or wholly after this stop, never half-way.
    SendingState& sending = TheSending();
    std::lock_guard lock(sending.mutex);
    if (session.state.load() == StateStopped) return 0;
    // The receiver hears the user's stop on the login's connection, also when it was given by
    // address and never beaconed; after a lost connection only a beacon heard since brings it.
    if (from_receiver == 0 && (ServerSeen() == 1 || session.logged_in.load())) {
        SendControlRequest(MSG_STOP_REQUEST);
    }
    TerminateSendingThreadLocked(sending);
    SessionChannel().CloseData(0);
    FullRefreshFlag().store(1);
    session.state.store(StateStopped);
    sending.records.reset();
    // The desktop connection and the surfaces are made anew at the next start; holding them
    // until process exit would tie the process to a display that may be gone by then.
    if (TheComponents().capture) TheComponents().capture->Release();
    return 1;
}

int StartSending() {
    Session& session = TheSession();
    SendingState& sending = TheSending();
    std::lock_guard lock(sending.mutex);  // see StopProjecting
    if (session.state.load() == StateProjecting) return 0;
    session.state.store(StateProjecting);
    Geometry& g = TheGeometry();
    if (g.grid_pending.exchange(0) == 1) {
        ApplyVideoGrid(session.receiver_width.load(), session.receiver_height.load());
    }
    int screen_width = 0, screen_height = 0;
    if (!ComputeGeometry(session.receiver_width.load(), session.receiver_height.load())) {
        if (!LocalScreenSize(&screen_width, &screen_height)) {
            if (platform::ChooseCaptureBackend() == platform::CaptureBackend::kPortal) {
                return AbortStartLocked(sending, kFailureScreenCast,
                                        "the desktop's screen sharing was refused or failed");
            }
            return AbortStartLocked(sending, kFailureNoScreen,
                                    "no screen to capture (no X display)");
        }
        return AbortStartLocked(sending, kFailureCaptureSetup,
                                "no capture size for this screen and receiver");
    }
    uint8_t payload[kControlPayloadSize] = {};
    PutInt32(payload, g.picture_width.load());
    PutInt32(payload + 4, g.picture_height.load());
    if (SessionChannel().SendControl(payload, MSG_PICTURE_SIZE) != 0) {
        return AbortStartLocked(sending, kFailureSendFailed, "the picture size was not sent");
    }

    const int32_t width = g.capture_width.load();
    const int32_t height = g.capture_height.load();
    sending.thread.RequestStop();  // normally gone already; its records must outlive it
    sending.thread.Join();
    sending.records.reset();
    sending.records = AllocateRecords(width, height);
    if (!sending.records) {
        platform::DebugFormat("Cannot allocate the frame buffers for %dx%d\n", width, height);
        return AbortStartLocked(sending, kFailureOutOfMemory, "no memory for the frame buffers");
    }
    Components& c = TheComponents();
    if (!c.Complete()) {
        return AbortStartLocked(sending, kFailureCaptureSetup, "the library was not initialised");
    }
    c.screen_update->SetCaptureFormat(width, height, session.receiver_bits.load());
    if (!c.screen_update->Setup()) {
        return AbortStartLocked(sending, kFailureCaptureSetup, "the encoder could not be set up");
    }
    c.mono_cursor->SetCaptureHeight(height);
    c.colour_cursor->SetCaptureHeight(height);
    c.capture->SetResolutionDivisor(g.resolution_divisor.load());
    if (!c.capture->BeginScaled(width, height, g.coefficient_x.load(), g.coefficient_y.load(),
                                g.stretch.load())) {
        if (platform::ChooseCaptureBackend() == platform::CaptureBackend::kPortal) {
            return AbortStartLocked(sending, kFailureScreenCast,
                                    "the desktop's screen sharing was refused or failed");
        }
        return AbortStartLocked(sending, kFailureCaptureSetup,
                                "the screen capture could not be set up");
    }

    // The first projection of the process learns the screen size here, so that a change during
    // its first pass is noticed too.
    if (g.last_screen_width.load() == 0 && g.last_screen_height.load() == 0 &&
        c.capture->CurrentScreenSize(&screen_width, &screen_height)) {
        g.last_screen_width.store(screen_width);
        g.last_screen_height.store(screen_height);
    }

    platform::DebugOutput("Main Sending data Thread is starting...\n");
    ProjectionRecords* records = sending.records.get();
    sending.thread.Start([records](const platform::WorkerThread::Context& context) {
        SendingThread(context, records);
    });
    session.last_failure.store(kFailureNone);
    return 1;
}

bool SendingThreadRunning() {
    SendingState& sending = TheSending();
    std::lock_guard lock(sending.mutex);
    return sending.thread.Running();
}

void TerminateSendingThread() {
    SendingState& sending = TheSending();
    std::lock_guard lock(sending.mutex);
    TerminateSendingThreadLocked(sending);
}

}  // namespace tarrowlink
