// The frame encoder: cuts a changed rectangle of the capture into strips of at most 16 capture
// rows' worth of pixels, converts each strip to the receiver's depth and compresses it with LZO1X-1
// behind a 16-byte header. Each strip decodes on its own at the receiver.
//
// Strip layout (one data-connection chunk):
//   0  x (2 bytes)       2  y (2)       4  width (2)       6  height (2)     all big-endian
//   8  encoding identifier (4, always 0)
//   12 compressed length (4, big-endian)   16  LZO1X-1 stream of height rows of width wire pixels
// The first row of a strip is its lowest screen row; a rectangle's strips go bottom to top.
// A strip's stream is never longer than its pixels: pixels LZO cannot shrink are sent changed a
// little instead of not at all. Grain goes out with a few bits fewer per channel (see
// MaxLightLevel); noise and video go out exact but for a short repeated lead at the strip's start
// (see RepeatLead). Such
// areas tend to stay that way, from strip to strip and from pass to pass, so the encoder
// remembers what each band of kStripRows capture rows needed and starts from there for the next
// strip (see CompressStrip).
//
// One encoder serves one thread (the session's sending thread); nothing here is locked. Buffers
// are made by Configure and reused: nothing is allocated per strip or per rectangle.
#pragma once

#include <cstdint>
#include <memory>

#include "client/capture/EncoderBase.h"
#include "client/capture/PixelFormat.h"

namespace tarrowlink {

class UltraEncoder : public EncoderBase {
  public:
    static constexpr int32_t kStripHeaderSize = 16;
    // A strip holds at most this many full capture rows' worth of pixels.
    static constexpr int32_t kStripRows = 16;
    // Largest capture width or height Configure accepts (strip headers carry 16-bit values).
    static constexpr int32_t kMaxCaptureSide = 16384;

    UltraEncoder();
    ~UltraEncoder() override;

    // The base bound r (raw size at the wire depth + 12) plus r / 64 + 35.
    int32_t MaxEncodedSize(int32_t width, int32_t height) override;

    // Set-up for a capture of width x height pixels sent at bits_per_pixel, which must be 16, 24
    // or 32: frees the old buffers, makes the strip buffers and resets the geometry and formats
    // (SetSourceFormat and SetWireFormat come next). Returns 1; 0 with one debug line for another
    // depth, a size outside 1..kMaxCaptureSide or a failed allocation; the encoder then has no
    // strip buffers and every strip encodes to nothing. Sending thread, at each projection start.
    virtual int32_t Configure(int32_t width, int32_t height, int32_t bits_per_pixel);

    // "Ultra".
    virtual const char* GetName();

    // Encodes the rectangle of source (a capture buffer of Width() x Height() 32-bit pixels, rows
    // bottom-up) as strips written back to back to destination, and the byte size of each strip
    // written to sizes[0], sizes[1], ... A strip whose pixels do not shrink under compression
    // is sent with a light coarsening (CoarsenPixels up to MaxLightLevel) or a repeated lead
    // (RepeatLead) or, when neither fits, with coarser colours until it does; one that still does
    // not (only tiny ones) is left out and takes no entry. Returns the bytes written (0 when
    // nothing was: empty rectangle, one not inside the capture, or every strip left out).
    // destination must hold MaxPayloadSize() bytes and sizes MaxStripCount() entries. A rectangle
    // with such strips gives one debug line saying how many, how coarse and how many with a lead.
    // Sending thread.
    virtual int32_t EncodeRectangle(const uint8_t* source, uint8_t* destination, int32_t* sizes,
                                    const PixelRect& rectangle);
    // As above, with the rectangle's pixels wherever source says (memory the capture lent for
    // this pass, say), which must cover the rectangle.
    int32_t EncodeRectangle(const PixelSource& source, uint8_t* destination, int32_t* sizes,
                            const PixelRect& rectangle);

    // LZO1X-1 of length bytes of input into output, which must hold length + length / 16 + 67
    // bytes. Returns the compressed length (it may exceed length); 0 when the compressor cannot
    // be made ready. Usable without Configure. The calling thread must own this encoder.
    virtual int32_t CompressBlock(const uint8_t* input, uint8_t* output, int32_t length);

    // Encodes one strip (header and compressed pixels) into destination, which must hold
    // StripBufferSize() bytes. Returns the strip's size in bytes; 0 when it is left out (no strip
    // buffers, or not even its coarsest colours shrink); -1 when the rectangle is not a strip of
    // this capture (empty, outside it, or more pixels than kStripRows full rows). Coarsens as
    // EncodeRectangle does, without the debug line.
    virtual int32_t EncodeStrip(const uint8_t* source, uint8_t* destination,
                                const PixelRect& rectangle);

    // The number of strips EncodeRectangle cuts the rectangle into; 0 when it is empty.
    int32_t CountStrips(int32_t x0, int32_t y0, int32_t x1, int32_t y1) const;

    // Rows per strip for a rectangle w pixels wide: max(16 x Width(), 2 x w) / w.
    int32_t RowsPerStrip(int32_t w) const;

    // Copy the format record of the capture (width and height are not needed) and of the
    // receiver. Both return 1. Sending thread.
    int32_t SetSourceFormat(const PixelFormat& format, int32_t width, int32_t height);
    int32_t SetWireFormat(const PixelFormat& format);

    // Buffer sizes for callers, valid after Configure: the most strips any rectangle inside the
    // capture gives, the most bytes EncodeRectangle writes for one (every strip raw plus its
    // header), and the room EncodeStrip needs (header plus LZO1X-1's worst case for a full strip).
    int32_t MaxStripCount() const;
    int32_t MaxPayloadSize() const;
    int32_t StripBufferSize() const { return static_cast<int32_t>(m_stripOutputSize); }

    int32_t RemoteBitsPerPixel() const { return m_remoteBitsPerPixel; }
    int32_t LastCompressedLength() const { return m_lastCompressedLength; }

    // Copies the whole pixels among length bytes of converted pixels at bits_per_pixel (16, 24 or
    // 32) from pixels to out with the low `level` bits (1 to MaxCoarseLevel) of every colour
    // channel replaced by half a step; the fourth byte of 32-bit pixels is copied as it is. The
    // result does not depend on any earlier coarsening, so every level can start from the exact
    // pixels. out may be pixels.
    static void CoarsenPixels(const uint8_t* pixels, uint8_t* out, int32_t length,
                              int32_t bits_per_pixel, int level);
    // The coarsest level tried for a depth.
    static int MaxCoarseLevel(int32_t bits_per_pixel);
    // The coarsest level that still looks like the picture: 2 at 16 bits (3, 4 and 3 bits left),
    // 3 at 24 and 32 (5 bits a channel, as many as 16-bit red and blue have). A strip that needs
    // a coarser one goes out with a repeated lead instead.
    static int MaxLightLevel(int32_t bits_per_pixel);

    // Rewrites the first lead groups of length bytes of converted pixels at bits_per_pixel in
    // place: each group is LeadFreshBytes() bytes left exact followed by the same bytes twice
    // (every repetition stays within a few pixels of its original, so the lead follows the
    // picture). LZO1X-1 probes every byte at the start of its input and again after each match,
    // so it finds every group's repetition; after the last group it skips through exact noise.
    // Groups that would not fit whole are left out. Returns the bytes the lead covers: groups x 3
    // x LeadFreshBytes(), or less for a short strip.
    static int32_t RepeatLead(uint8_t* pixels, int32_t length, int32_t bits_per_pixel,
                              int32_t groups);
    // The exact bytes that start each lead group: the whole pixels in 16 bytes (16, 15 or 16).
    static int32_t LeadFreshBytes(int32_t bits_per_pixel);
    // The fewest lead groups whose repetitions save `saving` bytes of LZO1X-1's output for a
    // strip of length bytes, the shorter literal run after them included; at least 1.
    static int32_t LeadGroupsFor(int32_t saving, int32_t length, int32_t bits_per_pixel);
    // What LZO1X-1 adds to length (> 238) bytes in which it finds no match: the literal run's
    // length bytes (2, and one more per 255 bytes past 18) and the 3-byte end marker.
    static constexpr int32_t LiteralOverhead(int32_t length) { return 5 + (length - 19) / 255; }
    // Strips smaller than this cannot fit whatever their pixels: they are not coarsened.
    static constexpr int32_t kMinCoarseStripBytes = 64;

    // LZO1X-1's documented worst case for length input bytes.
    static constexpr size_t CompressBound(size_t length) { return length + length / 16 + 64 + 3; }

  private:
    // Converts the strip's rows for the wire depth into the translation buffer; the length.
    int32_t ConvertStrip(const PixelSource& source, const PixelRect& rectangle);
    // Writes the strip header and compresses the length converted bytes behind it, changed when
    // they do not shrink as they are; area_level is what the strip's area needed last (0: none,
    // a level, or kLeadMark), where the search begins (see the .cpp file). The strip's size, or 0
    // when nothing fitted. Sets m_lastCoarseLevel and this band's level.
    int32_t CompressStrip(int32_t length, uint8_t* destination, const PixelRect& rectangle,
                          int area_level);
    // Compresses the translation buffer coarsened at levels first, first + 1, ... last into
    // stream until one fits; when first fits at once, finer ones down to finest are tried while
    // they may fit. The level whose stream is left in stream, with its length in *compressed; -1
    // when none fits (*compressed then holds the last try's length).
    int SearchLevels(int32_t length, uint8_t* stream, int first, int last, int finest,
                     int32_t* compressed);
    // Compresses the translation buffer with a lead that saves overshoot bytes into stream (the
    // buffer itself is left exact). True when it fits; *compressed holds the last try's length.
    bool RepeatLeadFits(int32_t length, uint8_t* stream, int32_t overshoot, int32_t* compressed);
    // Where a strip starting at capture row y had to go last time (0: exact).
    int BandLevel(int32_t y) const;
    void SetBandLevel(int32_t y, int level);
    // Initialises LZO and makes the work memory on first use. False when either fails.
    bool CompressorReady();
    void FreeBuffers();

    int32_t m_remoteBitsPerPixel = 0;
    std::unique_ptr<uint8_t[]> m_translation;  // one strip of converted pixels
    size_t m_translationSize = 0;
    std::unique_ptr<uint8_t[]> m_stripOutput;  // one encoded strip: header + compressed bytes
    size_t m_stripOutputSize = 0;
    // The translation buffer's pixels coarsened, or the exact bytes under a lead while it is tried.
    std::unique_ptr<uint8_t[]> m_coarse;
    // A finer level tried after one that fits is compressed here, so that a try that does not
    // fit leaves the fitting stream where it is.
    std::unique_ptr<uint8_t[]> m_probeOutput;
    // The last level of the strips starting in each band of kStripRows capture rows.
    std::unique_ptr<uint8_t[]> m_bandLevels;
    int32_t m_bandCount = 0;
    // LZO1X-1 work memory, one per encoder, so that encoders on different threads never share it.
    std::unique_ptr<uint64_t[]> m_workMemory;
    bool m_compressorReady = false;
    int32_t m_lastCompressedLength = 0;
    // What a strip with a repeated lead counts as, in m_lastCoarseLevel and the band levels:
    // beyond every CoarsenPixels level.
    static constexpr int kLeadMark = 7;
    // How the last strip went out: 0 exact, its CoarsenPixels level, kLeadMark; -1 left out.
    int m_lastCoarseLevel = 0;
    uint32_t m_encodingId = 0;
};

}  // namespace tarrowlink
