#include "client/session/Components.h"

#include "client/session/NetChannel.h"
#include "platform/NoDestructor.h"

namespace tarrowlink {

Components& TheComponents() {
    static platform::NoDestructor<Components> components;
    return *components;
}

void MakeComponents() {
    Components& c = TheComponents();
    if (!c.mono_cursor) c.mono_cursor = std::make_unique<MonoCursorMessage>(&MessageChannel());
    if (!c.colour_cursor) c.colour_cursor = std::make_unique<ColorCursorMessage>(&MessageChannel());
    if (!c.screen_update)
        c.screen_update = std::make_unique<ScreenUpdateMessage>(&MessageChannel());
    if (!c.capture) c.capture = std::make_unique<ScreenCapture>();
}

void ReleaseComponents() {
    Components& c = TheComponents();
    c.capture.reset();
    c.screen_update.reset();
    c.colour_cursor.reset();
    c.mono_cursor.reset();
}

}  // namespace tarrowlink
