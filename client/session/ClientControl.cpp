#include "client/session/ClientControl.h"

#include <cerrno>
#include <cstring>

#include "client/capture/CaptureRecord.h"
#include "client/session/Components.h"
#include "client/session/ControlMessage.h"
#include "client/session/ControlThreads.h"
#include "client/session/Discovery.h"
#include "client/session/NetChannel.h"
#include "client/session/Projection.h"
#include "client/session/Session.h"
#include "client/session/Sockets.h"
#include "platform/Debug.h"
#include "platform/DesktopRefresh.h"
#include "platform/Paths.h"
#include "platform/Socket.h"

using namespace tarrowlink;

namespace {

// The login payload with the code, the receiver's size from its last SERVER_VERSION_OK and this
// machine's name.
void BuildLogin(uint8_t* payload, unsigned long code) {
    Session& session = TheSession();
    std::string name = platform::ComputerName().value_or("UNKNOWN");
    BuildLoginPayload(payload, static_cast<uint32_t>(code), session.receiver_width.load(),
                      session.receiver_height.load(), name.c_str());
}

// What a failed connect or read on this thread means to the user: a port that refuses (or an
// address that cannot be reached) versus a receiver that stays silent.
int SocketFailure() {
    return LastSocketError() == ETIMEDOUT ? kFailureNoAnswer : kFailureNoConnection;
}

// The login's control connection is gone, from our side: a stop has nobody to go to.
void DropControlConnection() {
    TheSession().logged_in.store(false);
    CloseTcpSocket(TcpSocket::Control);
}

// Connects the control socket for a login; false (with the reason recorded) when that fails.
bool ConnectForLogin() {
    if (SessionChannel().ConnectControl() == 0) return true;
    SetLastFailure(SocketFailure());
    platform::DebugOutput("connect control Tcp error\n");
    return false;
}

// The receiver's answer to MSG_LOGIN (any reply type other than the code answers counts as no
// answer and lets the login go on). False when the code was refused: the connection is closed,
// so that the next code is tried on a new one (a connected socket cannot connect again).
bool AcceptCodeReply(int32_t reply) {
    switch (reply) {
        case SERVER_CODE_OK:
            platform::DebugOutput("SERVER_CODE_OK\n");
            Notify(kNotifyCodeOk);
            return true;
        case SERVER_CODE_ERROR:
            platform::DebugOutput("SERVER_CODE_ERROR\n");
            DropControlConnection();
            SetLastFailure(kFailureCodeRefused);
            Notify(kNotifyCodeError);
            return false;
        default:
            platform::DebugOutput("Do not receive any messages from server\n");
            return true;
    }
}

// A successful login: the control connection gets its threads and the session is connected.
int FinishLogin() {
    StartControlThreads();
    Session& session = TheSession();
    session.logged_in.store(true);
    session.last_failure.store(kFailureNone);
    session.state.store(StateConnected);
    return 1;
}

}  // namespace

ClientControl::ClientControl() = default;
ClientControl::~ClientControl() = default;

int ClientControl::Initialize() {
    static constexpr int32_t kHandshakeTypes[5] = {4, 0, 1, 5, 2};
    for (int i = 0; i < 5; ++i) m_handshakeTypes[i] = kHandshakeTypes[i];
    MakeComponents();
    // The network layer is started once per process (WinSock 2.2; nothing to start on POSIX
    // systems): 1 only for the call that started it.
    int32_t expected = 0;
    if (!TheSession().network_started.compare_exchange_strong(expected, 1)) return 0;
    if (!platform::StartNetwork()) {
        TheSession().network_started.store(0);
        platform::DebugOutput("WSAStartup() error\n");
        return 0;
    }
    platform::DebugOutput("WSAStartup() OK\n");
    return 1;
}

void ClientControl::SetWindowHandle(WindowHandle window) {
    TheSession().window.store(window);
}

int ClientControl::SearchServer(tagSERVERLIST* list) {
    return tarrowlink::SearchServer(list);
}

bool ClientControl::Exchange(int32_t type) {
    NetChannel& channel = SessionChannel();
    if (channel.SendControl(m_message + 4, type) != 0) {
        SetLastFailure(kFailureSendFailed);
        return false;
    }
    std::memset(m_message, 0, sizeof m_message);
    // A receiver that does not answer within the limit, or closes the connection, has not let us
    // in: the half-open connection is dropped so that the next attempt starts cleanly.
    if (channel.ReceiveControl(m_message, kMessageSize, ReplyTimeout_ms()) < 0) {
        SetLastFailure(kFailureNoAnswer);
        DropControlConnection();
        return false;
    }
    return true;
}

int ClientControl::LoginServer(const char* address) {
    if (address == nullptr || address[0] == '\0') return 0;
    Session& session = TheSession();
    if (!ReceiverAddress().empty()) {
        // A repeated login ends the previous session first: the control thread before the
        // sending thread, so that no start it handles can outlive the session.
        EndControlThread();
        TerminateSendingThread();
        DropControlConnection();
        CloseTcpSocket(TcpSocket::Data);
        FullRefreshFlag().store(1);
    }
    SetReceiverAddress(std::string(address, strnlen(address, 15)));
    if (CreateTcpSocket(TcpSocket::Control) < 0) {
        SetLastFailure(kFailureNoConnection);
        return 0;
    }

    for (int step = 0; step < 2; ++step) {
        const int32_t type = m_handshakeTypes[step];
        std::memset(m_message, 0, sizeof m_message);
        if (type == MSG_VERSION) {
            if (!m_cipher.VersionPayload(m_message + 4)) {
                SetLastFailure(kFailureNoVersionFile);
                return 0;
            }
        } else {
            BuildLogin(m_message + 4, 0);
        }
        if (step == 0 && !ConnectForLogin()) return 0;
        if (!Exchange(type)) return 0;
        switch (const int32_t reply = GetInt32(m_message)) {
            case SERVER_VERSION_ERROR:
                platform::DebugOutput("SERVER_VERSION_ERROR\n");
                SetLastFailure(kFailureVersionRefused);
                return 0;
            case SERVER_VERSION_OK: {
                platform::DebugOutput("SERVER_VERSION_OK\n");
                int32_t width, height, bits;
                bool out_of_range = false;
                if (!ParseMode(reinterpret_cast<const char*>(m_message + 4), kControlPayloadSize,
                               &width, &height, &bits, &out_of_range)) {
                    if (out_of_range) platform::DebugOutput("Unsupported receiver mode refused\n");
                    SetLastFailure(kFailureUnsupportedMode);
                    return 0;
                }
                session.receiver_width.store(width);
                session.receiver_height.store(height);
                session.receiver_bits.store(bits);
                break;
            }
            default:
                if (!AcceptCodeReply(reply)) return 0;
                break;
        }
        std::memset(m_message, 0, sizeof m_message);
    }
    return FinishLogin();
}

int ClientControl::SendServerPwd(unsigned long code) {
    std::memset(m_message, 0, sizeof m_message);
    BuildLogin(m_message + 4, code);
    if (CreateTcpSocket(TcpSocket::Control) < 0) {
        SetLastFailure(kFailureNoConnection);
        return 0;
    }
    if (!ConnectForLogin()) return 0;
    if (!Exchange(MSG_LOGIN)) return 0;
    if (!AcceptCodeReply(GetInt32(m_message))) return 0;
    std::memset(m_message, 0, sizeof m_message);
    return FinishLogin();
}

int ClientControl::StartProjecting() {
    return tarrowlink::StartProjecting(m_handshakeTypes[2]);
}

int ClientControl::StopProjecting(int from_receiver) {
    return tarrowlink::StopProjecting(from_receiver);
}

void ClientControl::Refresh() {
    platform::RefreshDesktop();
}
