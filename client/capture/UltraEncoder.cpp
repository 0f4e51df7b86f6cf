#include "client/capture/UltraEncoder.h"

#include <lzo/lzo1x.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "platform/Debug.h"

namespace tarrowlink {
namespace {

constexpr size_t kWorkMemoryWords =
    (LZO1X_1_MEM_COMPRESS + sizeof(uint64_t) - 1) / sizeof(uint64_t);

void PutBig16(uint8_t* p, int32_t value) {
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
}

void PutBig32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

template <typename T>
std::unique_ptr<T[]> AllocateZeroed(size_t count) {
    try {
        return std::make_unique<T[]>(count);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

int32_t ClampToInt32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, 0, std::numeric_limits<int32_t>::max()));
}

}  // namespace

UltraEncoder::UltraEncoder() = default;

UltraEncoder::~UltraEncoder() = default;

int32_t UltraEncoder::MaxEncodedSize(int32_t width, int32_t height) {
    int64_t r = EncoderBase::MaxEncodedSize(width, height);
    return ClampToInt32(r + r / 64 + 35);
}

int32_t UltraEncoder::Configure(int32_t width, int32_t height, int32_t bits_per_pixel) {
    FreeBuffers();
    m_width = width;
    m_height = height;
    m_remoteBitsPerPixel = bits_per_pixel;
    if (bits_per_pixel != 16 && bits_per_pixel != 24 && bits_per_pixel != 32) {
        platform::DebugFormat("Ultra encoder: remote depth %d is not supported\n", bits_per_pixel);
        return 0;
    }
    if (width < 1 || width > kMaxCaptureSide || height < 1 || height > kMaxCaptureSide) {
        platform::DebugFormat("Ultra encoder: capture size %dx%d is not supported\n", width,
                              height);
        return 0;
    }
    const size_t strip_bytes = static_cast<size_t>(width) * kStripRows * (bits_per_pixel / 8);
    m_translation = AllocateZeroed<uint8_t>(strip_bytes);
    if (m_translation) {
        m_translationSize = strip_bytes;
        // LZO may write up to its worst case before the encoder sees that a strip did not shrink.
        m_stripOutputSize = kStripHeaderSize + CompressBound(strip_bytes);
        m_stripOutput = AllocateZeroed<uint8_t>(m_stripOutputSize);
    }
    if (!m_translation || !m_stripOutput) {
        platform::DebugOutput("Ultra encoder: out of memory for the strip buffers\n");
        FreeBuffers();
        return 0;
    }
    Reset(width, height);
    return 1;
}

const char* UltraEncoder::GetName() {
    return "Ultra";
}

int32_t UltraEncoder::RowsPerStrip(int32_t w) const {
    if (w <= 0) return 0;
    int64_t budget = std::max<int64_t>(int64_t{kStripRows} * m_width, int64_t{2} * w);
    return ClampToInt32(budget / w);
}

int32_t UltraEncoder::CountStrips(int32_t x0, int32_t y0, int32_t x1, int32_t y1) const {
    int64_t w = int64_t{x1} - x0;
    int64_t h = int64_t{y1} - y0;
    if (w <= 0 || h <= 0 || w > std::numeric_limits<int32_t>::max()) return 0;
    int64_t rows = RowsPerStrip(static_cast<int32_t>(w));
    return ClampToInt32((h + rows - 1) / rows);
}

int32_t UltraEncoder::MaxStripCount() const {
    return CountStrips(0, 0, m_width, m_height);
}

int32_t UltraEncoder::MaxPayloadSize() const {
    int64_t raw = int64_t{m_width} * m_height * (m_remoteBitsPerPixel / 8);
    return ClampToInt32(raw + int64_t{kStripHeaderSize} * MaxStripCount());
}

int32_t UltraEncoder::SetSourceFormat(const PixelFormat& format, int32_t /*width*/,
                                      int32_t /*height*/) {
    m_sourceFormat = format;
    return 1;
}

int32_t UltraEncoder::SetWireFormat(const PixelFormat& format) {
    m_wireFormat = format;
    return 1;
}

int32_t UltraEncoder::EncodeRectangle(const uint8_t* source, uint8_t* destination, int32_t* sizes,
                                      const PixelRect& rectangle) {
    if (rectangle.x1 - int64_t{rectangle.x0} <= 0 || rectangle.y1 - int64_t{rectangle.y0} <= 0) {
        return 0;
    }
    if (!InsideCapture(rectangle)) {
        platform::DebugFormat("Ultra encoder: rectangle %d,%d-%d,%d is outside the %dx%d capture\n",
                              rectangle.x0, rectangle.y0, rectangle.x1, rectangle.y1, m_width,
                              m_height);
        return 0;
    }
    if (!m_stripOutput || source == nullptr || destination == nullptr || sizes == nullptr) return 0;
    const int32_t rows_per_strip = RowsPerStrip(rectangle.x1 - rectangle.x0);
    int64_t total = 0;
    uint8_t* write = destination;
    int32_t* next_size = sizes;
    for (int32_t row = rectangle.y0; row < rectangle.y1;) {
        const int32_t rows = std::min(rows_per_strip, rectangle.y1 - row);
        const PixelRect strip{rectangle.x0, row, rectangle.x1, row + rows};
        const int32_t length = ConvertStrip(source, strip);
        if (length <= 0) return 0;
        row += rows;
        // The next strip's pixels travel in from memory while the compressor works on this one.
        PrefetchRows(source, {rectangle.x0, row, rectangle.x1,
                              std::min(rectangle.y1, row + rows_per_strip)});
        const int32_t size = CompressStrip(length, m_stripOutput.get(), strip);
        if (size > 0) {
            std::memcpy(write, m_stripOutput.get(), static_cast<size_t>(size));
            write += size;
            *next_size++ = size;
            total += size;
        }
    }
    return ClampToInt32(total);
}

int32_t UltraEncoder::EncodeStrip(const uint8_t* source, uint8_t* destination,
                                  const PixelRect& rectangle) {
    if (!m_translation) return 0;
    if (!InsideCapture(rectangle) || source == nullptr || destination == nullptr) return -1;
    const int64_t pixels = int64_t{rectangle.x1 - rectangle.x0} * (rectangle.y1 - rectangle.y0);
    // The translation buffer holds kStripRows full rows: larger pieces are not strips.
    if (pixels * (m_remoteBitsPerPixel / 8) > static_cast<int64_t>(m_translationSize)) return -1;
    const int32_t length = ConvertStrip(source, rectangle);
    if (length <= 0) return -1;
    return CompressStrip(length, destination, rectangle);
}

int32_t UltraEncoder::ConvertStrip(const uint8_t* source, const PixelRect& rectangle) {
    switch (m_remoteBitsPerPixel) {
        case 16:
            return ConvertRows16(source, m_translation.get(), rectangle);
        case 24:
            return ConvertRows24(source, m_translation.get(), rectangle);
        case 32:
            // The same bytes as 24-bit pixels widened with an opaque fourth byte, in one pass.
            return ConvertRowsOpaque32(source, m_translation.get(), rectangle);
        default:
            return 0;
    }
}

int32_t UltraEncoder::CompressStrip(int32_t length, uint8_t* destination,
                                    const PixelRect& rectangle) {
    PutBig16(destination + 0, rectangle.x0);
    PutBig16(destination + 2, rectangle.y0);
    PutBig16(destination + 4, rectangle.x1 - rectangle.x0);
    PutBig16(destination + 6, rectangle.y1 - rectangle.y0);
    PutBig32(destination + 8, m_encodingId);
    int32_t compressed = CompressBlock(m_translation.get(), destination + kStripHeaderSize, length);
    // A strip may not be declared larger than its pixels, and LZO makes noise, grain and video
    // larger. Rather than leave such an area stale on the receiver, its pixels go out with fewer
    // bits per channel, coarser step by step until the stream fits.
    for (int level = 1; compressed > length && length >= kMinCoarseStripBytes &&
                        level <= MaxCoarseLevel(m_remoteBitsPerPixel);
         ++level) {
        CoarsenPixels(m_translation.get(), length, m_remoteBitsPerPixel, level);
        compressed = CompressBlock(m_translation.get(), destination + kStripHeaderSize, length);
    }
    if (compressed <= 0 || compressed > length) return 0;
    PutBig32(destination + 12, static_cast<uint32_t>(compressed));
    return compressed + kStripHeaderSize;
}

int UltraEncoder::MaxCoarseLevel(int32_t bits_per_pixel) {
    return bits_per_pixel == 16 ? 4 : 6;  // 5-6-5 keeps at least 1, 2 and 1 bits
}

void UltraEncoder::CoarsenPixels(uint8_t* pixels, int32_t length, int32_t bits_per_pixel,
                                 int level) {
    // The dropped bits are set to half a step, so that values are rounded, not darkened.
    if (bits_per_pixel == 16) {
        const uint16_t low = static_cast<uint16_t>((1u << level) - 1);
        const uint16_t half = static_cast<uint16_t>(1u << (level - 1));
        const uint16_t keep = static_cast<uint16_t>(~(low << 11 | low << 5 | low));
        const uint16_t mid = static_cast<uint16_t>(half << 11 | half << 5 | half);
        for (int32_t i = 0; i + 1 < length; i += 2) {
            uint16_t v = static_cast<uint16_t>(pixels[i] | pixels[i + 1] << 8);
            v = static_cast<uint16_t>((v & keep) | mid);
            pixels[i] = static_cast<uint8_t>(v);
            pixels[i + 1] = static_cast<uint8_t>(v >> 8);
        }
        return;
    }
    const uint8_t keep = static_cast<uint8_t>(0xFF << level);
    const uint8_t mid = static_cast<uint8_t>(1u << (level - 1));
    const int32_t step = bits_per_pixel / 8;
    for (int32_t i = 0; i + 2 < length; i += step) {
        pixels[i] = static_cast<uint8_t>((pixels[i] & keep) | mid);          // blue, green, red; a
        pixels[i + 1] = static_cast<uint8_t>((pixels[i + 1] & keep) | mid);  // fourth byte
        pixels[i + 2] = static_cast<uint8_t>((pixels[i + 2] & keep) | mid);  // stays opaque
    }
}

int32_t UltraEncoder::CompressBlock(const uint8_t* input, uint8_t* output, int32_t length) {
    if (length < 0 || input == nullptr || output == nullptr || !CompressorReady()) return 0;
    lzo_uint out_length = 0;
    int result = lzo1x_1_compress(input, static_cast<lzo_uint>(length), output, &out_length,
                                  m_workMemory.get());
    if (result != LZO_E_OK) return 0;
    m_lastCompressedLength = static_cast<int32_t>(out_length);
    return m_lastCompressedLength;
}

bool UltraEncoder::CompressorReady() {
    if (m_compressorReady) return true;
    if (!m_workMemory) m_workMemory = AllocateZeroed<uint64_t>(kWorkMemoryWords);
    m_compressorReady = m_workMemory && lzo_init() == LZO_E_OK;
    return m_compressorReady;
}

void UltraEncoder::FreeBuffers() {
    m_translation.reset();
    m_translationSize = 0;
    m_stripOutput.reset();
    m_stripOutputSize = 0;
}

}  // namespace tarrowlink
