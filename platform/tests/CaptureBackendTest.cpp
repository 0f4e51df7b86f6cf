#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/CaptureBackend.h"
#include "platform/wayland/CastMeta.h"
#include "platform/wayland/RestoreToken.h"

namespace platform {
namespace {

TEST(CaptureBackend, WaylandWithPortalElseX11ElseNoneAndTheOverrideWins) {
    using B = CaptureBackend;
    // The session's own desktop.
    EXPECT_EQ(ChooseCaptureBackendFor(nullptr, "wayland-0", ":0", true), B::kPortal);
    EXPECT_EQ(ChooseCaptureBackendFor(nullptr, "wayland-0", ":0", false), B::kX11);
    EXPECT_EQ(ChooseCaptureBackendFor(nullptr, "wayland-0", nullptr, false), B::kNone);
    EXPECT_EQ(ChooseCaptureBackendFor(nullptr, nullptr, ":0", true), B::kX11);
    EXPECT_EQ(ChooseCaptureBackendFor(nullptr, "", "", true), B::kNone);
    // BEAMORA_CAPTURE decides whatever the session has; other values leave the choice alone.
    EXPECT_EQ(ChooseCaptureBackendFor("x11", "wayland-0", ":0", true), B::kX11);
    EXPECT_EQ(ChooseCaptureBackendFor("portal", nullptr, ":0", false), B::kPortal);
    EXPECT_EQ(ChooseCaptureBackendFor("auto", "wayland-0", ":0", true), B::kPortal);
    EXPECT_EQ(ChooseCaptureBackendFor("X11", "wayland-0", ":0", true), B::kPortal);
}

TEST(RestoreToken, PathInTheStateDirectoryAndOnlySaneTokensAreTaken) {
    using wayland::RestoreTokenPath;
    using wayland::ValidRestoreToken;
    EXPECT_EQ(RestoreTokenPath("/home/u/.state", "/home/u"),
              "/home/u/.state/beamora/screencast-token");
    EXPECT_EQ(RestoreTokenPath(nullptr, "/home/u"),
              "/home/u/.local/state/beamora/screencast-token");
    // A relative XDG_STATE_HOME is invalid and ignored, as the base directory rules say.
    EXPECT_EQ(RestoreTokenPath("state", "/home/u"),
              "/home/u/.local/state/beamora/screencast-token");
    EXPECT_EQ(RestoreTokenPath("", nullptr), "");

    EXPECT_TRUE(ValidRestoreToken("d6064d71-7c83-4bd9-8916-79977348d919"));
    EXPECT_FALSE(ValidRestoreToken(""));
    EXPECT_FALSE(ValidRestoreToken("two words"));
    EXPECT_FALSE(ValidRestoreToken(std::string("nul\0inside", 10)));
    EXPECT_FALSE(ValidRestoreToken("\xc3\xa9t\xc3\xa9"));
    EXPECT_FALSE(ValidRestoreToken(std::string(257, 'a')));
    EXPECT_TRUE(ValidRestoreToken(std::string(256, 'a')));
}

// The cursor metadata of a cast comes from another process: a bitmap is read only when every
// byte of it lies inside the metadata block. (cursor header 28 bytes, bitmap header 20.)
TEST(CastMeta, CursorBitmapIsReadOnlyInsideItsBlockAndDamageIsClipped) {
    using wayland::CursorBitmapFits;
    const size_t block = 28 + 20 + 16 * 16 * 4;
    EXPECT_TRUE(CursorBitmapFits(block, 28, 20, 28, 20, 64, 16, 16, 256));
    EXPECT_FALSE(CursorBitmapFits(block - 1, 28, 20, 28, 20, 64, 16, 16, 256));  // one byte short
    EXPECT_FALSE(CursorBitmapFits(block, 28, 20, 27, 20, 64, 16, 16, 256));      // over the cursor
    EXPECT_FALSE(CursorBitmapFits(block, 28, 20, block, 20, 64, 1, 1, 256));     // header outside
    EXPECT_FALSE(CursorBitmapFits(block, 28, 20, 0xFFFFFFFFu, 20, 64, 16, 16, 256));
    EXPECT_FALSE(CursorBitmapFits(block, 28, 20, 28, 0xFFFFFFF0u, 64, 16, 16, 256));
    EXPECT_FALSE(CursorBitmapFits(block, 28, 20, 28, 20, 60, 16, 16, 256));  // rows overlap
    EXPECT_FALSE(CursorBitmapFits(block, 28, 20, 28, 20, 0x7FFFFFFF, 16, 16, 256));
    EXPECT_FALSE(CursorBitmapFits(1 << 24, 28, 20, 28, 20, 1024, 257, 1, 256));  // too large
    EXPECT_FALSE(CursorBitmapFits(block, 28, 20, 28, 20, 64, 0, 16, 256));

    int64_t x = -10, y = 700, w = 30, h = 100;
    EXPECT_TRUE(wayland::ClipToFrame(&x, &y, &w, &h, 1024, 768));
    EXPECT_EQ((std::vector<int64_t>{x, y, w, h}), (std::vector<int64_t>{0, 700, 20, 68}));
    x = 1024, y = 0, w = 10, h = 10;
    EXPECT_FALSE(wayland::ClipToFrame(&x, &y, &w, &h, 1024, 768));
    x = 0, y = 0, w = 65536, h = 65536;
    EXPECT_TRUE(wayland::ClipToFrame(&x, &y, &w, &h, 1024, 768));
    EXPECT_EQ((std::vector<int64_t>{x, y, w, h}), (std::vector<int64_t>{0, 0, 1024, 768}));
}

}  // namespace
}  // namespace platform
