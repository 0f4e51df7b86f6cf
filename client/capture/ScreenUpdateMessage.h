// The screen update unit: one changed rectangle of the capture, cut into strips, converted to the
// receiver's depth and compressed (UltraEncoder); sent as one data-stream chunk per strip.
#pragma once

#include <cstdint>
#include <memory>

#include "client/capture/OutgoingMessage.h"
#include "client/capture/UltraEncoder.h"

namespace tarrowlink {

class ScreenUpdateMessage : public OutgoingMessage {
  public:
    using OutgoingMessage::OutgoingMessage;

    // The capture size and the receiver's bits per pixel for the next Setup. Projection start.
    void SetCaptureFormat(int32_t width, int32_t height, int32_t remote_bits_per_pixel);
    // Prepares the encoder and the payload buffer for the capture format. 1, or 0 when the format
    // cannot be encoded or the buffers cannot be made. Projection start, before the sending thread.
    int Setup() override;
    // Encodes the record's rectangle. The payload size, 0 when nothing is to be sent. Sending
    // thread.
    int Prepare(const CaptureRecord& record) override;
    // Hands the strips to the data connection, one chunk each. Sending thread.
    int Send() override;
    int GetSize() override { return m_total; }

    int StripCount() const { return m_stripCount; }
    const uint8_t* Payload() const { return m_payload.get(); }
    const int32_t* StripSizes() const { return m_stripSizes.get(); }

  private:
    UltraEncoder m_encoder;
    int32_t m_width = 0;
    int32_t m_height = 0;
    int32_t m_remoteBits = 0;
    int32_t m_rect[4] = {};  // x0, y0, x1, y1 of the current record
    std::unique_ptr<uint8_t[]> m_payload;
    size_t m_payloadSize = 0;
    std::unique_ptr<int32_t[]> m_stripSizes;
    int32_t m_stripCapacity = 0;
    int32_t m_stripCount = 0;
    int32_t m_total = 0;
};

}  // namespace tarrowlink
