// The process-wide capture and message objects that Initialize makes on first use: the two cursor
// messages, the screen update message and the screen capture, in that order. They live until the
// library's threads have stopped at process exit.
#pragma once

#include <memory>

#include "client/capture/CursorMessages.h"
#include "client/capture/ScreenCapture.h"
#include "client/capture/ScreenUpdateMessage.h"

namespace tarrowlink {

struct Components {
    std::unique_ptr<MonoCursorMessage> mono_cursor;
    std::unique_ptr<ColorCursorMessage> colour_cursor;
    std::unique_ptr<ScreenUpdateMessage> screen_update;
    std::unique_ptr<ScreenCapture> capture;

    bool Complete() const { return mono_cursor && colour_cursor && screen_update && capture; }
};

// The one set. Made by MakeComponents, never destroyed itself.
Components& TheComponents();

// Makes the four objects unless they exist. API caller's thread (Initialize).
void MakeComponents();

// Destroys them (the capture detaches the change tracker). Process exit, after the threads.
void ReleaseComponents();

}  // namespace tarrowlink
