// The two cursor units: a monochrome cursor (274 bytes: header and both masks) and a colour cursor
// (header and an LZO1X-1 block of the AND mask and 5-6-5 pixels).
//
// Header, 18 bytes, big-endian: x, y from the bottom (capture height - y - height), width,
// height, kind (101 or 102, 4 bytes), cut left (-x when x < 0), cut top (-y when y < 0), and the
// compressed length (colour; 0 for monochrome).
#pragma once

#include <cstdint>

#include "client/capture/OutgoingMessage.h"
#include "client/capture/UltraEncoder.h"

namespace tarrowlink {

constexpr int kCursorHeaderSize = 18;
constexpr int kMonoCursorMessageSize = kCursorHeaderSize + kCursorMaskBytes;  // 274
constexpr int kColourCursorBlockSize = 128 + kCursorSide * kCursorSide * 2;   // 2176
constexpr int kColourCursorRoom = 4226;  // compressed data room, above LZO's worst case

// Fills the 18-byte header from a cursor record's placement.
void WriteCursorHeader(uint8_t* header, const int16_t* placement, int32_t kind,
                       int32_t capture_height, uint16_t compressed_length);

// What both cursor units share: the capture height their y field counts from, and sending the
// prepared unit as one chunk.
class CursorMessage : public OutgoingMessage {
  public:
    using OutgoingMessage::OutgoingMessage;
    // The capture height the y field counts from. Projection start.
    void SetCaptureHeight(int32_t height) { m_captureHeight = height; }
    int Send() override;
    int GetSize() override { return m_size; }

  protected:
    // The prepared unit, m_size bytes.
    virtual const uint8_t* Unit() const = 0;

    int m_size = 0;
    int32_t m_captureHeight = 0;
};

class MonoCursorMessage : public CursorMessage {
  public:
    using CursorMessage::CursorMessage;
    int Prepare(const CaptureRecord& record) override;

  private:
    const uint8_t* Unit() const override { return m_buffer; }
    uint8_t m_buffer[kMonoCursorMessageSize] = {};
};

class ColorCursorMessage : public CursorMessage {
  public:
    using CursorMessage::CursorMessage;
    // Converts the pixels (after the record's 128-byte mask) and compresses the block; the
    // record's frame buffer must hold the mask.
    int Prepare(const CaptureRecord& record) override;

  private:
    const uint8_t* Unit() const override { return m_buffer; }
    UltraEncoder m_encoder;  // only CompressBlock
    uint8_t m_block[kColourCursorBlockSize] = {};
    uint8_t m_buffer[kCursorHeaderSize + kColourCursorRoom] = {};
};

}  // namespace tarrowlink
