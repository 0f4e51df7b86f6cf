#include <gtest/gtest.h>

#include <vector>

#include "client/capture/FrameAssembly.h"

namespace tarrowlink {
namespace {

struct Step {
    std::vector<BlitEntry> blits;
    std::vector<RecordRect> rects;
};

// Joins `boxes` (the rest empty, sentinel last) on a capture screen of 0..max_x, 0..max_y.
Step Join(std::vector<ChangeBox> boxes, int max_x = 1023, int max_y = 767) {
    ChangeBox list[kBoxListSize];
    for (ChangeBox& b : list) b = kBoxSentinel;  // empty, as the tracker ends its answers
    for (size_t i = 0; i < boxes.size(); ++i) list[i] = boxes[i];
    list[kTrackerBoxes] = kBoxSentinel;
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
    // Side by side on the same rows: touching is not overlapping.
    Step side = Join({{0, 0, 19, 19}, {20, 0, 39, 19}});
    ASSERT_EQ(side.blits.size(), 2u);
    EXPECT_EQ(Blit(side.blits[0]), (std::vector<int>{0, 0, 20, 20}));
    EXPECT_EQ(Blit(side.blits[1]), (std::vector<int>{20, 0, 20, 20}));

    // Overlapping in x and 21 rows below: joined, bottom replaced.
    Step joined = Join({{0, 0, 19, 19}, {10, 40, 29, 59}});
    ASSERT_EQ(joined.blits.size(), 1u);
    EXPECT_EQ(Blit(joined.blits[0]), (std::vector<int>{0, 0, 30, 60}));

    // 41 rows below: not joined.
    EXPECT_EQ(Join({{0, 0, 19, 19}, {0, 60, 19, 79}}).blits.size(), 2u);

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

TEST(FrameAssembly, SixteenBoxesAtMost) {
    std::vector<ChangeBox> boxes;
    for (int i = 0; i < 16; ++i)
        boxes.push_back({static_cast<int16_t>(i * 50), 0, static_cast<int16_t>(i * 50 + 9), 9});
    Step step = Join(boxes);
    EXPECT_EQ(step.blits.size(), 16u);
}

}  // namespace
}  // namespace tarrowlink
