// Drops false damage: areas the X server reports as drawn whose pixels did not change (a window
// repainting the same picture, or the bounding box the server damages for one request that draws
// many small shapes). It keeps the last pixels it saw of every 32 x 32 tile, reads the damaged
// tiles again and passes on only the damage in tiles that changed.
//
// A tile it reported on one pass is reported again the next time it is damaged, without
// comparing: the client may have captured it later than the refiner read it, so only a second
// look proves the receiver holds what the refiner remembers.
#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "mirror/BoxReducer.h"

namespace mirror {

// Reads screen pixels for the refiner.
class PixelReader {
  public:
    virtual ~PixelReader() = default;
    // Reads area (inside the screen) as area.width x area.height pixels of 4 bytes, rows top-down,
    // into pixels. False when it cannot (the area then counts as changed). Refiner's thread.
    virtual bool Read(const PixelRect& area, std::vector<uint32_t>* pixels) = 0;
};

class TileRefiner {
  public:
    static constexpr int kTilePx = 32;

    // A screen of width_px x height_px pixels of which nothing is known yet.
    TileRefiner(int width_px, int height_px);

    // Replaces changed with the part of damage that really changed: within each damaged tile, the
    // bounding box of its damage, when the tile's pixels differ from the last ones seen (or
    // nothing is known of them, or they cannot be read, or - with recheck_reported - it was
    // reported on the previous call). Damage outside the screen passes unchanged. One thread at a
    // time.
    void Refine(std::span<const PixelRect> damage, PixelReader& reader,
                std::vector<PixelRect>* changed, bool recheck_reported = true);

  private:
    struct Box {
        int x0, y0, x1, y1;  // half-open; x0 >= x1 means empty
    };

    void RefineRun(int row, int col_begin, int col_end, PixelReader& reader, bool recheck_reported,
                   std::vector<PixelRect>* changed);
    // Joins each rectangle with the one right above it when both have the same columns.
    void JoinColumns(std::vector<PixelRect>* rects);

    int width_;
    int height_;
    int cols_;
    int rows_;
    std::vector<uint32_t> frame_;     // the last pixels seen, width_ x height_
    std::vector<uint8_t> known_;      // per tile: frame_ holds pixels read from the screen
    std::vector<uint8_t> reported_;   // per tile: reported by the previous call
    std::vector<uint8_t> reporting_;  // per tile: reported by this call
    std::vector<Box> damage_;         // per tile: bounding box of this call's damage in it
    std::vector<uint32_t> pixels_;    // one run of tiles as read
    std::unordered_map<uint64_t, size_t> open_;  // JoinColumns: rectangles that may grow down
};

}  // namespace mirror
