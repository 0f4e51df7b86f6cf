// Which of the four languages the presenter speaks: chosen from the system's locale at start-up,
// changed by the user from the menu, or fixed when the program is built with a language lock.
#pragma once

#include <QString>

#include "presenter/core/LanguageTable.h"

namespace beamora {

// The build's language lock: -1 follows the system and offers the language menu; 0 to 3 fix
// that language and hide the menu. Set with -DBEAMORA_LANGUAGE_LOCK=N.
#ifndef BEAMORA_LANGUAGE_LOCK
#define BEAMORA_LANGUAGE_LOCK -1
#endif
inline constexpr int kBuildLanguageLock = BEAMORA_LANGUAGE_LOCK;

// Windows language ids, which the menu's check mark and the saved choice are expressed in.
inline constexpr int kLanguageIdEnglish = 0;
inline constexpr int kLanguageIdTraditionalChinese = 1028;
inline constexpr int kLanguageIdSimplifiedChinese = 2052;
inline constexpr int kLanguageIdJapanese = 1041;

// The language id of a locale name ("zh_TW.UTF-8", "ja_JP", "C", ...): zh_TW and zh_HK give
// 1028, zh_CN and zh_SG 2052, ja 1041, anything else 0 (English).
int LanguageIdFromLocale(const QString& locale_name);

// The system's locale name as the C library sees it (LC_ALL, then LC_MESSAGES, then LANG);
// "C" when none is set.
QString SystemLocaleName();

// The language index (0 to 3) for a language id: 1028 → 1, 2052 → 2, 1041 → 3, else 0.
int LanguageIndexFromId(int language_id);

// The language id of index 0 to 3 (0, 1028, 2052, 1041); 0 outside.
int LanguageIdFromIndex(int language);

// The current language, with the lock that may fix it. User interface thread.
class LanguageState {
  public:
    explicit LanguageState(int lock = kBuildLanguageLock);

    // The start-up choice: the system language's id, then the lock when it is 0 to 3.
    void ChooseFromSystem(int system_language_id);
    // The user's choice of index 0 to 3 from the menu (ignored outside).
    void Choose(int language);
    // Forces the lock's language when the lock is 0 to 3.
    void ApplyLock();

    int index() const { return index_; }
    // The id the menu puts its check mark by: the lock's when locked, else the system's id from
    // start-up or the user's choice.
    int id() const;
    int lock() const { return lock_; }
    bool Locked() const { return lock_ >= 0 && lock_ < kLanguageCount; }

  private:
    int lock_;
    int index_ = kLanguageEnglish;
    int id_ = kLanguageIdEnglish;
};

}  // namespace beamora
