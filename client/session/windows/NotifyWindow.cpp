// Notifications on Windows: the registered message "PROJECTOR_NOTIFY", sent synchronously to the
// application's window, so the library's thread goes on only after the handler has run.
#include <windows.h>

#include "client/session/Session.h"

namespace tarrowlink {

void DeliverNotify(WindowHandle window, unsigned int message, uintptr_t wparam, intptr_t lparam) {
    ::SendMessageA(window, message, static_cast<WPARAM>(wparam), static_cast<LPARAM>(lparam));
}

}  // namespace tarrowlink
