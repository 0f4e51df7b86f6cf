// The three panels offscreen with the shipped skin: every way each one ends and what it returns,
// the code box's limits, and the message body's layout (rules with made-up widths, then the real
// texts in the real font inside the real deck).
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <functional>
#include <memory>

#include "presenter/controls/LoginCodePanel.h"
#include "presenter/controls/MessagePanel.h"
#include "presenter/controls/ServerListPanel.h"
#include "presenter/core/Resources.h"
#include "presenter/tests/TestSupport.h"

namespace beamora {
namespace {

using test::WorkingDirectory;

class Panels : public ::testing::Test {
  protected:
    void SetUp() override {
        cwd_ = std::make_unique<WorkingDirectory>(BEAMORA_TEST_DATA_DIR);
        resources_ = std::make_unique<Resources>(-1);
        ASSERT_TRUE(resources_->Load());
    }
    // Shows `panel` without blocking, runs `act` on it and returns how it ended (0: still open).
    static int Run(SkinnedPanel& panel, const std::function<void()>& act) {
        panel.open();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&panel));
        act();
        return panel.isVisible() ? 0 : panel.result();
    }
    static void Click(SkinnedPanel& panel, int id) {
        const HotZone zone = panel.Zone(id);
        ASSERT_GT(zone.width, 0) << id;
        QTest::mouseClick(&panel, Qt::LeftButton, {}, QPoint(zone.x + zone.width / 2, zone.y + 3));
    }
    std::unique_ptr<ServerListPanel> List(int receivers) {
        auto panel = std::make_unique<ServerListPanel>(*resources_);
        for (int i = 0; i < receivers; ++i) {
            panel->AddEntry(QStringLiteral("10.0.0.%1").arg(i + 1),
                            QStringLiteral("Room %1").arg(i));
        }
        return panel;
    }

    std::unique_ptr<WorkingDirectory> cwd_;
    std::unique_ptr<Resources> resources_;
};

TEST_F(Panels, ReceiverListEndsWithTheRowChosenOrNone) {
    struct Case {
        const char* name;
        std::function<void(ServerListPanel&)> act;
        int result;
        int chosen;
    };
    auto select = [](ServerListPanel& p, std::initializer_list<int> rows) {
        for (int row : rows) p.list()->topLevelItem(row)->setSelected(true);
    };
    auto double_click = [](ServerListPanel& p, QPoint at) {
        QTest::mouseDClick(p.list()->viewport(), Qt::LeftButton, {}, at);
    };
    const Case cases[] = {
        {"OK, none selected", [&](ServerListPanel& p) { Click(p, SkinnedPanel::kButtonOk); }, 1,
         -1},
        {"OK, one",
         [&](ServerListPanel& p) {
             select(p, {2});
             Click(p, SkinnedPanel::kButtonOk);
         },
         1, 2},
        {"OK, several: the lowest",
         [&](ServerListPanel& p) {
             select(p, {3, 1, 2});
             Click(p, SkinnedPanel::kButtonOk);
         },
         1, 1},
        {"Enter",
         [&](ServerListPanel& p) {
             select(p, {0});
             QTest::keyClick(p.list(), Qt::Key_Return);
         },
         1, 0},
        {"double click on a row",
         [&](ServerListPanel& p) {
             select(p, {0});
             double_click(p, p.list()->visualItemRect(p.list()->topLevelItem(1)).center());
         },
         1, 1},
        {"double click below the rows",
         [&](ServerListPanel& p) {
             select(p, {0});
             double_click(p, QPoint(20, p.list()->viewport()->height() - 2));
         },
         1, -1},
        {"Cancel",
         [&](ServerListPanel& p) {
             select(p, {0});
             Click(p, SkinnedPanel::kButtonCancel);
         },
         2, -1},
        {"close", [&](ServerListPanel& p) { Click(p, SkinnedPanel::kButtonClose); }, 2, -1},
        {"Escape", [&](ServerListPanel& p) { QTest::keyClick(p.list(), Qt::Key_Escape); }, 2, -1},
    };
    for (const Case& c : cases) {
        auto panel = List(3 + (std::string(c.name) == "OK, several: the lowest"));
        const int result = Run(*panel, [&] { c.act(*panel); });
        EXPECT_EQ(result, c.result) << c.name;
        if (c.result == 1) {
            EXPECT_EQ(panel->ChosenIndex(), c.chosen) << c.name;
        }
    }
}

TEST_F(Panels, ReceiverListKeepsEveryReceiverInOrder) {
    auto panel = List(25);
    ASSERT_EQ(panel->list()->topLevelItemCount(), 25);
    EXPECT_EQ(panel->list()->topLevelItem(24)->text(0), QStringLiteral("10.0.0.25"));
    EXPECT_EQ(panel->list()->topLevelItem(24)->text(1), QStringLiteral("Room 24"));
    EXPECT_EQ(panel->list()->size(), QSize(318, 98));
    EXPECT_EQ(panel->list()->columnWidth(0), 120);
    EXPECT_EQ(panel->list()->headerItem()->text(1), QStringLiteral("Device Name"));
    const int result = Run(*panel, [&] {
        panel->list()->scrollToItem(panel->list()->topLevelItem(24));
        panel->list()->topLevelItem(24)->setSelected(true);
        Click(*panel, SkinnedPanel::kButtonOk);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(panel->ChosenIndex(), 24);
}

TEST_F(Panels, LoginCodeTakesFourDigitsAndEndsEachWay) {
    struct Case {
        const char* typed;
        std::function<void(LoginCodePanel&)> end;
        int result;
        const char* code;
    };
    const Case cases[] = {
        {"12345", [](LoginCodePanel& p) { QTest::keyClick(p.edit(), Qt::Key_Return); }, 1, "1234"},
        {"9a8b7", [](LoginCodePanel& p) { Click(p, SkinnedPanel::kButtonOk); }, 1, "987"},
        {"0042", [](LoginCodePanel& p) { QTest::keyClick(p.edit(), Qt::Key_Escape); }, 2, ""},
        {"1111", [](LoginCodePanel& p) { Click(p, SkinnedPanel::kButtonClose); }, 2, ""},
        {"2222", [](LoginCodePanel& p) { Click(p, SkinnedPanel::kButtonCancel); }, 2, ""},
    };
    for (const Case& c : cases) {
        LoginCodePanel panel(*resources_);
        const int result = Run(panel, [&] {
            QTest::keyClicks(panel.edit(), QString::fromLatin1(c.typed));
            c.end(panel);
        });
        EXPECT_EQ(result, c.result) << c.typed;
        if (c.result == 1) {
            EXPECT_EQ(panel.Code(), QString::fromLatin1(c.code)) << c.typed;
        }
    }
    // The texts stay in the language the panel was made in.
    resources_->language().Choose(kLanguageEnglish);
    LoginCodePanel english(*resources_);
    resources_->language().Choose(kLanguageJapanese);
    EXPECT_EQ(english.language(), kLanguageEnglish);
    EXPECT_EQ(english.surface().TextAt(1)->text,
              SkinString(resources_->skin().texts.Entry(kLanguageEnglish, 49)));
}

TEST_F(Panels, MessageEndsWithItsButtonOrClosed) {
    for (int id : {SkinnedPanel::kButtonOk, SkinnedPanel::kButtonClose}) {
        MessagePanel panel(*resources_);
        panel.SetTexts(QStringLiteral("Title"), QStringLiteral("Body"), QStringLiteral("OK"),
                       kStyleError);
        EXPECT_EQ(Run(panel, [&] { Click(panel, id); }), id == SkinnedPanel::kButtonOk ? 1 : 2);
    }
    MessagePanel panel(*resources_);
    panel.SetTexts(QStringLiteral("Title"), QStringLiteral("Body"), QStringLiteral("OK"),
                   kStyleError);
    EXPECT_EQ(Run(panel, [&] { QTest::keyClick(&panel, Qt::Key_Escape); }), 2);
}

// Made-up widths: a 1-pixel lead, 6-pixel glyph and 1-pixel tail (8 a character); the full-width
// comma and CJK characters are 2 + 10 + 2.
CharWidths FakeWidths(QChar c) {
    if (c.unicode() >= 0x3000) return {2, 10, 2};
    return {1, 6, 1};
}

std::vector<TextPiece> Layout(const char* utf8, int style) {
    return LayoutMessageBody(QString::fromUtf8(utf8), style, FakeWidths, 15);
}

TEST(MessageLayout, PlainTextBreaksAtLineFeedsAndPastTheWidth) {
    EXPECT_EQ(Layout("ab\ncd", kStyleInformation),
              (std::vector<TextPiece>{{"a", 1, 0}, {"b", 9, 0}, {"c", 1, 15}, {"d", 9, 15}}));
    // 42 characters of 8 pixels: the line ends once the pen is past 330 (after 42 * 8 = 336).
    const auto long_line = Layout(std::string(43, 'x').c_str(), kStyleInformation);
    EXPECT_EQ(long_line[41].y, 0);
    EXPECT_EQ(long_line[42].y, 15);
    EXPECT_EQ(long_line[42].x, 1);
}

TEST(MessageLayout, LatinTextWrapsByWordsBeforeTheWidth) {
    // Words of 4 letters (32 pixels) and a space (+3): 35 pixels a word.
    const auto pieces = Layout(
        "abcd efgh ijkl mnop qrst uvwx yzab cdef ghij klmnopqrstuvwxyzabcdefghij", kStyleError);
    ASSERT_EQ(pieces.size(), 10u);
    EXPECT_EQ(pieces[0], (TextPiece{"abcd", 0, 0}));
    EXPECT_EQ(pieces[1], (TextPiece{"efgh ", 35, 0}));
    // The eighth word would reach 7 * 35 + 32 + 3 = 280 >= 256: a new line.
    EXPECT_EQ(pieces[6], (TextPiece{"yzab ", 210, 0}));
    EXPECT_EQ(pieces[7], (TextPiece{"cdef ", 0, 15}));
    // A last word that does not fit goes to the next line; one longer than a line stays.
    EXPECT_EQ(pieces[9], (TextPiece{"klmnopqrstuvwxyzabcdefghij", 0, 30}));
    EXPECT_EQ(Layout("abcd efgh ijkl mnop qrst uvwx yzabcdef", kStyleError).back(),
              (TextPiece{"yzabcdef", 0, 15}));
    EXPECT_EQ(Layout(std::string(40, 'w').c_str(), kStyleError).back().x, 0);
    // A one-letter first word stays at the line's start; a second space adds its 3 pixels.
    EXPECT_EQ(Layout("a b", kStyleError), (std::vector<TextPiece>{{"a", 0, 0}, {"b", 11, 0}}));
    EXPECT_EQ(Layout("ab  c", kStyleError),
              (std::vector<TextPiece>{{"ab", 0, 0}, {" ", 22, 0}, {"c", 25, 0}}));
}

TEST(MessageLayout, DigitsAndOtherScriptsGoCharacterByCharacter) {
    // A text that starts with a digit: per character, wrapping once the pen reaches 256.
    const auto digits = Layout(std::string(40, '7').c_str(), kStyleError);
    EXPECT_EQ(digits[31].y, 0);  // after 32 characters the pen is at 256
    EXPECT_EQ(digits[32].y, 15);
    // Chinese: 14 pixels a character, and the full-width comma is drawn before its lead.
    const auto chinese = Layout("一，二", kStyleError);
    ASSERT_EQ(chinese.size(), 3u);
    EXPECT_EQ(chinese[0], (TextPiece{QString::fromUtf8("一"), 2, 0}));
    EXPECT_EQ(chinese[1], (TextPiece{QString::fromUtf8("，"), 14, 0}));
    EXPECT_EQ(chinese[2], (TextPiece{QString::fromUtf8("二"), 30, 0}));
}

TEST_F(Panels, EveryMessageFitsItsPanelInEveryLanguage) {
    // The messages the presenter shows, and the longest plain texts (information, about).
    const int errors[] = {52, 53, 54, 55, 56, 67, 68, 70, 73, 74};
    for (int language = 0; language < kLanguageCount; ++language) {
        resources_->language().Choose(language);
        auto check = [&](const QString& body, int style) {
            MessagePanel panel(*resources_);
            panel.SetTexts(resources_->Text(75), body, resources_->Text(64), style);
            const QFontMetrics metrics(panel.Font(1));
            const HotZone button = panel.Zone(SkinnedPanel::kButtonOk);
            for (const TextPiece& piece : panel.BodyPieces()) {
                const int right = panel.BodyOrigin().x() + piece.x +
                                  metrics.horizontalAdvance(piece.text.trimmed());
                const int bottom = panel.BodyOrigin().y() + piece.y + metrics.height();
                EXPECT_LE(right, panel.width() - 4) << language << ": " << body.toStdString();
                EXPECT_LE(bottom, button.y) << language << ": " << body.toStdString();
            }
        };
        for (int entry : errors) check(resources_->Text(entry), kStyleError);
        check(resources_->Text(8) + ": RVX-700\n\n" + resources_->Text(9) +
                  ": 192.168.100.200\n\n" + resources_->Text(27) + ": 4829",
              kStyleInformation);
        check(QStringLiteral(" RVX-700 v1.0.0.0\n\nCopyright (C) 2026 The Beamora developers\n\n"
                             "All rights reserved."),
              kStyleInformation);
    }
}

}  // namespace
}  // namespace beamora
