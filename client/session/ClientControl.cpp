#include "client/session/ClientControl.h"

#include "client/session/Discovery.h"
#include "client/session/Session.h"
#include "platform/Debug.h"
#include "platform/DesktopRefresh.h"

using tarrowlink::TheSession;

ClientControl::ClientControl() = default;
ClientControl::~ClientControl() = default;

int ClientControl::Initialize() {
    static constexpr int32_t kHandshakeTypes[5] = {4, 0, 1, 5, 2};
    for (int i = 0; i < 5; ++i) m_handshakeTypes[i] = kHandshakeTypes[i];
    // The network layer needs no start-up on this system beyond being counted once per process,
    // so callers see the same results as where a start-up call is needed.
    int32_t expected = 0;
    if (!TheSession().network_started.compare_exchange_strong(expected, 1)) return 0;
    platform::DebugOutput("WSAStartup() OK\n");
    return 1;
}

void ClientControl::SetWindowHandle(WindowHandle window) {
    TheSession().window.store(window);
}

int ClientControl::SearchServer(tagSERVERLIST* list) {
    return tarrowlink::SearchServer(list);
}

void ClientControl::Refresh() {
    platform::RefreshDesktop();
}
