#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "mirror/BoxReducer.h"
#include "mirror/tests/BoxTestSupport.h"

namespace mirror {
namespace {

constexpr tagBOX kEnd{kVitrexBoxEnd, kVitrexBoxEnd, -1, -1};

long Area(const tagBOX& b) {
    return long{b.right - b.left + 1} * (b.bottom - b.top + 1);
}

// Every rectangle lies wholly inside one box (merging only ever grows boxes around whole inputs).
void ExpectEachInsideOneBox(const std::vector<PixelRect>& rects, const std::vector<tagBOX>& boxes) {
    for (const PixelRect& r : rects) {
        bool inside = false;
        for (const tagBOX& b : boxes) {
            inside = inside || (r.x >= b.left && r.y >= b.top && r.x + r.width - 1 <= b.right &&
                                r.y + r.height - 1 <= b.bottom);
        }
        ASSERT_TRUE(inside) << r.x << "," << r.y << " " << r.width << "x" << r.height;
    }
}

TEST(BoxReducer, FewRectanglesComeBackExactlyInScanOrder) {
    tagBOX boxes[kVitrexBoxCount];
    std::vector<PixelRect> rects = {{600, 500, 30, 30}, {100, 120, 50, 40}, {10, 120, 5, 1}};
    EXPECT_EQ(ReduceToBoxes(rects, boxes), 3);
    EXPECT_EQ(boxes[0], (tagBOX{10, 120, 14, 120}));
    EXPECT_EQ(boxes[1], (tagBOX{100, 120, 149, 159}));
    EXPECT_EQ(boxes[2], (tagBOX{600, 500, 629, 529}));
    for (int i = 3; i < kVitrexBoxCount; ++i) EXPECT_EQ(boxes[i], kEnd);

    // Nothing changed: an end entry first. Empty rectangles count as nothing.
    std::vector<PixelRect> empty = {{5, 5, 0, 10}, {5, 5, 10, 0}};
    EXPECT_EQ(ReduceToBoxes(empty, boxes), 0);
    for (const tagBOX& b : boxes) EXPECT_EQ(b, kEnd);
}

TEST(BoxReducer, CoordinatesStayClearOfTheEndMarkers) {
    tagBOX boxes[kVitrexBoxCount];
    std::vector<PixelRect> rects = {{-5, -3, 10, 10}, {10000, 20000, 30000, 30000}};
    EXPECT_EQ(ReduceToBoxes(rects, boxes), 2);
    EXPECT_EQ(boxes[0], (tagBOX{0, 0, 4, 6}));
    EXPECT_EQ(boxes[1], (tagBOX{9998, 9998, 32767, 32767}));
}

TEST(BoxReducer, MergesTheCheapestPairFirst) {
    // Sixteen 10 x 10 squares far apart on a 4 x 4 lattice, and one more touching the first: the
    // touching pair costs nothing to merge, every other pair costs thousands of pixels.
    std::vector<PixelRect> rects;
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) rects.push_back({col * 200, row * 150, 10, 10});
    }
    rects.push_back({10, 0, 10, 10});
    tagBOX boxes[kVitrexBoxCount];
    ASSERT_EQ(ReduceToBoxes(rects, boxes), 16);
    EXPECT_EQ(boxes[0], (tagBOX{0, 0, 19, 9}));
    for (int i = 1; i < 16; ++i) EXPECT_EQ(Area(boxes[i]), 100) << i;

    // Two more squares next to two others: the closest pairs merge, not the far ones.
    rects.push_back({600, 462, 10, 10});  // 2 rows below the square at (600, 450)
    rects.push_back({400, 150, 10, 10});  // the same as an existing square
    ASSERT_EQ(ReduceToBoxes(rects, boxes), 16);
    std::vector<tagBOX> listed(boxes, boxes + 16);
    EXPECT_NE(std::find(listed.begin(), listed.end(), tagBOX{600, 450, 609, 471}), listed.end());
    EXPECT_NE(std::find(listed.begin(), listed.end(), tagBOX{400, 150, 409, 159}), listed.end());
    ExpectEachInsideOneBox(rects, listed);
}

TEST(BoxReducer, AStormGivesSixteenBoxesThatCoverIt) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> x(0, 1020), y(0, 764), size(1, 4);
    std::vector<PixelRect> rects;
    for (int i = 0; i < 5000; ++i)
        rects.push_back({x(random), y(random), size(random), size(random)});
    tagBOX boxes[kVitrexBoxCount];
    EXPECT_EQ(ReduceToBoxes(rects, boxes), kVitrexBoxCount);
    ExpectEachInsideOneBox(rects, std::vector<tagBOX>(boxes, boxes + kVitrexBoxCount));

    // A storm in one corner stays in that corner.
    rects.clear();
    std::uniform_int_distribution<int> corner(0, 196);
    for (int i = 0; i < 5000; ++i) rects.push_back({corner(random), corner(random), 3, 3});
    int count = ReduceToBoxes(rects, boxes);
    EXPECT_GE(count, 1);
    EXPECT_LE(count, kVitrexBoxCount);
    std::vector<tagBOX> listed = ListedBoxes(boxes);
    ExpectEachInsideOneBox(rects, listed);
    for (const tagBOX& b : listed) {
        EXPECT_GE(b.left, 0);
        EXPECT_LE(b.right, 199);
        EXPECT_LE(b.bottom, 199);
    }

    // Two distant clusters never become one box spanning the gap.
    rects.clear();
    for (int i = 0; i < 3000; ++i) rects.push_back({corner(random) / 4, corner(random) / 4, 2, 2});
    for (int i = 0; i < 3000; ++i) {
        rects.push_back({900 + corner(random) / 4, 700 + corner(random) / 4, 2, 2});
    }
    ReduceToBoxes(rects, boxes);
    listed = ListedBoxes(boxes);
    ExpectEachInsideOneBox(rects, listed);
    Coverage coverage(1024, 768, listed);
    EXPECT_LT(coverage.CoveredPixels(), 2 * 52 * 52);
}

}  // namespace
}  // namespace mirror
