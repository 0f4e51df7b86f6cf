// Renders the skin as the presenter shows it: the main window in each of its states and the three
// panels, with their texts, into PNG files for a person to look at.
//
//   skin_preview DATA_DIR OUT_DIR [LANGUAGE 0-3]
//
// Runs on any Qt platform (QT_QPA_PLATFORM=offscreen needs no display).
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QTreeWidget>
#include <cstdio>
#include <memory>

#include "presenter/controls/SkinText.h"
#include "presenter/controls/StandardMessage.h"
#include "presenter/controls/TipWnd.h"
#include "presenter/core/Skin.h"

using namespace beamora;

namespace {

const QColor kTitleColour(0, 51, 102);

struct Fonts {
    QFont title = MakeSkinFont(19, 0, 700);
    QFont subtitle = MakeSkinFont(13, 0, 700);
    QFont body = MakeSkinFont(12, 6, 0);
    QFont small = MakeSkinFont(11, 0, 0);
};

class Preview {
  public:
    Preview(Skin& skin, int language) : s_(skin), p_(skin.positions), language_(language) {}

    QString Text(int entry) const { return SkinString(s_.texts.Entry(language_, entry)); }

    void Put(QPainter& painter, const CPicture& picture, int x_key) const {
        picture.Draw(&painter, p_[x_key], p_[x_key + 1], picture.Width(), picture.Height());
    }
    void Put(QPainter& painter, const CPicture& picture, int x, int y) const {
        picture.Draw(&painter, x, y, picture.Width(), picture.Height());
    }

    // The main window in state 4003 to 4008 with animation frame `frame`; `hover` picks the
    // buttons shown "-over" and "-down" for a look at the variants.
    QImage Main(int state, int frame, bool variants) const {
        const MainPictures& m = s_.main;
        QImage image(m.deck.Width(), m.deck.Height(), QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        Put(painter, m.deck, QLX_DECK_PRESENTATION_X);
        Put(painter, m.product_name, QLX_PRODUCTNAME_X);
        const int tx = p_[QXL_DECK_TEXT_STATUS_X];
        const int ty = p_[QXL_DECK_TEXT_STATUS_Y];
        if (state == 4007 || state == 4008) {
            Put(painter, variants ? m.play.down : m.play.normal, QLX_PRESENTATION_PLAY_X);
            Put(painter, variants ? m.stop.over : m.stop.normal, QLX_PRESENTATION_STOP_X);
            Put(painter, m.refresh.normal, QLX_PRESENTATION_REFRESH_X);
            Put(painter, variants ? m.menu.over : m.menu.normal, QLX_PRESENTATION_MENU_X);
            Put(painter, m.line, QLX_PRESENTATION_LINE_X);
            Put(painter, m.min.normal, QLX_PRESENTATION_MIN_X);
            Put(painter, variants ? m.exit.over : m.exit.normal, QLX_PRESENTATION_EXIT_X);
            Put(painter, m.status_area, QLX_PRESENTATION_STATUS_AREA_X);
            const char code[] = "4829";
            for (int i = 0; i < 4; ++i) {
                Put(painter, m.digits[code[i] - '0'], p_[QLX_PRESENTATION_LOGINCODE_X] + 6 * i,
                    p_[QLX_PRESENTATION_LOGINCODE_Y]);
            }
            if (state == 4007) {
                Put(painter, m.ready[frame % 2], QLX_STATUS_READY_X);
            } else {
                Put(painter, m.playing[frame % 2], QLX_STATUS_PLAYING_X);
            }
        } else {
            if (state == 4003 || state == 4004)
                Put(painter, m.connected, QLX_STATUS_CONNECTIONED_X);
            Put(painter, m.min.normal, QLX_PRESENTATION_MIN_X);
            Put(painter, m.exit.normal, QLX_PRESENTATION_EXIT_X);
            if (state == 4003) {
                Put(painter, variants ? m.button.over : m.button.normal, QLX_RECONNECT_BUTTON_X);
                DrawSkinText(painter, fonts_.small, Qt::black, tx, ty, Text(60),
                             TextAlign::kTopCentre);
            } else {
                if (state != 4004) Put(painter, m.searching[frame % 4], QLX_STATUS_SEARCHING_X);
                DrawSkinText(painter, fonts_.small, Qt::black, tx, ty,
                             Text(state == 4006 ? 63 : 62), TextAlign::kTopCentre);
            }
        }
        return image;
    }

    void Buttons(QPainter& painter, const ButtonPictures& button, int x_key, int caption_x_key,
                 int entry) const {
        Put(painter, button.normal, x_key);
        if (caption_x_key >= 0) {
            DrawSkinText(painter, fonts_.small, Qt::black, p_[caption_x_key], p_[caption_x_key + 1],
                         Text(entry), TextAlign::kTopCentre);
        }
    }

    QImage Login() const {
        const LoginPanelPictures& l = s_.login;
        QImage image(l.deck.Width(), l.deck.Height(), QImage::Format_RGB32);
        QPainter painter(&image);
        Put(painter, l.deck, QLX_LOGIN_DECK_LOGINCODE_X);
        QLineEdit edit;
        edit.setFont(fonts_.title);
        edit.setAlignment(Qt::AlignCenter);
        edit.setMaxLength(4);
        edit.setText("48");
        edit.resize(82, 25);
        edit.render(&painter, QPoint(p_[QLX_LOGIN_EDITBOX_X], p_[QLX_LOGIN_EDITBOX_Y]));
        DrawSkinText(painter, fonts_.title, kTitleColour, p_[QLX_LOGIN_TEXT_TITLE_X],
                     p_[QLX_LOGIN_TEXT_TITLE_Y], Text(49), TextAlign::kTopLeft);
        DrawSkinText(painter, fonts_.subtitle, Qt::black, p_[QLX_LOGIN_TEXT_SUBTITLE_X],
                     p_[QLX_LOGIN_TEXT_SUBTITLE_Y], Text(50), TextAlign::kTopLeft);
        DrawSkinText(painter, fonts_.small, Qt::black, p_[QLX_LOGIN_TEXT_TEXT_X],
                     p_[QLX_LOGIN_TEXT_TEXT_Y], Text(51), TextAlign::kTopLeft);
        Put(painter, l.icon, QLX_LOGIN_ICON_INFORMATION_X);
        Put(painter, l.exit2.normal, QLX_LOGIN_BUTTON_EXIT2_X);
        Buttons(painter, l.button, QLX_LOGIN_BUTTON_OK_X, QLX_LOGIN_TEXT_BUTTON_OK_X, 64);
        Buttons(painter, l.button, QLX_LOGIN_BUTTON_CANCEL_X, QLX_LOGIN_TEXT_BUTTON_CANCEL_X, 65);
        return image;
    }

    // The message panel; the body is wrapped at words (or characters) within the line limit.
    QImage Message(int entry, bool icon) const {
        const MessagePanelPictures& g = s_.message;
        QImage image(g.deck.Width(), g.deck.Height(), QImage::Format_RGB32);
        QPainter painter(&image);
        Put(painter, g.deck, QLX_MESSAGEBOX_DECK_LOGINCODE_X);
        DrawSkinText(painter, fonts_.title, kTitleColour, p_[QLX_MESSAGEBOX_TEXT_TITLE_X],
                     p_[QLX_MESSAGEBOX_TEXT_TITLE_Y], icon ? Text(75) : Text(17),
                     TextAlign::kTopLeft);
        const QString body = icon ? Text(entry)
                                  : QStringLiteral(
                                        " RVX-700 v1.0.0.0\n\nCopyright (C) 2026 "
                                        "Beamora.\n\nAll rights reserved.");
        const int x0 = p_[QLX_MESSAGEBOX_TEXT_SUBTITLE_X] + (icon ? 70 : 0);
        const int limit = icon ? 256 : 330;
        const QFontMetrics metrics(fonts_.body);
        int y = p_[QLX_MESSAGEBOX_TEXT_SUBTITLE_Y];
        QString line;
        auto flush = [&] {
            DrawSkinText(painter, fonts_.body, Qt::black, x0, y, line, TextAlign::kTopLeft);
            line.clear();
            y += metrics.height();
        };
        for (const QChar c : body) {
            if (c == '\n') {
                flush();
                continue;
            }
            if (metrics.horizontalAdvance(line + c) > limit) {
                const int space = line.lastIndexOf(' ');
                const QString rest = space > 0 ? line.mid(space + 1) : QString();
                if (space > 0) line.truncate(space);
                flush();
                line = rest;
            }
            line += c;
        }
        flush();
        if (icon) Put(painter, g.icon_error, QLX_MESSAGEBOX_ICON_INFORMATION_X);
        Put(painter, g.exit2.normal, QLX_MESSAGEBOX_BUTTON_EXIT2_X);
        Buttons(painter, g.button, QLX_MESSAGEBOX_BUTTON_OK_X, QLX_MESSAGEBOX_TEXT_BUTTON_OK_X, 64);
        return image;
    }

    QImage ServerList() const {
        const ServerListPanelPictures& l = s_.server_list;
        QImage image(l.deck.Width(), l.deck.Height(), QImage::Format_RGB32);
        QPainter painter(&image);
        Put(painter, l.deck, QLX_SELPROJECTOR_DECK_SERVERLIST_X);
        QTreeWidget list;
        list.setRootIsDecorated(false);
        list.setSelectionMode(QAbstractItemView::ExtendedSelection);
        list.setHeaderLabels({"IP Address", "Device Name"});
        list.setColumnWidth(0, 120);
        list.setColumnWidth(1, 190);
        list.setFont(fonts_.subtitle);
        QPalette palette = list.palette();
        palette.setColor(QPalette::Base, QColor(219, 236, 255));
        list.setPalette(palette);
        list.addTopLevelItem(new QTreeWidgetItem({"192.168.1.20", "Meeting Room A"}));
        list.addTopLevelItem(new QTreeWidgetItem({"192.168.1.31", "Lecture Hall"}));
        list.addTopLevelItem(new QTreeWidgetItem({"192.168.1.47", "RVX-700"}));
        list.topLevelItem(1)->setSelected(true);
        list.resize(318, 98);
        list.render(&painter,
                    QPoint(p_[QLX_SELPROJECTOR_LISTBOX_X], p_[QLX_SELPROJECTOR_LISTBOX_Y]));
        DrawSkinText(painter, fonts_.title, kTitleColour, p_[QLX_SELPROJECTOR_TEXT_TITLE_X],
                     p_[QLX_SELPROJECTOR_TEXT_TITLE_Y], Text(46), TextAlign::kTopLeft);
        DrawSkinText(painter, fonts_.subtitle, Qt::black, p_[QLX_SELPROJECTOR_TEXT_SUBTITLE_X],
                     p_[QLX_SELPROJECTOR_TEXT_SUBTITLE_Y], Text(47), TextAlign::kTopLeft);
        Put(painter, l.exit2.normal, QLX_SELPROJECTOR_BUTTON_EXIT2_X);
        Buttons(painter, l.button, QLX_SELPROJECTOR_BUTTON_OK_X, QLX_SELPROJECTOR_TEXT_BUTTON_OK_X,
                64);
        Buttons(painter, l.button, QLX_SELPROJECTOR_BUTTON_CANCEL_X,
                QLX_SELPROJECTOR_TEXT_BUTTON_CANCEL_X, 65);
        return image;
    }

  private:
    Skin& s_;
    const SkinPositions& p_;
    int language_;
    Fonts fonts_;
};

// A desktop whose pointer rests at one point over one widget.
class RestingPointer : public TipEnvironment {
  public:
    RestingPointer(QPoint at, QWidget* under) : at_(at), under_(under) {}
    QPoint CursorPos() const override { return at_; }
    QWidget* WidgetAt(QPoint) const override { return under_; }
    bool AnyButtonDown() const override { return false; }
    QRect ScreenGeometry(QPoint) const override { return QRect(0, 0, 1024, 768); }

  private:
    QPoint at_;
    QWidget* under_;
};

// The main window in `state` with the tooltip of the Stop button shown beside a pointer on it.
QImage WithTip(const QImage& main, const SkinPositions& p, const QString& text) {
    QWidget owner;
    owner.setGeometry(0, 0, main.width(), main.height());
    TipWnd tip;
    tip.Create(&owner);
    const QPoint pointer(p[QLX_PRESENTATION_STOP_X] + 20, p[QLX_PRESENTATION_STOP_Y] + 16);
    tip.SetEnvironment(std::make_unique<RestingPointer>(owner.mapToGlobal(pointer), &owner));
    tip.AddTool(&owner, text, p[QLX_PRESENTATION_STOP_X], p[QLX_PRESENTATION_STOP_Y], 50, 40);
    tip.OnTimer(TipWnd::kPollTimer);
    tip.OnTimer(TipWnd::kShowTimer);
    const QImage face = tip.grab().toImage();
    const QPoint at = owner.mapFromGlobal(tip.geometry().topLeft());
    QImage image(std::max(main.width(), at.x() + face.width()),
                 std::max(main.height(), at.y() + face.height()), QImage::Format_RGB32);
    image.fill(QColor(96, 104, 116));
    QPainter painter(&image);
    painter.drawImage(0, 0, main);
    painter.drawImage(at, face);
    // the pointer: a small arrow
    const QPoint arrow[] = {pointer,
                            pointer + QPoint(0, 12),
                            pointer + QPoint(3, 9),
                            pointer + QPoint(6, 14),
                            pointer + QPoint(8, 13),
                            pointer + QPoint(5, 8),
                            pointer + QPoint(9, 8)};
    painter.setPen(Qt::white);
    painter.setBrush(Qt::black);
    painter.drawPolygon(arrow, 7);
    return image;
}

// Stacks images vertically on a grey backdrop with a margin, scaled by `zoom`.
QImage Sheet(const std::vector<QImage>& images, int zoom) {
    int width = 0;
    int height = 8;
    for (const QImage& image : images) {
        width = std::max(width, image.width());
        height += image.height() + 8;
    }
    QImage sheet(width + 16, height, QImage::Format_RGB32);
    sheet.fill(QColor(96, 104, 116));
    QPainter painter(&sheet);
    int y = 8;
    for (const QImage& image : images) {
        painter.drawImage(8, y, image);
        y += image.height() + 8;
    }
    painter.end();
    return sheet.scaled(sheet.size() * zoom, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // A tool has nobody to click a message box: what a picture reports goes to stderr.
    SetStandardMessageBox([](const QString& caption, const QString& text) {
        std::fprintf(stderr, "%s: %s: %s\n", "skin_preview", caption.toUtf8().constData(),
                     text.toUtf8().constData());
    });
    if (argc < 3) {
        std::fprintf(stderr, "usage: skin_preview DATA_DIR OUT_DIR [LANGUAGE]\n");
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    const int language = argc > 3 ? std::atoi(argv[3]) : 0;
    if (!QDir::setCurrent(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "skin_preview: no directory %s\n", argv[1]);
        return 2;
    }
    auto skin = std::make_unique<Skin>();
    SkinFailureHooks hooks;
    hooks.show_message = [](const QString& text) {
        std::fprintf(stderr, "skin_preview: %s\n", text.toUtf8().constData());
    };
    hooks.end_application = [] {};
    if (!LoadSkin(*skin, language, hooks)) return 1;
    QDir().mkpath(out);
    Preview preview(*skin, language);
    const QString suffix = QStringLiteral("-%1.png").arg(language);
    Sheet({preview.Main(4003, 0, false), preview.Main(4005, 2, false), preview.Main(4006, 0, false),
           preview.Main(4007, 0, false), preview.Main(4008, 0, false), preview.Main(4008, 1, true),
           preview.Main(4003, 0, true)},
          2)
        .save(out + "/main" + suffix);
    Sheet({WithTip(preview.Main(4008, 0, false), skin->positions, preview.Text(25))}, 2)
        .save(out + "/tooltip" + suffix);
    Sheet({preview.Login()}, 2).save(out + "/login" + suffix);
    Sheet({preview.Message(70, true), preview.Message(0, false)}, 2)
        .save(out + "/message" + suffix);
    Sheet({preview.ServerList()}, 2).save(out + "/serverlist" + suffix);
    std::printf("skin_preview: wrote main, tooltip, login, message and serverlist%s to %s\n",
                suffix.toUtf8().constData(), out.toUtf8().constData());
    return 0;
}
