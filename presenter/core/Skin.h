// The presenter's skin: texts, positions and pictures, loaded once from the data directory while
// the main window is made. A skin file that is missing or incomplete ends the application after a
// message in the current language.
#pragma once

#include <QString>
#include <array>
#include <functional>
#include <string_view>
#include <vector>

#include "presenter/controls/Picture.h"
#include "presenter/core/LanguageTable.h"
#include "presenter/core/SkinPositions.h"

namespace beamora {

// The three pictures of a skinned button.
struct ButtonPictures {
    CPicture normal;
    CPicture over;
    CPicture down;
};

// The main window's 44 pictures.
struct MainPictures {
    CPicture deck;
    CPicture product_name;
    CPicture connected;
    std::array<CPicture, 4> searching;
    std::array<CPicture, 2> playing;
    std::array<CPicture, 2> ready;
    ButtonPictures exit;
    ButtonPictures min;
    ButtonPictures menu;
    ButtonPictures button;  // the reconnect button
    ButtonPictures play;
    ButtonPictures stop;
    ButtonPictures refresh;
    CPicture line;
    CPicture status_area;
    std::array<CPicture, 10> digits;
};

// The login code panel's 8 pictures.
struct LoginPanelPictures {
    CPicture deck;
    CPicture icon;
    ButtonPictures exit2;
    ButtonPictures button;
};

// The message panel's 12 pictures.
struct MessagePanelPictures {
    CPicture deck;
    CPicture icon_login;
    CPicture icon_error;
    CPicture icon_information;
    CPicture icon_question;
    CPicture icon_warning;
    ButtonPictures exit2;
    ButtonPictures button;
};

// The server list panel's 7 pictures.
struct ServerListPanelPictures {
    CPicture deck;
    ButtonPictures exit2;
    ButtonPictures button;
};

// Everything the skin files hold. Owned by the application; user interface thread.
struct Skin {
    LanguageTable texts;
    SkinPositions positions;
    MainPictures main;
    LoginPanelPictures login;
    MessagePanelPictures message;
    ServerListPanelPictures server_list;
};

// One load of the bitmap table: the file and the picture it goes into.
struct BitmapLoad {
    const char* path;
    CPicture* picture;
};
inline constexpr int kBitmapLoadCount = 71;

// The 71 loads in loading order (main window 1-44, login panel 45-52, message panel 53-64, server
// list panel 65-71), pointing into `skin`.
std::array<BitmapLoad, kBitmapLoadCount> BitmapTable(Skin& skin);

// The distinct bitmap files of the table (54), in order of first use.
std::vector<std::string> SkinBitmapFiles();

// The built-in message for a missing or incomplete skin, in `language` (English outside 0..3).
std::u16string_view MissingComponentText(int language);

// What a skin failure does. Tests replace both.
struct SkinFailureHooks {
    // Shows the text in a standard message box (OK button) and returns when it is dismissed.
    // Empty: the real box (ShowStandardMessage with caption "Beamora").
    std::function<void(const QString& text)> show_message;
    // Requests the end of the application. Empty: the end of the event loop is requested at once,
    // so an event loop started after the failure returns straight away with exit code 1.
    std::function<void()> end_application;
};

// Reads the four language files into `texts`. On a file that cannot be opened: the missing
// component message in `language`, the end of the application, false. A read error inside an
// opened file shows "File exception ..." and ends reading that file (its entries stay cleared);
// loading goes on. Relative paths are from the current directory. User interface thread.
bool LoadLanguageFiles(LanguageTable& texts, int language, const SkinFailureHooks& hooks = {});

// Loads the bitmap table in order; the first failure stops it with the missing component message
// and the end of the application (false).
bool LoadSkinBitmaps(Skin& skin, int language, const SkinFailureHooks& hooks = {});

// Reads the position file; a file that cannot be opened or in which any key is missing gives the
// missing component message and the end of the application (false).
bool LoadPositionFile(SkinPositions& positions, int language, const SkinFailureHooks& hooks = {});

// All three in order (languages, bitmaps, positions), stopping at the first failure. True when the
// whole skin is loaded.
bool LoadSkin(Skin& skin, int language, const SkinFailureHooks& hooks = {});

}  // namespace beamora
