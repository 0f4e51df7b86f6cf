#include "client/session/Projection.h"

#include <mutex>

#include "client/session/ControlMessage.h"
#include "client/session/ControlThreads.h"
#include "client/session/Discovery.h"
#include "client/session/Geometry.h"
#include "client/session/NetChannel.h"
#include "client/session/Session.h"
#include "platform/Debug.h"
#include "platform/NoDestructor.h"
#include "platform/WorkerThread.h"

namespace tarrowlink {
namespace {

struct SendingState {
    std::mutex mutex;  // guards the thread object
    platform::WorkerThread thread;
};

SendingState& TheSending() {
    static platform::NoDestructor<SendingState> state;
    return *state;
}

}  // namespace

int StartProjecting(int32_t start_request_type) {
    if (TheSession().state.load() == StateProjecting) return 0;
    return SessionChannel().SendControl(nullptr, start_request_type) == 0 ? 1 : 0;
}

int StopProjecting(int from_receiver) {
    ResumeKeepAlive();
    Session& session = TheSession();
    if (session.state.load() == StateStopped) return 0;
    if (from_receiver == 0 && ServerSeen() == 1) SendControlRequest(MSG_STOP_REQUEST);
    TerminateSendingThread();
    SessionChannel().CloseData(0);
    session.full_refresh.store(1);
    session.state.store(StateStopped);
    return 1;
}

int StartSending() {
    Session& session = TheSession();
    if (session.state.load() == StateProjecting) return 0;
    session.state.store(StateProjecting);
    if (!ComputeGeometry(session.receiver_width.load(), session.receiver_height.load())) return 0;
    Geometry& g = TheGeometry();
    uint8_t payload[kControlPayloadSize] = {};
    PutInt32(payload, g.picture_width.load());
    PutInt32(payload + 4, g.picture_height.load());
    if (SessionChannel().SendControl(payload, MSG_PICTURE_SIZE) != 0) return 0;
    return 1;
}

void TerminateSendingThread() {
    TheSession().state.store(StateIdle);
    SendingState& sending = TheSending();
    std::lock_guard lock(sending.mutex);
    if (!sending.thread.Exists()) return;
    platform::DebugOutput("Main sending thread has been terminated.\n");
    sending.thread.RequestStop();
    sending.thread.Join();
}

}  // namespace tarrowlink
