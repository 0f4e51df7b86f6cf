// Renders the real main window (PresenterDialog) in every status, in each language, to PNG files,
// with what a person sees: the rounded shape, the status text, the animation frame, a hovered
// button and the open context menu.
//
//   presenter_shots DATA_DIR OUT_DIR
//
// Runs on any Qt platform; QT_QPA_PLATFORM=offscreen needs no display.
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QPainter>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "presenter/core/PresenterDialog.h"
#include "presenter/core/Resources.h"

using namespace beamora;

namespace {

const char* const kLanguageNames[kLanguageCount] = {"en", "tw", "cn", "jp"};

struct Shot {
    int status;
    const char* name;
    int projection;
    int ticks;  // ticks drawn (the animation frame shown is ticks - 1)
};

// The window as shown on the desktop: its face inside its region, transparent outside.
QImage Shaped(PresenterDialog& window) {
    const QImage face = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QImage shaped(face.size(), QImage::Format_ARGB32);
    shaped.fill(Qt::transparent);
    QPainter painter(&shaped);
    painter.setClipRegion(window.mask().isEmpty() ? QRegion(face.rect()) : window.mask());
    painter.drawImage(0, 0, face);
    return shaped;
}

bool Save(const QImage& image, const QString& path) {
    if (image.save(path)) return true;
    std::fprintf(stderr, "presenter_shots: cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: presenter_shots DATA_DIR OUT_DIR\n");
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    QDir().mkpath(out);
    if (::chdir(argv[1]) != 0) {
        std::perror("presenter_shots: cannot enter the data directory");
        return 1;
    }
    Resources resources(-1);
    if (!resources.Load()) return 1;

    const Shot shots[] = {
        {StatusIdle, "idle", ProjectionStopped, 1},
        {StatusStarting, "starting", ProjectionStopped, 1},
        {StatusSearching, "searching", ProjectionStopped, 3},
        {StatusConnecting, "connecting", ProjectionStopped, 2},
        {StatusReady, "ready", ProjectionStopped, 1},
        {StatusPlaying, "playing", ProjectionPlaying, 2},
    };
    bool ok = true;
    for (int language = 0; language < kLanguageCount; ++language) {
        resources.language().Choose(language);
        const QString prefix = out + QStringLiteral("/main-%1-").arg(kLanguageNames[language]);
        PresenterDialog window(resources);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window)) return 1;
        for (const Shot& shot : shots) {
            window.set_projection_state(shot.projection);
            window.SetLoginCode(QStringLiteral("4829"), shot.status == StatusPlaying);
            window.SetStatus(shot.status);
            for (int tick = 0; tick < shot.ticks; ++tick) window.OnTimer(shot.status);
            ok &= Save(Shaped(window), prefix + QString::fromLatin1(shot.name) + ".png");
        }
        // A hovered button, and the menu as it opens from the Menu button.
        window.set_projection_state(ProjectionStopped);
        window.SetStatus(StatusReady);
        window.OnTimer(StatusReady);
        const HotZone play = window.face().Zone(kButtonPlay);
        QTest::mouseMove(&window, QPoint(play.x + play.width / 2, play.y + play.height / 2));
        ok &= Save(Shaped(window), prefix + "ready-hover-play.png");
        QTimer::singleShot(100, &window, [&] {
            if (QMenu* menu = window.open_menu()) {
                for (QAction* action : menu->actions()) {
                    if (action->menu() != nullptr) menu->setActiveAction(action);
                }
                ok &= Save(menu->grab().toImage(), prefix + "menu.png");
                menu->close();
            }
        });
        window.OpenContextMenu(QPoint(kMenuPointX, kMenuPointY));
    }
    return ok ? 0 : 1;
}
