// The capture on a real X server: what is drawn comes back from a capture step, bottom-up, and
// only about the area that changed is sent.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "client/capture/CaptureRecord.h"
#include "client/capture/ScreenCapture.h"
#include "mirror/Vitrex.h"
#include "mirror/testing/FakeMirrorDriver.h"
#include "platform/testing/XvfbServer.h"

// Last: Xlib defines macros (None, Bool, Status) that clash with GoogleTest.
#include "platform/x11/XDisplay.h"

namespace tarrowlink {
namespace {

class CaptureOnX : public ::testing::Test {
  protected:
    void StartServer(int width, int height) {
        server_ = std::make_unique<platform::testing::XvfbServer>(width, height, 24);
        ASSERT_TRUE(server_->Ok()) << server_->Error();
        setenv("DISPLAY", server_->Display().c_str(), 1);
        display_.reset(XOpenDisplay(server_->Display().c_str()));
        ASSERT_TRUE(display_);
        FullRefreshFlag().store(1);
    }
    void AllocateRecords(int width, int height) {
        for (CaptureRecord& record : records_) {
            record.frame_buffer_size = static_cast<size_t>(width) * height * 4;
            record.frame_buffer.reset(new uint8_t[record.frame_buffer_size]());
        }
    }
    void Fill(int x, int y, int w, int h, unsigned long rgb) {
        Display* d = display_.get();
        GC gc = XCreateGC(d, DefaultRootWindow(d), 0, nullptr);
        XSetForeground(d, gc, rgb);
        XFillRectangle(d, DefaultRootWindow(d), gc, x, y, static_cast<unsigned>(w),
                       static_cast<unsigned>(h));
        XFreeGC(d, gc);
        XSync(d, False);
    }
    // The pixel at surface column x, surface row y counted from the top, of a record: in the
    // pixels the capture lent it (x, y inside its placement), else in its buffer.
    static uint32_t PixelAt(const CaptureRecord& record, int capture_width, int capture_height,
                            int x, int y) {
        const int row = capture_height - 1 - y;
        const uint8_t* p =
            record.pixels != nullptr
                ? record.pixels + (row - record.placement[1]) * record.pixels_stride +
                      (x - record.placement[0]) * 4
                : record.frame_buffer.get() + (static_cast<size_t>(row) * capture_width + x) * 4;
        return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
    }
    // Runs steps until one fills records (the tracker may need a moment to see the drawing).
    int Step(ScreenCapture& capture) {
        for (int attempt = 0; attempt < 50; ++attempt) {
            int n = capture.CaptureScreen(records_);
            if (n > 0) return n;
            usleep(20000);
        }
        return 0;
    }

    std::unique_ptr<platform::testing::XvfbServer> server_;
    platform::XDisplayPtr display_;
    CaptureRecord records_[kMaxRectangles];
};

// A scripted tracker that, once, writes one box past the 16 of its answer. The capture hands the
// tracker its own list, whose end entry follows the 16, so the box lands there.
class OverrunningDriver : public mirror::MirrorDriver {
  public:
    explicit OverrunningDriver(std::shared_ptr<mirror::testing::FakeMirrorDriver> fake)
        : fake_(std::move(fake)) {}

    bool CurrentMode(mirror::DisplayMode* mode) override { return fake_->CurrentMode(mode); }
    std::vector<mirror::DisplayDevice> Devices() override { return fake_->Devices(); }
    int ChangeAttachment(const mirror::DisplayDevice& device, const mirror::DisplayMode& mode,
                         bool attach) override {
        return fake_->ChangeAttachment(device, mode, attach);
    }
    int Escape(int escape, const void* in, size_t in_bytes, void* out, size_t out_bytes) override {
        int result = fake_->Escape(escape, in, in_bytes, out, out_bytes);
        if (escape == mirror::kEscapeGetBoxes && result > 0 && past_the_answer) {
            std::memcpy(static_cast<uint8_t*>(out) + mirror::kBoxesBytes, &*past_the_answer,
                        sizeof(tagBOX));
            past_the_answer.reset();
        }
        return result;
    }

    std::optional<tagBOX> past_the_answer;

  private:
    std::shared_ptr<mirror::testing::FakeMirrorDriver> fake_;
};

TEST_F(CaptureOnX, DrawnRectangleComesBackBottomUpAndOnlyAboutItsArea) {
    StartServer(1024, 768);
    AllocateRecords(1024, 768);
    ScreenCapture capture;
    Fill(0, 0, 1024, 768, 0x203040);
    ASSERT_EQ(capture.Begin(1024, 768, 0, 0), 1);

    // The first step sends the whole screen as one rectangle.
    ASSERT_EQ(capture.CaptureScreen(records_), 1);
    EXPECT_EQ(std::vector<int>(records_[0].placement, records_[0].placement + 4),
              (std::vector<int>{0, 0, 1024, 768}));
    EXPECT_EQ(PixelAt(records_[0], 1024, 768, 500, 500), 0x203040u);

    Fill(300, 200, 100, 100, 0xC08010);
    int n = Step(capture);
    ASSERT_GT(n, 0);
    long area = 0;
    bool covered = false;
    for (int i = 0; i < n; ++i) {
        const int16_t* r = records_[i].placement;
        area += long{r[2] - r[0]} * (r[3] - r[1]);
        // Rows count from the bottom: screen rows 200..299 are surface rows 468..567.
        if (r[0] <= 300 && r[2] >= 400 && r[1] <= 468 && r[3] >= 568) {
            covered = true;
            // Read where the change tracker keeps them, not copied.
            EXPECT_NE(records_[i].pixels, nullptr);
            EXPECT_EQ(PixelAt(records_[i], 1024, 768, 300, 200), 0xC08010u);
            EXPECT_EQ(PixelAt(records_[i], 1024, 768, 399, 299), 0xC08010u);
        }
    }
    EXPECT_TRUE(covered);
    EXPECT_LE(area, 4 * 100 * 100) << "a 100 x 100 change should not send the screen";

    // What was sent is what the change tracker read: it lends its copy of the screen, so that
    // the capture reads nothing again.
    const uint8_t* lent = nullptr;
    ptrdiff_t stride = 0;
    ASSERT_TRUE(capture.Tracker().LendScreenPixels(300, 200, 100, 100, &lent, &stride));
    EXPECT_EQ(stride, 1024 * 4);
    EXPECT_EQ(lent[0] | lent[1] << 8 | lent[2] << 16, 0xC08010);
    EXPECT_EQ(lent[99 * stride + 99 * 4 + 2], 0xC0);
    EXPECT_FALSE(capture.Tracker().LendScreenPixels(1000, 700, 100, 100, &lent, &stride));
}

TEST_F(CaptureOnX, EveryStepEndsTheBoxListAfreshAfterTheTrackersSixteen) {
    StartServer(1024, 768);
    AllocateRecords(1024, 768);
    mirror::testing::ScopedFakeMirrorDriver scoped;  // drops the mirror context on both ends
    auto fake = std::make_shared<mirror::testing::FakeMirrorDriver>();
    auto driver = std::make_shared<OverrunningDriver>(fake);
    mirror::SetMirrorDriver(driver);
    Vitrex::SetVideoGrid(1024, 768, 1024, 768);  // no grid: boxes arrive as answered
    ScreenCapture capture;
    ASSERT_EQ(capture.Begin(1024, 768, 0, 0), 1);
    FullRefreshFlag().store(0);

    // One step whose answer ran over into the end entry: what lies there is not sent.
    driver->past_the_answer = tagBOX{0, 0, 1023, 767};
    EXPECT_EQ(capture.CaptureScreen(records_), 0);
    // The next answer uses all 16 entries; a stale end entry would join its last box and lose it.
    std::vector<tagBOX> sixteen;
    for (int i = 0; i < 16; ++i)
        sixteen.push_back({static_cast<int16_t>(i * 50), 0, static_cast<int16_t>(i * 50 + 9), 9});
    fake->QueueBoxes(sixteen);
    ASSERT_EQ(capture.CaptureScreen(records_), 16);
    EXPECT_EQ(std::vector<int>(records_[15].placement, records_[15].placement + 4),
              (std::vector<int>{750, 758, 760, 768}));
}

TEST_F(CaptureOnX, LargerScreenIsScaledOntoTheCapture) {
    StartServer(1280, 1024);
    AllocateRecords(1024, 768);
    Vitrex::SetVideoGrid(1280, 1024, 1024, 768);
    ScreenCapture capture;
    Fill(0, 0, 1280, 1024, 0x000000);
    Fill(0, 0, 640, 512, 0xFF0000);  // the top-left quarter
    ASSERT_EQ(capture.BeginScaled(1024, 768, Vitrex::GetCof(1), Vitrex::GetCof(0), 1), 1);
    EXPECT_EQ(capture.CaptureScreenWidth(), 1280);
    EXPECT_EQ(capture.MaxY(), 1023);
    ASSERT_EQ(capture.CaptureScreen(records_), 1);
    EXPECT_EQ(std::vector<int>(records_[0].placement, records_[0].placement + 4),
              (std::vector<int>{0, 0, 1024, 768}));
    // The quarter lands on the capture's top-left quarter (512 x 384), filtered at its edge.
    EXPECT_EQ(PixelAt(records_[0], 1024, 768, 100, 100), 0xFF0000u);
    EXPECT_EQ(PixelAt(records_[0], 1024, 768, 505, 378), 0xFF0000u);
    EXPECT_EQ(PixelAt(records_[0], 1024, 768, 520, 100), 0x000000u);
    EXPECT_EQ(PixelAt(records_[0], 1024, 768, 100, 392), 0x000000u);
}

TEST_F(CaptureOnX, SmallerScreenSitsTopLeftAndTheTrackerLearnsTheCaptureHeight) {
    StartServer(800, 600);
    AllocateRecords(1024, 768);
    mirror::testing::ScopedFakeMirrorDriver fake;
    ScreenCapture capture;
    Fill(0, 0, 800, 600, 0x00FF00);
    ASSERT_EQ(capture.Begin(1024, 768, 0, 0), 1);
    EXPECT_EQ(capture.CaptureScreenWidth(), 1024);
    EXPECT_EQ(capture.CaptureScreenHeight(), 768);
    EXPECT_EQ((*fake).ResolutionValues(), std::vector<int32_t>{768});
    ASSERT_EQ(capture.CaptureScreen(records_), 1);
    EXPECT_EQ(PixelAt(records_[0], 1024, 768, 0, 0), 0x00FF00u);
    EXPECT_EQ(PixelAt(records_[0], 1024, 768, 799, 599), 0x00FF00u);
    EXPECT_EQ(PixelAt(records_[0], 1024, 768, 900, 100), 0x000000u);  // beyond the screen: black
    EXPECT_EQ(PixelAt(records_[0], 1024, 768, 100, 700), 0x000000u);
}

TEST_F(CaptureOnX, PointerIsCapturedWhereItIs) {
    StartServer(1024, 768);
    AllocateRecords(1024, 768);
    ScreenCapture capture;
    ASSERT_EQ(capture.Begin(1024, 768, 0, 0), 1);
    XWarpPointer(display_.get(), 0, DefaultRootWindow(display_.get()), 0, 0, 0, 0, 200, 150);
    XSync(display_.get(), False);
    CaptureRecord cursor;
    cursor.frame_buffer_size = 4096;
    cursor.frame_buffer.reset(new uint8_t[4096]());
    ASSERT_EQ(capture.CaptureCursor(&cursor), 1);
    EXPECT_TRUE(cursor.type == kRecordMonochromeCursor || cursor.type == kRecordColourCursor);
    // The placement is the pointer less the hotspot: within one cursor of (200, 150).
    EXPECT_GT(cursor.placement[2], 200 - 32);
    EXPECT_LE(cursor.placement[2], 200);
    EXPECT_GT(cursor.placement[3], 150 - 32);
    EXPECT_LE(cursor.placement[3], 150);
}

TEST(ScaleRect, WholeScalesPositionAndSizeCursorKeepsItsSize) {
    ScreenCapture capture;
    mirror::testing::ScopedFakeMirrorDriver fake;
    setenv("DISPLAY", ":65001", 1);  // no desktop: Begin fails but the coefficients are set
    capture.BeginScaled(1024, 768, 0.8f, 0.75f, 1);
    int16_t rect[6] = {100, 200, 1280, 1024, 0, 0};
    capture.ScaleRect(rect, 1);
    EXPECT_EQ(std::vector<int16_t>(rect, rect + 4), (std::vector<int16_t>{80, 150, 1024, 768}));
    int16_t placement[6] = {32, 32, 100, 200, -10, 40};
    capture.ScaleRect(placement, 0);
    EXPECT_EQ(std::vector<int16_t>(placement, placement + 6),
              (std::vector<int16_t>{32, 32, 80, 150, -8, 30}));
}

}  // namespace
}  // namespace tarrowlink
