// The base of the frame encoders: the capture geometry, the two pixel format records and the row
// converters that turn a rectangle of the capture buffer into rows of wire pixels.
#pragma once

#include <cstddef>
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

// Where the 32-bit pixels of a rectangle of the capture lie: pixel (x, y) of the capture, for the
// rows and columns of the rectangle the source was made for, is at `at` + (y - y0) x stride +
// (x - x0) x 4. A whole capture buffer is {buffer, Width() x 4, 0, 0}; memory lent by the capture
// may run the other way (a negative stride: the screen's rows go downwards). Borrowed, never owned.
struct PixelSource {
    const uint8_t* at = nullptr;  // pixel (x0, y0)
    ptrdiff_t stride = 0;         // bytes from row y to row y + 1
    int32_t x0 = 0;
    int32_t y0 = 0;

    const uint8_t* Pixel(int32_t x, int32_t y) const {
        return at + static_cast<ptrdiff_t>(y - y0) * stride + static_cast<ptrdiff_t>(x - x0) * 4;
    }
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
    // The whole capture buffer as a source (null stays null).
    PixelSource WholeBuffer(const uint8_t* buffer) const {
        return {buffer, static_cast<ptrdiff_t>(m_width) * 4, 0, 0};
    }

    // Asks the CPU to start loading the rectangle's rows of source into its outer caches (not the
    // innermost one, which the compressor is using), so that a later conversion finds them there.
    // No effect on any result; an empty rectangle does nothing.
    void PrefetchRows(const PixelSource& source, const PixelRect& rectangle) const;

    using RowConverter = void (*)(uint8_t* destination, const uint8_t* source, int count);
    // As ConvertRows16, with convert making bytes_per_pixel bytes of each pixel, from source
    // (which must cover the rectangle).
    int32_t ConvertRows(RowConverter convert, int32_t bytes_per_pixel, const PixelSource& source,
                        uint8_t* destination, const PixelRect& rectangle) const;
    // The rectangle's rows of source in the wire format of bits_per_pixel (16: 5-6-5, 24, 32
    // opaque), as ConvertRows16 and its siblings write them; 0 for another depth.
    int32_t ConvertRowsTo(int32_t bits_per_pixel, const PixelSource& source, uint8_t* destination,
                          const PixelRect& rectangle) const;

    PixelFormat m_sourceFormat;
    PixelFormat m_wireFormat;
    int32_t m_width = 0;
    int32_t m_height = 0;
};

}  // namespace tarrowlink
