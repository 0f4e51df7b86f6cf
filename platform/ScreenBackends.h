// The screen-size queries of each desktop backend, behind platform::ScreenSize (Screen.cpp picks
// one at run time). A backend this build lacks answers false.
#pragma once

namespace platform {

// The X display's default screen; false without an X display.
bool X11ScreenSize(int* width, int* height);
// The size of the ScreenCast portal's monitor: the running cast's frames, or those of a new cast
// (which may ask the user), kept for the capture's start. False when there is no cast to have.
bool PortalScreenSize(int* width, int* height);

}  // namespace platform
