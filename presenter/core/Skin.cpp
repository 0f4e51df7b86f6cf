#include "presenter/core/Skin.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/Debug.h"
#include "presenter/controls/SkinText.h"
#include "presenter/controls/StandardMessage.h"

namespace beamora {
namespace {

constexpr char kSkinMessageCaption[] = "Beamora";
constexpr size_t kReadChunkBytes = 4096;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

void ShowMessage(const SkinFailureHooks& hooks, const QString& text) {
    if (hooks.show_message) {
        hooks.show_message(text);
    } else {
        ShowStandardMessage(kSkinMessageCaption, text);
    }
}

void EndApplication(const SkinFailureHooks& hooks) {
    if (hooks.end_application) {
        hooks.end_application();
        return;
    }
    // Like a posted quit message: the event loop, whenever it runs, ends at once.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    }
}

bool Fail(const SkinFailureHooks& hooks, int language, const char* path) {
    platform::DebugFormat("Beamora: skin file \"%s\" is missing or incomplete\n", path);
    ShowMessage(hooks, SkinString(MissingComponentText(language)));
    EndApplication(hooks);
    return false;
}

// Feeds `file` to `parser` piece by piece until the end, a read error or a full parser. Returns
// false on a read error (errno kept in `error`).
template <typename Parser>
bool FeedFile(std::FILE* file, Parser& parser, int& error) {
    uint8_t buffer[kReadChunkBytes];
    while (!parser.Full()) {
        const size_t got = std::fread(buffer, 1, sizeof buffer, file);
        if (got > 0) parser.Feed(std::span<const uint8_t>(buffer, got));
        if (got < sizeof buffer) {
            if (std::ferror(file)) {
                error = errno;
                return false;
            }
            break;
        }
    }
    return true;
}

}  // namespace

std::u16string_view MissingComponentText(int language) {
    static constexpr std::u16string_view kTexts[kLanguageCount] = {
        u"One or many of system component lost, please reinstall the program!!!",
        u"一個或多個系統檔案遺失，請重新安裝本程式!!!",
        u"一个或多个系统档案遗失，请重新安装本程序!!!",
        u"1または多くの失われるシステム・ファイルの部品はプログラムを再び取り付ける!!!",
    };
    if (language < 0 || language >= kLanguageCount) language = kLanguageEnglish;
    return kTexts[language];
}

std::array<BitmapLoad, kBitmapLoadCount> BitmapTable(Skin& skin) {
    MainPictures& m = skin.main;
    LoginPanelPictures& l = skin.login;
    MessagePanelPictures& g = skin.message;
    ServerListPanelPictures& s = skin.server_list;
    return {{
        {"UI/QLX_Deck_Presentation.bmp", &m.deck},
        {"UI/QLX_Presentation_ProductName.bmp", &m.product_name},
        {"UI/QLX_Status_Connectioned.bmp", &m.connected},
        {"UI/QLX_Status_Searching.bmp", &m.searching[0]},
        {"UI/QLX_Status_Searching2.bmp", &m.searching[1]},
        {"UI/QLX_Status_Searching3.bmp", &m.searching[2]},
        {"UI/QLX_Status_Searching4.bmp", &m.searching[3]},
        {"UI/QLX_Status_Playing.bmp", &m.playing[0]},
        {"UI/QLX_Status_Playing2.bmp", &m.playing[1]},
        {"UI/QLX_Status_Ready.bmp", &m.ready[0]},
        {"UI/QLX_Status_Ready2.bmp", &m.ready[1]},
        {"UI/QLX_Presentation_Exit.bmp", &m.exit.normal},
        {"UI/QLX_Presentation_Exit-over.bmp", &m.exit.over},
        {"UI/QLX_Presentation_Exit-down.bmp", &m.exit.down},
        {"UI/QLX_Presentation_Min.bmp", &m.min.normal},
        {"UI/QLX_Presentation_Min-over.bmp", &m.min.over},
        {"UI/QLX_Presentation_Min-down.bmp", &m.min.down},
        {"UI/QLX_Presentation_Menu.bmp", &m.menu.normal},
        {"UI/QLX_Presentation_Menu-over.bmp", &m.menu.over},
        {"UI/QLX_Presentation_Menu-down.bmp", &m.menu.down},
        {"UI/QLX_Button.bmp", &m.button.normal},
        {"UI/QLX_Button-over.bmp", &m.button.over},
        {"UI/QLX_Button-down.bmp", &m.button.down},
        {"UI/QLX_Presentation_Play.bmp", &m.play.normal},
        {"UI/QLX_Presentation_Play-over.bmp", &m.play.over},
        {"UI/QLX_Presentation_Play-down.bmp", &m.play.down},
        {"UI/QLX_Presentation_Stop.bmp", &m.stop.normal},
        {"UI/QLX_Presentation_Stop-over.bmp", &m.stop.over},
        {"UI/QLX_Presentation_Stop-down.bmp", &m.stop.down},
        {"UI/QLX_Presentation_Refresh.bmp", &m.refresh.normal},
        {"UI/QLX_Presentation_Refresh-over.bmp", &m.refresh.over},
        {"UI/QLX_Presentation_Refresh-down.bmp", &m.refresh.down},
        {"UI/QLX_Presentation_Line.bmp", &m.line},
        {"UI/QLX_Presentation_Status_Area.bmp", &m.status_area},
        {"UI/QLX_Presentation_Num_0.bmp", &m.digits[0]},
        {"UI/QLX_Presentation_Num_1.bmp", &m.digits[1]},
        {"UI/QLX_Presentation_Num_2.bmp", &m.digits[2]},
        {"UI/QLX_Presentation_Num_3.bmp", &m.digits[3]},
        {"UI/QLX_Presentation_Num_4.bmp", &m.digits[4]},
        {"UI/QLX_Presentation_Num_5.bmp", &m.digits[5]},
        {"UI/QLX_Presentation_Num_6.bmp", &m.digits[6]},
        {"UI/QLX_Presentation_Num_7.bmp", &m.digits[7]},
        {"UI/QLX_Presentation_Num_8.bmp", &m.digits[8]},
        {"UI/QLX_Presentation_Num_9.bmp", &m.digits[9]},
        {"UI/QLX_Deck_LoginCode.bmp", &l.deck},
        {"UI/QLX_Icon_Login.bmp", &l.icon},
        {"UI/QLX_Button_Exit2.bmp", &l.exit2.normal},
        {"UI/QLX_Button_Exit2-down.bmp", &l.exit2.down},
        {"UI/QLX_Button_Exit2-over.bmp", &l.exit2.over},
        {"UI/QLX_Button.bmp", &l.button.normal},
        {"UI/QLX_Button-down.bmp", &l.button.down},
        {"UI/QLX_Button-over.bmp", &l.button.over},
        {"UI/QLX_Deck_LoginCode.bmp", &g.deck},
        {"UI/QLX_Icon_Login.bmp", &g.icon_login},
        {"UI/QLX_Icon_Error.bmp", &g.icon_error},
        {"UI/QLX_Icon_Information.bmp", &g.icon_information},
        {"UI/QLX_Icon_Question.bmp", &g.icon_question},
        {"UI/QLX_Icon_Warning.bmp", &g.icon_warning},
        {"UI/QLX_Button_Exit2.bmp", &g.exit2.normal},
        {"UI/QLX_Button_Exit2-down.bmp", &g.exit2.down},
        {"UI/QLX_Button_Exit2-over.bmp", &g.exit2.over},
        {"UI/QLX_Button.bmp", &g.button.normal},
        {"UI/QLX_Button-down.bmp", &g.button.down},
        {"UI/QLX_Button-over.bmp", &g.button.over},
        {"UI/QLX_Deck_ServerList.bmp", &s.deck},
        {"UI/QLX_Button_Exit2.bmp", &s.exit2.normal},
        {"UI/QLX_Button_Exit2-down.bmp", &s.exit2.down},
        {"UI/QLX_Button_Exit2-over.bmp", &s.exit2.over},
        {"UI/QLX_Button.bmp", &s.button.normal},
        {"UI/QLX_Button-down.bmp", &s.button.down},
        {"UI/QLX_Button-over.bmp", &s.button.over},
    }};
}

std::vector<std::string> SkinBitmapFiles() {
    // Only the paths are read; the pictures of this scratch skin stay empty.
    auto skin = std::make_unique<Skin>();
    std::vector<std::string> files;
    for (const BitmapLoad& load : BitmapTable(*skin)) {
        if (std::find(files.begin(), files.end(), load.path) == files.end()) {
            files.emplace_back(load.path);
        }
    }
    return files;
}

bool LoadLanguageFiles(LanguageTable& texts, int language, const SkinFailureHooks& hooks) {
    for (int index = 0; index < kLanguageCount; ++index) {
        const char* path = LanguageFilePath(index);
        LanguageFileParser parser(texts.Entries(index));
        UniqueFile file(std::fopen(path, "rb"));
        if (!file) return Fail(hooks, language, path);
        int error = 0;
        if (!FeedFile(file.get(), parser, error)) {
            // What was read is not trusted: the language keeps empty entries.
            LanguageFileParser clear(texts.Entries(index));
            platform::DebugFormat("Beamora: read error in \"%s\": %s\n", path,
                                  std::strerror(error));
            ShowMessage(hooks, QStringLiteral("File exception while reading \"%1\": %2")
                                   .arg(QString::fromUtf8(path),
                                        QString::fromLocal8Bit(std::strerror(error))));
            continue;
        }
        parser.Finish();
        if (parser.CompleteEntries() < kLanguageEntriesUsed) {
            platform::DebugFormat("Beamora: language file \"%s\" ends after %d of its %d lines\n",
                                  path, parser.CompleteEntries(), kLanguageEntriesUsed);
            return Fail(hooks, language, path);
        }
    }
    return true;
}

bool LoadSkinBitmaps(Skin& skin, int language, const SkinFailureHooks& hooks) {
    for (const BitmapLoad& load : BitmapTable(skin)) {
        if (!load.picture->Load(QString::fromUtf8(load.path))) {
            return Fail(hooks, language, load.path);
        }
    }
    return true;
}

bool LoadPositionFile(SkinPositions& positions, int language, const SkinFailureHooks& hooks) {
    PositionFileParser parser(positions);
    UniqueFile file(std::fopen(kPositionFilePath, "rb"));
    if (!file) return Fail(hooks, language, kPositionFilePath);
    int error = 0;
    FeedFile(file.get(), parser, error);  // a read error ends the file where it is
    parser.Finish();
    if (positions.MissingCount() != 0) {
        platform::DebugFormat("Beamora: position file lacks %d keys, first %s\n",
                              positions.MissingCount(), positions.FirstMissingName().c_str());
        return Fail(hooks, language, kPositionFilePath);
    }
    if (const int key = positions.FirstOutOfRange(); key >= 0) {
        platform::DebugFormat("Beamora: position file: %s = %d is out of range (0 to %d)\n",
                              SkinKeyName(key), positions[key], kMaxSkinPosition);
        return Fail(hooks, language, kPositionFilePath);
    }
    return true;
}

bool LoadSkin(Skin& skin, int language, const SkinFailureHooks& hooks) {
    return LoadLanguageFiles(skin.texts, language, hooks) &&
           LoadSkinBitmaps(skin, language, hooks) &&
           LoadPositionFile(skin.positions, language, hooks);
}

}  // namespace beamora
