#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QWidget>

#include "presenter/controls/SkinText.h"
#include "presenter/controls/TipWnd.h"

namespace beamora {
namespace {

// A scripted desktop: the test moves the pointer and presses buttons.
class FakeDesktop : public TipEnvironment {
  public:
    QPoint cursor{0, 0};
    QWidget* under = nullptr;
    bool button = false;
    QRect screen{0, 0, 1024, 768};
    QPoint CursorPos() const override { return cursor; }
    QWidget* WidgetAt(QPoint) const override { return under; }
    bool AnyButtonDown() const override { return button; }
    QRect ScreenGeometry(QPoint) const override { return screen; }
};

// A main window with the six tools of the presentation panel; the test steps the timers by hand.
class TipWndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        owner_.setGeometry(100, 200, 320, 86);
        tip_ = new TipWnd();
        auto desktop = std::make_unique<FakeDesktop>();
        desktop_ = desktop.get();
        tip_->SetEnvironment(std::move(desktop));
        ASSERT_TRUE(tip_->Create(&owner_));
        EXPECT_FALSE(tip_->Create(&owner_));
        EXPECT_EQ(tip_->AddTool(&owner_, "Start presenting", 150, 35, 50, 40), 0);  // Play
        EXPECT_EQ(tip_->AddTool(&owner_, "Stop presenting", 206, 35, 50, 40), 1);   // Stop
        tip_->AddTool(&owner_, "Refresh", 262, 35, 50, 40);
        tip_->AddTool(&owner_, "Login code", 98, 50, 28, 11);
        tip_->AddTool(&owner_, "Minimize", 268, 4, 22, 18);
        tip_->AddTool(&owner_, "Exit", 292, 4, 22, 18);
    }
    void TearDown() override { delete tip_; }

    // Puts the pointer at client point (x, y) of the owner.
    void PointAt(int x, int y) {
        desktop_->cursor = owner_.mapToGlobal(QPoint(x, y));
        desktop_->under = &owner_;
    }
    void PointOutside() {
        desktop_->cursor = QPoint(5, 5);
        desktop_->under = nullptr;
    }

    QWidget owner_;
    TipWnd* tip_ = nullptr;
    FakeDesktop* desktop_ = nullptr;
};

TEST_F(TipWndTest, PollRunsFromCreationAndTheOtherTimersWait) {
    EXPECT_TRUE(tip_->IsTimerRunning(TipWnd::kPollTimer));
    EXPECT_FALSE(tip_->IsTimerRunning(TipWnd::kShowTimer));
    EXPECT_FALSE(tip_->IsTimerRunning(TipWnd::kHideTimer));
    EXPECT_EQ(tip_->CurrentTool(), -1);
    EXPECT_FALSE(tip_->isVisible());
    EXPECT_EQ(tip_->windowTitle(), "TipWnd");
}

TEST_F(TipWndTest, RestingOnAButtonShowsItsTipOnceThenHidesIt) {
    PointAt(220, 50);  // on Stop
    tip_->OnTimer(TipWnd::kPollTimer);
    EXPECT_EQ(tip_->CurrentTool(), 1);
    EXPECT_TRUE(tip_->IsTimerRunning(TipWnd::kShowTimer));
    EXPECT_FALSE(tip_->isVisible());

    tip_->OnTimer(TipWnd::kPollTimer);  // still there: nothing restarts
    tip_->OnTimer(TipWnd::kShowTimer);
    EXPECT_TRUE(tip_->isVisible());
    EXPECT_FALSE(tip_->IsTimerRunning(TipWnd::kShowTimer));
    EXPECT_TRUE(tip_->IsTimerRunning(TipWnd::kHideTimer));
    const QSize text = MeasureSkinText(tip_->TipFont(), "Stop presenting");
    EXPECT_EQ(tip_->geometry(), QRect(desktop_->cursor + QPoint(14, 14), text + QSize(6, 8)));

    tip_->OnTimer(TipWnd::kHideTimer);
    EXPECT_FALSE(tip_->isVisible());
    EXPECT_FALSE(tip_->IsTimerRunning(TipWnd::kHideTimer));
    tip_->OnTimer(TipWnd::kPollTimer);  // resting on: the tip does not come back
    EXPECT_FALSE(tip_->IsTimerRunning(TipWnd::kShowTimer));
    EXPECT_EQ(tip_->CurrentTool(), 1);

    PointOutside();  // leaving resets the current tool; coming back shows it again
    tip_->OnTimer(TipWnd::kPollTimer);
    EXPECT_EQ(tip_->CurrentTool(), -1);
    PointAt(210, 36);
    tip_->OnTimer(TipWnd::kPollTimer);
    EXPECT_EQ(tip_->CurrentTool(), 1);
    EXPECT_TRUE(tip_->IsTimerRunning(TipWnd::kShowTimer));
}

TEST_F(TipWndTest, MovingStraightToAnotherButtonSwitchesTips) {
    PointAt(160, 40);  // Play
    tip_->OnTimer(TipWnd::kPollTimer);
    tip_->OnTimer(TipWnd::kShowTimer);
    ASSERT_TRUE(tip_->isVisible());
    PointAt(207, 40);  // Stop
    tip_->OnTimer(TipWnd::kPollTimer);
    EXPECT_FALSE(tip_->isVisible());
    EXPECT_EQ(tip_->CurrentTool(), 1);
    EXPECT_TRUE(tip_->IsTimerRunning(TipWnd::kShowTimer));
    tip_->OnTimer(TipWnd::kShowTimer);
    EXPECT_TRUE(tip_->isVisible());
    EXPECT_EQ(tip_->width(), MeasureSkinText(tip_->TipFont(), "Stop presenting").width() + 6);
}

TEST_F(TipWndTest, RectanglesAreHitByOwnerAndHalfOpenBounds) {
    PointAt(199, 74);  // last pixel of Play
    tip_->OnTimer(TipWnd::kPollTimer);
    EXPECT_EQ(tip_->CurrentTool(), 0);
    PointAt(200, 50);  // first pixel right of Play: the gap before Stop
    tip_->OnTimer(TipWnd::kPollTimer);
    EXPECT_EQ(tip_->CurrentTool(), -1);
    QWidget other;
    other.setGeometry(100, 200, 320, 86);
    desktop_->cursor = other.mapToGlobal(QPoint(160, 40));
    desktop_->under = &other;  // same place, another window
    tip_->OnTimer(TipWnd::kPollTimer);
    EXPECT_EQ(tip_->CurrentTool(), -1);
    // A tool without a rectangle covers its owner's whole client area.
    const int whole = tip_->AddTool(&other, "everywhere");
    tip_->OnTimer(TipWnd::kPollTimer);
    EXPECT_EQ(tip_->CurrentTool(), whole);
}

TEST_F(TipWndTest, PointerOverTheTipItselfKeepsIt) {
    PointAt(300, 10);  // Exit
    tip_->OnTimer(TipWnd::kPollTimer);
    tip_->OnTimer(TipWnd::kShowTimer);
    ASSERT_TRUE(tip_->isVisible());
    desktop_->under = tip_;
    tip_->OnTimer(TipWnd::kPollTimer);
    EXPECT_TRUE(tip_->isVisible());
    EXPECT_EQ(tip_->CurrentTool(), 5);
}

TEST_F(TipWndTest, HeldMouseButtonHidesTheTip) {
    PointAt(280, 10);  // Minimise
    tip_->OnTimer(TipWnd::kPollTimer);
    tip_->OnTimer(TipWnd::kShowTimer);
    ASSERT_TRUE(tip_->isVisible());
    desktop_->button = true;
    tip_->OnTimer(TipWnd::kPollTimer);
    EXPECT_FALSE(tip_->isVisible());
    EXPECT_EQ(tip_->CurrentTool(), 4);
    // A show delay that ends while the button is held shows nothing and starts no hide timer.
    tip_->OnTimer(TipWnd::kHideTimer);
    PointAt(300, 10);
    desktop_->button = false;
    tip_->OnTimer(TipWnd::kPollTimer);
    desktop_->button = true;
    tip_->OnTimer(TipWnd::kShowTimer);
    EXPECT_FALSE(tip_->isVisible());
    EXPECT_FALSE(tip_->IsTimerRunning(TipWnd::kShowTimer));
    EXPECT_FALSE(tip_->IsTimerRunning(TipWnd::kHideTimer));
}

TEST_F(TipWndTest, SetTextMakesTheToolCurrent) {
    for (int i = 0; i < 6; ++i) tip_->SetText(i, i < 4 ? QString() : tip_->Tool(i).text);
    EXPECT_EQ(tip_->CurrentTool(), 5);
    PointAt(300, 10);  // on Exit: already current, so no tip until the pointer comes back
    tip_->OnTimer(TipWnd::kPollTimer);
    EXPECT_FALSE(tip_->IsTimerRunning(TipWnd::kShowTimer));
    tip_->SetText(17, "ignored");  // outside the tools
    EXPECT_EQ(tip_->CurrentTool(), 5);
    EXPECT_EQ(tip_->Tool(0).text, "");

    // An empty text shows nothing, but the hide timer still runs.
    PointAt(160, 40);
    tip_->OnTimer(TipWnd::kPollTimer);
    tip_->OnTimer(TipWnd::kShowTimer);
    EXPECT_FALSE(tip_->isVisible());
    EXPECT_TRUE(tip_->IsTimerRunning(TipWnd::kHideTimer));
}

TEST(TipPlacement, StaysOnTheScreen) {
    const QRect screen(0, 0, 1024, 768);
    const QSize text(80, 14);
    EXPECT_EQ(TipWnd::Placement(QPoint(100, 100), text, screen), QRect(114, 114, 86, 22));
    // Near the right and bottom edges the tip moves back onto the screen.
    EXPECT_EQ(TipWnd::Placement(QPoint(1000, 760), text, screen),
              QRect(1024 - 86, 768 - 22, 86, 22));
    // A tip wider than the screen starts at its left edge.
    EXPECT_EQ(TipWnd::Placement(QPoint(500, 10), QSize(2000, 14), screen).left(), 0);
    // A second screen to the right: placement stays within that screen.
    const QRect right(1024, 0, 800, 600);
    EXPECT_EQ(TipWnd::Placement(QPoint(1800, 300), text, right).right(), 1024 + 800 - 1);
}

TEST_F(TipWndTest, ClickOnTheTipHidesIt) {
    PointAt(160, 40);
    tip_->OnTimer(TipWnd::kPollTimer);
    tip_->OnTimer(TipWnd::kShowTimer);
    ASSERT_TRUE(tip_->isVisible());
    QTest::mouseClick(tip_, Qt::RightButton, {}, QPoint(3, 3));
    EXPECT_FALSE(tip_->isVisible());
    EXPECT_FALSE(tip_->IsTimerRunning(TipWnd::kHideTimer));
}

TEST_F(TipWndTest, TipIsDrawnWithFaceShadowAndEdges) {
    PointAt(160, 40);
    tip_->OnTimer(TipWnd::kPollTimer);
    tip_->OnTimer(TipWnd::kShowTimer);
    const QImage image = tip_->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const int w = image.width();
    const int h = image.height();
    ASSERT_EQ(QSize(w, h), tip_->size());
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255));                    // top-left edge
    EXPECT_EQ(image.pixel(0, h / 2), qRgb(255, 255, 255));                // left edge
    EXPECT_EQ(image.pixel(1, h - 6), QColor(TipWnd::kFaceColour).rgb());  // face
    EXPECT_EQ(image.pixel(w - 1, h - 1), qRgb(0, 0, 0));                  // shadow
    EXPECT_EQ(image.pixel(w - 2, h / 2), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(w / 2, h - 4), qRgb(0, 0, 0));  // bottom edge
    EXPECT_EQ(image.pixel(w - 3, h / 2), qRgb(0, 0, 0));  // right edge, two wide
    EXPECT_EQ(image.pixel(w - 4, h / 2), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(w - 5, h / 2), QColor(TipWnd::kFaceColour).rgb());
    // Some text was drawn in black on the face.
    int dark = 0;
    for (int y = 2; y < h - 5; ++y) {
        for (int x = 2; x < w - 6; ++x) dark += qGray(image.pixel(x, y)) < 100;
    }
    EXPECT_GT(dark, 10);
}

TEST_F(TipWndTest, ShortRealTimersShowAndHide) {
    tip_->SetTimings({5, 20, 60});
    PointAt(220, 50);
    EXPECT_TRUE(QTest::qWaitFor([&] { return tip_->isVisible(); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !tip_->isVisible(); }, 5000));
    EXPECT_EQ(tip_->CurrentTool(), 1);
    QTest::qWait(100);  // many polls later the tip stays hidden while the pointer rests
    EXPECT_FALSE(tip_->isVisible());
}

TEST(TipInstance, OneWindowForTheProgram) {
    TipWnd& a = TipWnd::Instance();
    TipWnd& b = TipWnd::Instance();
    EXPECT_EQ(&a, &b);
    QWidget* owner = new QWidget();
    ASSERT_TRUE(a.Create(owner));
    delete owner;  // the tip goes with its owner; the next call makes a new one
    TipWnd& c = TipWnd::Instance();
    EXPECT_EQ(c.CurrentTool(), -1);
    EXPECT_EQ(c.ToolCount(), 0);
}

}  // namespace
}  // namespace beamora
