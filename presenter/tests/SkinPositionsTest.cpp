#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "presenter/core/SkinPositions.h"

namespace beamora {
namespace {

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// A complete file: every key with the value 1000 + its index, in table order.
std::string CompleteFile() {
    std::string text;
    for (int key = 0; key < kSkinPositionCount; ++key) {
        text += std::to_string(1000 + key) + " " + SkinKeyName(key) + "\r\n";
    }
    return text;
}

TEST(SkinPositions, KeyTableHasEightyEightXYPairs) {
    for (int key = 0; key < kSkinPositionCount; key += 2) {
        std::string x = SkinKeyName(key);
        std::string y = SkinKeyName(key + 1);
        EXPECT_EQ(x.back(), 'X');
        EXPECT_EQ(y.back(), 'Y');
        EXPECT_EQ(x.substr(0, x.size() - 1), y.substr(0, y.size() - 1));
        EXPECT_EQ(FindSkinKey(x), key);
    }
    EXPECT_EQ(SkinKeyName(kSkinPositionCount), nullptr);
    EXPECT_STREQ(SkinKeyName(QXL_DECK_TEXT_STATUS_X), "QXL_DECK_TEXT_STATUS_X");
}

TEST(SkinPositions, CompleteFileLoadsEveryKey) {
    SkinPositions positions;
    ASSERT_TRUE(positions.ParseFile(Bytes(CompleteFile())));
    EXPECT_EQ(positions.MissingCount(), 0);
    for (int key = 0; key < kSkinPositionCount; ++key) EXPECT_EQ(positions[key], 1000 + key);
    // The same file in any line order, and without the final CR LF.
    std::string reversed;
    for (int key = kSkinPositionCount - 1; key >= 0; --key) {
        if (!reversed.empty()) reversed += "\r\n";
        reversed += std::to_string(7 * key) + " " + SkinKeyName(key);
    }
    ASSERT_TRUE(positions.ParseFile(Bytes(reversed)));
    for (int key = 0; key < kSkinPositionCount; ++key) EXPECT_EQ(positions[key], 7 * key);
}

TEST(SkinPositions, ValueMustComeFirstOnTheLine) {
    SkinPositions positions;
    positions.ParseFile(
        Bytes("  15 QLX_PRESENTATION_PLAY_X\r\n"
              "132\tQLX_PRESENTATION_PLAY_Y\r\n"
              "-7 QLX_PRESENTATION_STOP_X\r\n"
              "QLX_PRESENTATION_STOP_Y\r\n"
              "42QLX_PRESENTATION_MIN_X\r\n"
              "9 9 QLX_PRESENTATION_MIN_Y\r\n"));
    EXPECT_EQ(positions[QLX_PRESENTATION_PLAY_X], 0);  // leading spaces: the 15 is skipped
    EXPECT_TRUE(positions.Seen(QLX_PRESENTATION_PLAY_X));
    EXPECT_EQ(positions[QLX_PRESENTATION_PLAY_Y], 132);
    EXPECT_EQ(positions[QLX_PRESENTATION_STOP_X], 0);  // a minus sign cannot be written
    EXPECT_EQ(positions[QLX_PRESENTATION_STOP_Y], 0);  // no digits
    EXPECT_EQ(positions[QLX_PRESENTATION_MIN_X], 42);
    EXPECT_EQ(positions[QLX_PRESENTATION_MIN_Y], 9);
    EXPECT_EQ(positions.MissingCount(), kSkinPositionCount - 6);
}

TEST(SkinPositions, LeadingPartOfANameMatchesTheFirstSuchName) {
    SkinPositions positions;
    positions.ParseFile(
        Bytes("5 QLX_DECK\r\n"
              "6 QLX_DECK_PRESENTATION_X\r\n"
              "7 QLX_STATUS\r\n"
              "8 QLX_PRESENTATION_PLAY_X_AND_MORE\r\n"
              "9 UNKNOWN\r\n"));
    EXPECT_EQ(positions[QLX_DECK_PRESENTATION_X], 5);  // the later full name is a repeat
    EXPECT_EQ(positions[QLX_STATUS_CONNECTIONED_X], 7);
    EXPECT_FALSE(positions.Seen(QLX_PRESENTATION_PLAY_X));  // longer than every name
    EXPECT_EQ(positions.MissingCount(), kSkinPositionCount - 2);
}

TEST(SkinPositions, FirstOccurrenceWins) {
    std::string text =
        "11 QLX_PRESENTATION_EXIT_X\r\n22 QLX_PRESENTATION_EXIT_X\r\n" + CompleteFile();
    SkinPositions positions;
    EXPECT_TRUE(positions.ParseFile(Bytes(text)));
    EXPECT_EQ(positions[QLX_PRESENTATION_EXIT_X], 11);
    EXPECT_EQ(positions[QLX_PRESENTATION_EXIT_Y], 1000 + QLX_PRESENTATION_EXIT_Y);
}

TEST(SkinPositions, MissingKeyIsReported) {
    std::string text;
    for (int key = 0; key < kSkinPositionCount; ++key) {
        if (key == QLX_SELPROJECTOR_LISTBOX_Y) continue;
        text += "1 " + std::string(SkinKeyName(key)) + "\r\n";
    }
    SkinPositions positions;
    EXPECT_FALSE(positions.ParseFile(Bytes(text)));
    EXPECT_EQ(positions.MissingCount(), 1);
    EXPECT_EQ(positions.FirstMissingName(), "QLX_SELPROJECTOR_LISTBOX_Y");
}

TEST(SkinPositions, OnlyThreeHundredLinesAreRead) {
    std::string text;
    for (int i = 0; i < 299; ++i) text += "1 FILLER\r\n";
    text += "300 QLX_DECK_PRESENTATION_X\r\n";  // line 300 (index 299): read
    text += "301 QLX_DECK_PRESENTATION_Y\r\n";  // line 301: ignored
    for (int i = 0; i < 5000; ++i) text += "5 QLX_PRODUCTNAME_X\r\n";
    SkinPositions positions;
    positions.ParseFile(Bytes(text));
    EXPECT_EQ(positions[QLX_DECK_PRESENTATION_X], 300);
    EXPECT_FALSE(positions.Seen(QLX_DECK_PRESENTATION_Y));
    EXPECT_FALSE(positions.Seen(QLX_PRODUCTNAME_X));
}

TEST(SkinPositions, OverlongKeysAndValuesDoNotSpill) {
    std::string text = "3 QLX_" + std::string(100000, 'A') + "\r\n";      // huge key
    text += "4 QLX_DECK_PRESENTATION_X" + std::string(30, ' ') + "\r\n";  // 53 bytes
    text += "99999999999999999999 QLX_DECK_PRESENTATION_Y\r\n";           // past 32 bits
    text += "12 QLX_PRODUCTNAME_X\r\n";
    SkinPositions positions;
    positions.ParseFile(Bytes(text));
    EXPECT_FALSE(positions.Seen(QLX_DECK_PRESENTATION_X));
    EXPECT_EQ(positions[QLX_DECK_PRESENTATION_Y], INT32_MAX);
    EXPECT_EQ(positions[QLX_PRODUCTNAME_X], 12);
    // A 49-byte key is still compared (and here matches nothing).
    positions.ParseFile(Bytes("1 QLX_DECK_PRESENTATION_X" + std::string(26, '_') + "\r\n"));
    EXPECT_FALSE(positions.Seen(QLX_DECK_PRESENTATION_X));
}

TEST(SkinPositions, KeyEndsOnlyAtCarriageReturn) {
    SkinPositions positions;
    // LF alone does not end a key: the two lines form one long key that matches nothing.
    positions.ParseFile(Bytes("1 QLX_PRODUCTNAME_X\n2 QLX_PRODUCTNAME_Y\r\n"));
    EXPECT_EQ(positions.MissingCount(), kSkinPositionCount);
    // A CR without LF eats the next byte and stays on the same line (and its value slot).
    positions.ParseFile(Bytes("1 QLX_PRODUCTNAME_X\rX2 QLX_PRODUCTNAME_Y\r\n"));
    EXPECT_EQ(positions[QLX_PRODUCTNAME_X], 1);
    EXPECT_EQ(positions[QLX_PRODUCTNAME_Y], 12);
    // The end of the file ends a key but not a value.
    positions.ParseFile(Bytes("8 QLX_PRODUCTNAME_X\r\n9"));
    EXPECT_EQ(positions.MissingCount(), kSkinPositionCount - 1);
}

TEST(SkinPositions, PiecesGiveTheSameResultAsTheWholeFile) {
    const std::string text = "12 QLX_DECK\r\n  3 QLX_PRODUCTNAME_X\r\n45 QLX_PRODUCTNAME_Y";
    SkinPositions whole;
    whole.ParseFile(Bytes(text));
    const std::vector<uint8_t> bytes = Bytes(text);
    for (size_t cut = 0; cut <= bytes.size(); ++cut) {
        SkinPositions positions;
        PositionFileParser parser(positions);
        parser.Feed(std::span(bytes).first(cut));
        parser.Feed(std::span(bytes).subspan(cut));
        parser.Finish();
        for (int key = 0; key < kSkinPositionCount; ++key) {
            ASSERT_EQ(positions[key], whole[key]) << "cut " << cut;
            ASSERT_EQ(positions.Seen(key), whole.Seen(key)) << "cut " << cut;
        }
    }
}

}  // namespace
}  // namespace beamora
