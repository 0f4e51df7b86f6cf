// The session object behind UserInterface. It holds only what one exchange needs (the message
// buffer, the handshake types, the cipher); everything else is the process-wide session, so
// every ClientControl (one per UserInterface) acts on the same session.
#pragma once

#include <cstdint>

#include "client/UserInterface.h"
#include "client/session/AesCipher.h"

class ClientControl {
  public:
    static constexpr int kMessageSize = 128;

    ClientControl();
    virtual ~ClientControl();

    // See UserInterface. API caller's thread.
    int Initialize();
    void SetWindowHandle(WindowHandle window);
    int SearchServer(tagSERVERLIST* list);
    int LoginServer(const char* address);
    int SendServerPwd(unsigned long code);
    int StartProjecting();
    int StopProjecting(int from_receiver);
    void Refresh();

  private:
    // Sends the message buffer's payload as type and reads the reply into the buffer, waiting at
    // most the reply timeout. False when either fails (the control socket is then closed).
    bool Exchange(int32_t type);

    int32_t m_handshakeTypes[5] = {};      // MSG_VERSION, MSG_LOGIN, MSG_START_REQUEST, 5, 2
    uint8_t m_message[kMessageSize] = {};  // one control message: int32 type + 124 payload
    tarrowlink::AesCipher m_cipher;
};
