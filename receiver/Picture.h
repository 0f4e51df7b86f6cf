// The receiver's picture: the presenter's capture surface as decoded so far, plus the cursor
// that is drawn on top of it when the picture is shown or saved. Owned and used by one thread.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "receiver/CaptureGeometry.h"

namespace receiver {

// Side of the square cursor image in pixels.
constexpr int kCursorSide = 32;
// Bytes of one cursor mask: 32 rows of 4 bytes, top row first, leftmost pixel in the top bit.
constexpr int kCursorMaskBytes = kCursorSide * kCursorSide / 8;

// The last cursor shape and placement that a presenter sent.
struct CursorShape {
    bool colour = false;
    int x = 0;       // capture-surface column of the image's left edge (may be negative)
    int top = 0;     // capture-surface row, counted from the top, of the image's top edge
    int width = 0;   // visible columns of the image (1..32)
    int height = 0;  // visible rows of the image (1..32)
    std::array<uint8_t, kCursorMaskBytes> and_mask{};
    std::array<uint8_t, kCursorMaskBytes> xor_mask{};                 // monochrome cursors only
    std::array<uint32_t, kCursorSide * kCursorSide> colour_pixels{};  // 0x00RRGGBB, top row first

    // A 1 x 1 placement is how a presenter reports a hidden cursor.
    bool Hidden() const { return width <= 1 && height <= 1; }
};

// An image ready to be shown or saved: rows top first, pixels 0xFFRRGGBB.
struct ComposedImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

class Picture {
  public:
    // Starts with a black surface of the given geometry and no cursor.
    explicit Picture(const CaptureGeometry& geometry);

    // Replaces the geometry: the surface becomes black and the cursor is forgotten.
    void Reset(const CaptureGeometry& geometry);
    const CaptureGeometry& Geometry() const { return geometry_; }

    // Writes decoded strip pixels: height rows of width pixels at the geometry's depth, the first
    // row being row y counted from the bottom. The caller has checked the rectangle against the
    // geometry and that raw holds width x height x bytes-per-pixel bytes.
    void WriteStrip(int x, int y, int width, int height, const uint8_t* raw);

    // Replaces the cursor shown on top of the surface.
    void SetCursor(const CursorShape& cursor);
    bool HasCursor() const { return has_cursor_; }
    const CursorShape& Cursor() const { return cursor_; }

    // Surface pixel at (column, row from the top), 0xFFRRGGBB, without the cursor.
    uint32_t PixelAt(int x, int row) const {
        return pixels_[static_cast<size_t>(row) * geometry_.capture_width + x];
    }

    // The visible part with the cursor drawn on top.
    ComposedImage Compose() const;

    // Increases with every change; lets viewers skip unchanged pictures.
    uint64_t Version() const { return version_; }

  private:
    CaptureGeometry geometry_;
    std::vector<uint32_t> pixels_;  // capture surface, rows top first, 0xFFRRGGBB
    CursorShape cursor_;
    bool has_cursor_ = false;
    uint64_t version_ = 0;
};

}  // namespace receiver
