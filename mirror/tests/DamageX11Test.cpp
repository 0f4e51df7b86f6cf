#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "mirror/MirrorDriver.h"
#include "mirror/Vitrex.h"
#include "mirror/tests/BoxTestSupport.h"
#include "mirror/x11/DamageTracker.h"
#include "mirror/x11/XcbScreenReader.h"
#include "platform/Debug.h"
#include "platform/testing/XvfbServer.h"

// Last: Xlib defines macros (None, Bool, Status) that clash with GoogleTest.
#include <X11/Xlib.h>

namespace mirror {
namespace {

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};

struct DrawnRect {
    int x, y, w, h;
};

// A private 1024 x 768 X server, $DISPLAY pointing at it, the real (DAMAGE) driver, and a
// connection of the test's own to draw with.
class DamageX11Test : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Ok()) << server_.Error();
        setenv("DISPLAY", server_.Display().c_str(), 1);
        SetMirrorDriver(nullptr);
        DropMirrorContext();
        Vitrex::m_unit_x = kVitrexNoGrid;
        Vitrex::m_unit_y = kVitrexNoGrid;
        display_.reset(XOpenDisplay(server_.Display().c_str()));
        ASSERT_TRUE(display_);
        gc_ = XCreateGC(display_.get(), DefaultRootWindow(display_.get()), 0, nullptr);
        XSetForeground(display_.get(), gc_, 0xFF8000);
        platform::SetDebugSink([this](std::string_view text) { log_ += text; });
    }
    void TearDown() override {
        platform::SetDebugSink(nullptr);
        vitrex_.UnloadVitrex();  // the driver lets go of the server before it stops
        DropMirrorContext();
        SetMirrorDriver(nullptr);
        if (display_) XFreeGC(display_.get(), gc_);
        display_.reset();
    }

    // One request per rectangle: Xlib would batch them into one request, which the server
    // damages as a whole (its bounding box).
    void Draw(const std::vector<DrawnRect>& rects) {
        Window root = DefaultRootWindow(display_.get());
        for (const DrawnRect& r : rects) {
            XFillRectangle(display_.get(), root, gc_, r.x, r.y, static_cast<unsigned>(r.w),
                           static_cast<unsigned>(r.h));
            XFlush(display_.get());
        }
        XSync(display_.get(), False);
    }

    std::vector<tagBOX> Query(unsigned long expected = VITREX_OK) {
        tagBOX boxes[kVitrexBoxCount];
        EXPECT_EQ(vitrex_.FindDisplayRect(boxes), expected);
        return ListedBoxes(boxes);
    }

    platform::testing::XvfbServer server_;
    std::unique_ptr<Display, DisplayCloser> display_;
    GC gc_{};
    Vitrex vitrex_;
    std::string log_;
};

TEST_F(DamageX11Test, AttachListsTheOutputsAndTheDamageDevice) {
    ASSERT_EQ(vitrex_.LoadVitrex(), 1) << log_;
    EXPECT_NE(Vitrex::m_hdcMirror.load(), nullptr);
    // Xvfb's one output, primary and showing the screen, then the mirror device.
    EXPECT_NE(log_.find("> X output 1024x768+0+0 \n[PRIMARY]\n[DESKTOP]\n"), std::string::npos)
        << log_;
    EXPECT_NE(log_.find("<DAMAGE> KOVRAL Mirror Driver \n[MIRROR]\n"), std::string::npos) << log_;
    EXPECT_NE(log_.find("\nName:DAMAGE\nString:KOVRAL Mirror Driver\nID:XDAMAGE\\1."),
              std::string::npos)
        << log_;
    EXPECT_NE(log_.find("Raw dynamic mode change on device mode: Change Successful\n"
                        "Mirror Driver operation is ok\n"),
              std::string::npos)
        << log_;
    EXPECT_EQ(vitrex_.SetVitrexVideoGrid(), VITREX_OK);
    EXPECT_EQ(vitrex_.SetVitrexResolution(768), VITREX_OK);

    EXPECT_EQ(vitrex_.UnloadVitrex(), 1);
    EXPECT_EQ(vitrex_.UnloadVitrex(), 1);  // releasing twice is fine
    Query(VITREX_NOT_READY);
    EXPECT_EQ(vitrex_.SetVitrexVideoGrid(), VITREX_NOT_READY);
}

TEST_F(DamageX11Test, DrawnRectanglesComeBackAsBoxes) {
    ASSERT_EQ(vitrex_.LoadVitrex(), 1) << log_;
    // A new damage object starts with the whole screen damaged.
    std::vector<tagBOX> first = Query();
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0], (tagBOX{0, 0, 1023, 767}));

    std::vector<DrawnRect> drawn = {{100, 120, 50, 40}, {600, 500, 30, 30}};
    Draw(drawn);
    std::vector<tagBOX> boxes = Query();
    ASSERT_FALSE(boxes.empty());
    Coverage coverage(1024, 768, boxes);
    for (const DrawnRect& r : drawn) EXPECT_TRUE(coverage.Covers(r.x, r.y, r.w, r.h));
    EXPECT_LE(coverage.CoveredPixels(), 50 * 40 + 30 * 30);  // exactly the drawing

    // Nothing drawn since: nothing to report.
    EXPECT_TRUE(Query().empty());

    // Grid snapping applies to the real answer too.
    Vitrex::m_unit_x = 64;
    Vitrex::m_unit_y = 64;
    Draw({{70, 70, 10, 10}});
    boxes = Query();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], (tagBOX{64, 64, 127, 127}));
}

TEST_F(DamageX11Test, DrawingThatChangesNothingIsNotReported) {
    ASSERT_EQ(vitrex_.LoadVitrex(), 1) << log_;
    Query();
    Query();  // a pass without damage: the whole screen is known and proven
    Draw({{200, 200, 40, 40}});
    EXPECT_EQ(Query(), (std::vector<tagBOX>{{200, 200, 239, 239}}));
    Query();
    Draw({{200, 200, 40, 40}});  // the same pixels again
    EXPECT_TRUE(Query().empty());

    // Two drawings in one request: the server damages their bounding box, only the tiles that
    // changed go out.
    XFillRectangle(display_.get(), DefaultRootWindow(display_.get()), gc_, 10, 10, 4, 4);
    XFillRectangle(display_.get(), DefaultRootWindow(display_.get()), gc_, 900, 700, 4, 4);
    XSync(display_.get(), False);
    std::vector<tagBOX> boxes = Query();
    Coverage coverage(1024, 768, boxes);
    EXPECT_TRUE(coverage.Covers(10, 10, 4, 4));
    EXPECT_TRUE(coverage.Covers(900, 700, 4, 4));
    EXPECT_LE(coverage.CoveredPixels(), 2 * 32 * 32);
}

TEST_F(DamageX11Test, AStormComesBackAsSixteenBoxesAtMost) {
    ASSERT_EQ(vitrex_.LoadVitrex(), 1) << log_;
    Query();
    std::mt19937 random(11);
    std::uniform_int_distribution<int> x(0, 1018), y(0, 700);
    std::vector<DrawnRect> drawn;
    for (int i = 0; i < 5000; ++i) drawn.push_back({x(random), y(random), 3, 2});
    Draw(drawn);
    // The tracker takes the notifications that have reached it: when the storm's notifications fill
    // its socket the rest come with the next queries, each still 16 boxes at most.
    std::vector<tagBOX> boxes;
    auto all_covered = [&] {
        std::vector<tagBOX> more = Query();
        EXPECT_LE(more.size(), static_cast<size_t>(kVitrexBoxCount));
        boxes.insert(boxes.end(), more.begin(), more.end());
        Coverage coverage(1024, 768, boxes);
        return std::all_of(drawn.begin(), drawn.end(),
                           [&](const DrawnRect& r) { return coverage.Covers(r.x, r.y, r.w, r.h); });
    };
    bool covered = false;
    for (int query = 0; query < 50 && !covered; ++query) {
        covered = all_covered();
        if (!covered) usleep(20000);
    }
    EXPECT_TRUE(covered);
    // The bottom rows were never drawn on: the boxes do not reach them.
    EXPECT_FALSE(Coverage(1024, 768, boxes).Covers(0, 720, 1024, 48));
    // Once the last notifications are in (an area reported again is the tiles' second look),
    // the storm is over.
    bool quiet = false;
    for (int query = 0; query < 5 && !quiet; ++query) {
        usleep(20000);
        quiet = Query().empty();
    }
    EXPECT_TRUE(quiet);
}

TEST_F(DamageX11Test, PollingFindsChangesWithoutDamage) {
    setenv("BEAMORA_MIRROR_POLL", "1", 1);
    int attached = vitrex_.LoadVitrex();
    unsetenv("BEAMORA_MIRROR_POLL");
    ASSERT_EQ(attached, 1) << log_;
    EXPECT_NE(log_.find("<POLL> KOVRAL Mirror Driver \n[MIRROR]\n"), std::string::npos) << log_;
    EXPECT_EQ(vitrex_.SetVitrexVideoGrid(), VITREX_OK);

    EXPECT_EQ(Query(), (std::vector<tagBOX>{{0, 0, 1023, 767}}));  // nothing known yet
    EXPECT_TRUE(Query().empty());
    Draw({{200, 200, 40, 40}});
    std::vector<tagBOX> boxes = Query();
    Coverage coverage(1024, 768, boxes);
    EXPECT_TRUE(coverage.Covers(200, 200, 40, 40));
    EXPECT_LE(coverage.CoveredPixels(), 64 * 64);  // the tiles of the drawing
    EXPECT_TRUE(Query().empty());
    EXPECT_EQ(vitrex_.UnloadVitrex(), 1);
    Query(VITREX_NOT_READY);
}

TEST_F(DamageX11Test, TrackerReleasesOnceAndStopsAnswering) {
    std::string error;
    auto tracker = x11::DamageTracker::Open(server_.Display().c_str(), &error);
    ASSERT_TRUE(tracker) << error;
    std::vector<PixelRect> rects;
    ASSERT_TRUE(tracker->Take(&rects));  // the whole screen, to begin with
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0].width, 1024);
    Draw({{1, 2, 3, 4}});
    ASSERT_TRUE(tracker->Take(&rects));
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0].x, 1);
    EXPECT_EQ(rects[0].height, 4);
    tracker->Release();
    tracker->Release();
    EXPECT_FALSE(tracker->Take(&rects));
    EXPECT_TRUE(rects.empty());

    EXPECT_FALSE(x11::DamageTracker::Open(":65000", &error));
    EXPECT_EQ(error, "no X display");
}

// Areas are copied into the frame at their place and nothing around them is touched; windows
// on the root come with it, as a read of the root gives them.
TEST_F(DamageX11Test, ReaderCopiesAreasIntoTheFrameInPlace) {
    auto reader = x11::XcbScreenReader::Open(server_.Display().c_str());
    ASSERT_TRUE(reader);
    ASSERT_TRUE(reader->ReadsAreas());  // Xvfb draws into shared memory
    uint32_t* frame = reader->Frame(1024, 768);
    ASSERT_NE(frame, nullptr);
    auto at = [&](int x, int y) { return frame[y * 1024 + x] & 0xFFFFFF; };

    Draw({{0, 0, 1024, 768}});  // orange everywhere
    ASSERT_TRUE(reader->ReadRows(0, 768));
    XSetForeground(display_.get(), gc_, 0x0000FF);
    Draw({{0, 0, 1024, 768}});  // then blue, of which only two areas are read
    Display* d = display_.get();
    Window child = XCreateSimpleWindow(d, DefaultRootWindow(d), 500, 300, 20, 20, 0, 0, 0x00FF00);
    XMapWindow(d, child);
    XSync(d, False);
    const std::vector<PixelRect> areas{{10, 20, 30, 40}, {490, 290, 64, 32}};
    ASSERT_TRUE(reader->ReadAreas(areas));
    EXPECT_EQ(at(10, 20), 0x0000FFu);
    EXPECT_EQ(at(39, 59), 0x0000FFu);
    EXPECT_EQ(at(9, 20), 0xFF8000u);
    EXPECT_EQ(at(40, 20), 0xFF8000u);
    EXPECT_EQ(at(10, 60), 0xFF8000u);
    EXPECT_EQ(at(505, 305), 0x00FF00u);  // the child window
    EXPECT_EQ(at(553, 321), 0x0000FFu);
    EXPECT_EQ(at(554, 321), 0xFF8000u);

    EXPECT_FALSE(reader->ReadAreas(std::vector<PixelRect>{{1000, 0, 25, 1}}));  // off the screen
    XDestroyWindow(d, child);
}

TEST_F(DamageX11Test, NoDisplayNoAttach) {
    setenv("DISPLAY", ":65000", 1);
    EXPECT_EQ(vitrex_.LoadVitrex(), 0);
    EXPECT_EQ(log_, "Can't read the current display mode.\n");
    EXPECT_EQ(Vitrex::m_hdcMirror.load(), nullptr);
}

}  // namespace
}  // namespace mirror
