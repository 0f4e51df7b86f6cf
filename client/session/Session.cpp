#include "client/session/Session.h"

#include "client/session/Components.h"
#include "client/session/ControlThreads.h"
#include "client/session/Discovery.h"
#include "client/session/Projection.h"
#include "client/session/Sockets.h"
#include "platform/MessageRegistry.h"
#include "platform/NoDestructor.h"
#include "platform/ProcessExit.h"

namespace tarrowlink {

Session& TheSession() {
    static platform::NoDestructor<Session> session;
    return *session;
}

namespace {
int32_t OrMinusOne(int32_t value) {
    return value == 0 ? -1 : value;
}
}  // namespace

int32_t ReceiverWidth() {
    return OrMinusOne(TheSession().receiver_width.load());
}
int32_t ReceiverHeight() {
    return OrMinusOne(TheSession().receiver_height.load());
}
int32_t ReceiverBits() {
    return OrMinusOne(TheSession().receiver_bits.load());
}

std::string ReceiverAddress() {
    Session& session = TheSession();
    std::lock_guard lock(session.address_mutex);
    return session.receiver_address;
}

void SetReceiverAddress(const std::string& address) {
    Session& session = TheSession();
    std::lock_guard lock(session.address_mutex);
    session.receiver_address = address.substr(0, 15);
}

void Notify(int code) {
    Session& session = TheSession();
    WindowHandle window = session.window.load();
    if (window == nullptr || session.shutting_down.load()) return;
    DeliverNotify(window, session.notify_message, static_cast<uintptr_t>(LastSocketError()), code);
}

namespace {

// Registers the notify message when the library is loaded and, when the process exits, stops the
// library's threads before the rest of the process is torn down.
struct LibraryLifetime {
    LibraryLifetime() {
        TheSession().notify_message = platform::RegisterMessage(kProjectorNotifyName);
    }
    ~LibraryLifetime() {
        TheSession().shutting_down.store(true);
        // On Windows the library's threads are gone by now, perhaps holding locks.
        if (platform::OtherThreadsEndedByExit()) return;
        StopDiscovery();
        // A control thread that did not end in time (held up in the application's handler, say)
        // may still use the capture and the messages: they are then left to the process's end.
        const bool ended = StopControlThreads();
        TerminateSendingThread();
        if (ended) ReleaseComponents();
    }
};

LibraryLifetime library_lifetime;

}  // namespace
}  // namespace tarrowlink
