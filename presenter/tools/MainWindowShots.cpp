// Renders the real windows to PNG files, in each language, with what a person sees: the main
// window (PresenterDialog) in every status with its rounded shape, status text, animation frame,
// a hovered button and the open context menu; the receiver list with 3 and with 25 receivers; the
// login code panel; and every message the presenter shows, in one sheet a language.
//
//   presenter_shots DATA_DIR OUT_DIR
//
// Runs on any Qt platform; QT_QPA_PLATFORM=offscreen needs no display.
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "presenter/controls/LoginCodePanel.h"
#include "presenter/controls/MessagePanel.h"
#include "presenter/controls/ServerListPanel.h"
#include "presenter/controls/StandardMessage.h"
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

bool Save(const QImage& image, const QString& path);

// A panel as shown (its child controls included).
QImage Shown(QWidget& panel) {
    panel.show();
    if (!QTest::qWaitForWindowExposed(&panel)) std::fprintf(stderr, "presenter_shots: not shown\n");
    QImage image = panel.grab().toImage();
    panel.hide();
    return image;
}

// The images in a column, 8 pixels apart on grey.
QImage Sheet(const std::vector<QImage>& images) {
    int width = 0, height = 8;
    for (const QImage& image : images) {
        width = std::max(width, image.width());
        height += image.height() + 8;
    }
    QImage sheet(width + 16, height, QImage::Format_RGB32);
    sheet.fill(QColor(136, 136, 136));
    QPainter painter(&sheet);
    int y = 8;
    for (const QImage& image : images) {
        painter.drawImage(8, y, image);
        y += image.height() + 8;
    }
    return sheet;
}

// The panels of one language: the lists, the code panel, and every message sheet.
bool SavePanels(const Resources& resources, const QString& prefix) {
    bool ok = true;
    for (int receivers : {3, 25}) {
        ServerListPanel list(resources);
        for (int i = 0; i < receivers; ++i) {
            list.AddEntry(QStringLiteral("192.168.1.%1").arg(20 + i),
                          i == 1 ? QStringLiteral("Conference Room B (3rd floor)")
                                 : QStringLiteral("Projector %1").arg(i + 1));
        }
        ok &= Save(Shown(list), prefix + QStringLiteral("list-%1.png").arg(receivers));
    }
    LoginCodePanel code(resources);
    code.show();
    QTest::keyClicks(code.edit(), QStringLiteral("4829"));
    ok &= Save(Shown(code), prefix + "login-code.png");

    // Title 75, caption 64, error style: every message of the presentation flow.
    std::vector<QImage> messages;
    for (int entry : {52, 53, 54, 55, 56, 67, 68, 70, 73, 74}) {
        MessagePanel panel(resources);
        panel.SetTexts(resources.Text(75), resources.Text(entry), resources.Text(64), kStyleError);
        messages.push_back(Shown(panel));
    }
    // The plain texts: connection information and about.
    MessagePanel information(resources);
    information.SetTexts(resources.Text(7),
                         resources.Text(8) + ": RVX-700\n\n" + resources.Text(9) +
                             ": 192.168.1.20\n\n" + resources.Text(27) + ": 4829",
                         resources.Text(64), kStyleInformation);
    messages.push_back(Shown(information));
    MessagePanel about(resources);
    about.SetTexts(resources.Text(17),
                   QStringLiteral(" RVX-700 v1.0.0.0\n\nCopyright (C) 2026 The Beamora "
                                  "developers\n\nAll rights reserved."),
                   resources.Text(64), kStyleInformation);
    messages.push_back(Shown(about));
    ok &= Save(Sheet({messages.begin(), messages.begin() + 6}), prefix + "messages-1.png");
    ok &= Save(Sheet({messages.begin() + 6, messages.end()}), prefix + "messages-2.png");
    return ok;
}

bool Save(const QImage& image, const QString& path) {
    if (image.save(path)) return true;
    std::fprintf(stderr, "presenter_shots: cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // A tool has nobody to click a message box: what a picture reports goes to stderr.
    SetStandardMessageBox([](const QString& caption, const QString& text) {
        std::fprintf(stderr, "%s: %s: %s\n", "presenter_shots", caption.toUtf8().constData(),
                     text.toUtf8().constData());
    });
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
        ok &=
            SavePanels(resources, out + QStringLiteral("/panel-%1-").arg(kLanguageNames[language]));
    }
    return ok ? 0 : 1;
}
