#include <gtest/gtest.h>

#include <string>

#include "drvsetup/CommandLine.h"

namespace drvsetup {
namespace {

struct Case {
    const char* line;
    const char* infPath;
    const char* hardwareId;
};

TEST(CommandLine, TheLastWordIsTheIdentifierAndEverythingBeforeItThePath) {
    const Case cases[] = {
        {"drvsetup C:\\d\\x.inf ROOT\\X", "C:\\d\\x.inf", "ROOT\\X"},
        {"\"C:\\Program Files\\drvsetup.exe\" x.inf ROOT\\X", "x.inf", "ROOT\\X"},
        {"drvsetup \"C:\\My Drivers\\x.inf\" ROOT\\X", "C:\\My Drivers\\x.inf", "ROOT\\X"},
        {"drvsetup C:\\My Drivers\\x.inf ROOT\\X", "C:\\My Drivers\\x.inf", "ROOT\\X"},
        // Runs of spaces separate words, but inside the path they are kept as written.
        {"drvsetup   C:\\My  Own   Drivers\\x.inf    ROOT\\X   ", "C:\\My  Own   Drivers\\x.inf",
         "ROOT\\X"},
        {"drvsetup C:\\\"My Drivers\"\\x.inf \"ROOT\\X\"", "C:\\My Drivers\\x.inf", "ROOT\\X"},
        // A quoted word with spaces is one word, also as the identifier.
        {"drvsetup .\\x.inf \"PCI\\VEN 1\"", ".\\x.inf", "PCI\\VEN 1"},
        {"\"C:\\a b\\drvsetup.exe\"x.inf id", "x.inf", "id"},  // the name ends at the quote
    };
    for (const Case& c : cases) {
        ParsedCommandLine parsed = ParseCommandLine(c.line);
        EXPECT_EQ(parsed.status, ParseStatus::kOk) << c.line;
        EXPECT_EQ(parsed.infPath, c.infPath) << c.line;
        EXPECT_EQ(parsed.hardwareId, c.hardwareId) << c.line;
    }
}

TEST(CommandLine, FewerThanTwoWordsOrAnEmptyOneIsAUsageError) {
    for (const char* line :
         {"", "drvsetup", "drvsetup    ", "\"C:\\a b\\drvsetup.exe\"", "drvsetup x.inf",
          "drvsetup \"C:\\My Drivers\\x.inf\"", "\"C:\\a b\\drvsetup.exe x.inf ROOT\\X",
          "drvsetup \"\" ROOT\\X", "drvsetup x.inf \"\""}) {
        EXPECT_EQ(ParseCommandLine(line).status, ParseStatus::kUsage) << line;
    }
}

TEST(CommandLine, PathsLongerThanTheBufferAreRefused) {
    std::string path = "C:\\" + std::string(kMaxInfPath - 7, 'a') + ".inf";
    ASSERT_EQ(path.size(), kMaxInfPath);
    EXPECT_EQ(ParseCommandLine("drvsetup " + path + " ROOT\\X").status, ParseStatus::kOk);
    EXPECT_EQ(ParseCommandLine("drvsetup \"" + path + "\" ROOT\\X").status, ParseStatus::kOk);
    EXPECT_EQ(ParseCommandLine("drvsetup a" + path + " ROOT\\X").status, ParseStatus::kPathTooLong);
}

TEST(CommandLine, OnlyDriveLetterPathsAreTakenAsTheyAre) {
    for (const char* path : {"C:\\x.inf", "z:/x.inf", "D:x.inf"}) EXPECT_TRUE(HasDriveLetter(path));
    for (const char* path : {"x.inf", ".\\x.inf", "..\\x.inf", "\\\\server\\share\\x.inf",
                             "\\x.inf", "1:\\x.inf", "C"}) {
        EXPECT_FALSE(HasDriveLetter(path)) << path;
    }
}

}  // namespace
}  // namespace drvsetup
