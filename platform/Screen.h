// The local screen's size, as the desktop reports it.
#pragma once

namespace platform {

// Width and height of the primary screen in pixels. False (and 0, 0) when there is no desktop to
// ask. Any thread; opens its own short connection, so do not call it once per frame.
bool ScreenSize(int* width, int* height);

}  // namespace platform
