// The Windows scaler (GDI's halftone stretch): pixels land in the right place and channel order
// whatever the strides, and each destination pixel averages the source pixels it covers.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "client/capture/AreaScaler.h"

namespace tarrowlink {
namespace {

uint32_t PixelAt(const std::vector<uint8_t>& pixels, ptrdiff_t offset) {
    uint32_t value;
    std::memcpy(&value, pixels.data() + offset, 4);
    return value & 0xFFFFFF;
}

TEST(HalftoneScaler, FlatBlocksKeepColourAndPlaceOntoAnyDestinationOrder) {
    // 8 x 8 of four flat 4 x 4 blocks, rows 40 bytes apart (padded), onto 2 x 2.
    const uint32_t colours[2][2] = {{0x102030, 0xC08040}, {0x00FF7F, 0x336699}};
    const int stride = 40;
    std::vector<uint8_t> src(static_cast<size_t>(stride) * 8, 0xEE);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x)
            std::memcpy(&src[y * stride + x * 4], &colours[y / 4][x / 4], 4);
    }
    for (bool bottom_up : {false, true}) {
        std::vector<uint8_t> dst(2 * 2 * 4, 0);
        // Bottom-up: the top row is the last in memory, rows going backwards.
        uint8_t* top = bottom_up ? dst.data() + 8 : dst.data();
        ASSERT_TRUE(ScaleArea(src.data(), 8, 8, stride, top, 2, 2, bottom_up ? -8 : 8));
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 2; ++x) {
                const ptrdiff_t row = bottom_up ? 1 - y : y;
                EXPECT_EQ(PixelAt(dst, row * 8 + x * 4), colours[y][x])
                    << x << "," << y << (bottom_up ? " bottom-up" : "");
                EXPECT_EQ(dst[row * 8 + x * 4 + 3], 0xFF);
            }
        }
    }
}

// Wine's StretchBlt picks pixels in HALFTONE mode too; Windows averages.
bool UnderWine() {
    return ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

TEST(HalftoneScaler, ShrinkingAveragesInsteadOfPickingPixels) {
    if (UnderWine()) GTEST_SKIP() << "Wine's HALFTONE stretch does not average";
    // Black and white columns, shrunk to half the width: grey everywhere, not stripes.
    std::vector<uint8_t> src(16 * 4 * 4);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 16; ++x) std::memset(&src[(y * 16 + x) * 4], x % 2 ? 0xFF : 0, 4);
    }
    std::vector<uint8_t> dst(8 * 2 * 4);
    ASSERT_TRUE(ScaleArea(src.data(), 16, 4, 16 * 4, dst.data(), 8, 2, 8 * 4));
    for (size_t i = 0; i < dst.size(); i += 4) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(dst[i + c], 128, 16) << "pixel " << i / 4;
        }
    }
    EXPECT_FALSE(ScaleArea(src.data(), 0, 4, 64, dst.data(), 8, 2, 32));
}

}  // namespace
}  // namespace tarrowlink
