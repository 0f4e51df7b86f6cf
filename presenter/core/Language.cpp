#include "presenter/core/Language.h"

#include <cstdlib>

namespace beamora {

int LanguageIdFromLocale(const QString& locale_name) {
    // "zh_TW.UTF-8@variant": only the language and territory count.
    QString name = locale_name.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
    name.replace(QLatin1Char('-'), QLatin1Char('_'));
    const QString language = name.section(QLatin1Char('_'), 0, 0).toLower();
    const QString territory = name.section(QLatin1Char('_'), 1, 1).toUpper();
    if (language == QLatin1String("zh")) {
        if (territory == QLatin1String("TW") || territory == QLatin1String("HK")) {
            return kLanguageIdTraditionalChinese;
        }
        if (territory == QLatin1String("CN") || territory == QLatin1String("SG")) {
            return kLanguageIdSimplifiedChinese;
        }
        return kLanguageIdEnglish;
    }
    if (language == QLatin1String("ja")) return kLanguageIdJapanese;
    return kLanguageIdEnglish;
}

QString SystemLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != '\0') return QString::fromLocal8Bit(value);
    }
    return QStringLiteral("C");
}

int LanguageIndexFromId(int language_id) {
    switch (language_id) {
        case kLanguageIdTraditionalChinese:
            return kLanguageTraditionalChinese;
        case kLanguageIdSimplifiedChinese:
            return kLanguageSimplifiedChinese;
        case kLanguageIdJapanese:
            return kLanguageJapanese;
        default:
            return kLanguageEnglish;
    }
}

int LanguageIdFromIndex(int language) {
    static constexpr int kIds[kLanguageCount] = {kLanguageIdEnglish, kLanguageIdTraditionalChinese,
                                                 kLanguageIdSimplifiedChinese, kLanguageIdJapanese};
    return language >= 0 && language < kLanguageCount ? kIds[language] : kLanguageIdEnglish;
}

LanguageState::LanguageState(int lock) : lock_(lock) {}

void LanguageState::ChooseFromSystem(int system_language_id) {
    id_ = system_language_id;
    index_ = LanguageIndexFromId(system_language_id);
    ApplyLock();
}

void LanguageState::Choose(int language) {
    if (language < 0 || language >= kLanguageCount) return;
    index_ = language;
    id_ = LanguageIdFromIndex(language);
}

void LanguageState::ApplyLock() {
    if (Locked()) index_ = lock_;
}

int LanguageState::id() const {
    return Locked() ? LanguageIdFromIndex(lock_) : id_;
}

}  // namespace beamora
