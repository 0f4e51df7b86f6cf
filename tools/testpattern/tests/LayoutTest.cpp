#include <gtest/gtest.h>

#include "tools/testpattern/PatternOptions.h"
#include "tools/testpattern/SceneLayout.h"

namespace testpattern {
namespace {

bool NonNegative(const Rect& r) {
    return r.width >= 0 && r.height >= 0;
}

TEST(TestPatternLayout, EverythingFitsAndMovingAreasAreNeverCovered) {
    for (auto [w, h] : {std::pair{640, 480}, {800, 600}, {1024, 768}, {1920, 1080}, {3840, 2160}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        SceneLayout layout = LayoutScene(w, h);
        const Rect screen{0, 0, w, h};
        ASSERT_EQ(layout.windows.size(), 3u);
        for (const FakeWindow& window : layout.windows) {
            EXPECT_TRUE(Contains(screen, window.frame)) << window.title;
            EXPECT_FALSE(Overlaps(window.frame, layout.taskbar)) << window.title;
        }
        for (const DesktopIcon& icon : layout.icons) EXPECT_TRUE(Contains(screen, icon.image));
        EXPECT_TRUE(Contains(layout.windows[0].frame, layout.slide_track));
        EXPECT_TRUE(Contains(layout.windows[2].frame, layout.progress_bar));
        EXPECT_TRUE(Contains(layout.taskbar, layout.clock));
        EXPECT_GT(layout.box_width, 20);
        EXPECT_GT(layout.slide_track.width, 2 * layout.box_width);

        // Windows are painted back to front: none may hide another one's moving area, and the
        // moving areas must be apart, or a frame would paint over a neighbour's pixels.
        auto areas = DynamicAreas(layout);
        for (size_t i = 0; i < areas.size(); ++i) {
            EXPECT_GT(areas[i].width * areas[i].height, 0) << i;
            for (size_t j = i + 1; j < areas.size(); ++j) {
                EXPECT_FALSE(Overlaps(areas[i], areas[j])) << i << " " << j;
            }
        }
        for (size_t i = 1; i < layout.windows.size(); ++i) {
            EXPECT_FALSE(Overlaps(layout.windows[i].frame, layout.slide_track));
        }
        EXPECT_FALSE(Overlaps(layout.windows[1].frame, layout.progress_bar));
    }
}

TEST(TestPatternLayout, TinyScreensGiveEmptyAreasNotNegativeOnes) {
    for (auto [w, h] : {std::pair{0, 0}, {1, 1}, {40, 30}, {-5, 100}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        SceneLayout layout = LayoutScene(w, h);
        for (const FakeWindow& window : layout.windows) EXPECT_TRUE(NonNegative(window.frame));
        for (const Rect& r : DynamicAreas(layout)) EXPECT_TRUE(NonNegative(r));
        EXPECT_GE(layout.box_width, 0);
        EXPECT_GE(layout.box_height, 0);
        EXPECT_TRUE(NonNegative(SlidingBox(layout, 7, 10)));
    }
}

TEST(TestPatternLayout, SlidingBoxStaysOnItsTrackAndCoversItInFourSeconds) {
    SceneLayout layout = LayoutScene(1024, 768);
    const Rect& track = layout.slide_track;
    for (int fps : {1, 10, 60}) {
        SCOPED_TRACE(fps);
        int leftmost = track.x + track.width, rightmost = 0;
        Rect previous = SlidingBox(layout, 0, fps);
        for (uint64_t frame = 0; frame < static_cast<uint64_t>(fps) * 16; ++frame) {
            Rect box = SlidingBox(layout, frame, fps);
            ASSERT_TRUE(Contains(track, box)) << frame;
            if (frame > 0) {
                EXPECT_NE(box.x, previous.x) << "stood still at frame " << frame;
            }
            leftmost = std::min(leftmost, box.x);
            rightmost = std::max(rightmost, box.x + box.width);
            previous = box;
        }
        EXPECT_EQ(leftmost, track.x);
        EXPECT_EQ(rightmost, track.x + track.width);
        EXPECT_EQ(SlidingBox(layout, static_cast<uint64_t>(fps) * 4, fps).x + layout.box_width,
                  track.x + track.width);
        EXPECT_EQ(SlidingBox(layout, static_cast<uint64_t>(fps) * 8, fps).x, track.x);
    }
    // Far into a long run the arithmetic neither overflows nor leaves the track.
    EXPECT_TRUE(Contains(track, SlidingBox(layout, UINT64_MAX, 60)));
}

TEST(TestPatternLayout, ProgressFillsInSixSecondsThenRestarts) {
    EXPECT_EQ(ProgressPermille(0, 10), 0);
    EXPECT_EQ(ProgressPermille(30, 10), 500);
    EXPECT_EQ(ProgressPermille(59, 10), 983);
    EXPECT_EQ(ProgressPermille(60, 10), 0);
    EXPECT_LT(ProgressPermille(UINT64_MAX, 60), 1000);
}

TEST(TestPatternLayout, CentredAreaIsCutToTheScreenOrIsTheWholeScreen) {
    auto same = [](const Rect& a, const Rect& b) {
        return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
    };
    EXPECT_TRUE(same(CentredArea(1024, 768, 400, 300), {312, 234, 400, 300}));
    EXPECT_TRUE(same(CentredArea(1024, 768, 0, 0), {0, 0, 1024, 768}));
    EXPECT_TRUE(same(CentredArea(640, 480, 800, 300), {0, 90, 640, 300}));
}

TEST(TestPatternOptions, ReadsValuesAndRefusesWhatIsOutOfRange) {
    PatternOptions options;
    std::string error;
    ASSERT_TRUE(ParsePatternOptions({}, &options, &error));
    EXPECT_EQ(options.fps, 10);
    EXPECT_EQ(options.seconds, 0);
    EXPECT_FALSE(options.once);
    EXPECT_TRUE(options.display.empty());
    EXPECT_FALSE(options.area);
    EXPECT_FALSE(options.print_frames);

    ASSERT_TRUE(ParsePatternOptions({"--display", ":7", "--fps", "60", "--seconds", "3", "--once"},
                                    &options, &error));
    EXPECT_EQ(options.display, ":7");
    EXPECT_EQ(options.fps, 60);
    EXPECT_EQ(options.seconds, 3);
    EXPECT_TRUE(options.once);

    ASSERT_TRUE(ParsePatternOptions({"--area", "400x300", "--print-frames"}, &options, &error));
    EXPECT_TRUE(options.area);
    EXPECT_EQ(options.area_width, 400);
    EXPECT_EQ(options.area_height, 300);
    EXPECT_TRUE(options.print_frames);
    ASSERT_TRUE(ParsePatternOptions({"--area", "full"}, &options, &error));
    EXPECT_TRUE(options.area);
    EXPECT_EQ(options.area_width, 0);
    EXPECT_EQ(options.area_height, 0);

    for (std::vector<std::string> bad : {std::vector<std::string>{"--fps", "0"},
                                         {"--fps", "61"},
                                         {"--fps", "10x"},
                                         {"--fps", ""},
                                         {"--fps", "-1"},
                                         {"--seconds", "-1"},
                                         {"--seconds", "99999999999"},
                                         {"--display"},
                                         {"--fps"},
                                         {"--frobnicate"},
                                         {"--area"},
                                         {"--area", "400"},
                                         {"--area", "0x300"},
                                         {"--area", "400x"},
                                         {"--area", "400x300x2"},
                                         {"--area", "16385x1"},
                                         {"once"}}) {
        error.clear();
        EXPECT_FALSE(ParsePatternOptions(bad, &options, &error)) << bad[0];
        EXPECT_FALSE(error.empty()) << bad[0];
    }
}

}  // namespace
}  // namespace testpattern
