// Notifications go to the application's NotifyTarget, which runs its handler on its UI thread.
#include "client/session/Session.h"

namespace tarrowlink {

void DeliverNotify(WindowHandle window, unsigned int message, uintptr_t wparam, intptr_t lparam) {
    window->SendNotify(message, wparam, lparam);
}

}  // namespace tarrowlink
