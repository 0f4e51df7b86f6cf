#include "presenter/core/LanguageTable.h"

#include <algorithm>

namespace beamora {

const char* LanguageFilePath(int language) {
    static constexpr const char* kPaths[kLanguageCount] = {"String/EN.txt", "String/TW.txt",
                                                           "String/CN.txt", "String/JP.txt"};
    if (language < 0 || language >= kLanguageCount) return nullptr;
    return kPaths[language];
}

LanguageFileParser::LanguageFileParser(LanguageEntries& entries) : entries_(entries) {
    for (auto& entry : entries_) entry.fill(0);
}

size_t LanguageFileParser::Feed(std::span<const uint8_t> bytes) {
    for (uint8_t byte : bytes) {
        if (bom_bytes_left_ > 0) {
            --bom_bytes_left_;
            continue;
        }
        if (!have_low_byte_) {
            low_byte_ = byte;
            have_low_byte_ = true;
            continue;
        }
        have_low_byte_ = false;
        Unit(static_cast<char16_t>(low_byte_ | (byte << 8)));
    }
    return bytes.size();
}

void LanguageFileParser::Finish() {
    // A lone trailing byte is not a unit, and a CR at the very end has no unit after it.
    have_low_byte_ = false;
    after_cr_ = false;
}

void LanguageFileParser::Unit(char16_t unit) {
    if (after_cr_) {
        after_cr_ = false;
        if ((unit & 0xFF) == 0x0A) {
            ++entry_;
            column_ = 0;
            return;
        }
        // Not a line break: the unit after a lone CR is ordinary text (even another CR).
    } else if (unit == 0x000D) {
        after_cr_ = true;
        return;
    }
    // The last unit of each entry stays zero as its terminator.
    if (entry_ < kLanguageEntries && column_ < kLanguageEntryUnits - 1) {
        entries_[entry_][column_] = unit;
    }
    if (column_ < kLanguageEntryUnits) ++column_;
}

LanguageTable::LanguageTable() {
    for (auto& language : languages_) {
        for (auto& entry : language) entry.fill(0);
    }
}

LanguageEntries& LanguageTable::Entries(int language) {
    return languages_[std::clamp(language, 0, kLanguageCount - 1)];
}

std::u16string_view LanguageTable::Entry(int language, int entry) const {
    if (language < 0 || language >= kLanguageCount || entry < 0 || entry >= kLanguageEntries) {
        return {};
    }
    const auto& units = languages_[language][entry];
    return std::u16string_view(units.data());
}

void LanguageTable::ParseFile(int language, std::span<const uint8_t> bytes) {
    LanguageFileParser parser(Entries(language));
    parser.Feed(bytes);
    parser.Finish();
}

}  // namespace beamora
