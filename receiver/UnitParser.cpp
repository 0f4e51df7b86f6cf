#include "receiver/UnitParser.h"

namespace receiver {
namespace {

uint16_t Be16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

uint32_t Be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

ParseResult Error(std::string text) {
    ParseResult result;
    result.status = ParseResult::kError;
    result.error = std::move(text);
    return result;
}

ParseResult NeedMore(size_t size) {
    ParseResult result;
    result.size = size;
    return result;
}

std::string PictureText(const CaptureGeometry& geometry) {
    return std::to_string(geometry.capture_width) + "x" + std::to_string(geometry.capture_height);
}

ParseResult ParseStrip(const uint8_t* data, size_t size, const CaptureGeometry& geometry,
                       UnitHeader* header) {
    if (size < kStripHeaderSize) return NeedMore(kStripHeaderSize);
    header->x = Be16(data);
    header->y = Be16(data + 2);
    header->width = Be16(data + 4);
    header->height = Be16(data + 6);
    header->compressed_length = Be32(data + 12);
    header->header_size = kStripHeaderSize;
    std::string where = "strip " + std::to_string(header->width) + "x" +
                        std::to_string(header->height) + " at " + std::to_string(header->x) + "," +
                        std::to_string(header->y);
    if (header->width == 0 || header->height == 0) return Error(where + " is empty");
    if (header->x + header->width > geometry.capture_width ||
        header->y + header->height > geometry.capture_height) {
        return Error(where + " lies outside the " + PictureText(geometry) + " picture");
    }
    size_t raw = StripRawSize(*header, geometry);
    if (header->compressed_length == 0 || header->compressed_length > raw) {
        return Error(where + " declares " + std::to_string(header->compressed_length) +
                     " compressed bytes for " + std::to_string(raw) + " raw bytes");
    }
    header->unit_size = kStripHeaderSize + header->compressed_length;
    if (size < header->unit_size) return NeedMore(header->unit_size);
    ParseResult result;
    result.status = ParseResult::kUnit;
    result.size = header->unit_size;
    return result;
}

ParseResult ParseCursor(const uint8_t* data, size_t size, const CaptureGeometry& geometry,
                        UnitHeader* header) {
    if (size < kCursorHeaderSize) return NeedMore(kCursorHeaderSize);
    header->x = static_cast<int16_t>(Be16(data));
    header->y = static_cast<int16_t>(Be16(data + 2));
    header->width = Be16(data + 4);
    header->height = Be16(data + 6);
    header->cut_left = Be16(data + 12);
    header->cut_top = Be16(data + 14);
    header->header_size = kCursorHeaderSize;
    bool colour = header->kind == kUnitColourCursor;
    std::string where = std::string(colour ? "colour" : "monochrome") + " cursor " +
                        std::to_string(header->width) + "x" + std::to_string(header->height) +
                        " at " + std::to_string(header->x) + "," + std::to_string(header->y);
    if (header->width < 1 || header->width > 32 || header->height < 1 || header->height > 32) {
        return Error(where + " is not 1 to 32 pixels wide and high");
    }
    // Top row of the image counted from the top of the surface.
    int top = geometry.capture_height - header->y - header->height;
    if (header->x <= -32 || header->x >= geometry.capture_width || top <= -32 ||
        top >= geometry.capture_height) {
        return Error(where + " lies outside the " + PictureText(geometry) + " picture");
    }
    if (colour) {
        header->compressed_length = Be16(data + 16);
        if (header->compressed_length == 0 || header->compressed_length > kMaxColourCursorData) {
            return Error(where + " declares " + std::to_string(header->compressed_length) +
                         " compressed bytes (at most " + std::to_string(kMaxColourCursorData) +
                         ")");
        }
        header->unit_size = kCursorHeaderSize + header->compressed_length;
    } else {
        header->unit_size = kMonoCursorUnitSize;
    }
    if (size < header->unit_size) return NeedMore(header->unit_size);
    ParseResult result;
    result.status = ParseResult::kUnit;
    result.size = header->unit_size;
    return result;
}

}  // namespace

size_t StripRawSize(const UnitHeader& header, const CaptureGeometry& geometry) {
    return static_cast<size_t>(header.width) * header.height * geometry.BytesPerPixel();
}

ParseResult ParseUnit(const uint8_t* data, size_t size, const CaptureGeometry& geometry,
                      UnitHeader* header) {
    *header = UnitHeader{};
    if (size < kUnitPrefixSize) return NeedMore(kUnitPrefixSize);
    header->kind = Be32(data + 8);
    switch (header->kind) {
        case kUnitStrip:
            return ParseStrip(data, size, geometry, header);
        case kUnitMonoCursor:
        case kUnitColourCursor:
            return ParseCursor(data, size, geometry, header);
        default:
            return Error("unknown unit kind " + std::to_string(header->kind));
    }
}

}  // namespace receiver
