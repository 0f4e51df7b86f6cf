#include <gtest/gtest.h>

#include <vector>

#include "client/capture/FrameAssembly.h"

namespace tarrowlink {
namespace {

struct Step {
    std::vector<BlitEntry> blits;
    std::vector<RecordRect> rects;
};

// Joins `boxes` (the rest empty, `last` after the tracker's 16) on a capture screen of 0..max_x,
// 0..max_y.
Step Join(std::vector<ChangeBox> boxes, int max_x = 1023, int max_y = 767,
          ChangeBox last = kBoxSentinel) {
    ChangeBox list[kBoxListSize];
    for (ChangeBox& b : list) b = kBoxSentinel;  // empty, as the tracker ends its answers
    for (size_t i = 0; i < boxes.size(); ++i) list[i] = boxes[i];
    list[kTrackerBoxes] = last;
    BlitEntry blits[kMaxRectangles];
    RecordRect rects[kMaxRectangles];
    int n = JoinBoxes(list, max_x, max_y, max_y + 1, blits, rects);
    return {std::vector<BlitEntry>(blits, blits + n), std::vector<RecordRect>(rects, rects + n)};
}

std::vector<int> Blit(const BlitEntry& b) {
    return {b.x, b.y, b.width, b.height};
}
std::vector<int> Rect(const RecordRect& r) {
    return {r.x0, r.y0, r.x1, r.y1};
}

TEST(FrameAssembly, JoinsOnlyOverlappingNeighboursCloseBelow) {
    // A box joins the rectangle above it when their columns overlap (inclusive bounds: sharing
    // one edge column is not enough) and its top is less than 32 rows below the rectangle's
    // bottom row; the joined bottom is the later box's.
    struct Case {
        const char* what;
        ChangeBox second;  // after {100, 0, 199, 19}
        std::vector<std::vector<int>> blits;
    };
    const Case cases[] = {
        {"touching on the right", {200, 0, 219, 19}, {{100, 0, 100, 20}, {200, 0, 20, 20}}},
        {"sharing the right column", {199, 0, 219, 19}, {{100, 0, 100, 20}, {199, 0, 21, 20}}},
        {"two right columns in common", {198, 0, 219, 19}, {{100, 0, 120, 20}}},
        {"sharing the left column", {80, 0, 100, 19}, {{100, 0, 100, 20}, {80, 0, 21, 20}}},
        {"two left columns in common", {80, 0, 101, 19}, {{80, 0, 120, 20}}},
        {"21 rows below", {110, 40, 129, 59}, {{100, 0, 100, 60}}},
        {"31 rows below", {110, 50, 129, 69}, {{100, 0, 100, 70}}},
        {"32 rows below", {110, 51, 129, 70}, {{100, 0, 100, 20}, {110, 51, 20, 20}}},
        {"starting above the bottom", {150, 5, 249, 9}, {{100, 0, 150, 10}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Step step = Join({{100, 0, 199, 19}, c.second});
        std::vector<std::vector<int>> blits;
        for (const BlitEntry& b : step.blits) blits.push_back(Blit(b));
        EXPECT_EQ(blits, c.blits);
    }

    // Empty entries between boxes are skipped, and the sentinel ends the list cleanly.
    Step gaps = Join({{0, 0, -1, -1}, {5, 5, 9, 9}, {0, 0, -1, -1}, {100, 100, 109, 109}});
    ASSERT_EQ(gaps.blits.size(), 2u);
    EXPECT_EQ(Blit(gaps.blits[1]), (std::vector<int>{100, 100, 10, 10}));
}

TEST(FrameAssembly, ClipsToTheCaptureScreen) {
    EXPECT_TRUE(Join({{1030, 0, 1100, 10}}).blits.empty());  // wholly right of maxX
    Step straddle = Join({{1000, 760, 1100, 800}});
    ASSERT_EQ(straddle.blits.size(), 1u);
    EXPECT_EQ(Blit(straddle.blits[0]), (std::vector<int>{1000, 760, 24, 8}));
    Step negative = Join({{-20, -5, 10, 10}});
    ASSERT_EQ(negative.blits.size(), 1u);
    EXPECT_EQ(Blit(negative.blits[0]), (std::vector<int>{0, 0, 11, 11}));
    EXPECT_TRUE(Join({{-20, 0, -5, 10}}).blits.empty());
    EXPECT_TRUE(Join({{10, 0, 5, 10}}).blits.empty());  // a reversed box has no pixels
}

TEST(FrameAssembly, RecordRectanglesCountRowsFromTheBottom) {
    Step whole = Join({{0, 0, 1023, 767}});
    EXPECT_EQ(Rect(whole.rects[0]), (std::vector<int>{0, 0, 1024, 768}));
    Step corner = Join({{0, 0, 9, 9}});
    EXPECT_EQ(Rect(corner.rects[0]), (std::vector<int>{0, 758, 10, 768}));
}

TEST(FrameAssembly, ScalerMapsRecordRectanglesOntoTheSurface) {
    ChangeBox list[kBoxListSize];
    for (ChangeBox& b : list) b = kBoxSentinel;  // empty, as the tracker ends its answers
    list[0] = {0, 0, 1279, 1023};
    list[kTrackerBoxes] = kBoxSentinel;
    BlitEntry blits[kMaxRectangles];
    RecordRect rects[kMaxRectangles];
    auto halve = [](int16_t* v, void*) {
        for (int i = 0; i < 4; ++i) v[i] = static_cast<int16_t>(v[i] / 2);
    };
    ASSERT_EQ(JoinBoxes(list, 1279, 1023, 1024, blits, rects, halve, nullptr), 1);
    EXPECT_EQ(Blit(blits[0]), (std::vector<int>{0, 0, 1280, 1024}));  // screen pixels
    EXPECT_EQ(Rect(rects[0]), (std::vector<int>{0, 0, 640, 512}));    // surface pixels
}

TEST(FrameAssembly, NothingPastTheTrackersSixteenEntriesIsSent) {
    // Entry 16 is the sentinel that ends the list; when something overwrote it, what it holds is
    // still never sent, with few tracker entries in use or all 16.
    std::vector<ChangeBox> sixteen;  // side by side, none joining
    for (int i = 0; i < 16; ++i)
        sixteen.push_back({static_cast<int16_t>(i * 50), 0, static_cast<int16_t>(i * 50 + 9), 9});
    for (ChangeBox last : {kBoxSentinel, ChangeBox{500, 500, 509, 509}}) {
        SCOPED_TRACE(last.right == -1 ? "sentinel in place" : "sentinel overwritten");
        Step few = Join({{0, 0, 9, 9}, {100, 0, 109, 9}}, 1023, 767, last);
        ASSERT_EQ(few.blits.size(), 2u);
        EXPECT_EQ(Blit(few.blits[1]), (std::vector<int>{100, 0, 10, 10}));
        Step full = Join(sixteen, 1023, 767, last);
        ASSERT_EQ(full.blits.size(), 16u);
        EXPECT_EQ(Blit(full.blits[15]), (std::vector<int>{750, 0, 10, 10}));
    }
}

}  // namespace
}  // namespace tarrowlink
