// Framing of the data connection: a plain sequence of units, each starting with x, y, width,
// height (big-endian 16-bit) and a big-endian 32-bit kind. Free of I/O: takes the bytes received so
// far and answers "need more", "one unit of N bytes" or "error", checking every header against the
// capture geometry before a caller buffers or decodes anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "receiver/CaptureGeometry.h"

namespace receiver {

enum UnitKind : uint32_t {
    kUnitStrip = 0,
    kUnitMonoCursor = 101,
    kUnitColourCursor = 102,
};

constexpr size_t kUnitPrefixSize = 12;         // x, y, width, height, kind
constexpr size_t kStripHeaderSize = 16;        // + 32-bit compressed length
constexpr size_t kCursorHeaderSize = 18;       // + cut left, cut top, 16-bit compressed length
constexpr size_t kMonoCursorUnitSize = 274;    // header + AND and XOR masks
constexpr size_t kColourCursorRawSize = 2176;  // AND mask + 32 x 32 pixels at 5-6-5
// Most compressed bytes a colour cursor may carry: the room presenters reserve for them.
constexpr size_t kMaxColourCursorData = 4226;

// The header fields of one unit. Cursor fields are zero for strips and the other way round.
struct UnitHeader {
    int x = 0;  // strips: left column; cursors: image left edge (signed)
    int y = 0;  // rows from the bottom of the capture surface (cursors: signed)
    int width = 0;
    int height = 0;
    uint32_t kind = 0;
    uint32_t compressed_length = 0;  // strips and colour cursors
    int cut_left = 0;                // cursors
    int cut_top = 0;
    size_t header_size = 0;  // bytes before the unit's data
    size_t unit_size = 0;    // header and data
};

struct ParseResult {
    enum Status { kNeedMore, kUnit, kError };
    Status status = kNeedMore;
    // kNeedMore: total bytes the unit needs (kUnitPrefixSize or a header size until the header is
    // complete); kUnit: the unit's size, the bytes to consume.
    size_t size = 0;
    std::string error;  // kError: what is wrong, one line without a line feed
};

// Looks at the start of the received bytes. The header must lie within geometry: a strip's
// rectangle inside the capture surface with a non-zero size and a compressed length from 1 to its
// raw size; a cursor 1..32 pixels square at most and not wholly outside the surface; a colour
// cursor's data from 1 to kMaxColourCursorData bytes. Any thread; no allocation.
ParseResult ParseUnit(const uint8_t* data, size_t size, const CaptureGeometry& geometry,
                      UnitHeader* header);

// Raw (decompressed) size of a strip with this header at the geometry's depth.
size_t StripRawSize(const UnitHeader& header, const CaptureGeometry& geometry);

}  // namespace receiver
