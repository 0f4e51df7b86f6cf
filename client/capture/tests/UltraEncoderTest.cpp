#include <gtest/gtest.h>
#include <lzo/lzo1x.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "client/capture/PixelFormat.h"
#include "client/capture/UltraEncoder.h"
#include "client/capture/tests/PixelReference.h"
#include "platform/Debug.h"

namespace tarrowlink {
namespace {

using test::Wire;

struct DecodedStrip {
    int x, y, width, height;
    uint32_t encoding;
    std::vector<uint8_t> pixels;
};

int Big16(const uint8_t* p) {
    return p[0] << 8 | p[1];
}
uint32_t Big32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// Splits a payload by its size list and decodes every strip the way a receiver does.
std::vector<DecodedStrip> Decode(const std::vector<uint8_t>& payload, int32_t total,
                                 const std::vector<int32_t>& sizes, int count, int bpp) {
    std::vector<DecodedStrip> strips;
    size_t at = 0;
    for (int i = 0; i < count; ++i) {
        const uint8_t* strip = payload.data() + at;
        DecodedStrip d{Big16(strip),     Big16(strip + 2), Big16(strip + 4),
                       Big16(strip + 6), Big32(strip + 8), {}};
        const uint32_t compressed = Big32(strip + 12);
        EXPECT_EQ(compressed + 16, uint32_t(sizes[i])) << "strip " << i;
        d.pixels.resize(size_t(d.width) * d.height * bpp);
        lzo_uint out_length = d.pixels.size();
        EXPECT_EQ(
            lzo1x_decompress_safe(strip + 16, compressed, d.pixels.data(), &out_length, nullptr),
            LZO_E_OK)
            << "strip " << i;
        EXPECT_EQ(out_length, d.pixels.size()) << "strip " << i;
        strips.push_back(std::move(d));
        at += size_t(sizes[i]);
    }
    EXPECT_EQ(at, size_t(total));
    return strips;
}

Wire FormFor(int depth) {
    return depth == 16 ? Wire::k565 : depth == 24 ? Wire::k24 : Wire::kOpaque32;
}

// The rows y0..y1 of a capture buffer, converted pixel by pixel, row y0 first.
std::vector<uint8_t> ExpectedRows(const std::vector<uint8_t>& frame, int width, int depth, int x0,
                                  int y0, int x1, int y1) {
    std::vector<uint8_t> out;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            test::AppendReference(FormFor(depth), &frame[(size_t(y) * width + x) * 4], out);
        }
    }
    return out;
}

class Encoder {
  public:
    Encoder(int width, int height, int depth) : width_(width), height_(height), depth_(depth) {
        EXPECT_EQ(encoder.Configure(width, height, depth), 1);
        encoder.SetSourceFormat(kCapturePixelFormat, width, height);
        encoder.SetWireFormat(WirePixelFormatFor(depth));
        payload.assign(size_t(encoder.MaxPayloadSize()), 0);
        sizes.assign(size_t(encoder.MaxStripCount()), -1);
    }

    // Encodes and decodes the rectangle; checks every strip against the reference conversion
    // (unless exact is false: coarsened strips are checked by the caller), that strips come bottom
    // row first on the strip grid, and returns them.
    std::vector<DecodedStrip> RoundTrip(const std::vector<uint8_t>& frame, PixelRect r,
                                        bool exact = true) {
        std::fill(sizes.begin(), sizes.end(), -1);
        total = encoder.EncodeRectangle(frame.data(), payload.data(), sizes.data(), r);
        count = 0;
        while (count < int(sizes.size()) && sizes[count] != -1) ++count;
        std::vector<DecodedStrip> strips = Decode(payload, total, sizes, count, depth_ / 8);
        int next_row = r.y0;
        for (const DecodedStrip& s : strips) {
            EXPECT_EQ(s.x, r.x0);
            EXPECT_EQ(s.width, r.x1 - r.x0);
            // Bottom to top, on the strip grid; a left-out strip leaves a gap.
            EXPECT_GE(s.y, next_row);
            EXPECT_EQ((s.y - r.y0) % encoder.RowsPerStrip(r.x1 - r.x0), 0);
            EXPECT_EQ(s.height, std::min(encoder.RowsPerStrip(r.x1 - r.x0), r.y1 - s.y));
            EXPECT_EQ(s.encoding, 0u);
            if (exact) {
                EXPECT_EQ(s.pixels,
                          ExpectedRows(frame, width_, depth_, r.x0, s.y, r.x1, s.y + s.height));
            }
            next_row = s.y + s.height;
        }
        return strips;
    }

    UltraEncoder encoder;
    std::vector<uint8_t> payload;
    std::vector<int32_t> sizes;
    int32_t total = 0;
    int count = 0;

  private:
    int width_, height_, depth_;
};

TEST(UltraEncoder, FullScreenAtDepth16GivesFortyEightStripsOfSixteenRows) {
    const std::vector<uint8_t> frame = test::FlatFrame(1024, 768, 1);
    Encoder e(1024, 768, 16);
    EXPECT_EQ(e.encoder.CountStrips(0, 0, 1024, 768), 48);
    std::vector<DecodedStrip> strips = e.RoundTrip(frame, {0, 0, 1024, 768});
    ASSERT_EQ(strips.size(), 48u);
    for (const DecodedStrip& s : strips) {
        EXPECT_EQ(s.height, 16);
        EXPECT_EQ(s.pixels.size(), 32768u);
    }
    EXPECT_EQ(strips.back().y, 752);
}

TEST(UltraEncoder, RoundTripsAtEveryDepth) {
    const std::vector<uint8_t> frame = test::FlatFrame(640, 480, 2);
    for (int depth : {16, 24, 32}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        Encoder e(640, 480, depth);
        EXPECT_EQ(e.RoundTrip(frame, {0, 0, 640, 480}).size(), 30u);
        // A half-width rectangle gets strips of 32 rows; an odd one ends in a short strip.
        std::vector<DecodedStrip> half = e.RoundTrip(frame, {320, 100, 640, 300});
        ASSERT_EQ(half.size(), 7u);
        EXPECT_EQ(half[0].height, 32);
        EXPECT_EQ(half[6].height, 8);
        EXPECT_EQ(e.RoundTrip(frame, {7, 3, 301, 479}).size(),
                  size_t(e.encoder.CountStrips(7, 3, 301, 479)));

        // The same rectangle from a top-down copy of its pixels alone, as the capture lends the
        // change tracker's: the same bytes.
        const PixelRect r{7, 3, 301, 479};
        const std::vector<uint8_t> from_buffer(e.payload.begin(), e.payload.begin() + e.total);
        std::vector<uint8_t> lent;
        for (int y = r.y1 - 1; y >= r.y0; --y) {
            lent.insert(lent.end(), &frame[(size_t(y) * 640 + r.x0) * 4],
                        &frame[(size_t(y) * 640 + r.x1) * 4]);
        }
        const ptrdiff_t row = ptrdiff_t{r.x1 - r.x0} * 4;
        const PixelSource source{lent.data() + (r.y1 - r.y0 - 1) * row, -row, r.x0, r.y0};
        const int32_t total =
            e.encoder.EncodeRectangle(source, e.payload.data(), e.sizes.data(), r);
        EXPECT_EQ(std::vector<uint8_t>(e.payload.begin(), e.payload.begin() + total), from_buffer);
    }
}

TEST(UltraEncoder, NarrowRectangleGetsTallStrips) {
    const std::vector<uint8_t> frame = test::FlatFrame(1024, 768, 3);
    Encoder e(1024, 768, 16);
    EXPECT_EQ(e.encoder.RowsPerStrip(100), 163);
    EXPECT_EQ(e.encoder.CountStrips(10, 5, 110, 405), 3);
    std::vector<DecodedStrip> strips = e.RoundTrip(frame, {10, 5, 110, 405});
    ASSERT_EQ(strips.size(), 3u);
    EXPECT_EQ(strips[0].height, 163);
    EXPECT_EQ(strips[1].height, 163);
    EXPECT_EQ(strips[2].height, 74);
}

TEST(UltraEncoder, OneRowRectanglesGiveOneStripOfOneRow) {
    const std::vector<uint8_t> frame = test::FlatFrame(1024, 768, 4);
    for (int depth : {16, 24, 32}) {
        Encoder e(1024, 768, depth);
        for (int row : {0, 383, 767}) {
            SCOPED_TRACE("depth " + std::to_string(depth) + " row " + std::to_string(row));
            EXPECT_EQ(e.encoder.CountStrips(0, row, 1024, row + 1), 1);
            std::vector<DecodedStrip> strips = e.RoundTrip(frame, {0, row, 1024, row + 1});
            ASSERT_EQ(strips.size(), 1u);
            EXPECT_EQ(strips[0].height, 1);
            EXPECT_EQ(strips[0].y, row);
        }
    }
}

TEST(UltraEncoder, HeaderIsBigEndianWithZeroEncoding) {
    const std::vector<uint8_t> frame = test::FlatFrame(1024, 768, 5);
    Encoder e(1024, 768, 16);
    e.RoundTrip(frame, {300, 260, 812, 290});
    ASSERT_EQ(e.count, 1);
    const uint8_t* h = e.payload.data();
    EXPECT_EQ(std::vector<uint8_t>(h, h + 12),
              (std::vector<uint8_t>{0x01, 0x2C, 0x01, 0x04, 0x02, 0x00, 0x00, 0x1E, 0, 0, 0, 0}));
    const uint32_t compressed = uint32_t(e.sizes[0] - 16);
    EXPECT_EQ(std::vector<uint8_t>(h + 12, h + 16),
              (std::vector<uint8_t>{uint8_t(compressed >> 24), uint8_t(compressed >> 16),
                                    uint8_t(compressed >> 8), uint8_t(compressed)}));
    EXPECT_EQ(e.encoder.LastCompressedLength(), int32_t(compressed));
}

// The level at which decoded pixels are the exact ones coarsened: every colour channel keeps its
// high bits and has its low `level` bits set to half a step (binary 10...0). 0 when they are
// exact; -1 when no level up to the coarsest explains them.
int CoarseLevelOf(const std::vector<uint8_t>& exact, const std::vector<uint8_t>& decoded,
                  int depth) {
    if (exact.size() != decoded.size()) return -1;
    std::vector<std::pair<int, int>> channels;  // (exact, decoded)
    for (size_t i = 0; i < exact.size(); i += size_t(depth / 8)) {
        if (depth == 16) {
            const int e = exact[i] | exact[i + 1] << 8, d = decoded[i] | decoded[i + 1] << 8;
            for (int shift : {11, 5, 0}) {
                const int mask = shift == 5 ? 0x3F : 0x1F;
                channels.emplace_back(e >> shift & mask, d >> shift & mask);
            }
            continue;
        }
        for (size_t c = 0; c < 3; ++c) channels.emplace_back(exact[i + c], decoded[i + c]);
        if (depth == 32 && decoded[i + 3] != 0xFF) return -1;
    }
    for (int level = 0; level <= UltraEncoder::MaxCoarseLevel(depth); ++level) {
        const int half = level == 0 ? 0 : 1 << (level - 1);
        if (std::all_of(channels.begin(), channels.end(), [&](const std::pair<int, int>& c) {
                return c.second >> level == c.first >> level &&
                       (c.second & ((1 << level) - 1)) == half;
            })) {
            return level;
        }
    }
    return -1;
}

// A smooth colour field with grain of +-3: noisy, but far less than random bytes.
void PaintGrain(std::vector<uint8_t>& frame, int width, int y0, int y1, uint32_t seed) {
    std::mt19937 random(seed);
    for (int y = y0; y < y1; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &frame[(size_t(y) * width + x) * 4];
            for (int c = 0; c < 3; ++c) {
                p[c] = uint8_t(60 + c * 40 + (x + 3 * y) / (8 + c) % 90 + int(random() % 7));
            }
        }
    }
}

// How many lead groups turn the exact pixels into the decoded ones (RepeatLead); 0 when they are
// exact, -1 when no lead explains them (a pixel past the lead differs, or the lead is not made of
// repetitions of exact bytes).
int LeadGroupsOf(const std::vector<uint8_t>& exact, const std::vector<uint8_t>& decoded,
                 int depth) {
    if (exact.size() != decoded.size()) return -1;
    if (exact == decoded) return 0;
    const int32_t length = int32_t(exact.size());
    for (int groups = 1; groups * 3 * UltraEncoder::LeadFreshBytes(depth) <= length; ++groups) {
        std::vector<uint8_t> lead = exact;
        UltraEncoder::RepeatLead(lead.data(), length, depth, groups);
        if (lead == decoded) return groups;
    }
    return -1;
}

// A strip sent with a lead: its lead is the fewest groups that fit (one group fewer gives a stream
// longer than the pixels) and no more than a strip of noise needs: LZO1X-1 adds at most
// LiteralOverhead to pixels it finds no match in, and each group saves at least 2 x fresh - 4
// bytes (a literal run and a match, each with its length). The number of groups.
int ExpectFewestLead(UltraEncoder& encoder, const std::vector<uint8_t>& exact,
                     const std::vector<uint8_t>& decoded, int depth) {
    const int groups = LeadGroupsOf(exact, decoded, depth);
    EXPECT_GE(groups, 1);
    const int32_t length = int32_t(exact.size());
    const int32_t saving = 2 * UltraEncoder::LeadFreshBytes(depth) - 4;
    EXPECT_LE(groups, (UltraEncoder::LiteralOverhead(length) + saving - 1) / saving);
    if (groups > 1) {
        std::vector<uint8_t> fewer = exact;
        UltraEncoder::RepeatLead(fewer.data(), length, depth, groups - 1);
        std::vector<uint8_t> out(UltraEncoder::CompressBound(exact.size()));
        EXPECT_GT(encoder.CompressBlock(fewer.data(), out.data(), length), length);
    }
    return groups;
}

TEST(UltraEncoder, IncompressibleStripsGoOutLightlyCoarsenedOrWithALeadThatDoesNotStick) {
    // Strips of 16 rows, bottom to top: flat, grain, noise, flat; and a small noisy rectangle.
    std::vector<uint8_t> frame = test::FlatFrame(1024, 80, 6);
    PaintGrain(frame, 1024, 16, 32, 67);
    const std::vector<uint8_t> noise = test::RandomBytes(1024 * 16 * 4, 66);
    std::copy(noise.begin(), noise.end(), frame.begin() + 1024 * 32 * 4);
    const std::vector<uint8_t> corner = test::RandomBytes(1024 * 16 * 4, 68);
    std::copy(corner.begin(), corner.end(), frame.begin() + 1024 * 64 * 4);
    for (int depth : {16, 24, 32}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        Encoder e(1024, 80, depth);
        // The same picture twice: the second pass starts from what the first one learnt.
        for (int pass = 0; pass < 2; ++pass) {
            std::vector<DecodedStrip> strips = e.RoundTrip(frame, {0, 0, 1024, 64}, false);
            ASSERT_EQ(strips.size(), 4u);
            std::vector<std::vector<uint8_t>> exact;
            for (size_t i = 0; i < strips.size(); ++i) {
                exact.push_back(ExpectedRows(frame, 1024, depth, 0, strips[i].y, 1024,
                                             strips[i].y + strips[i].height));
                EXPECT_LE(e.sizes[i], 16 + int32_t(exact[i].size()));
            }
            // The grain loses a light level's bits at most, and one bit less would not fit.
            const int grain = CoarseLevelOf(exact[1], strips[1].pixels, depth);
            EXPECT_GE(grain, 0);
            EXPECT_LE(grain, UltraEncoder::MaxLightLevel(depth));
            if (grain > 0) {
                std::vector<uint8_t> finer = exact[1];
                const int32_t length = int32_t(finer.size());
                if (grain > 1) {
                    UltraEncoder::CoarsenPixels(finer.data(), finer.data(), length, depth,
                                                grain - 1);
                }
                std::vector<uint8_t> out(UltraEncoder::CompressBound(finer.size()));
                EXPECT_GT(e.encoder.CompressBlock(finer.data(), out.data(), length), length);
            }
            // The noise goes out exact but for its lead; the flat strips above and below exact.
            ExpectFewestLead(e.encoder, exact[2], strips[2].pixels, depth);
            EXPECT_EQ(strips[0].pixels, exact[0]);
            EXPECT_EQ(strips[3].pixels, exact[3]);
        }
        // Too few pixels for a lead of their own: coarser colours.
        std::vector<DecodedStrip> small = e.RoundTrip(frame, {0, 64, 8, 72}, false);
        ASSERT_EQ(small.size(), 1u);
        EXPECT_GE(
            CoarseLevelOf(ExpectedRows(frame, 1024, depth, 0, 64, 8, 72), small[0].pixels, depth),
            UltraEncoder::MaxLightLevel(depth) + 1);
        // Grain where the noise was (a photograph after a video) is lightly coarsened again.
        std::vector<uint8_t> grainy = frame;
        PaintGrain(grainy, 1024, 32, 48, 69);
        std::vector<DecodedStrip> photo = e.RoundTrip(grainy, {0, 32, 1024, 48}, false);
        ASSERT_EQ(photo.size(), 1u);
        const int level = CoarseLevelOf(ExpectedRows(grainy, 1024, depth, 0, 32, 1024, 48),
                                        photo[0].pixels, depth);
        EXPECT_GE(level, 0);
        EXPECT_LE(level, UltraEncoder::MaxLightLevel(depth));
        // The noisy band turns flat: it goes out exact at once.
        std::vector<uint8_t> calm = test::FlatFrame(1024, 80, 6);
        e.RoundTrip(calm, {0, 0, 1024, 64});
        EXPECT_EQ(e.count, 4);
    }
}

TEST(UltraEncoder, NoisyScreensGoOutExactButForTheFewestLeadGroups) {
    const std::vector<uint8_t> frame = test::RandomBytes(1920 * 48 * 4, 70);
    for (int depth : {16, 24, 32}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        Encoder e(1920, 48, depth);
        // Full-width strips, then strips of an odd rectangle: taller, narrower and not at the
        // left edge, so the lead runs on into the strip's second row.
        for (PixelRect r :
             {PixelRect{0, 0, 1920, 48}, PixelRect{1, 1, 1920, 48}, PixelRect{700, 3, 710, 48}}) {
            std::vector<DecodedStrip> strips = e.RoundTrip(frame, r, false);
            ASSERT_EQ(strips.size(), size_t(e.encoder.CountStrips(r.x0, r.y0, r.x1, r.y1)));
            for (size_t i = 0; i < strips.size(); ++i) {
                const DecodedStrip& s = strips[i];
                const std::vector<uint8_t> exact =
                    ExpectedRows(frame, 1920, depth, s.x, s.y, s.x + s.width, s.y + s.height);
                EXPECT_LE(e.sizes[i], 16 + int32_t(exact.size()));
                ExpectFewestLead(e.encoder, exact, s.pixels, depth);
            }
        }
    }
}

TEST(UltraEncoder, ChangedStripsGiveOneDebugLineARectangle) {
    std::vector<uint8_t> frame = test::FlatFrame(512, 128, 11);
    PaintGrain(frame, 512, 16, 32, 13);
    const std::vector<uint8_t> noise = test::RandomBytes(512 * 64 * 4, 12);
    std::copy(noise.begin(), noise.end(), frame.begin() + 512 * 32 * 4);  // rows 32..95
    Encoder e(512, 128, 24);
    std::vector<std::string> lines;
    platform::SetDebugSink([&](std::string_view text) { lines.emplace_back(text); });
    const std::vector<DecodedStrip> whole = e.RoundTrip(frame, {0, 0, 512, 128}, false);
    e.RoundTrip(frame, {0, 96, 512, 128});  // flat: no line
    const std::vector<DecodedStrip> part = e.RoundTrip(frame, {0, 40, 512, 56}, false);
    platform::SetDebugSink(nullptr);
    // What the line should say, read from the decoded strips.
    auto says = [&](const std::vector<DecodedStrip>& strips) {
        int coarsened = 0, finest = 99, coarsest = 0, leads = 0;
        for (const DecodedStrip& s : strips) {
            const std::vector<uint8_t> exact =
                ExpectedRows(frame, 512, 24, 0, s.y, 512, s.y + s.height);
            const int level = CoarseLevelOf(exact, s.pixels, 24);
            if (level < 0) {
                EXPECT_GT(LeadGroupsOf(exact, s.pixels, 24), 0);
                ++leads;
            } else if (level > 0) {
                ++coarsened;
                finest = std::min(finest, level);
                coarsest = std::max(coarsest, level);
            }
        }
        const std::string of = " of " + std::to_string(strips.size()) + " strips)";
        std::string text = "sent ";
        if (coarsened > 0) {
            text += "coarser (" +
                    (finest == coarsest
                         ? "level " + std::to_string(finest)
                         : "levels " + std::to_string(finest) + " to " + std::to_string(coarsest)) +
                    ", " + std::to_string(coarsened) + of;
        }
        if (leads > 0) {
            text += (coarsened > 0 ? " and " : "") + std::string("with a repeated lead (") +
                    std::to_string(leads) + of;
        }
        return text + "\n";
    };
    EXPECT_EQ(lines,
              (std::vector<std::string>{"Ultra encoder: rectangle 0,0-512,128 " + says(whole),
                                        "Ultra encoder: rectangle 0,40-512,56 " + says(part)}));
    // The grain strip lightly coarsened, the four noisy ones with a lead.
    EXPECT_NE(lines[0].find(", 1 of 8 strips) and with a repeated lead (4 of 8 strips)"),
              std::string::npos)
        << lines[0];
}

TEST(UltraEncoder, TinyIncompressibleStripIsLeftOutWithoutASizeEntry) {
    std::vector<uint8_t> frame = test::RandomBytes(64 * 64 * 4, 5);
    Encoder e(64, 64, 16);
    // One pixel: no LZO stream is as short as its 2 bytes.
    EXPECT_EQ(
        e.encoder.EncodeRectangle(frame.data(), e.payload.data(), e.sizes.data(), {3, 3, 4, 4}), 0);
    EXPECT_EQ(e.sizes[0], -1);  // untouched
}

TEST(UltraEncoder, IncompressibleStripStaysInsideItsBuffer) {
    for (int depth : {16, 24, 32}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        std::vector<uint8_t> frame = test::RandomBytes(1920 * 32 * 4, uint32_t(depth));
        Encoder e(1920, 32, depth);
        const size_t raw = 1920 * 16 * size_t(depth / 8);
        ASSERT_GE(size_t(e.encoder.StripBufferSize()), 16 + UltraEncoder::CompressBound(raw));
        std::vector<uint8_t> buffer(size_t(e.encoder.StripBufferSize()) + 256, 0xA5);
        // The exact pixels grow past their raw size inside the buffer; the strip then goes out
        // coarser, within its raw size. Twice, the second one starting at the level the first
        // one found.
        for (int pass = 0; pass < 2; ++pass) {
            const int32_t written =
                e.encoder.EncodeStrip(frame.data(), buffer.data(), {0, 16, 1920, 32});
            EXPECT_GT(written, 16);
            EXPECT_LE(size_t(written), raw + 16);
        }
        for (size_t i = size_t(e.encoder.StripBufferSize()); i < buffer.size(); ++i) {
            ASSERT_EQ(buffer[i], 0xA5) << i;
        }
    }
}

TEST(UltraEncoder, Depth32HasAnOpaqueFourthByte) {
    const std::vector<uint8_t> frame = test::FlatFrame(256, 64, 7);
    Encoder e(256, 64, 32);
    std::vector<DecodedStrip> strips = e.RoundTrip(frame, {0, 0, 256, 64});
    ASSERT_EQ(strips.size(), 4u);
    for (const DecodedStrip& s : strips) {
        for (size_t i = 3; i < s.pixels.size(); i += 4) ASSERT_EQ(s.pixels[i], 0xFF) << i;
    }
}

TEST(UltraEncoder, RefusesUnsupportedSetUp) {
    std::vector<std::string> lines;
    platform::SetDebugSink([&](std::string_view text) { lines.emplace_back(text); });
    const std::vector<uint8_t> frame = test::FlatFrame(64, 32, 8);
    std::vector<uint8_t> payload(64 * 32 * 4 + 1024);
    std::vector<int32_t> sizes(8, -1);
    UltraEncoder encoder;
    for (int depth : {0, 8, 15, 30, 64}) {
        EXPECT_EQ(encoder.Configure(64, 32, depth), 0) << depth;
        EXPECT_EQ(
            encoder.EncodeRectangle(frame.data(), payload.data(), sizes.data(), {0, 0, 64, 32}), 0);
    }
    EXPECT_EQ(encoder.Configure(0, 32, 16), 0);
    EXPECT_EQ(encoder.Configure(64, UltraEncoder::kMaxCaptureSide + 1, 16), 0);
    platform::SetDebugSink(nullptr);
    EXPECT_EQ(sizes[0], -1);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[1], "Ultra encoder: remote depth 8 is not supported\n");
    EXPECT_EQ(lines[5], "Ultra encoder: capture size 0x32 is not supported\n");

    // A later good set-up works again.
    EXPECT_EQ(encoder.Configure(64, 32, 16), 1);
    EXPECT_GT(encoder.EncodeRectangle(frame.data(), payload.data(), sizes.data(), {0, 0, 64, 32}),
              0);
}

TEST(UltraEncoder, RejectsRectanglesOutsideTheCapture) {
    const std::vector<uint8_t> frame = test::FlatFrame(128, 64, 9);
    Encoder e(128, 64, 24);
    std::vector<std::string> lines;
    platform::SetDebugSink([&](std::string_view text) { lines.emplace_back(text); });
    for (PixelRect r :
         {PixelRect{0, 0, 129, 16}, PixelRect{-1, 0, 10, 10}, PixelRect{0, 60, 128, 65},
          PixelRect{10, 0, 5, 10}, PixelRect{0, 0, 0, 64}, PixelRect{0, 5, 128, 5}}) {
        EXPECT_EQ(e.encoder.EncodeRectangle(frame.data(), e.payload.data(), e.sizes.data(), r), 0);
    }
    platform::SetDebugSink(nullptr);
    // Empty rectangles are silent; the three that reach outside say so.
    EXPECT_EQ(lines.size(), 3u);
    EXPECT_EQ(e.sizes[0], -1);
    EXPECT_EQ(e.encoder.CountStrips(10, 0, 10, 64), 0);
    EXPECT_EQ(e.encoder.CountStrips(0, 7, 128, 7), 0);

    std::vector<uint8_t> strip(size_t(e.encoder.StripBufferSize()));
    // More than a strip's worth of pixels, and a rectangle outside the capture, are errors.
    EXPECT_EQ(e.encoder.EncodeStrip(frame.data(), strip.data(), {0, 0, 128, 17}), -1);
    EXPECT_EQ(e.encoder.EncodeStrip(frame.data(), strip.data(), {0, 60, 128, 65}), -1);
    EXPECT_EQ(e.encoder.ConvertRows24(frame.data(), strip.data(), {0, 60, 128, 65}), 0);
}

TEST(UltraEncoder, CompressBlockWorksWithoutConfigure) {
    UltraEncoder encoder;
    EXPECT_STREQ(encoder.GetName(), "Ultra");
    std::vector<uint8_t> block = test::FlatFrame(32, 17, 10);
    block.resize(2176);
    std::vector<uint8_t> out(UltraEncoder::CompressBound(block.size()));
    const int32_t n = encoder.CompressBlock(block.data(), out.data(), int32_t(block.size()));
    ASSERT_GT(n, 0);
    std::vector<uint8_t> back(block.size());
    lzo_uint back_length = back.size();
    ASSERT_EQ(lzo1x_decompress_safe(out.data(), lzo_uint(n), back.data(), &back_length, nullptr),
              LZO_E_OK);
    EXPECT_EQ(back, block);
}

TEST(UltraEncoder, BufferSizesCoverTheWorstRectangle) {
    for (int depth : {16, 24, 32}) {
        Encoder e(1366, 770, depth);
        EXPECT_EQ(e.encoder.MaxStripCount(), 49);
        // The largest payload: every strip kept at its raw size plus its header.
        EXPECT_EQ(e.encoder.MaxPayloadSize(), 1366 * 770 * depth / 8 + 49 * 16);
        EXPECT_LE(e.encoder.MaxPayloadSize(), e.encoder.MaxEncodedSize(1366, 770));
    }
}

}  // namespace
}  // namespace tarrowlink
