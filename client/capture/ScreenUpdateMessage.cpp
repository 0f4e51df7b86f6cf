#include "client/capture/ScreenUpdateMessage.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "client/capture/PixelFormat.h"
#include "platform/Debug.h"

namespace tarrowlink {

void ScreenUpdateMessage::SetCaptureFormat(int32_t width, int32_t height,
                                           int32_t remote_bits_per_pixel) {
    m_width = width;
    m_height = height;
    m_remoteBits = remote_bits_per_pixel;
}

int ScreenUpdateMessage::Setup() {
    m_payload.reset();
    m_stripSizes.reset();
    m_payloadSize = 0;
    m_stripCapacity = 0;
    m_total = 0;
    m_stripCount = 0;
    if (!m_encoder.Configure(m_width, m_height, m_remoteBits)) return 0;
    m_encoder.SetSourceFormat(kCapturePixelFormat, m_width, m_height);
    m_encoder.SetWireFormat(WirePixelFormatFor(m_remoteBits));
    // Room for the worst case: every strip of the tallest rectangle raw, with its header.
    m_payloadSize = static_cast<size_t>(m_encoder.MaxPayloadSize());
    m_stripCapacity = m_encoder.MaxStripCount();
    m_payload.reset(new (std::nothrow) uint8_t[m_payloadSize]());
    m_stripSizes.reset(new (std::nothrow) int32_t[static_cast<size_t>(m_stripCapacity)]());
    if (!m_payload || !m_stripSizes) {
        m_payload.reset();
        m_stripSizes.reset();
        return 0;
    }
    return 1;
}

int ScreenUpdateMessage::Prepare(const CaptureRecord& record) {
    m_total = 0;
    m_stripCount = 0;
    if (!m_payload || (record.frame_buffer == nullptr && record.pixels == nullptr)) return 0;
    const PixelRect rect{
        static_cast<uint16_t>(record.placement[0]), static_cast<uint16_t>(record.placement[1]),
        static_cast<uint16_t>(record.placement[2]), static_cast<uint16_t>(record.placement[3])};
    if (m_encoder.CountStrips(rect.x0, rect.y0, rect.x1, rect.y1) == 0) {
        platform::DebugOutput("s_nCount == 0 maybe capture screen range too small!");
        return 0;
    }
    m_rect[0] = rect.x0;
    m_rect[1] = rect.y0;
    m_rect[2] = rect.x1;
    m_rect[3] = rect.y1;
    std::fill_n(m_stripSizes.get(), m_stripCapacity, 0);
    // Pixels the capture lent for this pass are read where they are, saving a copy per change.
    m_total = record.pixels != nullptr
                  ? m_encoder.EncodeRectangle(
                        PixelSource{record.pixels, record.pixels_stride, rect.x0, rect.y0},
                        m_payload.get(), m_stripSizes.get(), rect)
                  : m_encoder.EncodeRectangle(record.frame_buffer.get(), m_payload.get(),
                                              m_stripSizes.get(), rect);
    if (m_total == 0) {
        platform::DebugOutput("s_nSize == 0 maybe capture data space too small!");
        return 0;
    }
    while (m_stripCount < m_stripCapacity && m_stripSizes[m_stripCount] > 0) ++m_stripCount;
    return m_total;
}

int ScreenUpdateMessage::Send() {
    if (m_total > 0 && m_stripCount > 0)
        m_sink->SendData(m_payload.get(), m_stripCount, m_stripSizes.get());
    return 0;
}

}  // namespace tarrowlink
