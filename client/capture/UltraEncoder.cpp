#include "client/capture/UltraEncoder.h"

#include <lzo/lzo1x.h>

#include <algorithm>
#include <cstdio>
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

bool Fits(int32_t compressed, int32_t length) {
    return compressed > 0 && compressed <= length;
}

// Each coarser level drops one more bit of every channel, and on noisy pictures LZO1X-1's output
// then shrinks to between 0.55 and 0.8 of what it was. So a level that fits is worth a try one
// finer only when it came out at most 70 % of the raw size; above that the finer level would
// almost never fit, and the try would be a pass over pixels that do compress (the slow kind).
bool FinerMayFit(int32_t compressed, int32_t length) {
    return int64_t{compressed} * 10 <= int64_t{length} * 7;
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
        m_coarse = AllocateZeroed<uint8_t>(strip_bytes);
        m_probeOutput = AllocateZeroed<uint8_t>(CompressBound(strip_bytes));
        m_bandCount = (height + kStripRows - 1) / kStripRows;
        m_bandLevels = AllocateZeroed<uint8_t>(static_cast<size_t>(m_bandCount));
    }
    if (!m_translation || !m_stripOutput || !m_coarse || !m_probeOutput || !m_bandLevels) {
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
    return EncodeRectangle(WholeBuffer(source), destination, sizes, rectangle);
}

int32_t UltraEncoder::EncodeRectangle(const PixelSource& source, uint8_t* destination,
                                      int32_t* sizes, const PixelRect& rectangle) {
    if (rectangle.x1 - int64_t{rectangle.x0} <= 0 || rectangle.y1 - int64_t{rectangle.y0} <= 0) {
        return 0;
    }
    if (!InsideCapture(rectangle)) {
        platform::DebugFormat("Ultra encoder: rectangle %d,%d-%d,%d is outside the %dx%d capture\n",
                              rectangle.x0, rectangle.y0, rectangle.x1, rectangle.y1, m_width,
                              m_height);
        return 0;
    }
    if (!m_stripOutput || source.at == nullptr || destination == nullptr || sizes == nullptr) {
        return 0;
    }
    const int32_t rows_per_strip = RowsPerStrip(rectangle.x1 - rectangle.x0);
    int64_t total = 0;
    uint8_t* write = destination;
    int32_t* next_size = sizes;
    // The level the strip below this one went out at (the coarsest when it was left out): the
    // best guess for this one, better than what this band needed in an earlier pass. 0 once a
    // strip fits as it is.
    int below = 0;
    int strips = 0, coarsened = 0, finest = 0, coarsest = 0, leads = 0;
    for (int32_t row = rectangle.y0; row < rectangle.y1; ++strips) {
        const int32_t rows = std::min(rows_per_strip, rectangle.y1 - row);
        const PixelRect strip{rectangle.x0, row, rectangle.x1, row + rows};
        const int32_t length = ConvertStrip(source, strip);
        if (length <= 0) return 0;
        row += rows;
        // The next strip's pixels travel in from memory while the compressor works on this one.
        PrefetchRows(source, {rectangle.x0, row, rectangle.x1,
                              std::min(rectangle.y1, row + rows_per_strip)});
        const int32_t size = CompressStrip(length, m_stripOutput.get(), strip,
                                           below > 0 ? below : BandLevel(strip.y0));
        below = BandLevel(strip.y0);
        if (m_lastCoarseLevel == kLeadMark) {
            ++leads;
        } else if (m_lastCoarseLevel > 0) {
            finest = coarsened++ == 0 ? m_lastCoarseLevel : std::min(finest, m_lastCoarseLevel);
            coarsest = std::max(coarsest, m_lastCoarseLevel);
        }
        if (size > 0) {
            std::memcpy(write, m_stripOutput.get(), static_cast<size_t>(size));
            write += size;
            *next_size++ = size;
            total += size;
        }
    }
    // One line a rectangle, not one a strip: a video area is coarsened on every pass.
    if (coarsened == 0 && leads == 0) return ClampToInt32(total);
    char levels[64] = "";
    if (coarsened > 0 && finest == coarsest) {
        std::snprintf(levels, sizeof levels, "coarser (level %d, %d of %d strips)", coarsest,
                      coarsened, strips);
    } else if (coarsened > 0) {
        std::snprintf(levels, sizeof levels, "coarser (levels %d to %d, %d of %d strips)", finest,
                      coarsest, coarsened, strips);
    }
    if (leads == 0) {
        platform::DebugFormat("Ultra encoder: rectangle %d,%d-%d,%d sent %s\n", rectangle.x0,
                              rectangle.y0, rectangle.x1, rectangle.y1, levels);
    } else {
        platform::DebugFormat(
            "Ultra encoder: rectangle %d,%d-%d,%d sent %s%swith a repeated lead (%d of %d "
            "strips)\n",
            rectangle.x0, rectangle.y0, rectangle.x1, rectangle.y1, levels,
            coarsened > 0 ? " and " : "", leads, strips);
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
    const int32_t length = ConvertStrip(WholeBuffer(source), rectangle);
    if (length <= 0) return -1;
    return CompressStrip(length, destination, rectangle, BandLevel(rectangle.y0));
}

int32_t UltraEncoder::ConvertStrip(const PixelSource& source, const PixelRect& rectangle) {
    return ConvertRowsTo(m_remoteBitsPerPixel, source, m_translation.get(), rectangle);
}

int32_t UltraEncoder::CompressStrip(int32_t length, uint8_t* destination,
                                    const PixelRect& rectangle, int area_level) {
    PutBig16(destination + 0, rectangle.x0);
    PutBig16(destination + 2, rectangle.y0);
    PutBig16(destination + 4, rectangle.x1 - rectangle.x0);
    PutBig16(destination + 6, rectangle.y1 - rectangle.y0);
    PutBig32(destination + 8, m_encodingId);
    uint8_t* stream = destination + kStripHeaderSize;
    int32_t compressed = CompressBlock(m_translation.get(), stream, length);
    int level = 0;
    // A strip may not be declared larger than its pixels, and LZO makes noise, grain and video
    // larger. Rather than leave such an area stale on the receiver, its pixels go out changed as
    // little as a few passes can find. Grain fits after dropping a few bits of every channel,
    // which nobody sees (the light levels); what needs more would look posterised, so it goes out
    // exact but for a repeated lead (see RepeatLead), sized from how much the exact pass
    // overshot. A pass over pixels LZO1X-1 finds no matches in costs little (it skips through
    // them), a pass that finds matches everywhere costs several desktop strips: on noise the light
    // levels fail cheaply and the lead's pass is mostly such skipping. The light levels are
    // searched fine to coarse from one level finer than the area needed last (the strip below,
    // or this band last time): an area that needed the lead or more costs one light pass, which
    // still fits a photograph that replaced a video.
    if (!Fits(compressed, length) && compressed > 0 && length >= kMinCoarseStripBytes) {
        const int32_t overshoot = compressed - length;
        const int light = MaxLightLevel(m_remoteBitsPerPixel);
        level = SearchLevels(length, stream, std::clamp(area_level - 1, 1, light), light, 1,
                             &compressed);
        if (level < 0 && RepeatLeadFits(length, stream, overshoot, &compressed)) level = kLeadMark;
        // Only strips too short for a lead of their own get here, or ones whose lead was undone
        // by matches LZO found in the exact pixels after it.
        const int coarsest = MaxCoarseLevel(m_remoteBitsPerPixel);
        if (level < 0) {
            level = SearchLevels(length, stream, light + 1, coarsest, light + 1, &compressed);
        }
        m_lastCompressedLength = compressed;
        SetBandLevel(rectangle.y0, level < 0 ? coarsest : level);
    } else if (Fits(compressed, length)) {
        SetBandLevel(rectangle.y0, 0);
    }
    m_lastCoarseLevel = Fits(compressed, length) ? level : -1;
    if (m_lastCoarseLevel < 0) return 0;
    PutBig32(destination + 12, static_cast<uint32_t>(compressed));
    return compressed + kStripHeaderSize;
}

int UltraEncoder::SearchLevels(int32_t length, uint8_t* stream, int first, int last, int finest,
                               int32_t* compressed) {
    // The exact pixels stay in the translation buffer: every level starts from them.
    auto compress_at = [&](int at, uint8_t* out) {
        CoarsenPixels(m_translation.get(), m_coarse.get(), length, m_remoteBitsPerPixel, at);
        return CompressBlock(m_coarse.get(), out, length);
    };
    int level = first;
    for (; level <= last; ++level) {
        *compressed = compress_at(level, stream);
        if (Fits(*compressed, length)) break;
    }
    if (level > last) return -1;
    // Only a first level that fit at once may be too coarse (the area got calmer): finer levels
    // are tried while the last fit leaves room for them. A try goes to the spare buffer, so the
    // fitting stream survives a try that fails.
    uint8_t* fitting = stream;
    uint8_t* spare = m_probeOutput.get();
    const bool fit_at_first = level == first;
    while (fit_at_first && level > finest && FinerMayFit(*compressed, length)) {
        const int32_t finer = compress_at(level - 1, spare);
        if (!Fits(finer, length)) break;
        std::swap(fitting, spare);
        *compressed = finer;
        --level;
    }
    if (fitting != stream) std::memcpy(stream, fitting, static_cast<size_t>(*compressed));
    return level;
}

bool UltraEncoder::RepeatLeadFits(int32_t length, uint8_t* stream, int32_t overshoot,
                                  int32_t* compressed) {
    uint8_t* pixels = m_translation.get();
    int32_t groups = LeadGroupsFor(overshoot, length, m_remoteBitsPerPixel);
    // The lead's size comes from the exact pass, whose matches (if any) may land elsewhere once
    // the lead shifts LZO's probes; one more pass with the lead grown by what was still missing
    // settles nearly all of those.
    for (int pass = 0; pass < 2; ++pass) {
        const int32_t extent = groups * 3 * LeadFreshBytes(m_remoteBitsPerPixel);
        // A lead over more than an eighth of the strip would no longer leave it mostly exact.
        if (extent > length / 8) return false;
        // The lead is written over the exact pixels and put back after the pass, which copies
        // only the lead rather than the strip.
        std::memcpy(m_coarse.get(), pixels, static_cast<size_t>(extent));
        RepeatLead(pixels, length, m_remoteBitsPerPixel, groups);
        *compressed = CompressBlock(pixels, stream, length);
        std::memcpy(pixels, m_coarse.get(), static_cast<size_t>(extent));
        if (Fits(*compressed, length)) return true;
        if (*compressed <= 0) return false;
        groups += LeadGroupsFor(*compressed - length, length, m_remoteBitsPerPixel);
    }
    return false;
}

int32_t UltraEncoder::LeadFreshBytes(int32_t bits_per_pixel) {
    const int32_t bytes_per_pixel = bits_per_pixel / 8;
    return 16 / bytes_per_pixel * bytes_per_pixel;
}

int32_t UltraEncoder::LeadGroupsFor(int32_t saving, int32_t length, int32_t bits_per_pixel) {
    // LZO1X-1 codes a group as a literal run of its fresh bytes (one length byte up to 18) and
    // one match of twice as many bytes at their distance (3 bytes up to 33 long), so each group
    // saves 2 x fresh - 4 bytes. The literal run of exact pixels after the lead is shorter than
    // the whole strip's, and its length takes one byte less per 255 bytes crossed.
    const int32_t fresh = LeadFreshBytes(bits_per_pixel);
    auto run_bytes = [](int64_t run) { return run > 18 ? 2 + (run - 19) / 255 : 1; };
    auto saves = [&](int32_t groups) {
        const int64_t lead = int64_t{groups} * 3 * fresh;
        return int64_t{groups} * (2 * fresh - 4) + run_bytes(length) - run_bytes(length - lead);
    };
    int32_t groups = std::max<int32_t>(1, (saving + 2 * fresh - 5) / (2 * fresh - 4));
    while (groups > 1 && saves(groups - 1) >= saving) --groups;
    return groups;
}

int32_t UltraEncoder::RepeatLead(uint8_t* pixels, int32_t length, int32_t bits_per_pixel,
                                 int32_t groups) {
    const int32_t fresh = LeadFreshBytes(bits_per_pixel);
    int32_t at = 0;
    for (int32_t g = 0; g < groups && at + 3 * fresh <= length; ++g, at += 3 * fresh) {
        std::memcpy(pixels + at + fresh, pixels + at, static_cast<size_t>(fresh));
        std::memcpy(pixels + at + 2 * fresh, pixels + at, static_cast<size_t>(fresh));
    }
    return at;
}

int UltraEncoder::BandLevel(int32_t y) const {
    if (m_bandCount <= 0) return 0;
    return m_bandLevels[static_cast<size_t>(std::clamp(y / kStripRows, 0, m_bandCount - 1))];
}

void UltraEncoder::SetBandLevel(int32_t y, int level) {
    if (m_bandCount <= 0) return;
    m_bandLevels[static_cast<size_t>(std::clamp(y / kStripRows, 0, m_bandCount - 1))] =
        static_cast<uint8_t>(level);
}

int UltraEncoder::MaxLightLevel(int32_t bits_per_pixel) {
    return bits_per_pixel == 16 ? 2 : 3;
}

int UltraEncoder::MaxCoarseLevel(int32_t bits_per_pixel) {
    return bits_per_pixel == 16 ? 4 : 6;  // 5-6-5 keeps at least 1, 2 and 1 bits
}

void UltraEncoder::CoarsenPixels(const uint8_t* pixels, uint8_t* out, int32_t length,
                                 int32_t bits_per_pixel, int level) {
    // The dropped bits are set to half a step, so that values are rounded, not darkened. Every
    // layout repeats its byte masks within 8 bytes (5-6-5 every 2, 24-bit every byte, 32-bit
    // every 4), so the pixels are masked a machine word at a time.
    uint8_t keep[8];
    uint8_t mid[8];
    for (int i = 0; i < 8; ++i) {
        if (bits_per_pixel == 16) {
            // Little-endian 5-6-5: the low byte holds blue and the low bits of green.
            const unsigned low = (1u << level) - 1;
            const unsigned half = 1u << (level - 1);
            const unsigned keep16 = ~(low << 11 | low << 5 | low) & 0xFFFF;
            const unsigned mid16 = half << 11 | half << 5 | half;
            keep[i] = static_cast<uint8_t>(i % 2 == 0 ? keep16 : keep16 >> 8);
            mid[i] = static_cast<uint8_t>(i % 2 == 0 ? mid16 : mid16 >> 8);
        } else {
            const bool fourth = bits_per_pixel == 32 && i % 4 == 3;  // stays opaque
            keep[i] = fourth ? 0xFF : static_cast<uint8_t>(0xFF << level);
            mid[i] = fourth ? 0 : static_cast<uint8_t>(1u << (level - 1));
        }
    }
    uint64_t keep_word;
    uint64_t mid_word;
    std::memcpy(&keep_word, keep, sizeof keep_word);
    std::memcpy(&mid_word, mid, sizeof mid_word);
    const int32_t bytes_per_pixel = bits_per_pixel / 8;
    const int32_t whole = length - length % bytes_per_pixel;
    int32_t i = 0;
    for (; i + 8 <= whole; i += 8) {
        uint64_t word;
        std::memcpy(&word, pixels + i, sizeof word);
        word = (word & keep_word) | mid_word;
        std::memcpy(out + i, &word, sizeof word);
    }
    for (; i < whole; ++i) out[i] = static_cast<uint8_t>((pixels[i] & keep[i % 8]) | mid[i % 8]);
    if (out != pixels)
        std::memcpy(out + whole, pixels + whole, static_cast<size_t>(length - whole));
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
    m_coarse.reset();
    m_probeOutput.reset();
    m_bandLevels.reset();
    m_bandCount = 0;
}

}  // namespace tarrowlink
