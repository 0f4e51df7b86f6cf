#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "presenter/core/LanguageTable.h"

namespace beamora {
namespace {

// The bytes of a language file: `bom` (2 bytes, or none), then `text` as UTF-16LE.
std::vector<uint8_t> FileBytes(const std::u16string& text, bool bom = true) {
    std::vector<uint8_t> bytes;
    if (bom) bytes = {0xFF, 0xFE};
    for (char16_t unit : text) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return bytes;
}

std::u16string Entry(const LanguageTable& table, int entry, int language = 0) {
    return std::u16string(table.Entry(language, entry));
}

TEST(LanguageTable, LinesBecomeEntriesAfterTheByteOrderMark) {
    LanguageTable table;
    table.ParseFile(0, FileBytes(u"Open\r\nSearch Again\r\n\r\n中文\r\n"));
    EXPECT_EQ(Entry(table, 0), u"Open");
    EXPECT_EQ(Entry(table, 1), u"Search Again");
    EXPECT_EQ(Entry(table, 2), u"");  // an empty line is an empty entry
    EXPECT_EQ(Entry(table, 3), u"中文");
    EXPECT_EQ(Entry(table, 4), u"");
}

TEST(LanguageTable, FirstTwoBytesAreAlwaysSkipped) {
    LanguageTable table;
    table.ParseFile(0, FileBytes(u"OK\r\nCancel", /*bom=*/false));
    EXPECT_EQ(Entry(table, 0), u"K");  // no byte-order mark: the first character is lost
    EXPECT_EQ(Entry(table, 1), u"Cancel");

    // Whatever the two bytes hold, they are not text (a big-endian mark included).
    std::vector<uint8_t> bytes = FileBytes(u"Hi");
    bytes[0] = 0xFE;
    bytes[1] = 0xFF;
    table.ParseFile(1, bytes);
    EXPECT_EQ(Entry(table, 0, 1), u"Hi");
}

TEST(LanguageTable, OnlyCarriageReturnLineFeedEndsALine) {
    LanguageTable table;
    // A lone CR is dropped; a lone LF is ordinary text; CR CR LF keeps the second CR and the LF.
    table.ParseFile(0, FileBytes(u"A\rB\r\nC\nD\r\nE\r\r\nF"));
    EXPECT_EQ(Entry(table, 0), u"AB");
    EXPECT_EQ(Entry(table, 1), u"C\nD");
    EXPECT_EQ(Entry(table, 2), u"E\r\nF");
    EXPECT_EQ(Entry(table, 3), u"");

    // After a CR, any unit whose low byte is a line feed ends the line.
    table.ParseFile(0, FileBytes(u"X\r\u010AY"));
    EXPECT_EQ(Entry(table, 0), u"X");
    EXPECT_EQ(Entry(table, 1), u"Y");
}

TEST(LanguageTable, FileEndsCleanlyWhereverItStops) {
    LanguageTable table;
    std::vector<uint8_t> bytes = FileBytes(u"Last\r");  // CR at the very end
    bytes.push_back(0x41);                              // and an odd byte
    table.ParseFile(0, bytes);
    EXPECT_EQ(Entry(table, 0), u"Last");
    EXPECT_EQ(Entry(table, 1), u"");

    table.ParseFile(0, {});  // an empty file leaves every entry empty
    EXPECT_EQ(Entry(table, 0), u"");
    table.ParseFile(0, std::vector<uint8_t>{0xFF});
    EXPECT_EQ(Entry(table, 0), u"");
}

TEST(LanguageTable, ReloadClearsTheLanguageFirst) {
    LanguageTable table;
    table.ParseFile(2, FileBytes(u"a long first line\r\nsecond"));
    table.ParseFile(2, FileBytes(u"ab"));
    EXPECT_EQ(Entry(table, 0, 2), u"ab");
    EXPECT_EQ(Entry(table, 1, 2), u"");
}

TEST(LanguageTable, EntryPastTheFileIsEmpty) {
    // A file of 70 lines: entry 75, the title of error messages, is empty.
    std::u16string text;
    for (int i = 0; i < 70; ++i) text += u"line\r\n";
    LanguageTable table;
    table.ParseFile(3, FileBytes(text));
    EXPECT_EQ(Entry(table, 69, 3), u"line");
    EXPECT_EQ(Entry(table, 70, 3), u"");
    EXPECT_EQ(Entry(table, 75, 3), u"");
}

TEST(LanguageTable, LongLinesAndExtraLinesStayInsideTheTable) {
    std::u16string text;
    text += std::u16string(150, u'x') + u"\r\n";  // longer than 99 units
    text += std::u16string(99, u'y') + u"\r\n";   // exactly 99 units
    for (int i = 2; i < 250; ++i) {
        text += u"line " + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) + u"\r\n";
    }
    LanguageTable table;
    table.ParseFile(0, FileBytes(text));
    table.ParseFile(1, FileBytes(u"other"));
    EXPECT_EQ(Entry(table, 0), std::u16string(99, u'x'));
    EXPECT_EQ(Entry(table, 1), std::u16string(99, u'y'));
    EXPECT_EQ(Entry(table, 2), u"line 2");
    EXPECT_EQ(Entry(table, 99), u"line 9");
    // The neighbouring language is untouched by the overflow.
    EXPECT_EQ(Entry(table, 0, 1), u"other");
    EXPECT_EQ(Entry(table, 100), u"");
    EXPECT_EQ(Entry(table, -1), u"");
    EXPECT_EQ(table.Entry(4, 0), u"");
}

TEST(LanguageTable, PiecesGiveTheSameTableAsTheWholeFile) {
    const std::vector<uint8_t> bytes = FileBytes(u"One\r\nTwo\rx\r\n\r\n三\r\nfour\r");
    LanguageTable whole;
    whole.ParseFile(0, bytes);
    for (size_t cut = 0; cut <= bytes.size(); ++cut) {
        LanguageEntries entries;
        LanguageFileParser parser(entries);
        parser.Feed(std::span(bytes).first(cut));
        parser.Feed(std::span(bytes).subspan(cut));
        parser.Finish();
        for (int n = 0; n < 6; ++n) {
            EXPECT_EQ(std::u16string(entries[n].data()), Entry(whole, n)) << "cut " << cut;
        }
    }
}

TEST(LanguageTable, ParserReportsWhenTheTableIsFull) {
    LanguageEntries entries;
    LanguageFileParser parser(entries);
    std::u16string text;
    for (int i = 0; i < 99; ++i) text += u"\r\n";
    parser.Feed(FileBytes(text));
    EXPECT_FALSE(parser.Full());
    parser.Feed(FileBytes(u"\r\n", false));
    EXPECT_TRUE(parser.Full());
}

}  // namespace
}  // namespace beamora
