// Which desktop the capture and the change tracker work on, chosen when a projection starts: a
// Wayland desktop through the ScreenCast portal, an X11 display, or none.
#pragma once

#include <string>

namespace platform {

enum class CaptureBackend { kNone, kX11, kPortal };

// BEAMORA_CAPTURE=x11 or =portal when set to one of those; else the portal when WAYLAND_DISPLAY
// is set and the session bus offers the ScreenCast portal; else X11 when DISPLAY is set; else
// none. Any thread; asks the session bus, so call it once per start, not per frame.
CaptureBackend ChooseCaptureBackend();

// The choice from the environment values alone (the portal's presence given): the rule above.
CaptureBackend ChooseCaptureBackendFor(const char* capture, const char* wayland_display,
                                       const char* display, bool portal_offers_screencast);

// Whether the session bus has the ScreenCast portal. False without a session bus or without
// portal support in this build. Any thread; a bounded D-Bus round trip.
bool PortalOffersScreenCast();

}  // namespace platform
