// The system's plain message box, used only where the skinned message panel cannot be: picture
// loading errors and a skin that cannot be loaded at start-up.
#pragma once

#include <QString>
#include <functional>

namespace beamora {

// Shows one message (caption, text) and returns when the user has dismissed it.
using StandardMessageBox = std::function<void(const QString& caption, const QString& text)>;

// Shows a modal box with a stop-sign icon and an OK button, owned by the application's active
// window, and writes the text to the debug output. User interface thread.
void ShowStandardMessage(const QString& caption, const QString& text);

// Replaces the box (tests record the messages instead of showing them); an empty function restores
// the real box. Returns the previous one. User interface thread.
StandardMessageBox SetStandardMessageBox(StandardMessageBox box);

}  // namespace beamora
