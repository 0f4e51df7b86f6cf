#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <random>
#include <vector>

#include "client/capture/AreaScaler.h"
#include "client/capture/ScalerKernels.h"

namespace tarrowlink {
namespace {

// Noise with a little structure: random pixels, runs of one colour and sharp edges, including
// the values 0 and 255 where rounding and clipping matter most. The unused byte is random too.
std::vector<uint8_t> Picture(int width, int height, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < pixels.size(); i += 4) {
        uint32_t value = random();
        switch (value % 4) {
            case 0:
                value = 0;
                break;
            case 1:
                value = 0xFFFFFFFF;
                break;
            default:
                break;
        }
        if (i >= 4 && random() % 3 == 0) std::memcpy(&value, &pixels[i - 4], 4);
        std::memcpy(&pixels[i], &value, 4);
    }
    return pixels;
}

struct Case {
    int sw, sh, dw, dh;
};

// The direct computation must give pixman's bytes for every size pair the stretch path can meet:
// whole screens onto the receiver, the odd rectangles of single changes, no scaling on one axis,
// growing (a rectangle scaled up by rounding), and single rows and columns; with every kernel set
// this CPU can run (the vector ones serve the larger shrinks, and fall back at the edges).
TEST(AreaScalerTest, GivesTheReferenceBytes) {
    const Case cases[] = {
        {1920, 1080, 1024, 768},
        {1280, 1024, 1024, 768},
        {1600, 1200, 1024, 768},
        {3840, 2160, 1024, 768},
        {1366, 768, 1024, 576},
        {1025, 769, 1024, 768},
        {100, 100, 53, 71},
        {97, 31, 52, 22},
        {64, 64, 64, 64},
        {64, 48, 64, 24},
        {40, 40, 41, 39},
        {7, 5, 11, 9},
        {1, 1, 1, 1},
        {1, 37, 1, 20},
        {333, 1, 177, 1},
        {2, 2, 1, 1},
        {1919, 1079, 3, 2},
        {2560, 1440, 1024, 768},
        {803, 611, 211, 157},
        {37, 29, 9, 13},
        // Window blocks: phases that do not repeat, a short last block, a window moved left at
        // the row's end, and a row barely wider than one window.
        {1000, 700, 530, 371},
        {70, 40, 33, 20},
    };
    // Then the last six again, backwards, with new pictures: the tables kept for the four most
    // recent sizes must serve them again, and those that gave way be built anew.
    const int count = static_cast<int>(std::size(cases));
    for (const scale::ScalerSet* set : scale::UsableScalerSets()) {
        uint32_t seed = 1;
        for (int turn = 0; turn < count + 6; ++turn) {
            const Case& c = cases[turn < count ? turn : 2 * count - 1 - turn];
            SCOPED_TRACE(testing::Message() << set->name << ": " << c.sw << "x" << c.sh << " -> "
                                            << c.dw << "x" << c.dh << " (turn " << turn << ")");
            std::vector<uint8_t> source = Picture(c.sw, c.sh, seed++);
            std::vector<uint8_t> expected(static_cast<size_t>(c.dw) * c.dh * 4, 0xAA);
            std::vector<uint8_t> actual(expected.size(), 0x55);
            ASSERT_TRUE(ScaleAreaReference(source.data(), c.sw, c.sh, expected.data(), c.dw, c.dh));
            ASSERT_TRUE(scale::ScaleAreaWith(*set, source.data(), c.sw, c.sh, ptrdiff_t(c.sw) * 4,
                                             actual.data(), c.dw, c.dh, ptrdiff_t(c.dw) * 4));
            size_t first_difference = 0;
            while (first_difference < actual.size() &&
                   actual[first_difference] == expected[first_difference]) {
                ++first_difference;
            }
            ASSERT_EQ(first_difference, actual.size())
                << "pixel " << first_difference / 4 % c.dw << "," << first_difference / 4 / c.dw;
        }
    }
}

// The capture reads from a screen-wide image and writes bottom-up into its surface: strides
// other than the row width, and a negative one, give the same pixels.
TEST(AreaScalerTest, HonoursStridesAndBottomUpDestinations) {
    const int sw = 300, sh = 200, dw = 160, dh = 142;
    const int source_pitch = 512;  // pixels
    std::vector<uint8_t> packed = Picture(sw, sh, 99);
    std::vector<uint8_t> padded(static_cast<size_t>(source_pitch) * sh * 4, 0x77);
    for (int row = 0; row < sh; ++row) {
        std::memcpy(&padded[static_cast<size_t>(row) * source_pitch * 4],
                    &packed[static_cast<size_t>(row) * sw * 4], static_cast<size_t>(sw) * 4);
    }
    std::vector<uint8_t> expected(static_cast<size_t>(dw) * dh * 4);
    ASSERT_TRUE(ScaleAreaReference(packed.data(), sw, sh, expected.data(), dw, dh));

    // A destination row of 200 pixels, filled bottom-up from its last row; the margin stays.
    const int surface_pitch = 200;
    std::vector<uint8_t> surface(static_cast<size_t>(surface_pitch) * dh * 4, 0x33);
    uint8_t* top_row = &surface[static_cast<size_t>(dh - 1) * surface_pitch * 4];
    ASSERT_TRUE(ScaleArea(padded.data(), sw, sh, ptrdiff_t(source_pitch) * 4, top_row, dw, dh,
                          -ptrdiff_t(surface_pitch) * 4));
    for (int row = 0; row < dh; ++row) {
        const uint8_t* got = top_row - static_cast<ptrdiff_t>(row) * surface_pitch * 4;
        ASSERT_EQ(std::memcmp(got, &expected[static_cast<size_t>(row) * dw * 4],
                              static_cast<size_t>(dw) * 4),
                  0)
            << "row " << row;
        for (int x = dw * 4; x < surface_pitch * 4; ++x) ASSERT_EQ(got[x], 0x33);
    }
}

// Shrinking averages: a two-colour checkerboard halved in both directions becomes the colours'
// mean, within rounding.
TEST(AreaScalerTest, AveragesWhatEachPixelCovers) {
    const int sw = 64, sh = 64;
    std::vector<uint8_t> source(static_cast<size_t>(sw) * sh * 4);
    for (int y = 0; y < sh; ++y) {
        for (int x = 0; x < sw; ++x) {
            uint32_t value = (x + y) % 2 ? 0x00C86432 : 0x00000000;
            std::memcpy(&source[(static_cast<size_t>(y) * sw + x) * 4], &value, 4);
        }
    }
    std::vector<uint8_t> out(32 * 32 * 4);
    ASSERT_TRUE(ScaleArea(source.data(), sw, sh, sw * 4, out.data(), 32, 32, 32 * 4));
    for (int i = 5 * 32 + 5; i < 6 * 32 - 5; ++i) {  // away from the edges
        EXPECT_NEAR(out[i * 4 + 0], 0x32 / 2, 1);
        EXPECT_NEAR(out[i * 4 + 1], 0x64 / 2, 1);
        EXPECT_NEAR(out[i * 4 + 2], 0xC8 / 2, 1);
    }
}

TEST(AreaScalerTest, RefusesEmptyAreas) {
    uint8_t pixel[4] = {};
    EXPECT_FALSE(ScaleArea(pixel, 0, 1, 4, pixel, 1, 1, 4));
    EXPECT_FALSE(ScaleArea(pixel, 1, 1, 4, pixel, 1, 0, 4));
    EXPECT_FALSE(ScaleAreaReference(pixel, 1, 1, pixel, 0, 1));
}

}  // namespace
}  // namespace tarrowlink
