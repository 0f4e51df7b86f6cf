#include "client/UserInterface.h"

#include "client/session/ClientControl.h"
#include "client/session/NetChannel.h"
#include "client/session/Session.h"
#include "platform/Debug.h"

UserInterface::UserInterface() : m_session(std::make_unique<ClientControl>()) {
    platform::DebugOutput("new ClientControl object\n");
}

UserInterface::~UserInterface() {
    m_session.reset();
    platform::DebugOutput("delete ClientControl object\n");
}

int UserInterface::Initialize() {
    return m_session->Initialize();
}
void UserInterface::SetWindowHandle(WindowHandle window) {
    m_session->SetWindowHandle(window);
}
int UserInterface::SearchServer(tagSERVERLIST* list) {
    return m_session->SearchServer(list);
}
void UserInterface::Refresh() {
    m_session->Refresh();
}
int UserInterface::LoginServer(const char* address) {
    return m_session->LoginServer(address);
}
int UserInterface::SendServerPwd(unsigned long code) {
    return m_session->SendServerPwd(code);
}
int UserInterface::StartProjecting() {
    return m_session->StartProjecting();
}
int UserInterface::StopProjecting(int from_receiver) {
    return m_session->StopProjecting(from_receiver);
}

void UserInterface::GetReceiverMode(int* width, int* height, int* bits_per_pixel) const {
    if (width != nullptr) *width = tarrowlink::ReceiverWidth();
    if (height != nullptr) *height = tarrowlink::ReceiverHeight();
    if (bits_per_pixel != nullptr) *bits_per_pixel = tarrowlink::ReceiverBits();
}

int UserInterface::LastFailure() const {
    return tarrowlink::TheSession().last_failure.load();
}

void UserInterface::GetDataStats(DataStats* stats) const {
    if (stats != nullptr) *stats = tarrowlink::CurrentDataStats();
}
