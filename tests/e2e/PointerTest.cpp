// The pointer reaches the receiver's picture: its shape (monochrome and colour), its hotspot and
// its position, clipped at the screen's edge, and no trace where it was before.
#include <gtest/gtest.h>

#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

// Draws pointer with its top-left corner at (left, top) into picture the way the receiver does:
// transparent pixels keep the picture, opaque ones replace it (colour pointers travel as 5-6-5).
void DrawPointer(QImage* picture, const QImage& pointer, int left, int top, bool colour) {
    QImage shown = colour ? Reduce(pointer, 16) : pointer.convertToFormat(QImage::Format_RGB32);
    for (int r = 0; r < pointer.height(); ++r) {
        for (int c = 0; c < pointer.width(); ++c) {
            const int x = left + c, y = top + r;
            if (x < 0 || y < 0 || x >= picture->width() || y >= picture->height()) continue;
            if (qAlpha(pointer.pixel(c, r)) == 0) continue;
            picture->setPixel(x, y, shown.pixel(c, r) | 0xFF000000u);
        }
    }
}

TEST_F(EndToEnd, PointerShapeHotspotAndPositionArrive) {
    StartScreen();
    screen_->Put(TestPattern(1024, 768, 12), 0, 0);
    Receiver receiver(dir_, {"--mode", "1024x768x24"});
    ASSERT_TRUE(receiver.WaitReady());
    LibraryPresenter presenter;
    ASSERT_TRUE(presenter.LogInAndStart()) << receiver.process().Log();
    const QImage screen = screen_->Grab();
    ASSERT_EQ(AwaitPicture(receiver, screen), "");

    // Monochrome: a white 12 x 12 square with a black frame, hotspot in the middle of the frame.
    QImage mono(12, 12, QImage::Format_ARGB32);
    mono.fill(0xFF000000u);
    for (int r = 2; r < 10; ++r) {
        for (int c = 2; c < 10; ++c) mono.setPixel(c, r, 0xFFFFFFFFu);
    }
    mono.setPixel(0, 0, 0);  // one transparent corner
    screen_->SetPointer(mono, 6, 6);
    screen_->MovePointer(500, 400);
    QImage expected = screen;
    DrawPointer(&expected, mono, 494, 394, false);
    EXPECT_EQ(AwaitPicture(receiver, expected), "") << receiver.process().Log();

    // Moved: drawn at the new place, and the old place shows the screen again.
    screen_->MovePointer(40, 700);
    expected = screen;
    DrawPointer(&expected, mono, 34, 694, false);
    EXPECT_EQ(AwaitPicture(receiver, expected), "");

    // Colour, half transparent in shape, at the bottom-right corner: only 4 x 8 of it is on the
    // screen.
    QImage colour(10, 10, QImage::Format_ARGB32);
    colour.fill(0);
    for (int r = 0; r < 10; ++r) {
        for (int c = 0; c <= r; ++c) colour.setPixel(c, r, c % 2 ? 0xFF336699u : 0xFFC08040u);
    }
    screen_->SetPointer(colour, 0, 0);
    screen_->MovePointer(1020, 760);
    expected = screen;
    DrawPointer(&expected, colour, 1020, 760, true);
    EXPECT_EQ(AwaitPicture(receiver, expected), "") << receiver.process().Log();
}

}  // namespace
}  // namespace e2e
