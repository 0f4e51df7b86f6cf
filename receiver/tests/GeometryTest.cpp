#include <gtest/gtest.h>

#include "receiver/CaptureGeometry.h"
#include "receiver/DataStream.h"
#include "receiver/tests/TestUnits.h"

namespace receiver {
namespace {

ProjectionStart Start(int announced_width, int announced_height) {
    ProjectionStart start;
    start.mode = ReceiverMode{1024, 768, 16};
    start.announced_width = announced_width;
    start.announced_height = announced_height;
    return start;
}

TEST(CaptureGeometry, FollowsWhatThePresenterAnnouncedAndSent) {
    struct Case {
        const char* what;
        int announced_width, announced_height;
        std::optional<FirstStrip> first;
        CaptureGeometry expected;
    };
    const Case cases[] = {
        {"nothing announced: the mode", 0, 0, std::nullopt, {1024, 768, 1024, 768, 16}},
        {"same size as the mode", 1024, 768, FirstStrip{0, 0, 1024}, {1024, 768, 1024, 768, 16}},
        {"smaller screen: mode-sized capture, screen in its top-left corner",
         800,
         600,
         FirstStrip{0, 0, 1024},
         {1024, 768, 800, 600, 16}},
        {"larger screen scaled down to the announced size",
         819,
         614,
         FirstStrip{0, 0, 819},
         {819, 614, 819, 614, 16}},
        {"smaller announced size that the first strip shows is the capture",
         800,
         600,
         FirstStrip{0, 0, 800},
         {800, 600, 800, 600, 16}},
        {"a first strip that is not the full update decides nothing",
         800,
         600,
         FirstStrip{0, 16, 800},
         {1024, 768, 800, 600, 16}},
        {"a first strip of neither width decides nothing",
         819,
         614,
         FirstStrip{0, 0, 700},
         {1024, 768, 819, 614, 16}},
        {"scaled to half (a mode other than 1024x768) and shown by the first strip",
         512,
         384,
         FirstStrip{0, 0, 512},
         {512, 384, 512, 384, 16}},
        {"an announced size out of range is ignored",
         5000,
         614,
         std::nullopt,
         {1024, 768, 1024, 768, 16}},
        {"one side smaller only: the announced size",
         800,
         900,
         FirstStrip{0, 0, 800},
         {800, 900, 800, 900, 16}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ResolveCaptureGeometry(Start(c.announced_width, c.announced_height), c.first),
                  c.expected)
            << c.what;
    }
}

TEST(CaptureGeometry, SmallerScreenLandsInTheTopLeftOfTheSnapshot) {
    // A 40 x 30 screen on a 64 x 48 receiver: the presenter sends the whole 64 x 48 capture with
    // its screen in the top-left corner; the snapshot shows the 40 x 30 screen.
    ProjectionStart start;
    start.mode = ReceiverMode{64, 48, 24};
    start.announced_width = 40;
    start.announced_height = 30;
    test::Screen capture(64, 48, 2);
    Picture picture(test::Geometry(64, 48, 24));
    DataStream stream(picture, [&] { return start; });
    test::Bytes units = test::EncodeRectangle(capture, 24, 0, 0, 64, 48, 16);
    ASSERT_TRUE(stream.Feed(units.data(), units.size())) << stream.Error();
    ComposedImage image = picture.Compose();
    ASSERT_EQ(image.width, 40);
    ASSERT_EQ(image.height, 30);
    for (int row = 0; row < 30; ++row) {
        for (int x = 0; x < 40; ++x) {
            ASSERT_EQ(image.pixels[row * 40 + x], test::Quantize(capture.At(x, row), 24));
        }
    }
}

TEST(CaptureGeometry, EachConnectionSettlesItsOwnGeometry) {
    ProjectionStart start;
    start.mode = ReceiverMode{64, 48, 16};
    Picture picture(test::Geometry(64, 48, 16));
    {
        DataStream stream(picture, [&] { return start; });
        test::Bytes units = test::EncodeRectangle(test::Screen(64, 48, 1), 16, 0, 0, 64, 48, 16);
        ASSERT_TRUE(stream.Feed(units.data(), units.size()));
    }
    // Next projection: scaled to 50 x 40 and announced so; the picture follows.
    start.announced_width = 50;
    start.announced_height = 40;
    test::Screen scaled(50, 40, 3);
    DataStream stream(picture, [&] { return start; });
    test::Bytes units = test::EncodeRectangle(scaled, 16, 0, 0, 50, 40, 16);
    ASSERT_TRUE(stream.Feed(units.data(), units.size())) << stream.Error();
    EXPECT_EQ(picture.Geometry(), (CaptureGeometry{50, 40, 50, 40, 16}));
    EXPECT_EQ(picture.PixelAt(49, 0), test::Quantize(scaled.At(49, 0), 16));
}

}  // namespace
}  // namespace receiver
