// The session's channel to the receiver: the control connection's sender and reader and the data
// connection's sender, over the process-wide sockets. All NetChannel objects act on the same
// sockets; the object itself only remembers whether it made the discovery socket.
#pragma once

#include <cstdint>

#include "client/UserInterface.h"
#include "client/capture/OutgoingMessage.h"

namespace tarrowlink {

// How long connecting and each login reply may take before the receiver counts as not answering.
constexpr int kConnectTimeout_ms = 10000;
// A data connection on which nothing can be sent for this long is given up: a receiver that
// stops reading must not hold the sending thread for good.
constexpr int kDataSendTimeout_ms = 5000;
// After a data connection failed, the next is tried after this long, doubling up to the most.
constexpr int kDataRetryFirst_ms = 50;
constexpr int kDataRetryMost_ms = 2000;

// What the data connection carried so far. Any thread.
DataStats CurrentDataStats();
// Reply limit: 10 000 ms unless a test shortens it.
int ReplyTimeout_ms();
void SetReplyTimeoutForTests(int timeout_ms);

class NetChannel : public DataSink {
  public:
    NetChannel() = default;
    // Closes nothing: the sockets belong to the process.
    virtual ~NetChannel() = default;

    // Sends one control message (type + 124-byte payload, nullptr for zeros) on the control
    // socket; messages from different threads never interleave. 0 and "Send Package
    // successfully\n" on success, -1 on failure. Any thread.
    virtual int SendControl(const uint8_t* payload, int32_t type);
    // Reads exactly length bytes from the control socket, waiting at most timeout_ms (negative:
    // until the connection ends). length on success, -1 on failure. The one reader's thread.
    virtual int ReceiveControl(uint8_t* buffer, int length, int timeout_ms = -1);
    // Sends one data-stream unit on the data connection, connecting it first when the data socket
    // is new. Without sizes, length is a byte count; with sizes, length chunks of sizes[i] bytes
    // lie one after another in buffer. 0, or -1 when the data socket cannot be made or connected.
    // After a connection failed (not made, or cut), units are dropped until the retry time
    // (kDataRetryFirst_ms, doubling to kDataRetryMost_ms while connections keep failing within
    // a few seconds) has passed; -1 for those. Sending thread.
    int SendData(const uint8_t* buffer, int length, const int* sizes) override;
    // Reserved operation; does nothing and returns 0.
    virtual int Reserved(int, int) { return 0; }
    // Closes the data socket; returns 0.
    virtual int CloseData(int);
    // Connects the control socket to the receiver's control port: 0, or "failed Control
    // Connection\n" and -1. API caller's thread.
    virtual int ConnectControl();

    // Makes the discovery socket through this object (kind 1). 1 or 0.
    int CreateUdp();
    // Binds the discovery socket; refused (0) unless this object made it. 1 or 0.
    int BindUdp(uint16_t port);

  private:
    int32_t kind_ = 0;  // 1 after this object made the UDP socket, 0 after a TCP socket
};

// The process-wide channels: one for the session's control and data, one for the outgoing
// messages (screen updates, cursors).
NetChannel& SessionChannel();
NetChannel& MessageChannel();

// Makes the control socket when missing and connects a socket made just now, then sends a message
// of type with no payload. 1 when sent, else 0.
int SendControlRequest(int32_t type);

}  // namespace tarrowlink
