// Asks the desktop to redraw everything it shows, so that change tracking sees every pixel again.
#pragma once

namespace platform {

// Makes every window of the current desktop repaint. Any thread; a few milliseconds. With no
// desktop to talk to (no display) it does nothing and does not fail.
void RefreshDesktop();

}  // namespace platform
