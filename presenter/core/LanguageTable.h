// Every user-visible text of the presenter: four languages of 100 numbered entries each, read from
// the language files "String/EN.txt", "String/TW.txt", "String/CN.txt" and "String/JP.txt".
//
// A language file is UTF-16LE: two bytes of byte-order mark (always skipped, whatever they hold),
// then one entry per line, lines separated by CR LF. Entry N is line N. A CR that is not followed
// by a unit whose low byte is a line feed is dropped and the unit after it is kept as text. Entries
// keep at most 99 units; lines past the 100th and units past the 99th of a line are dropped, so
// nothing a file holds reaches outside the table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace beamora {

// Language indices, also the order in which the files are read.
enum Language : int {
    kLanguageEnglish = 0,
    kLanguageTraditionalChinese = 1,
    kLanguageSimplifiedChinese = 2,
    kLanguageJapanese = 3,
};
inline constexpr int kLanguageCount = 4;
inline constexpr int kLanguageEntries = 100;
inline constexpr int kLanguageEntryUnits = 100;  // 99 units of text and the terminator
// A language file must hold at least this many lines (entries 0 to 75, the last text the program
// shows): a file cut before them is incomplete.
inline constexpr int kLanguageEntriesUsed = 76;

// Relative path of the language file of `language` (0 to 3); nullptr for any other index.
const char* LanguageFilePath(int language);

// One language: 100 zero-terminated entries of UTF-16 units.
using LanguageEntries = std::array<std::array<char16_t, kLanguageEntryUnits>, kLanguageEntries>;

// Incremental reader of one language file's bytes into one language's entries. Feed it the file in
// pieces of any size (it keeps an odd byte and a pending CR across pieces), then call Finish once.
class LanguageFileParser {
  public:
    // Clears `entries` (owned by the caller, which keeps it alive while parsing) to all zeros.
    explicit LanguageFileParser(LanguageEntries& entries);

    // Consumes all of `bytes` (always returns bytes.size()); units that do not fit are dropped.
    size_t Feed(std::span<const uint8_t> bytes);

    // The end of the file: a trailing odd byte and a trailing CR store nothing.
    void Finish();

    // True once the 100 entries are behind the reader: further bytes cannot change the table, so a
    // caller may stop reading the file.
    bool Full() const { return entry_ >= kLanguageEntries; }
    // Line breaks read so far: entries before the one being read are complete.
    int CompleteEntries() const { return entry_; }

  private:
    void Unit(char16_t unit);

    LanguageEntries& entries_;
    int bom_bytes_left_ = 2;
    bool have_low_byte_ = false;
    uint8_t low_byte_ = 0;
    bool after_cr_ = false;
    int entry_ = 0;
    int column_ = 0;
};

// The four languages' texts. Owned by the application; read on the user interface thread.
class LanguageTable {
  public:
    LanguageTable();

    // The entries of one language (0 to 3), for loading. Out-of-range indices are clamped into
    // 0..3.
    LanguageEntries& Entries(int language);

    // Entry `entry` of `language` up to its terminator; empty for an index outside the table.
    std::u16string_view Entry(int language, int entry) const;

    // Parses a whole language file held in memory into `language`'s entries (cleared first).
    void ParseFile(int language, std::span<const uint8_t> bytes);

  private:
    std::array<LanguageEntries, kLanguageCount> languages_;
};

}  // namespace beamora
