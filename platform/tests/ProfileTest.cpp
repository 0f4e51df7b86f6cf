#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/Profile.h"

namespace platform {
namespace {

std::string WriteTemp(const std::string& text) {
    // Test processes run side by side: the name is random.
    std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("beamora-profile-" + std::to_string(std::random_device{}()) + ".ini");
    std::ofstream(path, std::ios::binary) << text;
    return std::filesystem::absolute(path).string();
}

TEST(Profile, LooksUpSectionsAndKeysLikeTheWindowsProfileFunctions) {
    Profile p = Profile::Parse(
        "; comment\r\n"
        "orphan=1\r\n"
        "[Grid]\r\n"
        "  Width = 64 \r\n"
        "width=99\r\n"
        "name=\"quoted text\"\r\n"
        "[grid]\r\n"
        "height=7\r\n"
        "[Other]\n"
        "Width=5");
    EXPECT_EQ(p.Find("grid", "WIDTH"), "64");  // case-insensitive, trimmed, first wins
    EXPECT_EQ(p.Find("Grid", "name"), "quoted text");
    EXPECT_EQ(p.Find("GRID", "height"), "7");        // a repeated section still counts
    EXPECT_EQ(p.Find("Other", "Width"), "5");        // last line without a line feed
    EXPECT_FALSE(p.Find("", "orphan").has_value());  // keys before any section are ignored
    EXPECT_FALSE(p.Find("Grid", "missing").has_value());
}

TEST(Profile, IntegerValues) {
    EXPECT_EQ(ParseProfileInt("42"), 42);
    EXPECT_EQ(ParseProfileInt(" 17px"), 17);
    EXPECT_EQ(ParseProfileInt("-3"), -3);
    EXPECT_EQ(ParseProfileInt("0x1F"), 31);
    EXPECT_EQ(ParseProfileInt("abc"), 0);
    EXPECT_EQ(ParseProfileInt(""), 0);
    EXPECT_EQ(ParseProfileInt("99999999999999999999"), 2147483647);
    EXPECT_EQ(ParseProfileInt("-99999999999999999999"), -2147483647 - 1);
}

TEST(Profile, FileFunctionsFallBackAndCut) {
    std::string path = WriteTemp("[Video]\nx=12\nlabel=abcdefgh\nempty=\n");
    EXPECT_EQ(GetProfileInt("Video", "x", 5, path), 12);
    EXPECT_EQ(GetProfileInt("Video", "y", 5, path), 5);
    EXPECT_EQ(GetProfileInt("Video", "empty", 5, path), 0);
    EXPECT_EQ(GetProfileInt("Video", "x", 5, path + ".missing"), 5);
    EXPECT_EQ(GetProfileString("Video", "label", "d", 4, path), "abc");
    EXPECT_EQ(GetProfileString("Video", "none", "default", 64, path), "default");
    EXPECT_EQ(GetProfileString("Video", "label", "d", 0, path), "");
    std::remove(path.c_str());
}

}  // namespace
}  // namespace platform
