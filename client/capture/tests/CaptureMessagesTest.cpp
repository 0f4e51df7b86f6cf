#include <gtest/gtest.h>
#include <lzo/lzo1x.h>

#include <cstring>
#include <string>
#include <vector>

#include "client/capture/CursorMessages.h"
#include "client/capture/PixelConvert.h"
#include "client/capture/ScreenUpdateMessage.h"
#include "platform/Debug.h"

namespace tarrowlink {
namespace {

// Records what the messages hand to the data connection.
class RecordingSink : public DataSink {
  public:
    int SendData(const uint8_t* buffer, int length, const int* sizes) override {
        if (sizes == nullptr) {
            units.emplace_back(buffer, buffer + length);
            return 0;
        }
        for (int i = 0; i < length; ++i) {
            units.emplace_back(buffer, buffer + sizes[i]);
            buffer += sizes[i];
        }
        return 0;
    }
    std::vector<std::vector<uint8_t>> units;
};

int Get16(const std::vector<uint8_t>& b, int at) {
    return static_cast<int16_t>(b[at] << 8 | b[at + 1]);
}
uint32_t Get32(const std::vector<uint8_t>& b, int at) {
    return uint32_t{b[at]} << 24 | uint32_t{b[at + 1]} << 16 | uint32_t{b[at + 2]} << 8 | b[at + 3];
}

CaptureRecord CursorRecord(std::vector<int16_t> placement, int32_t type) {
    CaptureRecord record;
    record.type = type;
    std::copy(placement.begin(), placement.end(), record.placement);
    record.frame_buffer_size = 4096;
    record.frame_buffer.reset(new uint8_t[4096]());
    for (int i = 0; i < 256; ++i) record.frame_buffer[i] = static_cast<uint8_t>(i);
    return record;
}

TEST(CursorMessages, MonochromeIs274BytesWithTheHeaderBigEndian) {
    RecordingSink sink;
    MonoCursorMessage message(&sink);
    message.SetCaptureHeight(768);
    CaptureRecord record = CursorRecord({32, 32, -7, -7, -7, -7}, kRecordMonochromeCursor);
    ASSERT_EQ(message.Prepare(record), 274);
    EXPECT_EQ(message.GetSize(), 274);
    message.Send();
    ASSERT_EQ(sink.units.size(), 1u);
    const auto& unit = sink.units[0];
    ASSERT_EQ(unit.size(), 274u);
    EXPECT_EQ(Get16(unit, 0), -7);
    EXPECT_EQ(Get16(unit, 2), 768 + 7 - 32);  // rows from the bottom of the capture
    EXPECT_EQ(Get16(unit, 4), 32);
    EXPECT_EQ(Get16(unit, 6), 32);
    EXPECT_EQ(Get32(unit, 8), 101u);
    EXPECT_EQ(std::vector<uint8_t>(unit.begin() + 12, unit.begin() + 18),
              (std::vector<uint8_t>{0, 7, 0, 7, 0, 0}));  // cut left, cut top, no length
    for (int i = 0; i < 256; ++i) ASSERT_EQ(unit[18 + i], i);

    CaptureRecord at_top = CursorRecord({32, 32, 500, 0, 500, 0}, kRecordMonochromeCursor);
    message.Prepare(at_top);
    message.Send();
    EXPECT_EQ(Get16(sink.units[1], 2), 736);
    EXPECT_EQ(Get16(sink.units[1], 12), 0);
}

TEST(CursorMessages, ColourIsACompressedBlockOfMaskAnd565PixelsTopRowFirst) {
    RecordingSink sink;
    ColorCursorMessage message(&sink);
    message.SetCaptureHeight(768);
    CaptureRecord record = CursorRecord({20, 32, 1000, 300, 1000, 300}, kRecordColourCursor);
    // Surface rows are bottom-up: row 31 in memory is the top image row.
    for (int row = 0; row < 32; ++row) {
        for (int col = 0; col < 32; ++col) {
            uint8_t* p = record.cursor_pixels + row * 128 + col * 4;
            p[0] = static_cast<uint8_t>(col * 8);
            p[1] = static_cast<uint8_t>(row * 8);
            p[2] = 0xF0;
            p[3] = 0;
        }
    }
    int size = message.Prepare(record);
    ASSERT_GT(size, 18);
    message.Send();
    const auto& unit = sink.units.at(0);
    ASSERT_EQ(static_cast<int>(unit.size()), size);
    EXPECT_EQ(Get32(unit, 8), 102u);
    int n = static_cast<uint16_t>(Get16(unit, 16));
    EXPECT_EQ(n + 18, size);

    std::vector<uint8_t> block(2176);
    lzo_uint out_len = block.size();
    ASSERT_EQ(lzo1x_decompress_safe(unit.data() + 18, static_cast<lzo_uint>(n), block.data(),
                                    &out_len, nullptr),
              LZO_E_OK);
    ASSERT_EQ(out_len, 2176u);
    for (int i = 0; i < 128; ++i) ASSERT_EQ(block[i], i);  // the AND mask as captured
    uint8_t expected_top[64];
    Convert32To565(expected_top, record.cursor_pixels + 31 * 128, 32);
    EXPECT_EQ(std::memcmp(block.data() + 128, expected_top, 64), 0);
    uint8_t expected_bottom[64];
    Convert32To565(expected_bottom, record.cursor_pixels, 32);
    EXPECT_EQ(std::memcmp(block.data() + 128 + 31 * 64, expected_bottom, 64), 0);
}

TEST(ScreenUpdateMessage, SendsOneChunkPerStripAndRefusesEmptyRectangles) {
    RecordingSink sink;
    ScreenUpdateMessage message(&sink);
    message.SetCaptureFormat(64, 48, 16);
    ASSERT_EQ(message.Setup(), 1);
    CaptureRecord record;
    record.frame_buffer_size = 64 * 48 * 4;
    record.frame_buffer.reset(new uint8_t[record.frame_buffer_size]());
    for (size_t i = 0; i < record.frame_buffer_size; ++i)
        record.frame_buffer[i] = static_cast<uint8_t>((i / 64) % 7 * 30);
    record.type = kRecordScreen;
    int16_t whole[6] = {0, 0, 64, 48, 0, 0};
    std::memcpy(record.placement, whole, sizeof whole);
    int total = message.Prepare(record);
    ASSERT_GT(total, 0);
    message.Send();
    ASSERT_EQ(static_cast<int>(sink.units.size()), message.StripCount());
    size_t sum = 0;
    for (const auto& strip : sink.units) {
        sum += strip.size();
        EXPECT_EQ(Get32(strip, 8), 0u);  // encoding identifier
        EXPECT_EQ(strip.size(), 16 + Get32(strip, 12));
    }
    EXPECT_EQ(static_cast<int>(sum), total);

    std::vector<std::string> lines;
    platform::SetDebugSink([&](std::string_view t) { lines.emplace_back(t); });
    int16_t flat[6] = {10, 10, 10, 20, 0, 0};  // x0 = x1: no strips
    std::memcpy(record.placement, flat, sizeof flat);
    EXPECT_EQ(message.Prepare(record), 0);
    platform::SetDebugSink({});
    EXPECT_EQ(lines,
              std::vector<std::string>{"s_nCount == 0 maybe capture screen range too small!"});

    message.SetCaptureFormat(64, 48, 8);  // no receiver depth of 8 bits
    EXPECT_EQ(message.Setup(), 0);
    EXPECT_EQ(message.Prepare(record), 0);
}

}  // namespace
}  // namespace tarrowlink
