#include <gtest/gtest.h>

#include <string>

#include "platform/CaptureBackend.h"
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

}  // namespace
}  // namespace platform
