#include <gtest/gtest.h>

#include <vector>

#include "client/capture/CursorShape.h"

namespace tarrowlink {
namespace {

CursorImage Image(int w, int h, uint32_t fill, int x = 100, int y = 100, int hot_x = 0,
                  int hot_y = 0) {
    CursorImage image;
    image.width = w;
    image.height = h;
    image.x = x;
    image.y = y;
    image.hot_x = hot_x;
    image.hot_y = hot_y;
    image.argb.assign(static_cast<size_t>(w) * h, fill);
    return image;
}

bool Bit(const uint8_t* mask, int x, int y) {
    return mask[y * 4 + x / 8] & (0x80 >> (x % 8));
}

TEST(CursorShape, PlacementAtTheEdges) {
    CursorShape shape;
    // Near the right edge of a 1280-wide screen: 5 columns show.
    ASSERT_EQ(BuildCursorShape(Image(32, 32, 0xFF000000, 1275, 10), 1279, 1023, &shape),
              kCursorMonochrome);
    EXPECT_EQ(std::vector<int>(shape.placement.values, shape.placement.values + 6),
              (std::vector<int>{5, 32, 1275, 10, 1275, 10}));
    // Hotspot above and left of the pointer's top-left corner: negative position, full size.
    ASSERT_EQ(BuildCursorShape(Image(32, 32, 0xFF000000, 3, 3, 10, 10), 1279, 1023, &shape),
              kCursorMonochrome);
    EXPECT_EQ(std::vector<int>(shape.placement.values, shape.placement.values + 4),
              (std::vector<int>{32, 32, -7, -7}));
    // Hidden: 1 x 1, the shape still read.
    CursorImage hidden = Image(32, 32, 0xFF000000);
    hidden.visible = false;
    ASSERT_EQ(BuildCursorShape(hidden, 1279, 1023, &shape), kCursorMonochrome);
    EXPECT_EQ(shape.placement.values[0], 1);
    EXPECT_EQ(shape.placement.values[1], 1);
    // Wholly outside.
    EXPECT_EQ(BuildCursorShape(Image(32, 32, 0xFF000000, 1300, 10), 1279, 1023, &shape),
              kCursorOutside);
    EXPECT_EQ(BuildCursorShape(Image(32, 32, 0xFF000000, -40, 10), 1279, 1023, &shape),
              kCursorOutside);
}

TEST(CursorShape, MonochromeMasks) {
    // 4 x 2: black, white, transparent, black / white ... on a 32 x 32 field.
    CursorImage image = Image(4, 2, 0);
    image.argb = {0xFF000000, 0xFFFFFFFF, 0x00000000, 0xFF000000,
                  0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0x00000000};
    CursorShape shape;
    ASSERT_EQ(BuildCursorShape(image, 1023, 767, &shape), kCursorMonochrome);
    const uint8_t* and_mask = shape.mask;
    const uint8_t* xor_mask = shape.mask + 128;
    EXPECT_FALSE(Bit(and_mask, 0, 0));  // black
    EXPECT_FALSE(Bit(xor_mask, 0, 0));
    EXPECT_FALSE(Bit(and_mask, 1, 0));  // white
    EXPECT_TRUE(Bit(xor_mask, 1, 0));
    EXPECT_TRUE(Bit(and_mask, 2, 0));  // transparent
    EXPECT_FALSE(Bit(xor_mask, 2, 0));
    EXPECT_TRUE(Bit(and_mask, 3, 1));
    EXPECT_TRUE(Bit(and_mask, 31, 31));  // outside the image: transparent
    EXPECT_EQ(shape.mask[4], 0x1F);      // row 1 of the AND mask: pixels 3..7 transparent
}

TEST(CursorShape, ColourPixelsGoBottomUpWithAMaskFromAlpha) {
    CursorImage image = Image(32, 32, 0x00000000);
    image.argb[0] = 0xFF123456;            // top-left, opaque colour
    image.argb[31 * 32 + 1] = 0x40101010;  // bottom row, faint shadow
    CursorShape shape;
    ASSERT_EQ(BuildCursorShape(image, 1023, 767, &shape), kCursorColour);
    const uint8_t* top_left = shape.pixels + 31 * 128;  // the top image row is stored last
    EXPECT_EQ(top_left[0], 0x56);
    EXPECT_EQ(top_left[1], 0x34);
    EXPECT_EQ(top_left[2], 0x12);
    EXPECT_FALSE(Bit(shape.mask, 0, 0));
    EXPECT_TRUE(Bit(shape.mask, 1, 31));
    EXPECT_EQ(shape.pixels[4], 0x10);  // bottom row, pixel 1
}

TEST(CursorShape, LargeImagesAreScaledToFit) {
    CursorImage image = Image(64, 64, 0x00000000, 500, 500, 20, 40);
    for (int y = 0; y < 32; ++y)
        image.argb[static_cast<size_t>(y) * 64] = 0xFF000000;  // left column, top half
    CursorShape shape;
    ASSERT_EQ(BuildCursorShape(image, 1023, 767, &shape), kCursorMonochrome);
    EXPECT_EQ(shape.placement.values[2], 490);  // hotspot halved with the image
    EXPECT_EQ(shape.placement.values[3], 480);
    EXPECT_FALSE(Bit(shape.mask, 0, 0));
    EXPECT_FALSE(Bit(shape.mask, 0, 15));
    EXPECT_TRUE(Bit(shape.mask, 0, 16));
    // Bad input: fewer pixels than the size says gives a transparent pointer, not a crash.
    CursorImage broken = Image(32, 32, 0xFF000000);
    broken.argb.resize(10);
    EXPECT_EQ(BuildCursorShape(broken, 1023, 767, &shape), kCursorMonochrome);
    EXPECT_TRUE(Bit(shape.mask, 0, 0));
}

}  // namespace
}  // namespace tarrowlink
