// The base of the frame encoders: the capture geometry, the two pixel format records and the row
// converters that turn a rectangle of the capture buffer into rows of wire pixels.
#pragma once

#include <cstdint>

#include "client/capture/PixelFormat.h"

namespace tarrowlink {

// A rectangle of the capture buffer in pixels: x1 and y1 are exclusive, and y counts rows as they
// lie in memory, row 0 first (for the bottom-up capture surface, row 0 is the screen's bottom row).
struct PixelRect {
    int32_t x0 = 0;
    int32_t y0 = 0;
    int32_t x1 = 0;
    int32_t y1 = 0;
};

class EncoderBase {
  public:
    EncoderBase() = default;
    EncoderBase(const EncoderBase&) = delete;
    EncoderBase& operator=(const EncoderBase&) = delete;
    virtual ~EncoderBase();

    // Stores the capture size in pixels (the width is also the row stride of the capture buffer)
    // and zeroes both format records. Sending thread.
    virtual void Reset(int32_t width, int32_t height);

    // Bytes enough for a width x height pixel area at the wire format's depth: the raw size + 12.
    virtual int32_t MaxEncodedSize(int32_t width, int32_t height);

    // Converts the rectangle's rows of source (the caller's capture buffer, 32-bit pixels, width
    // pixels per row) to 5-6-5 and writes them to destination back to back, row y0 first. Returns
    // the bytes written ((x1 - x0) x rows x 2); 0 for an empty rectangle or one that is not inside
    // the capture, which writes nothing. Sending thread; destination must hold the result's bytes.
    virtual int32_t ConvertRows16(const uint8_t* source, uint8_t* destination,
                                  const PixelRect& rectangle);

    // Kept in the interface for encoders that need a further conversion; always 0 here.
    virtual int32_t Reserved();

    // As ConvertRows16, to packed 24-bit pixels (blue, green, red): (x1 - x0) x rows x 3 bytes.
    virtual int32_t ConvertRows24(const uint8_t* source, uint8_t* destination,
                                  const PixelRect& rectangle);

    // As ConvertRows16, to 32-bit pixels whose fourth byte is 0xFF: (x1 - x0) x rows x 4 bytes.
    int32_t ConvertRowsOpaque32(const uint8_t* source, uint8_t* destination,
                                const PixelRect& rectangle) const;

    // True when the rectangle is non-empty and lies inside the capture size.
    bool InsideCapture(const PixelRect& rectangle) const;

    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    const PixelFormat& SourceFormat() const { return m_sourceFormat; }
    const PixelFormat& WireFormat() const { return m_wireFormat; }

  protected:
    // Asks the CPU to start loading the rectangle's rows of source into its outer caches (not the
    // innermost one, which the compressor is using), so that a later conversion finds them there.
    // No effect on any result; an empty rectangle does nothing.
    void PrefetchRows(const uint8_t* source, const PixelRect& rectangle) const;

    using RowConverter = void (*)(uint8_t* destination, const uint8_t* source, int count);
    int32_t ConvertRows(RowConverter convert, int32_t bytes_per_pixel, const uint8_t* source,
                        uint8_t* destination, const PixelRect& rectangle) const;

    PixelFormat m_sourceFormat;
    PixelFormat m_wireFormat;
    int32_t m_width = 0;
    int32_t m_height = 0;
};

}  // namespace tarrowlink
