#include "presenter/core/PresenterApp.h"

#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QString>
#include <cstring>
#include <memory>

#include "platform/Paths.h"
#include "presenter/controls/SkinText.h"
#include "presenter/controls/StandardMessage.h"
#include "presenter/core/AboutBox.h"
#include "presenter/core/Firewall.h"
#include "presenter/core/PresenterDialog.h"
#include "presenter/core/Resources.h"
#include "presenter/core/SingleInstance.h"

namespace beamora {
namespace {

constexpr char kMessageCaption[] = "Beamora";

// Relative skin paths are read from the data directory: beside the program in a build tree,
// ../share/beamora in an installed one.
bool EnterDataDirectory() {
    const auto data = platform::FindDataDirectory("Position/Position.txt");
    return data && ::chdir(data->c_str()) == 0;
}

bool HasArgument(int argc, char** argv, const char* wanted) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], wanted) == 0) return true;
    }
    return false;
}

}  // namespace

int RunPresenter(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Beamora"));
    QGuiApplication::setDesktopFileName(QStringLiteral("beamora"));

    LanguageState language;
    language.ChooseFromSystem(LanguageIdFromLocale(SystemLocaleName()));
    const bool entered = EnterDataDirectory();

    if (HasArgument(argc, argv, "--about")) {
        AboutBox about;
        about.exec();
        return 0;
    }
    if (!entered) {
        ShowStandardMessage(QString::fromLatin1(kMessageCaption),
                            SkinString(MissingComponentText(language.index())));
        return 1;
    }

    // A copy that already runs is brought to the front instead, and this one ends unseen.
    std::unique_ptr<InstanceLock> lock;
    if (!ClaimSingleInstance(kModelName, &lock)) return 0;

    Resources resources;
    resources.language() = language;
    SkinFailureHooks hooks;
    // The failure has shown its message; this start-up returns before any window or event loop.
    hooks.end_application = [] {};
    if (!resources.Load(hooks)) return 1;

    // The receivers' beacons must get through: asked of the firewall before the library listens.
    AuthorizeInFirewall();
    PresenterDialog dialog(resources);
    if (!dialog.IsValid()) {
        ShowStandardMessage(QString::fromLatin1(kMessageCaption), QStringLiteral("Some Error."));
        return 1;
    }
    dialog.exec();
    // Exit hides the window, and hiding a dialog returns from exec() at once; the program still
    // runs until the exit timer ends the window, four seconds later as Exit promises.
    if (dialog.timers().IsActive(kTimerExit)) {
        QEventLoop farewell;
        QObject::connect(&dialog, &QDialog::finished, &farewell, &QEventLoop::quit);
        farewell.exec();
    }
    return 0;
}

}  // namespace beamora
