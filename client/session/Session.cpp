#include "client/session/Session.h"

#include "client/session/Discovery.h"
#include "client/session/Sockets.h"
#include "platform/MessageRegistry.h"
#include "platform/NoDestructor.h"

namespace tarrowlink {

Session& TheSession() {
    static platform::NoDestructor<Session> session;
    return *session;
}

void Notify(int code) {
    Session& session = TheSession();
    NotifyTarget* window = session.window.load();
    if (window == nullptr || session.shutting_down.load()) return;
    window->SendNotify(session.notify_message, static_cast<uintptr_t>(LastSocketError()), code);
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
        StopDiscovery();
    }
};

LibraryLifetime library_lifetime;

}  // namespace
}  // namespace tarrowlink
