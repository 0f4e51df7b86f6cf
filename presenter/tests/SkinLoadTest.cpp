#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>

#include "platform/Debug.h"
#include "presenter/controls/SkinText.h"
#include "presenter/core/Skin.h"
#include "presenter/tests/TestSupport.h"

namespace beamora {
namespace {

namespace fs = std::filesystem;
using test::ScratchDir;
using test::WorkingDirectory;

// The entries the program reads (the others may stay empty).
constexpr int kUsedEntries[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  17, 21, 24,
                                25, 26, 27, 29, 30, 46, 47, 49, 50, 51, 52, 53, 54,
                                55, 56, 60, 62, 63, 64, 65, 67, 68, 70, 73, 74, 75};

// Records what a skin failure does instead of doing it.
struct FailureLog {
    std::vector<QString> messages;
    int ends = 0;
    SkinFailureHooks Hooks() {
        return {[this](const QString& text) { messages.push_back(text); }, [this] { ++ends; }};
    }
};

class ShippedSkin : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(fs::path(BEAMORA_TEST_DATA_DIR) / "Position/Position.txt"));
        cwd_ = std::make_unique<WorkingDirectory>(BEAMORA_TEST_DATA_DIR);
        skin_ = std::make_unique<Skin>();
    }
    std::unique_ptr<WorkingDirectory> cwd_;
    std::unique_ptr<Skin> skin_;
};

TEST_F(ShippedSkin, LoadsCompletelyInEveryLanguage) {
    for (int language = 0; language < kLanguageCount; ++language) {
        FailureLog log;
        ASSERT_TRUE(LoadSkin(*skin_, language, log.Hooks())) << "language " << language;
        EXPECT_TRUE(log.messages.empty());
        EXPECT_EQ(log.ends, 0);
        EXPECT_EQ(skin_->positions.MissingCount(), 0);
        for (const BitmapLoad& load : BitmapTable(*skin_)) {
            EXPECT_TRUE(load.picture->IsLoaded()) << load.path;
        }
        for (int entry : kUsedEntries) {
            EXPECT_FALSE(skin_->texts.Entry(language, entry).empty())
                << "language " << language << " entry " << entry;
        }
    }
    // The language names are the same in every file, each in its own script.
    EXPECT_EQ(SkinString(skin_->texts.Entry(kLanguageEnglish, 4)), QString::fromUtf8("繁體中文"));
    EXPECT_EQ(SkinString(skin_->texts.Entry(kLanguageJapanese, 3)), "English");
    EXPECT_EQ(SkinString(skin_->texts.Entry(kLanguageEnglish, 64)), "OK");
}

TEST_F(ShippedSkin, HasTheFiftyFourBitmapsOfTheTable) {
    const std::vector<std::string> files = SkinBitmapFiles();
    EXPECT_EQ(files.size(), 54u);
    for (const std::string& file : files) EXPECT_TRUE(fs::exists(file)) << file;
    std::set<std::string> on_disk;
    for (const auto& item : fs::directory_iterator("UI")) {
        on_disk.insert("UI/" + item.path().filename().string());
    }
    EXPECT_EQ(on_disk, std::set<std::string>(files.begin(), files.end()));
}

// A picture placed at (x, y) must lie inside its window's deck.
void ExpectInside(const Skin& skin, const CPicture& deck, int x_key, const CPicture& picture,
                  const char* what) {
    const QRect deck_rect(0, 0, deck.Width(), deck.Height());
    const QRect rect(skin.positions[x_key], skin.positions[x_key + 1], picture.Width(),
                     picture.Height());
    EXPECT_TRUE(deck_rect.contains(rect)) << what;
}

TEST_F(ShippedSkin, PicturesFitTheirWindows) {
    FailureLog log;
    ASSERT_TRUE(LoadSkin(*skin_, kLanguageEnglish, log.Hooks()));
    const MainPictures& m = skin_->main;
    EXPECT_NEAR(m.deck.Width(), 320, 20);
    EXPECT_NEAR(m.deck.Height(), 86, 10);
    EXPECT_NEAR(skin_->login.deck.Width(), 350, 10);
    EXPECT_NEAR(skin_->server_list.deck.Width(), 350, 10);
    ExpectInside(*skin_, m.deck, QLX_STATUS_CONNECTIONED_X, m.connected, "connected");
    ExpectInside(*skin_, m.deck, QLX_STATUS_SEARCHING_X, m.searching[3], "searching");
    ExpectInside(*skin_, m.deck, QLX_STATUS_READY_X, m.ready[0], "ready");
    ExpectInside(*skin_, m.deck, QLX_STATUS_PLAYING_X, m.playing[1], "playing");
    ExpectInside(*skin_, m.deck, QLX_PRODUCTNAME_X, m.product_name, "product name");
    ExpectInside(*skin_, m.deck, QLX_PRESENTATION_STATUS_AREA_X, m.status_area, "status area");
    ExpectInside(*skin_, m.deck, QLX_PRESENTATION_LINE_X, m.line, "line");
    ExpectInside(*skin_, m.deck, QLX_RECONNECT_BUTTON_X, m.button.normal, "reconnect");
    ExpectInside(*skin_, m.deck, QLX_PRESENTATION_PLAY_X, m.play.normal, "play");
    ExpectInside(*skin_, m.deck, QLX_PRESENTATION_STOP_X, m.stop.normal, "stop");
    ExpectInside(*skin_, m.deck, QLX_PRESENTATION_REFRESH_X, m.refresh.normal, "refresh");
    ExpectInside(*skin_, m.deck, QLX_PRESENTATION_MIN_X, m.min.normal, "min");
    ExpectInside(*skin_, m.deck, QLX_PRESENTATION_EXIT_X, m.exit.normal, "exit");
    ExpectInside(*skin_, m.deck, QLX_PRESENTATION_MENU_X, m.menu.normal, "menu");
    const LoginPanelPictures& l = skin_->login;
    ExpectInside(*skin_, l.deck, QLX_LOGIN_BUTTON_EXIT2_X, l.exit2.normal, "login close");
    ExpectInside(*skin_, l.deck, QLX_LOGIN_BUTTON_OK_X, l.button.normal, "login ok");
    ExpectInside(*skin_, l.deck, QLX_LOGIN_BUTTON_CANCEL_X, l.button.normal, "login cancel");
    ExpectInside(*skin_, l.deck, QLX_LOGIN_ICON_INFORMATION_X, l.icon, "login icon");
    const MessagePanelPictures& g = skin_->message;
    ExpectInside(*skin_, g.deck, QLX_MESSAGEBOX_BUTTON_EXIT2_X, g.exit2.normal, "message close");
    ExpectInside(*skin_, g.deck, QLX_MESSAGEBOX_BUTTON_OK_X, g.button.normal, "message ok");
    ExpectInside(*skin_, g.deck, QLX_MESSAGEBOX_ICON_INFORMATION_X, g.icon_error, "message icon");
    const ServerListPanelPictures& s = skin_->server_list;
    ExpectInside(*skin_, s.deck, QLX_SELPROJECTOR_BUTTON_EXIT2_X, s.exit2.normal, "list close");
    ExpectInside(*skin_, s.deck, QLX_SELPROJECTOR_BUTTON_OK_X, s.button.normal, "list ok");
    ExpectInside(*skin_, s.deck, QLX_SELPROJECTOR_BUTTON_CANCEL_X, s.button.normal, "list cancel");
    EXPECT_LE(skin_->positions[QLX_SELPROJECTOR_LISTBOX_X] + 318, s.deck.Width());
    EXPECT_LE(skin_->positions[QLX_SELPROJECTOR_LISTBOX_Y] + 98,
              skin_->positions[QLX_SELPROJECTOR_BUTTON_OK_Y]);
    EXPECT_LE(skin_->positions[QLX_LOGIN_EDITBOX_X] + 82, l.deck.Width());

    // The three pictures of each button have one size; the login digits sit 6 pixels apart.
    for (const ButtonPictures* b :
         {&m.exit, &m.min, &m.menu, &m.button, &m.play, &m.stop, &m.refresh, &l.exit2}) {
        EXPECT_EQ(b->over.Image().size(), b->normal.Image().size());
        EXPECT_EQ(b->down.Image().size(), b->normal.Image().size());
        EXPECT_NE(b->over.Image(), b->normal.Image());
        EXPECT_NE(b->down.Image(), b->over.Image());
    }
    for (const CPicture& d : m.digits) {
        EXPECT_EQ(d.Width(), m.digits[0].Width());
        EXPECT_LE(d.Width(), 6);
    }
    const QRect area(skin_->positions[QLX_PRESENTATION_STATUS_AREA_X],
                     skin_->positions[QLX_PRESENTATION_STATUS_AREA_Y], m.status_area.Width(),
                     m.status_area.Height());
    const QRect code(skin_->positions[QLX_PRESENTATION_LOGINCODE_X],
                     skin_->positions[QLX_PRESENTATION_LOGINCODE_Y], 6 * 3 + m.digits[0].Width(),
                     m.digits[0].Height());
    EXPECT_TRUE(area.contains(code));
}

// Every text the skin draws fits the window that draws it, in every language.
TEST_F(ShippedSkin, TextsFitTheirWindows) {
    FailureLog log;
    ASSERT_TRUE(LoadSkin(*skin_, kLanguageEnglish, log.Hooks()));
    const SkinPositions& p = skin_->positions;
    const QFont status_font = MakeSkinFont(11, 0, 0);
    const QFont title_font = MakeSkinFont(19, 0, 700);
    const QFont subtitle_font = MakeSkinFont(13, 0, 700);
    const int main_w = skin_->main.deck.Width();
    const int panel_w = skin_->login.deck.Width();
    const int button_w = skin_->main.button.normal.Width();
    for (int language = 0; language < kLanguageCount; ++language) {
        auto text = [&](int entry) { return SkinString(skin_->texts.Entry(language, entry)); };
        auto width = [](const QFont& font, const QString& s) {
            return MeasureSkinText(font, s).width();
        };
        for (int entry : {62, 63}) {
            const int half = width(status_font, text(entry)) / 2;
            EXPECT_GE(p[QXL_DECK_TEXT_STATUS_X] - half, p[QLX_STATUS_SEARCHING_X] + 76)
                << language << " " << entry;
            EXPECT_LE(p[QXL_DECK_TEXT_STATUS_X] + half, main_w - 4) << language;
        }
        for (int entry : {60, 64, 65}) {
            EXPECT_LE(width(status_font, text(entry)), button_w - 8) << language << " " << entry;
        }
        EXPECT_LE(p[QLX_LOGIN_TEXT_TITLE_X] + width(title_font, text(49)),
                  p[QLX_LOGIN_BUTTON_EXIT2_X])
            << language;
        EXPECT_LE(p[QLX_SELPROJECTOR_TEXT_TITLE_X] + width(title_font, text(46)),
                  p[QLX_SELPROJECTOR_BUTTON_EXIT2_X])
            << language;
        EXPECT_LE(p[QLX_LOGIN_TEXT_SUBTITLE_X] + width(subtitle_font, text(50)), panel_w - 4)
            << language;
        EXPECT_LE(p[QLX_SELPROJECTOR_TEXT_SUBTITLE_X] + width(subtitle_font, text(47)), panel_w - 4)
            << language;
        EXPECT_LE(p[QLX_LOGIN_TEXT_TEXT_X] + width(status_font, text(51)), panel_w - 4) << language;
    }
}

// A scratch copy of the shipped skin, made the working directory.
class BrokenSkin : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::copy(BEAMORA_TEST_DATA_DIR, dir_.path(), fs::copy_options::recursive);
        cwd_ = std::make_unique<WorkingDirectory>(dir_.path());
        skin_ = std::make_unique<Skin>();
    }
    ScratchDir dir_;
    std::unique_ptr<WorkingDirectory> cwd_;
    std::unique_ptr<Skin> skin_;
    FailureLog log_;
};

TEST_F(BrokenSkin, MissingLanguageFileEndsTheApplicationInTheCurrentLanguage) {
    fs::remove("String/TW.txt");
    EXPECT_FALSE(LoadSkin(*skin_, kLanguageSimplifiedChinese, log_.Hooks()));
    ASSERT_EQ(log_.messages.size(), 1u);
    EXPECT_EQ(log_.messages[0], QString::fromUtf8("一个或多个系统档案遗失，请重新安装本程序!!!"));
    EXPECT_EQ(log_.ends, 1);
    EXPECT_FALSE(skin_->main.deck.IsLoaded());  // loading stopped before the bitmaps
    EXPECT_EQ(skin_->positions.MissingCount(), kSkinPositionCount);
}

TEST_F(BrokenSkin, MissingBitmapStopsTheLoadingThere) {
    fs::remove("UI/QLX_Presentation_Num_5.bmp");
    EXPECT_FALSE(LoadSkin(*skin_, kLanguageEnglish, log_.Hooks()));
    ASSERT_EQ(log_.messages.size(), 1u);
    EXPECT_EQ(log_.messages[0],
              "One or many of system component lost, please reinstall the program!!!");
    EXPECT_EQ(log_.ends, 1);
    EXPECT_TRUE(skin_->main.digits[4].IsLoaded());
    EXPECT_FALSE(skin_->main.digits[6].IsLoaded());
    EXPECT_FALSE(skin_->server_list.deck.IsLoaded());
}

TEST_F(BrokenSkin, PositionFileWithoutAKeyEndsTheApplication) {
    {
        std::ofstream out("Position/Position.txt", std::ios::binary | std::ios::trunc);
        for (int key = 0; key < kSkinPositionCount - 1; ++key) {
            out << "10 " << SkinKeyName(key) << "\r\n";
        }
    }
    EXPECT_FALSE(LoadSkin(*skin_, kLanguageJapanese, log_.Hooks()));
    ASSERT_EQ(log_.messages.size(), 1u);
    EXPECT_EQ(log_.messages[0], SkinString(MissingComponentText(kLanguageJapanese)));
    EXPECT_EQ(log_.ends, 1);
    EXPECT_TRUE(skin_->server_list.button.over.IsLoaded());  // the bitmaps came first
}

TEST_F(BrokenSkin, FilesCutShortOrOutOfRangeStopThePresenter) {
    struct Case {
        const char* what;
        std::function<void()> damage;
        const char* line;  // the debug line that names the fault
    };
    auto cut = [](const char* path, std::uintmax_t keep) { fs::resize_file(path, keep); };
    const Case cases[] = {
        {"empty language file", [&] { cut("String/JP.txt", 2); },
         "Beamora: language file \"String/JP.txt\" ends after 0 of its 76 lines\n"},
        {"language file cut after ten lines",
         [&] {
             std::ofstream out("String/EN.txt", std::ios::binary | std::ios::trunc);
             out.write("\xFF\xFE", 2);
             for (int line = 0; line < 10; ++line) out.write("A\0\r\0\n\0", 6);
         },
         "Beamora: language file \"String/EN.txt\" ends after 10 of its 76 lines\n"},
        {"bitmap cut short", [&] { cut("UI/QLX_Deck_Presentation.bmp", 5000); },
         "Beamora: skin file \"UI/QLX_Deck_Presentation.bmp\" is missing or incomplete\n"},
        {"position out of range",
         [&] {
             std::ifstream in(BEAMORA_TEST_DATA_DIR "/Position/Position.txt", std::ios::binary);
             std::ofstream out("Position/Position.txt", std::ios::binary | std::ios::trunc);
             out << "999999999 QLX_PRESENTATION_PLAY_X\r\n";  // read first, so it is the one used
             out << in.rdbuf();
         },
         "Beamora: position file: QLX_PRESENTATION_PLAY_X = 999999999 is out of range (0 to "
         "4096)\n"},
    };
    for (const Case& c : cases) {
        fs::copy(BEAMORA_TEST_DATA_DIR, dir_.path(),
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        c.damage();
        FailureLog log;
        std::vector<std::string> lines;
        platform::SetDebugSink([&](std::string_view text) { lines.emplace_back(text); });
        auto skin = std::make_unique<Skin>();
        EXPECT_FALSE(LoadSkin(*skin, kLanguageEnglish, log.Hooks())) << c.what;
        platform::SetDebugSink({});
        EXPECT_EQ(log.messages.size(), 1u) << c.what;
        EXPECT_EQ(log.ends, 1) << c.what;
        EXPECT_NE(std::find(lines.begin(), lines.end(), c.line), lines.end()) << c.what;
    }
}

TEST_F(BrokenSkin, UnreadableLanguageFileIsReportedAndSkipped) {
    fs::remove("String/CN.txt");
    fs::create_directory("String/CN.txt");  // opens, but reading it fails
    EXPECT_TRUE(LoadSkin(*skin_, kLanguageEnglish, log_.Hooks()));
    ASSERT_EQ(log_.messages.size(), 1u);
    EXPECT_TRUE(log_.messages[0].startsWith("File exception")) << log_.messages[0].toStdString();
    EXPECT_EQ(log_.ends, 0);
    EXPECT_TRUE(skin_->texts.Entry(kLanguageSimplifiedChinese, 64).empty());
    EXPECT_FALSE(skin_->texts.Entry(kLanguageJapanese, 64).empty());
}

TEST(SkinFailure, DefaultEndMakesTheEventLoopReturnAtOnce) {
    ScratchDir empty;
    WorkingDirectory cwd(empty.path());
    SkinPositions positions;
    QString shown;
    SkinFailureHooks hooks;
    hooks.show_message = [&](const QString& text) { shown = text; };
    EXPECT_FALSE(LoadPositionFile(positions, kLanguageTraditionalChinese, hooks));
    EXPECT_EQ(shown, SkinString(MissingComponentText(kLanguageTraditionalChinese)));
    QTimer::singleShot(5000, [] { QCoreApplication::exit(0); });  // only if the end was lost
    EXPECT_EQ(QCoreApplication::exec(), 1);
}

TEST(SkinFailure, MissingComponentTextsAreTheBuiltInOnes) {
    EXPECT_EQ(MissingComponentText(0),
              u"One or many of system component lost, please reinstall the program!!!");
    EXPECT_EQ(MissingComponentText(1), u"一個或多個系統檔案遺失，請重新安裝本程式!!!");
    EXPECT_EQ(MissingComponentText(7), MissingComponentText(0));
    for (int language = 0; language < kLanguageCount; ++language) {
        EXPECT_LE(MissingComponentText(language).size(), 71u);
    }
}

}  // namespace
}  // namespace beamora
