#include "client/capture/CursorMessages.h"

#include <cstring>

#include "client/capture/PixelConvert.h"

namespace tarrowlink {
namespace {

void Put16(uint8_t* at, int32_t value) {
    at[0] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> 8);
    at[1] = static_cast<uint8_t>(value);
}

void Put32(uint8_t* at, int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    at[0] = static_cast<uint8_t>(v >> 24);
    at[1] = static_cast<uint8_t>(v >> 16);
    at[2] = static_cast<uint8_t>(v >> 8);
    at[3] = static_cast<uint8_t>(v);
}

}  // namespace

void WriteCursorHeader(uint8_t* header, const int16_t* placement, int32_t kind,
                       int32_t capture_height, uint16_t compressed_length) {
    const int16_t width = placement[0];
    const int16_t height = placement[1];
    const int16_t x = placement[2];
    const int16_t y = placement[3];
    Put16(header + 0, x);
    Put16(header + 2, capture_height - y - height);
    Put16(header + 4, width);
    Put16(header + 6, height);
    Put32(header + 8, kind);
    Put16(header + 12, x < 0 ? -x : 0);
    Put16(header + 14, y < 0 ? -y : 0);
    Put16(header + 16, compressed_length);
}

int MonoCursorMessage::Prepare(const CaptureRecord& record) {
    WriteCursorHeader(m_buffer, record.placement, kCursorMonochrome, m_captureHeight, 0);
    if (record.frame_buffer == nullptr || record.frame_buffer_size < kCursorMaskBytes) {
        m_size = 0;
        return 0;
    }
    std::memcpy(m_buffer + kCursorHeaderSize, record.frame_buffer.get(), kCursorMaskBytes);
    m_size = kMonoCursorMessageSize;
    return m_size;
}

int CursorMessage::Send() {
    if (m_size > 0) m_sink->SendData(Unit(), m_size, nullptr);
    return 0;
}

int ColorCursorMessage::Prepare(const CaptureRecord& record) {
    m_size = 0;
    if (record.frame_buffer == nullptr || record.frame_buffer_size < 128) return 0;
    // The AND mask, then the pixels in 5-6-5, top row first (the cursor surface is bottom-up).
    std::memcpy(m_block, record.frame_buffer.get(), 128);
    for (int r = 0; r < kCursorSide; ++r) {
        Convert32To565(m_block + 128 + 64 * r, record.cursor_pixels + (kCursorSide - 1 - r) * 128,
                       kCursorSide);
    }
    int32_t n =
        m_encoder.CompressBlock(m_block, m_buffer + kCursorHeaderSize, kColourCursorBlockSize);
    if (n <= 0 || n > kColourCursorRoom) return 0;
    WriteCursorHeader(m_buffer, record.placement, kCursorColour, m_captureHeight,
                      static_cast<uint16_t>(n));
    m_size = n + kCursorHeaderSize;
    return m_size;
}

}  // namespace tarrowlink
