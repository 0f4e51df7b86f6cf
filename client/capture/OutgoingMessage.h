// What the sending loop hands to the data connection: a screen update or a cursor, built from a
// capture record and sent as one data-stream unit (a screen update is one unit per strip).
#pragma once

#include <cstdint>

#include "client/capture/CaptureRecord.h"

namespace tarrowlink {

// The data connection as the messages see it.
class DataSink {
  public:
    // Sends one unit: without sizes, length bytes of buffer; with sizes, length chunks of sizes[i]
    // bytes lying back to back in buffer. 0, or -1 when there is no connection. Sending thread.
    virtual int SendData(const uint8_t* buffer, int length, const int* sizes) = 0;

  protected:
    ~DataSink() = default;
};

class OutgoingMessage {
  public:
    explicit OutgoingMessage(DataSink* sink) : m_sink(sink) {}
    virtual ~OutgoingMessage() = default;
    OutgoingMessage(const OutgoingMessage&) = delete;
    OutgoingMessage& operator=(const OutgoingMessage&) = delete;

    // Builds the message from record; the payload size in bytes, 0 when there is nothing to send.
    virtual int Prepare(const CaptureRecord& record) = 0;
    // Reserved; 0.
    virtual int Reserved() { return 0; }
    // Hands the prepared payload to the data connection; 0.
    virtual int Send() = 0;
    // Size of the prepared payload in bytes.
    virtual int GetSize() = 0;
    // Called at every projection start, once the capture size and the receiver's depth are known.
    virtual int Setup() { return 1; }

  protected:
    DataSink* m_sink;
};

}  // namespace tarrowlink
