// The tooltip on a real X server: the pointer is warped with Qt, the window under it is found by
// the desktop, and the tip appears, moves and disappears with shortened timers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include "presenter/controls/SkinText.h"
#include "presenter/controls/TipWnd.h"

namespace beamora {
namespace {

class TipWndX11 : public ::testing::Test {
  protected:
    void SetUp() override {
        owner_ = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
        owner_->setGeometry(200, 300, 320, 86);
        owner_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(owner_.get()));
        tip_ = &TipWnd::Instance();
        tip_->SetTimings({10, 80, 300});
        ASSERT_TRUE(tip_->Create(owner_.get()));
        tip_->AddTool(owner_.get(), "Start presenting", 150, 35, 50, 40);
        tip_->AddTool(owner_.get(), "Stop presenting", 206, 35, 50, 40);
    }
    void TearDown() override { owner_.reset(); }  // takes the tip with it

    void MoveTo(QPoint global) {
        QCursor::setPos(global);
        EXPECT_TRUE(QTest::qWaitFor([&] { return QCursor::pos() == global; }, 2000));
    }

    std::unique_ptr<QWidget> owner_;
    TipWnd* tip_ = nullptr;
};

TEST_F(TipWndX11, ShowsBesideThePointerAndHidesAgain) {
    const QPoint on_stop = owner_->mapToGlobal(QPoint(220, 50));
    MoveTo(on_stop);
    ASSERT_TRUE(QTest::qWaitFor([&] { return tip_->isVisible(); }, 5000));
    EXPECT_EQ(tip_->CurrentTool(), 1);
    EXPECT_EQ(tip_->geometry().topLeft(), on_stop + QPoint(14, 14));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(tip_));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !tip_->isVisible(); }, 5000));
    QTest::qWait(200);
    EXPECT_FALSE(tip_->isVisible());  // resting on the button does not bring it back

    // Straight onto Play: a new tip after the show delay.
    MoveTo(owner_->mapToGlobal(QPoint(170, 50)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return tip_->isVisible(); }, 5000));
    EXPECT_EQ(tip_->CurrentTool(), 0);
    MoveTo(QPoint(5, 5));  // off the window
    EXPECT_TRUE(QTest::qWaitFor([&] { return tip_->CurrentTool() == -1; }, 5000));
    EXPECT_FALSE(tip_->isVisible());
}

TEST_F(TipWndX11, StaysOnTheScreenAtItsEdge) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    owner_->move(screen.right() + 1 - 320, screen.bottom() + 1 - 86);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return owner_->pos().x() == screen.right() + 1 - 320; }, 2000));
    MoveTo(owner_->mapToGlobal(QPoint(250, 70)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return tip_->isVisible(); }, 5000));
    EXPECT_TRUE(screen.contains(tip_->geometry())) << tip_->geometry().x();
    EXPECT_EQ(tip_->geometry().right(), screen.right());
    EXPECT_EQ(tip_->geometry().bottom(), screen.bottom());
}

}  // namespace
}  // namespace beamora
