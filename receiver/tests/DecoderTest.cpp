#include <gtest/gtest.h>

#include <random>
#include <string>

#include "receiver/DataStream.h"
#include "receiver/tests/TestUnits.h"

namespace receiver {
namespace {

using test::Bytes;
using test::Geometry;
using test::Screen;

ProjectionStart StartFor(int width, int height, int bits_per_pixel) {
    ProjectionStart start;
    start.mode = ReceiverMode{width, height, bits_per_pixel};
    return start;
}

// Every pixel of the rectangle (rows from the bottom) shows the screen at the wire depth.
void ExpectRectangle(const Picture& picture, const Screen& screen, int x0, int y0, int x1, int y1) {
    const CaptureGeometry& g = picture.Geometry();
    int wrong = 0;
    for (int y = y0; y < y1; ++y) {
        int row = g.capture_height - 1 - y;
        for (int x = x0; x < x1; ++x) {
            if (picture.PixelAt(x, row) != test::Quantize(screen.At(x, row), g.bits_per_pixel)) {
                if (++wrong < 5) ADD_FAILURE() << "pixel " << x << "," << row << " differs";
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

class StripDepth : public ::testing::TestWithParam<int> {};

TEST_P(StripDepth, FullCaptureInStripsWithAShorterLastOneLandsBottomUp) {
    const int depth = GetParam();
    // 40 rows in strips of 16: 16, 16 and a last one of 8.
    Screen screen(64, 40, 3);
    Picture picture(Geometry(64, 40, depth));
    DataStream stream(picture, [&] { return StartFor(64, 40, depth); });
    int strips = 0;
    Bytes units = test::EncodeRectangle(screen, depth, 0, 0, 64, 40, 16, &strips);
    ASSERT_EQ(strips, 3);
    ASSERT_TRUE(stream.Feed(units.data(), units.size())) << stream.Error();
    EXPECT_EQ(stream.Counters().strips, 3u);
    EXPECT_EQ(stream.Counters().bytes, units.size());
    EXPECT_EQ(stream.PendingBytes(), 0u);
    ExpectRectangle(picture, screen, 0, 0, 64, 40);
}

TEST_P(StripDepth, OddWidthsAndOneRowStripsTouchOnlyTheirRectangle) {
    const int depth = GetParam();
    Screen before(53, 31, 1);
    Screen after(53, 31, 4);
    Picture picture(Geometry(53, 31, depth));
    DataStream stream(picture, [&] { return StartFor(53, 31, depth); });
    Bytes all = test::EncodeRectangle(before, depth, 0, 0, 53, 31, 16);
    // An odd-width rectangle away from the edges in strips of one row, and the top-right corner
    // row. (A single pixel does not get smaller under LZO1X-1, so presenters never send one.)
    Bytes rows = test::EncodeRectangle(after, depth, 7, 3, 40, 12, 1);
    Bytes pixel = test::EncodeRectangle(after, depth, 20, 30, 53, 31, 1);
    for (const Bytes* units : {&all, &rows, &pixel}) {
        ASSERT_TRUE(stream.Feed(units->data(), units->size())) << stream.Error();
    }
    ExpectRectangle(picture, after, 7, 3, 40, 12);
    ExpectRectangle(picture, after, 20, 30, 53, 31);
    ExpectRectangle(picture, before, 0, 0, 53, 3);
    ExpectRectangle(picture, before, 0, 12, 53, 30);
    ExpectRectangle(picture, before, 0, 30, 20, 31);
    ExpectRectangle(picture, before, 0, 3, 7, 12);
    ExpectRectangle(picture, before, 40, 3, 53, 12);
}

INSTANTIATE_TEST_SUITE_P(Depths, StripDepth, ::testing::Values(16, 24, 32));

TEST(DataStream, UnitsSplitAnywhereDecodeAsWhole) {
    Screen screen(96, 50, 7);
    Bytes units = test::EncodeRectangle(screen, 16, 0, 0, 96, 50, 16);
    Bytes cursor = test::CursorHeader(kUnitMonoCursor, 10, 10, 32, 32, 0);
    cursor.resize(kMonoCursorUnitSize, 0xFF);  // transparent everywhere
    units.insert(units.end(), cursor.begin(), cursor.end());

    Picture whole(Geometry(96, 50, 16));
    DataStream reference(whole, [] { return StartFor(96, 50, 16); });
    ASSERT_TRUE(reference.Feed(units.data(), units.size()));

    std::mt19937 random(42);
    Picture pieces(Geometry(96, 50, 16));
    DataStream stream(pieces, [] { return StartFor(96, 50, 16); });
    for (size_t offset = 0; offset < units.size();) {
        size_t n = std::min<size_t>(1 + random() % 700, units.size() - offset);
        ASSERT_TRUE(stream.Feed(units.data() + offset, n)) << stream.Error();
        offset += n;
    }
    EXPECT_EQ(stream.Counters().units, reference.Counters().units);
    EXPECT_EQ(stream.Counters().updates, 1u);
    EXPECT_EQ(pieces.Compose().pixels, whole.Compose().pixels);
}

TEST(UnitParser, NeedsMoreUntilTheLastByteOfEachKind) {
    // Until a unit is whole the answer is "need more" with the bytes still awaited: the prefix,
    // then the kind's header, then the whole unit. Bytes after it belong to the next unit.
    const CaptureGeometry geometry = Geometry(40, 32, 16);
    Bytes strip = test::StripUnit(0, 0, 4, 2, Bytes(10, 0x33));
    Bytes mono = test::CursorHeader(kUnitMonoCursor, 0, 0, 32, 32, 0);
    mono.resize(kMonoCursorUnitSize, 0xFF);
    Bytes colour = test::CursorHeader(kUnitColourCursor, 0, 0, 32, 32, 100);
    colour.resize(kCursorHeaderSize + 100, 0x44);
    const struct {
        const char* what;
        Bytes unit;
        size_t header_size;
    } cases[] = {{"strip", strip, kStripHeaderSize},
                 {"monochrome cursor", mono, kCursorHeaderSize},
                 {"colour cursor", colour, kCursorHeaderSize}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t n = c.unit.size();
        Bytes received = c.unit;
        received.push_back(0);  // the first byte of the next unit
        UnitHeader header;
        for (size_t size = 0; size < n; ++size) {
            ParseResult result = ParseUnit(received.data(), size, geometry, &header);
            size_t awaited = size < kUnitPrefixSize ? kUnitPrefixSize
                             : size < c.header_size ? c.header_size
                                                    : n;
            ASSERT_EQ(result.status, ParseResult::kNeedMore) << size << " bytes";
            ASSERT_EQ(result.size, awaited) << size << " bytes";
        }
        for (size_t size : {n, n + 1}) {
            ParseResult result = ParseUnit(received.data(), size, geometry, &header);
            ASSERT_EQ(result.status, ParseResult::kUnit) << size << " bytes: " << result.error;
            EXPECT_EQ(result.size, n);
        }
    }
}

TEST(UnitParser, CursorJustOutsideAnEdgeIsRefusedJustInsideAccepted) {
    // A 32 x 32 cursor image on a 40 x 32 picture; y counts from the bottom, so the image's top
    // row is 32 - y - 32. One pixel of it on the picture is enough.
    const CaptureGeometry geometry = Geometry(40, 32, 16);
    const struct {
        const char* where;
        int x, y;
        bool accepted;
    } cases[] = {
        {"last column on the left edge", -31, 0, true},
        {"one column left of the picture", -32, 0, false},
        {"first column on the right edge", 39, 0, true},
        {"one column right of the picture", 40, 0, false},
        {"last row on the top edge", 0, 31, true},
        {"one row above the picture", 0, 32, false},
        {"first row on the bottom edge", 0, -31, true},
        {"one row below the picture", 0, -32, false},
    };
    for (uint32_t kind : {kUnitMonoCursor, kUnitColourCursor}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::to_string(kind) + ", " + c.where);
            Bytes unit = test::CursorHeader(kind, c.x, c.y, 32, 32, 100);
            unit.resize(kind == kUnitMonoCursor ? kMonoCursorUnitSize : kCursorHeaderSize + 100);
            UnitHeader header;
            ParseResult result = ParseUnit(unit.data(), unit.size(), geometry, &header);
            if (c.accepted) {
                EXPECT_EQ(result.status, ParseResult::kUnit) << result.error;
            } else {
                EXPECT_EQ(result.status, ParseResult::kError);
                EXPECT_NE(result.error.find("lies outside the 40x32 picture"), std::string::npos)
                    << result.error;
            }
        }
    }
}

// A picture with known content, a stream that has decoded it, and a check that a refused unit
// changes nothing.
class RefusedUnit : public ::testing::Test {
  protected:
    RefusedUnit()
        : screen_(40, 32, 5),
          picture_(Geometry(40, 32, 16)),
          stream_(picture_, [] { return StartFor(40, 32, 16); }) {
        Bytes units = test::EncodeRectangle(screen_, 16, 0, 0, 40, 32, 16);
        EXPECT_TRUE(stream_.Feed(units.data(), units.size()));
        before_ = picture_.Compose().pixels;
        version_ = picture_.Version();
    }

    // Feeds unit and expects it refused with a reason containing `reason`, the picture untouched
    // and the stream closed to anything further.
    void ExpectRefused(const Bytes& unit, const std::string& reason) {
        EXPECT_FALSE(stream_.Feed(unit.data(), unit.size()));
        EXPECT_NE(stream_.Error().find(reason), std::string::npos) << stream_.Error();
        EXPECT_EQ(picture_.Version(), version_);
        EXPECT_EQ(picture_.Compose().pixels, before_);
        Bytes good = test::EncodeRectangle(Screen(40, 32, 9), 16, 0, 0, 40, 32, 16);
        EXPECT_FALSE(stream_.Feed(good.data(), good.size()));
        EXPECT_EQ(picture_.Version(), version_);
    }

    Bytes RawStrip(int width, int height) {
        return Bytes(static_cast<size_t>(width) * height * 2, 0x5A);
    }

    Screen screen_;
    Picture picture_;
    DataStream stream_;
    std::vector<uint32_t> before_;
    uint64_t version_ = 0;
};

TEST_F(RefusedUnit, CompressedLengthAboveRawSize) {
    // 4 x 2 pixels at 16 bits are 16 raw bytes; 17 compressed bytes cannot be right.
    ExpectRefused(test::StripUnit(0, 0, 4, 2, Bytes(17, 0)), "17 compressed bytes for 16 raw");
}

TEST_F(RefusedUnit, CompressedLengthZero) {
    ExpectRefused(test::StripUnit(0, 0, 4, 2, {}), "0 compressed bytes");
}

TEST_F(RefusedUnit, RectanglePastTheRightEdge) {
    ExpectRefused(test::StripUnit(30, 0, 11, 1, test::Lzo(RawStrip(11, 1))),
                  "lies outside the 40x32 picture");
}

TEST_F(RefusedUnit, RectanglePastTheTop) {
    ExpectRefused(test::StripUnit(0, 31, 4, 2, test::Lzo(RawStrip(4, 2))),
                  "lies outside the 40x32 picture");
}

TEST_F(RefusedUnit, RectangleFarOutsideDoesNotWrapAround) {
    ExpectRefused(test::StripUnit(0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, Bytes(20, 0)),
                  "lies outside the 40x32 picture");
}

TEST_F(RefusedUnit, ZeroWidthOrHeight) {
    ExpectRefused(test::StripUnit(0, 0, 0, 4, Bytes(4, 0)), "is empty");
}

TEST_F(RefusedUnit, ZeroHeight) {
    ExpectRefused(test::StripUnit(0, 0, 4, 0, Bytes(4, 0)), "is empty");
}

TEST_F(RefusedUnit, TruncatedLzoStream) {
    Bytes data = test::Lzo(Bytes(40 * 16 * 2, 0x11));
    data.resize(data.size() - 3);  // the end marker is gone
    ExpectRefused(test::StripUnit(0, 0, 40, 16, data), "strip 40x16 at 0,0");
}

TEST_F(RefusedUnit, StreamShorterThanTheRectangle) {
    // A valid stream for 8 rows declared as 16: it must fill the rectangle exactly.
    ExpectRefused(test::StripUnit(0, 0, 40, 16, test::Lzo(Bytes(40 * 8 * 2, 0x22))),
                  "instead of 1280");
}

TEST_F(RefusedUnit, StreamLongerThanTheRectangle) {
    Bytes data = test::Lzo(Bytes(40 * 16 * 2, 0x22));
    ExpectRefused(test::StripUnit(0, 0, 40, 8, data), "more than 640");
}

TEST_F(RefusedUnit, GarbageInsteadOfLzo) {
    ExpectRefused(test::StripUnit(0, 0, 40, 16, Bytes(100, 0xEE)), "strip 40x16 at 0,0");
}

TEST_F(RefusedUnit, UnknownKind) {
    Bytes unit = test::StripUnit(0, 0, 4, 2, Bytes(4, 0));
    unit[11] = 7;
    ExpectRefused(unit, "unknown unit kind 7");
}

TEST_F(RefusedUnit, CursorOfZeroOrTooManyPixels) {
    Bytes cursor = test::CursorHeader(kUnitMonoCursor, 0, 0, 33, 32, 0);
    cursor.resize(kMonoCursorUnitSize);
    ExpectRefused(cursor, "is not 1 to 32 pixels");
}

TEST_F(RefusedUnit, CursorWhollyOutside) {
    Bytes cursor = test::CursorHeader(kUnitMonoCursor, 40, 0, 32, 32, 0);
    cursor.resize(kMonoCursorUnitSize);
    ExpectRefused(cursor, "lies outside the 40x32 picture");
}

TEST_F(RefusedUnit, ColourCursorLengthAboveItsRoom) {
    Bytes cursor = test::CursorHeader(kUnitColourCursor, 0, 0, 32, 32, 4227);
    ExpectRefused(cursor, "4227 compressed bytes");
}

TEST_F(RefusedUnit, ColourCursorOfTheWrongSize) {
    Bytes data = test::Lzo(Bytes(kColourCursorRawSize - 2, 0));
    Bytes cursor =
        test::CursorHeader(kUnitColourCursor, 0, 0, 32, 32, static_cast<int>(data.size()));
    cursor.insert(cursor.end(), data.begin(), data.end());
    ExpectRefused(cursor, "colour cursor decompresses to 2174 bytes instead of 2176");
}

// A picture of one grey level with a cursor on it.
class CursorDrawing : public ::testing::Test {
  protected:
    static constexpr uint32_t kGrey = 0x808080;

    CursorDrawing()
        : picture_(Geometry(64, 48, 24)), stream_(picture_, [] { return StartFor(64, 48, 24); }) {
        Bytes raw;
        for (int i = 0; i < 64 * 48; ++i) test::AppendPixel(raw, kGrey, 24);
        Bytes unit = test::StripUnit(0, 0, 64, 48, test::Lzo(raw));
        EXPECT_TRUE(stream_.Feed(unit.data(), unit.size()));
    }

    uint32_t At(const ComposedImage& image, int x, int row) {
        return image.pixels[static_cast<size_t>(row) * image.width + x] & 0xFFFFFF;
    }

    Picture picture_;
    DataStream stream_;
};

TEST_F(CursorDrawing, MonochromeMasksGiveBlackWhiteTransparentAndInverted) {
    // Row 0: AND 0 XOR 0 (black); row 1: AND 0 XOR 1 (white); row 2: AND 1 XOR 0 (screen);
    // row 3: AND 1 XOR 1 (inverted screen); the rest transparent. Placed at x 5, top row 10:
    // y from the bottom = 48 - 10 - 4.
    Bytes masks(256, 0);
    for (int row = 2; row < 32; ++row) std::fill_n(&masks[row * 4], 4, 0xFF);  // AND mask
    std::fill_n(&masks[128 + 1 * 4], 4, 0xFF);                                 // XOR row 1
    std::fill_n(&masks[128 + 3 * 4], 4, 0xFF);                                 // XOR row 3
    Bytes unit = test::CursorHeader(kUnitMonoCursor, 5, 48 - 10 - 4, 32, 4, 0);
    unit.insert(unit.end(), masks.begin(), masks.end());
    ASSERT_TRUE(stream_.Feed(unit.data(), unit.size())) << stream_.Error();

    ComposedImage image = picture_.Compose();
    EXPECT_EQ(At(image, 5, 10), 0x000000u);
    EXPECT_EQ(At(image, 36, 11), 0xFFFFFFu);
    EXPECT_EQ(At(image, 20, 12), kGrey);
    EXPECT_EQ(At(image, 20, 13), 0x7F7F7Fu);
    EXPECT_EQ(At(image, 4, 10), kGrey);   // left of the cursor
    EXPECT_EQ(At(image, 20, 14), kGrey);  // below its 4 visible rows
    // The surface itself keeps no cursor.
    EXPECT_EQ(picture_.PixelAt(5, 10) & 0xFFFFFF, kGrey);
}

TEST_F(CursorDrawing, ColourCursorIsClippedAtTheLeftAndTopEdges) {
    // A white opaque cursor image at x -7 and top row -7: its pixel (7, 7) lands on (0, 0).
    Bytes raw(kCursorMaskBytes, 0x00);  // AND mask: opaque everywhere
    for (int i = 0; i < 32 * 32; ++i) test::AppendPixel(raw, 0xFFFFFF, 16);
    Bytes data = test::Lzo(raw);
    Bytes unit = test::CursorHeader(kUnitColourCursor, -7, 48 + 7 - 32, 32, 32,
                                    static_cast<int>(data.size()));
    unit.insert(unit.end(), data.begin(), data.end());
    ASSERT_TRUE(stream_.Feed(unit.data(), unit.size())) << stream_.Error();

    ComposedImage image = picture_.Compose();
    EXPECT_EQ(At(image, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(At(image, 24, 24), 0xFFFFFFu);
    EXPECT_EQ(At(image, 25, 24), kGrey);
    EXPECT_EQ(At(image, 24, 25), kGrey);
}

TEST_F(CursorDrawing, HiddenCursorDrawsNothing) {
    Bytes unit = test::CursorHeader(kUnitMonoCursor, 5, 20, 1, 1, 0);
    unit.resize(kMonoCursorUnitSize, 0);  // black, if it were drawn
    ASSERT_TRUE(stream_.Feed(unit.data(), unit.size()));
    ComposedImage image = picture_.Compose();
    for (uint32_t pixel : image.pixels) ASSERT_EQ(pixel & 0xFFFFFF, kGrey);
}

}  // namespace
}  // namespace receiver
