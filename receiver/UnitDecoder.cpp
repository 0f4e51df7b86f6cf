#include "receiver/UnitDecoder.h"

#include <lzo/lzo1x.h>

#include <cstring>

namespace receiver {
namespace {

CursorShape Placement(const UnitHeader& header, const CaptureGeometry& geometry) {
    CursorShape cursor;
    cursor.x = header.x;
    cursor.top = geometry.capture_height - header.y - header.height;
    cursor.width = header.width;
    cursor.height = header.height;
    return cursor;
}

}  // namespace

std::optional<std::string> UnitDecoder::Decompress(const uint8_t* data, size_t size,
                                                   size_t raw_size) {
    static const bool lzo_ready = lzo_init() == LZO_E_OK;
    if (!lzo_ready) return "cannot be decoded: the LZO library failed to start";
    // The output room is exactly the raw size: a longer stream stops with an overrun.
    if (scratch_.size() < raw_size) scratch_.resize(raw_size);
    lzo_uint written = raw_size;
    int rc = lzo1x_decompress_safe(data, size, scratch_.data(), &written, nullptr);
    if (rc == LZO_E_OK && written == raw_size) return std::nullopt;
    switch (rc) {
        case LZO_E_OK:
            return "decompresses to " + std::to_string(written) + " bytes instead of " +
                   std::to_string(raw_size);
        case LZO_E_OUTPUT_OVERRUN:
            return "decompresses to more than " + std::to_string(raw_size) + " bytes";
        case LZO_E_INPUT_OVERRUN:
            return "has a truncated LZO stream";
        case LZO_E_INPUT_NOT_CONSUMED:
            return "has bytes after the end of its LZO stream";
        default:
            return "has a corrupt LZO stream (error " + std::to_string(rc) + ")";
    }
}

std::optional<std::string> UnitDecoder::Decode(const UnitHeader& header, const uint8_t* unit,
                                               Picture& picture) {
    const CaptureGeometry& geometry = picture.Geometry();
    const uint8_t* data = unit + header.header_size;
    size_t data_size = header.unit_size - header.header_size;
    switch (header.kind) {
        case kUnitStrip: {
            if (auto error = Decompress(data, data_size, StripRawSize(header, geometry))) {
                return "strip " + std::to_string(header.width) + "x" +
                       std::to_string(header.height) + " at " + std::to_string(header.x) + "," +
                       std::to_string(header.y) + " " + *error;
            }
            picture.WriteStrip(header.x, header.y, header.width, header.height, scratch_.data());
            return std::nullopt;
        }
        case kUnitMonoCursor: {
            CursorShape cursor = Placement(header, geometry);
            std::memcpy(cursor.and_mask.data(), data, kCursorMaskBytes);
            std::memcpy(cursor.xor_mask.data(), data + kCursorMaskBytes, kCursorMaskBytes);
            picture.SetCursor(cursor);
            return std::nullopt;
        }
        case kUnitColourCursor: {
            if (auto error = Decompress(data, data_size, kColourCursorRawSize)) {
                return "colour cursor " + *error;
            }
            CursorShape cursor = Placement(header, geometry);
            cursor.colour = true;
            std::memcpy(cursor.and_mask.data(), scratch_.data(), kCursorMaskBytes);
            const uint8_t* pixels = scratch_.data() + kCursorMaskBytes;
            for (int i = 0; i < kCursorSide * kCursorSide; ++i) {
                uint32_t v = static_cast<uint32_t>(pixels[2 * i]) |
                             static_cast<uint32_t>(pixels[2 * i + 1]) << 8;
                uint32_t r = (v >> 11) & 0x1F, g = (v >> 5) & 0x3F, b = v & 0x1F;
                cursor.colour_pixels[i] = ((r << 3) | (r >> 2)) << 16 | ((g << 2) | (g >> 4)) << 8 |
                                          ((b << 3) | (b >> 2));
            }
            picture.SetCursor(cursor);
            return std::nullopt;
        }
        default:
            return "unknown unit kind " + std::to_string(header.kind);
    }
}

}  // namespace receiver
