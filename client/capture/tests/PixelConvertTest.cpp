#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "client/capture/PixelConvert.h"
#include "client/capture/PixelKernels.h"
#include "client/capture/tests/PixelReference.h"

namespace tarrowlink {
namespace pixel {

// Names the converter set in test listings.
void PrintTo(const ConverterSet* set, std::ostream* os) {
    *os << set->name;
}

}  // namespace pixel
namespace {

using test::Wire;

struct Converter {
    const char* name;
    Wire form;
    pixel::ConvertFunction pixel::ConverterSet::*function;
};

const Converter kConverters[] = {
    {"24", Wire::k24, &pixel::ConverterSet::to24},
    {"565", Wire::k565, &pixel::ConverterSet::to565},
    {"565Swapped", Wire::k565Swapped, &pixel::ConverterSet::to565Swapped},
    {"555", Wire::k555, &pixel::ConverterSet::to555},
    {"555Swapped", Wire::k555Swapped, &pixel::ConverterSet::to555Swapped},
    {"Opaque32", Wire::kOpaque32, &pixel::ConverterSet::toOpaque32},
};

// Every converter set this CPU runs, checked against the per-pixel reference.
class ConverterSetTest : public ::testing::TestWithParam<const pixel::ConverterSet*> {};

// All counts through the vector steps and every tail length, with source and destination at
// every byte misalignment; the bytes around the output must stay untouched.
TEST_P(ConverterSetTest, MatchesReferenceForEveryCountAndAlignment) {
    const pixel::ConverterSet& set = *GetParam();
    constexpr int kGuard = 32;
    for (const Converter& converter : kConverters) {
        const int bpp = test::BytesPerPixel(converter.form);
        for (int count = 0; count <= 67; ++count) {
            for (int source_offset = 0; source_offset < 4; ++source_offset) {
                for (int destination_offset = 0; destination_offset < 4; ++destination_offset) {
                    SCOPED_TRACE(std::string(converter.name) + " count " + std::to_string(count) +
                                 " offsets " + std::to_string(source_offset) + "/" +
                                 std::to_string(destination_offset));
                    std::vector<uint8_t> source = test::RandomBytes(
                        size_t(count) * 4 + 4,
                        uint32_t(count * 16 + source_offset * 4 + destination_offset));
                    const uint8_t* pixels = source.data() + source_offset;
                    std::vector<uint8_t> out(size_t(count) * bpp + 2 * kGuard + 4, 0xA5);
                    uint8_t* destination = out.data() + kGuard + destination_offset;
                    (set.*converter.function)(destination, pixels, count);

                    std::vector<uint8_t> expected = test::Reference(converter.form, pixels, count);
                    ASSERT_EQ(std::vector<uint8_t>(destination, destination + expected.size()),
                              expected);
                    for (uint8_t* p = out.data(); p < destination; ++p) ASSERT_EQ(*p, 0xA5);
                    for (uint8_t* p = destination + expected.size(); p < out.data() + out.size();
                         ++p) {
                        ASSERT_EQ(*p, 0xA5);
                    }
                }
            }
        }
    }
}

// Every 24-bit colour, with a varying fourth byte, through runs long enough for the widest
// vector steps and odd enough to end in tails.
TEST_P(ConverterSetTest, MatchesReferenceForEveryColour) {
    const pixel::ConverterSet& set = *GetParam();
    constexpr int kRun = 4093;
    std::vector<uint8_t> source(size_t(kRun) * 4);
    std::vector<uint8_t> out(size_t(kRun) * 4);
    std::vector<uint8_t> expected(size_t(kRun) * 4);
    for (uint32_t first = 0; first < (1u << 24); first += kRun) {
        const int count = static_cast<int>(std::min<uint32_t>(kRun, (1u << 24) - first));
        for (int i = 0; i < count; ++i) {
            uint32_t colour = first + i;
            source[4 * i] = static_cast<uint8_t>(colour);
            source[4 * i + 1] = static_cast<uint8_t>(colour >> 8);
            source[4 * i + 2] = static_cast<uint8_t>(colour >> 16);
            source[4 * i + 3] = static_cast<uint8_t>(colour * 37);
        }
        for (const Converter& converter : kConverters) {
            (set.*converter.function)(out.data(), source.data(), count);
            uint8_t* at = expected.data();
            for (int i = 0; i < count; ++i) {
                at += test::WriteReference(converter.form, &source[4 * size_t(i)], at);
            }
            ASSERT_EQ(0, std::memcmp(out.data(), expected.data(), size_t(at - expected.data())))
                << converter.name << " from colour " << first;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Usable, ConverterSetTest,
                         ::testing::ValuesIn(pixel::UsableConverterSets().begin(),
                                             pixel::UsableConverterSets().end()),
                         [](const auto& info) { return std::string(info.param->name); });

std::vector<uint8_t> Pixel(uint8_t b, uint8_t g, uint8_t r, uint8_t unused) {
    return {b, g, r, unused};
}

std::vector<uint8_t> ConvertOne(void (*convert)(uint8_t*, const uint8_t*, int),
                                const std::vector<uint8_t>& pixel) {
    std::vector<uint8_t> out(2);
    convert(out.data(), pixel.data(), 1);
    return out;
}

TEST(PixelConvert, KnownColours) {
    using Bytes = std::vector<uint8_t>;
    const Bytes white = Pixel(0xFF, 0xFF, 0xFF, 0x00);
    EXPECT_EQ(ConvertOne(Convert32To565, white), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(ConvertOne(Convert32To565Swapped, white), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(ConvertOne(Convert32To555, white), (Bytes{0xFF, 0x7F}));
    EXPECT_EQ(ConvertOne(Convert32To555Swapped, white), (Bytes{0xFF, 0x7F}));

    const Bytes red = Pixel(0x00, 0x00, 0xFF, 0x00);
    EXPECT_EQ(ConvertOne(Convert32To565, red), (Bytes{0x00, 0xF8}));
    EXPECT_EQ(ConvertOne(Convert32To565Swapped, red), (Bytes{0x1F, 0x00}));
    EXPECT_EQ(ConvertOne(Convert32To555, red), (Bytes{0x00, 0x7C}));
    EXPECT_EQ(ConvertOne(Convert32To555Swapped, red), (Bytes{0x1F, 0x00}));

    const Bytes blue = Pixel(0xFF, 0x00, 0x00, 0x00);
    EXPECT_EQ(ConvertOne(Convert32To565, blue), (Bytes{0x1F, 0x00}));
    EXPECT_EQ(ConvertOne(Convert32To565Swapped, blue), (Bytes{0x00, 0xF8}));

    // Low channel bits are dropped, not rounded.
    EXPECT_EQ(ConvertOne(Convert32To565, Pixel(0x07, 0x03, 0x07, 0x00)), (Bytes{0x00, 0x00}));
    EXPECT_EQ(ConvertOne(Convert32To565, Pixel(0x00, 0x04, 0x00, 0x00)), (Bytes{0x20, 0x00}));
}

TEST(PixelConvert, FourthByteNeverMatters) {
    for (auto convert :
         {Convert32To565, Convert32To565Swapped, Convert32To555, Convert32To555Swapped}) {
        EXPECT_EQ(ConvertOne(convert, Pixel(0, 0, 0, 0xFF)),
                  ConvertOne(convert, Pixel(0, 0, 0, 0)));
    }
    // Four pixels fill one vector step, so the vector part is checked as well as the tail.
    std::vector<uint8_t> black(5 * 4, 0), opaque_black(5 * 4, 0);
    for (int i = 0; i < 5; ++i) opaque_black[4 * i + 3] = 0xFF;
    std::vector<uint8_t> a(15, 0x11), b(15, 0x22);
    Convert32To24(a.data(), black.data(), 5);
    Convert32To24(b.data(), opaque_black.data(), 5);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, std::vector<uint8_t>(15, 0));
}

TEST(PixelConvert, CountsZeroAndFiveWriteExactly) {
    std::vector<uint8_t> source = test::RandomBytes(5 * 4, 7);
    std::vector<uint8_t> out(20, 0xA5);
    Convert32To565(out.data(), source.data(), 0);
    Convert32To24(out.data(), source.data(), -3);
    EXPECT_EQ(out, std::vector<uint8_t>(20, 0xA5));

    Convert32To24(out.data(), source.data(), 5);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 15),
              test::Reference(Wire::k24, source.data(), 5));
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + 15, out.end()), std::vector<uint8_t>(5, 0xA5));
}

TEST(PixelConvert, CopyBytes64CopiesExactlyCountBytes) {
    for (int count : {0, 1, 63, 64, 65, 130}) {
        std::vector<uint8_t> source = test::RandomBytes(size_t(count), uint32_t(count));
        std::vector<uint8_t> out(size_t(count) + 8, 0xA5);
        CopyBytes64(out.data(), source.data(), count);
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + count), source) << count;
        EXPECT_EQ(std::vector<uint8_t>(out.begin() + count, out.end()),
                  std::vector<uint8_t>(8, 0xA5));
    }
}

TEST(PixelConvert, PublicConvertersUseTheBestUsableSet) {
    EXPECT_STREQ(ConverterSetName(), pixel::UsableConverterSets().front()->name);
    // The portable set is always among the usable ones, so it is always checked too.
    bool portable = false;
    for (const pixel::ConverterSet* set : pixel::UsableConverterSets()) {
        portable |= set == &pixel::kPortableConverters;
    }
    EXPECT_TRUE(portable);
}

}  // namespace
}  // namespace tarrowlink
