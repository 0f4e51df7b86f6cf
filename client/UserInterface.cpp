#include "client/UserInterface.h"

#include "client/session/ClientControl.h"
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
