#include <gtest/gtest.h>

#include <vector>

#include "mirror/TileRefiner.h"

namespace mirror {

bool operator==(const PixelRect& a, const PixelRect& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

void PrintTo(const PixelRect& r, std::ostream* os) {
    *os << "{" << r.x << "," << r.y << " " << r.width << "x" << r.height << "}";
}

namespace {

// A screen in memory; counts reads and can refuse them.
class MemoryScreen : public PixelReader {
  public:
    MemoryScreen(int width, int height)
        : width_(width), pixels_(static_cast<size_t>(width * height)) {}

    void Fill(const PixelRect& r, uint32_t colour) {
        for (int y = r.y; y < r.y + r.height; ++y) {
            for (int x = r.x; x < r.x + r.width; ++x) {
                pixels_[static_cast<size_t>(y * width_ + x)] = colour;
            }
        }
    }

    bool Read(const PixelRect& area, const uint32_t** pixels) override {
        ++reads;
        read_pixels += area.width * area.height;
        if (refuse) return false;
        lent_.resize(static_cast<size_t>(area.width * area.height));
        for (int y = 0; y < area.height; ++y) {
            for (int x = 0; x < area.width; ++x) {
                lent_[static_cast<size_t>(y * area.width + x)] =
                    pixels_[static_cast<size_t>((area.y + y) * width_ + area.x + x)];
            }
        }
        *pixels = lent_.data();
        return true;
    }
    uint32_t* Frame(int width, int height) override {
        if (!keeps_frame || width != width_ ||
            static_cast<size_t>(width * height) != pixels_.size())
            return nullptr;
        frame_.resize(pixels_.size());
        return frame_.data();
    }
    bool ReadRows(int y0, int y1) override {
        ++reads;
        read_pixels += (y1 - y0) * width_;
        if (refuse) return false;
        std::copy(pixels_.begin() + y0 * width_, pixels_.begin() + y1 * width_,
                  frame_.begin() + y0 * width_);
        return true;
    }

    bool ReadsAreas() const override { return reads_areas; }
    bool ReadAreas(std::span<const PixelRect> areas) override {
        ++reads;
        if (refuse || !reads_areas) return false;
        for (const PixelRect& a : areas) {
            read_pixels += a.width * a.height;
            for (int y = a.y; y < a.y + a.height; ++y) {
                std::copy_n(pixels_.begin() + y * width_ + a.x, a.width,
                            frame_.begin() + y * width_ + a.x);
            }
        }
        return true;
    }

    bool keeps_frame = false;  // reads whole rows into a frame of its own, as over shared memory
    bool reads_areas = false;  // and areas into it, in place
    int reads = 0;
    long read_pixels = 0;
    bool refuse = false;

  private:
    int width_;
    std::vector<uint32_t> pixels_;
    std::vector<uint32_t> lent_;   // the last read, lent
    std::vector<uint32_t> frame_;  // what ReadRows reads into
};

using Rects = std::vector<PixelRect>;

// 100 x 70: tiles of 32 leave a narrow last column (4 px) and row (6 px).
class TileRefinerTest : public ::testing::Test {
  protected:
    Rects Refine(const Rects& damage) {
        Rects changed;
        refiner_.Refine(damage, screen_, &changed);
        return changed;
    }
    // Brings the refiner to "everything known, nothing reported last".
    void Prime() {
        Refine({{0, 0, 100, 70}});
        Refine({});
    }

    MemoryScreen screen_{100, 70};
    TileRefiner refiner_{100, 70};
};

TEST_F(TileRefinerTest, UnknownTilesAreReportedAndTheDamageKeepsItsShape) {
    EXPECT_EQ(Refine({{0, 0, 100, 70}}), (Rects{{0, 0, 100, 70}}));  // rows join up again
    EXPECT_EQ(screen_.read_pixels, 100 * 70);  // damage that fills its tiles: one read
    EXPECT_EQ(screen_.reads, 1);
    // A small damage comes back as small as it was, not as its tile; rows apart stay apart.
    Refine({});
    screen_.Fill({0, 0, 40, 60}, 5);
    EXPECT_EQ(Refine({{0, 0, 40, 10}, {0, 40, 40, 10}}), (Rects{{0, 0, 40, 10}, {0, 40, 40, 10}}));
    Refine({});
    screen_.Fill({40, 40, 3, 2}, 7);
    EXPECT_EQ(Refine({{40, 40, 3, 2}}), (Rects{{40, 40, 3, 2}}));
}

TEST_F(TileRefinerTest, DamageWithoutChangeIsDropped) {
    Prime();
    EXPECT_TRUE(Refine({{0, 0, 100, 70}}).empty());

    // One request's bounding box over two small drawings: only their tiles go out.
    screen_.Fill({2, 2, 2, 2}, 1);
    screen_.Fill({90, 60, 3, 3}, 2);
    EXPECT_EQ(Refine({{2, 2, 91, 61}}), (Rects{{2, 2, 30, 30}, {64, 32, 29, 31}}));
}

TEST_F(TileRefinerTest, ATileReportedLastTimeIsReportedAgainWhenDamaged) {
    Prime();
    // The client may capture the tile after the refiner's read and see a drawing that is undone
    // before the next pass; the screen then equals what the refiner remembers, but the receiver
    // does not hold it.
    screen_.Fill({10, 10, 5, 5}, 3);
    EXPECT_EQ(Refine({{10, 10, 5, 5}}), (Rects{{10, 10, 5, 5}}));
    EXPECT_EQ(Refine({{10, 10, 5, 5}}), (Rects{{10, 10, 5, 5}}));  // unchanged, yet reported
    // Damaged on every pass, it is never proven: each capture may have seen something else.
    EXPECT_EQ(Refine({{10, 10, 5, 5}}), (Rects{{10, 10, 5, 5}}));
    // One pass without damage proves the last capture saw what the refiner remembers.
    EXPECT_TRUE(Refine({}).empty());
    EXPECT_TRUE(Refine({{10, 10, 5, 5}}).empty());
}

TEST_F(TileRefinerTest, PollingTrustsATileThatDidNotChange) {
    // Polling damages the whole screen on every pass; only tiles that differ go out.
    Rects all{{0, 0, 100, 70}};
    EXPECT_EQ(Refine(all), all);
    Rects changed;
    refiner_.Refine(all, screen_, &changed, /*recheck_reported=*/false);
    EXPECT_TRUE(changed.empty());
    screen_.Fill({70, 40, 2, 2}, 6);
    refiner_.Refine(all, screen_, &changed, false);
    EXPECT_EQ(changed, (Rects{{64, 32, 32, 32}}));
    refiner_.Refine(all, screen_, &changed, false);
    EXPECT_TRUE(changed.empty());
}

TEST_F(TileRefinerTest, UnreadableOrOutsideDamagePassesThrough) {
    Prime();
    screen_.refuse = true;
    EXPECT_EQ(Refine({{33, 1, 4, 4}}), (Rects{{33, 1, 4, 4}}));
    screen_.refuse = false;
    // The failed read left the tile unknown: reported once more, then proven.
    EXPECT_EQ(Refine({{33, 1, 4, 4}}), (Rects{{33, 1, 4, 4}}));
    Refine({});
    EXPECT_TRUE(Refine({{33, 1, 4, 4}}).empty());

    // A screen that grew: what lies beyond the known size is not judged.
    EXPECT_EQ(Refine({{90, 60, 20, 5}, {0, 0, 0, 5}}), (Rects{{90, 60, 20, 5}}));
    EXPECT_EQ(Refine({{-2, 0, 4, 4}}), (Rects{{-2, 0, 4, 4}}));
    // The tile under such damage is captured with it, so the refiner's memory of it is stale:
    // drawn over and then restored, it must still go out once.
    Refine({});
    screen_.Fill({96, 64, 4, 6}, 4);
    EXPECT_EQ(Refine({{96, 64, 8, 6}}), (Rects{{96, 64, 8, 6}}));
    Refine({});
    screen_.Fill({96, 64, 4, 6}, 0);
    EXPECT_EQ(Refine({{96, 64, 4, 6}}), (Rects{{96, 64, 4, 6}}));
    Refine({});
    EXPECT_TRUE(Refine({{96, 64, 4, 6}}).empty());
}

TEST_F(TileRefinerTest, AStormIsReadOnceAndSparseDamagePerTileRow) {
    Prime();
    screen_.reads = 0;
    Rects storm;
    for (int i = 0; i < 3000; ++i) storm.push_back({(i * 7) % 98, (i * 13) % 68, 2, 2});
    screen_.Fill({50, 50, 1, 1}, 9);
    Rects changed = Refine(storm);
    EXPECT_EQ(screen_.reads, 1);
    // Only the tile that holds the change, cut to the damage in it.
    ASSERT_EQ(changed.size(), 1u);
    const PixelRect& r = changed[0];
    EXPECT_TRUE(r.x >= 32 && r.y >= 32 && r.x + r.width <= 64 && r.y + r.height <= 64);
    EXPECT_TRUE(r.x <= 50 && r.y <= 50 && r.x + r.width > 50 && r.y + r.height > 50);

    // Two far corners: each tile row reads only its own damaged span, not the box around both.
    screen_.reads = 0;
    screen_.read_pixels = 0;
    screen_.Fill({1, 1, 1, 1}, 3);
    screen_.Fill({98, 68, 1, 1}, 3);
    EXPECT_EQ(Refine({{1, 1, 1, 1}, {98, 68, 1, 1}}), (Rects{{1, 1, 1, 1}, {98, 68, 1, 1}}));
    EXPECT_EQ(screen_.reads, 2);
    EXPECT_EQ(screen_.read_pixels, 32 * 32 + 4 * 6);
}

// The kept copy is lent for areas whose tiles were all read, and holds the pixels compared.
TEST_F(TileRefinerTest, LendsOnlyWhatItRead) {
    const uint32_t* pixels = nullptr;
    ptrdiff_t stride_px = 0;
    EXPECT_FALSE(refiner_.Lend({0, 0, 10, 10}, &pixels, &stride_px));  // nothing read yet
    screen_.Fill({40, 5, 20, 20}, 0x123456);
    Refine({{40, 0, 60, 40}});  // tiles of columns 1..3, rows 0..1
    ASSERT_TRUE(refiner_.Lend({45, 6, 10, 10}, &pixels, &stride_px));
    EXPECT_EQ(stride_px, 100);
    EXPECT_EQ(pixels[0], 0x123456u);
    EXPECT_EQ(pixels[14 * stride_px + 9], 0x123456u);
    EXPECT_FALSE(refiner_.Lend({20, 6, 20, 10}, &pixels, &stride_px));  // column 0 unknown
    EXPECT_FALSE(refiner_.Lend({90, 60, 20, 5}, &pixels, &stride_px));  // beyond the screen
    screen_.refuse = true;
    Refine({{70, 10, 2, 2}});
    EXPECT_FALSE(refiner_.Lend({64, 0, 4, 4}, &pixels, &stride_px));  // its read failed
    EXPECT_TRUE(refiner_.Lend({32, 0, 32, 32}, &pixels, &stride_px));
}

}  // namespace
}  // namespace mirror

namespace mirror {
namespace {

// A reader that keeps the frame is read into at the tiles' place and nothing is copied: dense
// damage in whole rows, or, from a reader that reads areas, exactly the damaged tiles, a sparse
// pass's tile-row spans all in one read. The comparison, the lending and a failed read behave as
// with a copy of the refiner's.
TEST_F(TileRefinerTest, AReaderKeepingTheFrameIsReadIntoInPlace) {
    for (bool areas : {false, true}) {
        SCOPED_TRACE(areas ? "areas" : "whole rows");
        screen_ = MemoryScreen(100, 70);
        refiner_ = TileRefiner(100, 70);
        screen_.keeps_frame = true;
        screen_.reads_areas = areas;
        Prime();
        screen_.reads = 0;
        screen_.read_pixels = 0;
        screen_.Fill({40, 35, 20, 20}, 0x123456);
        EXPECT_EQ(Refine({{40, 35, 20, 20}}), (Rects{{40, 35, 20, 20}}));
        EXPECT_EQ(screen_.reads, 1);
        EXPECT_EQ(screen_.read_pixels,
                  areas ? 32 * 32 : 100 * 32);  // tile row 1 whole, or the tile
        EXPECT_TRUE(Refine({}).empty());
        EXPECT_TRUE(Refine({{0, 0, 100, 70}}).empty());  // nothing changed: dropped
        const uint32_t* pixels = nullptr;
        ptrdiff_t stride_px = 0;
        ASSERT_TRUE(refiner_.Lend({40, 35, 20, 20}, &pixels, &stride_px));
        EXPECT_EQ(pixels[0], 0x123456u);
        EXPECT_EQ(pixels[19 * stride_px + 19], 0x123456u);
        // A one-pixel change in a tile is seen through its hash.
        screen_.Fill({99, 69, 1, 1}, 1);
        EXPECT_EQ(Refine({{96, 64, 4, 6}}), (Rects{{96, 64, 4, 6}}));
        if (areas) {
            screen_.reads = 0;
            screen_.read_pixels = 0;
            screen_.Fill({1, 1, 1, 1}, 3);
            screen_.Fill({98, 68, 1, 1}, 3);
            EXPECT_EQ(Refine({{1, 1, 1, 1}, {98, 68, 1, 1}}),
                      (Rects{{1, 1, 1, 1}, {98, 68, 1, 1}}));
            EXPECT_EQ(screen_.reads, 1);
            EXPECT_EQ(screen_.read_pixels, 32 * 32 + 4 * 6);
        }
        // A failed read forgets what it was to fill: the whole rows, or the tile.
        screen_.refuse = true;
        EXPECT_EQ(Refine({{1, 40, 2, 2}}), (Rects{{1, 40, 2, 2}}));
        EXPECT_EQ(refiner_.Lend({40, 35, 20, 20}, &pixels, &stride_px), areas);
        EXPECT_TRUE(refiner_.Lend({40, 0, 20, 20}, &pixels, &stride_px));
    }
}

}  // namespace
}  // namespace mirror
