// Drops false damage: areas the X server reports as drawn whose pixels did not change (a window
// repainting the same picture, or the bounding box the server damages for one request that draws
// many small shapes). It keeps the last pixels it saw of every 32 x 32 tile, reads the damaged
// tiles again and passes on only the damage in tiles that changed. It keeps a copy of the screen
// as of the last pass (for the tiles it knows), which it lends to the capture, so that each
// changed area is read from the screen once per pass, and a 64-bit hash of every tile, which is
// what a fresh read is compared with: the copy is read into place, never copied again.
//
// A tile it reported on one pass is reported again the next time it is damaged, without
// comparing: the client may have captured it later than the refiner read it, so only a second
// look proves the receiver holds what the refiner remembers.
#pragma once

#include <cstddef>
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
    // Reads area (inside the screen) and lends its pixels: *pixels is the top row of
    // area.width x area.height pixels of 4 bytes, rows top-down and area.width pixels apart,
    // valid until the next Read. False when it cannot (the area then counts as changed).
    // Refiner's thread.
    virtual bool Read(const PixelRect& area, const uint32_t** pixels) = 0;
    // A frame of the whole screen (width_px x height_px pixels, rows width_px apart) that
    // ReadRows reads into, when the reader keeps one of that size; else null, and the refiner
    // keeps its own copy. Refiner's thread.
    virtual uint32_t* Frame(int /*width_px*/, int /*height_px*/) { return nullptr; }
    // Reads the screen rows [y0, y1), whole, into Frame at their place. False when it cannot
    // (those rows of the frame are then undefined). Refiner's thread.
    virtual bool ReadRows(int /*y0*/, int /*y1*/) { return false; }
    // True when ReadAreas can read areas narrower than the screen into Frame at their place.
    // Refiner's thread.
    virtual bool ReadsAreas() const { return false; }
    // Reads each of areas (inside the screen), and nothing else, into Frame at its place, all of
    // them in one round trip. False when it cannot (the areas of the frame are then undefined).
    // Refiner's thread.
    virtual bool ReadAreas(std::span<const PixelRect> /*areas*/) { return false; }
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

    // The kept pixels of area, when every tile it touches holds pixels read from the screen (by
    // this or an earlier call, and not forgotten since): *pixels is the area's top row, rows
    // *stride_px pixels apart, valid until the next Refine. False otherwise. Refiner's thread.
    bool Lend(const PixelRect& area, const uint32_t** pixels, ptrdiff_t* stride_px) const;

  private:
    struct Box {
        int x0, y0, x1, y1;  // half-open; x0 >= x1 means empty
    };

    bool Damaged(int row, int col) const {
        const Box& b = damage_[static_cast<size_t>(row * cols_ + col)];
        return b.x0 < b.x1;
    }
    // The pixels of the tiles of rows row_begin..row_end-1, columns col_begin..col_end-1.
    PixelRect TileArea(int row_begin, int row_end, int col_begin, int col_end) const;
    // Brings the tiles of rows row_begin..row_end-1 and columns col_begin..col_end-1 into frame_
    // with one request, then compares their damaged ones. whole_rows: the rows are read whole
    // into the reader's frame; else the area is read and its damaged tiles copied into frame_.
    void ReadAndCompare(int row_begin, int row_end, int col_begin, int col_end, bool whole_rows,
                        PixelReader& reader, bool recheck_reported,
                        std::vector<PixelRect>* changed);
    // Reads the tiles of spans_ into the reader's frame at their place, all in one round trip,
    // then compares their damaged ones.
    void ReadAreasAndCompare(PixelReader& reader, bool recheck_reported,
                             std::vector<PixelRect>* changed);
    // Compares the damaged tiles of rows row_begin..row_end-1 and columns col_begin..col_end-1,
    // one run at a time (read: they are fresh in frame_).
    void CompareTiles(int row_begin, int row_end, int col_begin, int col_end, bool read,
                      bool recheck_reported, std::vector<PixelRect>* changed);
    // Marks the tiles of rows row_begin..row_end-1 and columns col_begin..col_end-1 unknown.
    void Forget(int row_begin, int row_end, int col_begin, int col_end);
    // Compares the damaged tiles of one run in a tile row (read: they are fresh in frame_).
    void CompareRun(int row, int col_begin, int col_end, bool read, bool recheck_reported,
                    std::vector<PixelRect>* changed);
    // The hash of one tile's pixels in frame_.
    uint64_t TileHash(int row, int col) const;
    // Joins each rectangle with the one right above it when both have the same columns.
    void JoinColumns(std::vector<PixelRect>* rects);

    int width_;
    int height_;
    int cols_;
    int rows_;
    uint32_t* frame_ = nullptr;        // the last pixels seen, width_ x height_: the reader's or
    std::vector<uint32_t> own_frame_;  // this, when the reader keeps none
    std::vector<uint64_t> hashes_;     // per tile: TileHash when it was last read
    std::vector<uint8_t> hashed_;      // per tile: hashes_ holds the hash of frame_'s pixels
    std::vector<uint8_t> known_;       // per tile: frame_ holds pixels read from the screen
    std::vector<uint8_t> reported_;    // per tile: reported by the previous call
    std::vector<uint8_t> reporting_;   // per tile: reported by this call
    std::vector<Box> damage_;          // per tile: bounding box of this call's damage in it
    std::unordered_map<uint64_t, size_t> open_;  // JoinColumns: rectangles that may grow down
    struct TileSpan {
        int row_begin, row_end, col_begin, col_end;
    };
    std::vector<TileSpan> spans_;   // Refine: the tiles to read, one read each (or all in one)
    std::vector<PixelRect> areas_;  // ReadAreasAndCompare: their pixels
};

}  // namespace mirror
