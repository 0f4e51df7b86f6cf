// The main window on Qt's offscreen platform with the shipped skin: its zones and hit-testing in
// every status, the press / hover / drag behaviour, the status painter against the skin's
// pictures, the context menu in each lock setting, and the language from the locale.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <map>
#include <memory>
#include <vector>

#include "presenter/controls/MainFace.h"
#include "presenter/core/PresenterDialog.h"
#include "presenter/core/Resources.h"
#include "presenter/tests/TestSupport.h"

namespace beamora {
namespace {

using test::WorkingDirectory;

constexpr int kStatuses[] = {StatusIdle,       StatusStarting, StatusSearching,
                             StatusConnecting, StatusReady,    StatusPlaying};

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        cwd_ = std::make_unique<WorkingDirectory>(BEAMORA_TEST_DATA_DIR);
        resources_ = std::make_unique<Resources>(-1);
        ASSERT_TRUE(resources_->Load());
    }
    // A main window shown in `status` (its first tick drawn), the projection in `projection`.
    std::unique_ptr<PresenterDialog> Window(int status, int projection = ProjectionStopped) {
        auto window = std::make_unique<PresenterDialog>(*resources_);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->set_projection_state(projection);
        window->SetStatus(status);
        window->OnTimer(status);
        return window;
    }
    // Whether the window's face shows `picture` at (x, y).
    static bool Shows(const PresenterDialog& window, const CPicture& picture, int x, int y) {
        const QImage face = window.surface().Buffer();
        const QImage expected = picture.Image().convertToFormat(QImage::Format_RGB32);
        return face.copy(x, y, expected.width(), expected.height()) == expected;
    }
    bool ShowsButton(const PresenterDialog& window, int id, ZoneLook look) {
        const HotZone zone = window.face().Zone(id);
        const ButtonPictures* pictures = nullptr;
        const MainPictures& m = resources_->skin().main;
        const std::map<int, const ButtonPictures*> all = {
            {kButtonPlay, &m.play},       {kButtonStop, &m.stop}, {kButtonRefresh, &m.refresh},
            {kButtonMinimise, &m.min},    {kButtonExit, &m.exit}, {kButtonMenu, &m.menu},
            {kButtonReconnect, &m.button}};
        pictures = all.at(id);
        const CPicture& picture = look == ZoneLook::kOver   ? pictures->over
                                  : look == ZoneLook::kDown ? pictures->down
                                                            : pictures->normal;
        return Shows(window, picture, zone.x, zone.y);
    }
    QPoint Centre(const PresenterDialog& window, int id) {
        const HotZone zone = window.face().Zone(id);
        return QPoint(zone.x + zone.width / 2, zone.y + zone.height / 2);
    }

    std::unique_ptr<WorkingDirectory> cwd_;
    std::unique_ptr<Resources> resources_;
};

TEST_F(MainWindow, StartsSearchingSoonOnTopForItsFirstSecond) {
    PresenterDialog window(*resources_);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("RVX-700"));
    EXPECT_EQ(window.status(), StatusStarting);
    EXPECT_EQ(window.timers().Interval_ms(StatusStarting), 1);  // the first tick at once
    EXPECT_EQ(window.timers().Interval_ms(kTimerTopmost), 1000);
    EXPECT_TRUE(window.windowHandle()->flags() & Qt::WindowStaysOnTopHint);
    window.OnTimer(kTimerTopmost);
    EXPECT_FALSE(window.windowHandle()->flags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(window.timers().IsActive(kTimerTopmost));
    // The tenth tick starts the search: one thread, the searching status, a 10 s timeout.
    for (int tick = 0; tick < 15 && window.status() == StatusStarting; ++tick) {
        window.OnTimer(StatusStarting);
    }
    EXPECT_EQ(window.flow().search_threads.load(), 1);
    QTRY_COMPARE(window.status(), StatusSearching);
    QTRY_COMPARE(window.timers().Interval_ms(kTimerSearchTimeout), 10000);
    // Asked again while it runs: no second thread, the timeout starts over.
    window.Search();
    EXPECT_EQ(window.flow().search_threads.load(), 1);
    EXPECT_EQ(window.size(), QSize(320, 86));
}

TEST_F(MainWindow, HitTestAtZoneEdgesInEachStatus) {
    SkinSurface surface;
    MainFace face(*resources_, surface);
    for (int status : kStatuses) {
        for (int projection : {ProjectionStopped, ProjectionPlaying, ProjectionBusy}) {
            for (int id : {kButtonPlay, kButtonStop, kButtonRefresh, kButtonMinimise, kButtonExit,
                           kButtonMenu, kButtonReconnect}) {
                const HotZone z = face.Zone(id);
                ASSERT_GT(z.width, 0) << id;
                const auto order = face.HitOrder(status);
                const bool tested = std::find(order.begin(), order.end(), id) != order.end();
                const bool active = MainFace::ButtonActive(id, status, projection);
                // Both ends count; one pixel beyond is outside.
                for (QPoint inside : {QPoint(z.x, z.y), QPoint(z.x + z.width, z.y + z.height)}) {
                    const int got = face.HitTest(inside, false, status, projection);
                    if (!tested) {
                        EXPECT_NE(got, id) << "status " << status << " button " << id;
                        continue;
                    }
                    EXPECT_EQ(got, active ? id : kZoneBackgroundDown)
                        << "status " << status << " projection " << projection << " button " << id;
                }
                for (QPoint outside : {QPoint(z.x - 1, z.y), QPoint(z.x + z.width + 1, z.y),
                                       QPoint(z.x, z.y + z.height + 1)}) {
                    EXPECT_NE(face.HitTest(outside, false, status, projection), id) << id;
                }
            }
        }
    }
    // The buttons a state answers.
    EXPECT_TRUE(MainFace::ButtonActive(kButtonPlay, StatusReady, ProjectionStopped));
    EXPECT_FALSE(MainFace::ButtonActive(kButtonStop, StatusReady, ProjectionStopped));
    EXPECT_TRUE(MainFace::ButtonActive(kButtonStop, StatusPlaying, ProjectionPlaying));
    EXPECT_FALSE(MainFace::ButtonActive(kButtonExit, StatusConnecting, ProjectionStopped));
    EXPECT_TRUE(face.HitOrder(StatusConnecting).empty());
}

TEST_F(MainWindow, HoverPressAndReleaseShowEachLookAndOnlyAClickInsideActs) {
    auto window = Window(StatusReady);
    const QPoint exit = Centre(*window, kButtonExit);
    const QPoint away = Centre(*window, kButtonPlay) + QPoint(0, 30);
    ASSERT_TRUE(ShowsButton(*window, kButtonExit, ZoneLook::kNormal));

    QTest::mouseMove(window.get(), exit);
    EXPECT_TRUE(ShowsButton(*window, kButtonExit, ZoneLook::kOver));
    QTest::mouseMove(window.get(), away);
    EXPECT_TRUE(ShowsButton(*window, kButtonExit, ZoneLook::kNormal));

    // Pressed, dragged out (normal), back in (down), out again and released outside: no exit.
    QTest::mousePress(window.get(), Qt::LeftButton, {}, exit);
    EXPECT_TRUE(ShowsButton(*window, kButtonExit, ZoneLook::kDown));
    QTest::mouseMove(window.get(), away);
    EXPECT_TRUE(ShowsButton(*window, kButtonExit, ZoneLook::kNormal));
    QTest::mouseMove(window.get(), exit);
    EXPECT_TRUE(ShowsButton(*window, kButtonExit, ZoneLook::kDown));
    QTest::mouseMove(window.get(), away);
    QTest::mouseRelease(window.get(), Qt::LeftButton, {}, away);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->timers().IsActive(kTimerExit));
    EXPECT_EQ(window->frame().pressed_zone(), kZoneNone);

    // Play: one deferred action however often it is clicked within half a second.
    const QPoint play = Centre(*window, kButtonPlay);
    QTest::mouseClick(window.get(), Qt::LeftButton, {}, play);
    EXPECT_FALSE(window->action_ready());
    EXPECT_EQ(window->timers().Interval_ms(kButtonPlay), 500);
    QTest::mouseClick(window.get(), Qt::LeftButton, {}, play);
    EXPECT_EQ(window->timers().Interval_ms(kButtonPlay), 500);
    window->OnTimer(kButtonPlay);
    EXPECT_TRUE(window->action_ready());
    EXPECT_FALSE(window->timers().IsActive(kButtonPlay));

    // Exit pressed, out and back in, released inside: hidden, ending four seconds later.
    QTest::mousePress(window.get(), Qt::LeftButton, {}, exit);
    QTest::mouseMove(window.get(), away);
    QTest::mouseMove(window.get(), exit);
    QTest::mouseRelease(window.get(), Qt::LeftButton, {}, exit);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->projection_state(), ProjectionClosing);
    EXPECT_EQ(window->timers().Interval_ms(kTimerExit), 4000);
}

TEST_F(MainWindow, InactiveButtonsAndTheBackgroundDragTheWindow) {
    for (int status : {StatusReady, StatusConnecting}) {
        auto window = Window(status);
        // Stop while stopped, and Exit while connecting, answer nothing: a press drags.
        const QPoint from = Centre(*window, status == StatusReady ? kButtonStop : kButtonExit);
        const QPoint start = window->pos();
        QTest::mousePress(window.get(), Qt::LeftButton, {}, from);
        EXPECT_EQ(window->frame().pressed_zone(), kZoneBackgroundDown);
        QTest::mouseMove(window.get(), from + QPoint(7, -5));
        EXPECT_EQ(window->pos(), start + QPoint(7, -5)) << status;
        QTest::mouseRelease(window.get(), Qt::LeftButton, {}, from);
        EXPECT_EQ(window->frame().pressed_zone(), kZoneNone);
        EXPECT_TRUE(window->isVisible());
        if (status == StatusReady) {
            EXPECT_TRUE(ShowsButton(*window, kButtonStop, ZoneLook::kNormal));
        }
    }
}

TEST_F(MainWindow, StatusPainterDrawsEachStatusAndFrameFromTheSkin) {
    const MainPictures& m = resources_->skin().main;
    const SkinPositions& p = resources_->skin().positions;
    auto window = Window(StatusIdle);
    struct Expect {
        int status;
        int text_entry;  // -1: no text
    };
    for (Expect e :
         {Expect{StatusIdle, 60}, Expect{StatusStarting, 62}, Expect{StatusSearching, 62},
          Expect{StatusConnecting, 63}, Expect{StatusReady, -1}, Expect{StatusPlaying, -1}}) {
        window->SetStatus(e.status);
        EXPECT_EQ(window->timers().Interval_ms(e.status), StatusInterval_ms(e.status));
        for (int tick = 0; tick < 6; ++tick) {
            window->OnTimer(e.status);
            const int frame = tick;  // the frame drawn on this tick, before it advances
            EXPECT_TRUE(Shows(*window, m.product_name, p[QLX_PRODUCTNAME_X], p[QLX_PRODUCTNAME_Y]));
            EXPECT_TRUE(ShowsButton(*window, kButtonExit, ZoneLook::kNormal));
            switch (e.status) {
                case StatusIdle:
                    EXPECT_TRUE(ShowsButton(*window, kButtonReconnect, ZoneLook::kNormal));
                    [[fallthrough]];
                case StatusStarting:
                    EXPECT_TRUE(Shows(*window, m.connected, p[QLX_STATUS_CONNECTIONED_X],
                                      p[QLX_STATUS_CONNECTIONED_Y]));
                    break;
                case StatusSearching:
                case StatusConnecting:
                    EXPECT_TRUE(Shows(*window, m.searching[static_cast<size_t>(frame % 4)],
                                      p[QLX_STATUS_SEARCHING_X], p[QLX_STATUS_SEARCHING_Y]))
                        << e.status << " tick " << tick;
                    break;
                case StatusReady:
                    EXPECT_TRUE(Shows(*window, m.ready[static_cast<size_t>(frame % 2)],
                                      p[QLX_STATUS_READY_X], p[QLX_STATUS_READY_Y]));
                    EXPECT_TRUE(ShowsButton(*window, kButtonPlay, ZoneLook::kNormal));
                    EXPECT_TRUE(Shows(*window, m.line, p[QLX_PRESENTATION_LINE_X],
                                      p[QLX_PRESENTATION_LINE_Y]));
                    break;
                case StatusPlaying:
                    EXPECT_TRUE(Shows(*window, m.playing[static_cast<size_t>(frame % 2)],
                                      p[QLX_STATUS_PLAYING_X], p[QLX_STATUS_PLAYING_Y]));
                    break;
            }
            const SkinSurface::Text* text = window->surface().TextAt(MainFace::kStatusText);
            if (e.text_entry < 0) {
                EXPECT_EQ(text, nullptr) << e.status;
            } else {
                ASSERT_NE(text, nullptr) << e.status;
                EXPECT_EQ(text->text, resources_->Text(e.text_entry));
                EXPECT_EQ(text->x, p[QXL_DECK_TEXT_STATUS_X]);
            }
        }
        EXPECT_EQ(window->status_ticks(), 6);
    }
    // The login code's digits while a login with a code holds.
    window->SetLoginCode(QStringLiteral("4829"), true);
    window->SetStatus(StatusPlaying);
    window->OnTimer(StatusPlaying);
    const char code[] = "4829";
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(Shows(*window, m.digits[static_cast<size_t>(code[i] - '0')],
                          p[QLX_PRESENTATION_LOGINCODE_X] + 6 * i, p[QLX_PRESENTATION_LOGINCODE_Y]))
            << i;
    }
}

TEST_F(MainWindow, MainFontsAreSizedByTheirCells) {
    SkinSurface surface;
    MainFace face(*resources_, surface);
    for (int i = 0; i < 4; ++i) {
        const QFontMetrics metrics(face.Font(i));
        EXPECT_LE(metrics.ascent() + metrics.descent(), MainFace::kFontCells[i]) << i;
        EXPECT_GE(metrics.ascent() + metrics.descent(), MainFace::kFontCells[i] - 2) << i;
    }
}

// Runs `inspect` on the context menu while it is open, then closes it choosing `choose` (0: none).
std::vector<QString> InspectMenu(PresenterDialog& window, int choose,
                                 const std::function<void(QMenu&)>& inspect) {
    std::vector<QString> texts;
    QTimer::singleShot(50, &window, [&] {
        QMenu* menu = window.open_menu();
        ASSERT_NE(menu, nullptr);
        inspect(*menu);
        for (QAction* action : menu->actions()) texts.push_back(action->text());
        QAction* chosen = nullptr;
        std::function<void(QMenu*)> find = [&](QMenu* in) {
            for (QAction* action : in->actions()) {
                if (action->menu() != nullptr) find(action->menu());
                if (choose != 0 && action->data().toInt() == choose) chosen = action;
            }
        };
        find(menu);
        if (chosen != nullptr) {
            chosen->trigger();
            menu->close();
        } else {
            menu->close();
        }
    });
    window.OpenContextMenu(QPoint(kMenuPointX, kMenuPointY));
    return texts;
}

TEST_F(MainWindow, MenuOffersLanguagesWithTheCurrentCheckedUnlessLocked) {
    resources_->language().ChooseFromSystem(2052);
    auto window = Window(StatusSearching);
    QAction* submenu = nullptr;
    auto texts = InspectMenu(*window, CmdJapanese, [&](QMenu& menu) {
        for (QAction* action : menu.actions()) {
            if (action->menu() != nullptr) submenu = action;
        }
        ASSERT_NE(submenu, nullptr);
        const auto items = submenu->menu()->actions();
        ASSERT_EQ(items.size(), 4);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(items[i]->isChecked(), i == kLanguageSimplifiedChinese) << i;
        }
    });
    // Web page, search again, separator, languages, information, separator, about, exit; in the
    // language of the moment.
    ASSERT_EQ(texts.size(), 8u);
    EXPECT_EQ(texts[0], SkinString(resources_->skin().texts.Entry(2, 0)));
    EXPECT_EQ(texts[7], SkinString(resources_->skin().texts.Entry(2, 21)));
    // Japanese from now on: the next tick's status text.
    EXPECT_EQ(resources_->language().index(), kLanguageJapanese);
    EXPECT_EQ(resources_->language().id(), 1041);
    window->OnTimer(StatusSearching);
    EXPECT_EQ(window->surface().TextAt(MainFace::kStatusText)->text,
              SkinString(resources_->skin().texts.Entry(kLanguageJapanese, 62)));

    // Locked to one language: no language menu, and the lock wins over the system and a choice.
    for (int lock = 0; lock < 4; ++lock) {
        Resources locked(lock);
        locked.skin().texts = resources_->skin().texts;
        locked.language().ChooseFromSystem(1041);
        EXPECT_EQ(locked.language().index(), lock);
        locked.language().Choose((lock + 1) % 4);
        locked.language().ApplyLock();
        EXPECT_EQ(locked.language().index(), lock);
    }
    Resources locked(2);
    ASSERT_TRUE(locked.Load());
    PresenterDialog window2(locked);
    window2.show();
    window2.SetStatus(StatusReady);
    auto locked_texts = InspectMenu(window2, 0, [](QMenu& menu) {
        for (QAction* action : menu.actions()) EXPECT_EQ(action->menu(), nullptr);
    });
    EXPECT_EQ(locked_texts.size(), 7u);
}

TEST(Language, SystemLocaleGivesTheLanguage) {
    struct Case {
        const char* locale;
        int id;
    };
    for (Case c :
         {Case{"zh_TW.UTF-8", 1028}, Case{"zh_HK", 1028}, Case{"zh_CN.UTF-8", 2052},
          Case{"zh_SG", 2052}, Case{"ja_JP.UTF-8", 1041}, Case{"ja", 1041}, Case{"en_US.UTF-8", 0},
          Case{"de_DE@euro", 0}, Case{"C", 0}, Case{"", 0}, Case{"zh", 0}, Case{"zh-TW", 1028}}) {
        EXPECT_EQ(LanguageIdFromLocale(QString::fromLatin1(c.locale)), c.id) << c.locale;
    }
    for (int id : {0, 1028, 2052, 1041}) {
        EXPECT_EQ(LanguageIdFromIndex(LanguageIndexFromId(id)), id);
    }
    EXPECT_EQ(LanguageIndexFromId(1033), kLanguageEnglish);
}

TEST(WindowRegion, RoundedCornersAreCutAndEdgesKept) {
    const QRegion region = RoundedWindowRegion(0, 0, 321, 87, 9);
    EXPECT_EQ(region.boundingRect(), QRect(0, 0, 320, 86));
    for (QPoint corner : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(319, 0), QPoint(0, 85),
                          QPoint(319, 85), QPoint(318, 85)}) {
        EXPECT_FALSE(region.contains(corner)) << corner.x() << "," << corner.y();
    }
    for (QPoint kept : {QPoint(4, 0), QPoint(0, 4), QPoint(160, 0), QPoint(2, 2), QPoint(160, 43),
                        QPoint(317, 83)}) {
        EXPECT_TRUE(region.contains(kept)) << kept.x() << "," << kept.y();
    }
    EXPECT_EQ(RoundedWindowRegion(5, 5, 26, 16, 0), QRegion(5, 5, 20, 10));
}

}  // namespace
}  // namespace beamora
