#include "presenter/controls/SkinnedPanel.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "presenter/controls/Picture.h"
#include "presenter/controls/SkinText.h"
#include "presenter/core/Resources.h"

namespace beamora {

SkinnedPanel::SkinnedPanel(const Resources& resources, const CPicture& deck, int deck_x_key,
                           const std::array<FontSpec, 4>& fonts, QWidget* parent)
    : QDialog(parent),
      frame_(*this),
      resources_(resources),
      language_(resources.language().index()) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    for (size_t i = 0; i < fonts.size(); ++i) {
        fonts_[i] = MakeCellFont(fonts[i].cell_px, fonts[i].weight, QString(), fonts[i].width_px);
    }
    const int x = resources_.Pos(deck_x_key);
    const int y = resources_.Pos(deck_x_key + 1);
    const QSize size(x + deck.Width(), y + deck.Height());
    setFixedSize(size);
    surface_.Reset(size);
    surface_.DrawPicture(deck, x, y);
    setMask(RoundedWindowRegion(x, y, deck.Width() + 1, deck.Height() + 1, 0));
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(PanelPosition(screen->geometry()));
    }
}

SkinnedPanel::~SkinnedPanel() = default;

QPoint SkinnedPanel::PanelPosition(const QRect& screen) {
    return QPoint(screen.x() + (screen.width() - 350) / 2,
                  screen.y() + (screen.height() - 86) / 3 + 96);
}

QString SkinnedPanel::Text(int entry) const {
    return SkinString(resources_.skin().texts.Entry(language_, entry));
}

int SkinnedPanel::Pos(int key) const {
    return resources_.Pos(key);
}

void SkinnedPanel::AddButton(int id, const ButtonPictures& pictures, int x_key,
                             const QString& caption, int caption_x_key) {
    Button button{
        HotZone{id, Pos(x_key), Pos(x_key + 1), pictures.normal.Width(), pictures.normal.Height()},
        &pictures, 0};
    surface_.DrawPicture(pictures.normal, button.zone.x, button.zone.y);
    if (caption_x_key >= 0) {
        button.caption_slot = next_slot_++;
        surface_.SetText(button.caption_slot,
                         {fonts_[3], Qt::black, Pos(caption_x_key), Pos(caption_x_key + 1), caption,
                          TextAlign::kTopCentre});
    }
    buttons_.push_back(button);
}

void SkinnedPanel::AddText(const QString& text, int font, QRgb colour, int x_key, TextAlign align) {
    surface_.SetText(next_slot_++, {fonts_[static_cast<size_t>(font)], QColor::fromRgb(colour),
                                    Pos(x_key), Pos(x_key + 1), text, align});
}

void SkinnedPanel::PutPicture(const CPicture& picture, int x_key) {
    update(surface_.DrawPicture(picture, Pos(x_key), Pos(x_key + 1)));
}

const SkinnedPanel::Button* SkinnedPanel::Find(int id) const {
    for (const Button& button : buttons_) {
        if (button.zone.id == id) return &button;
    }
    return nullptr;
}

HotZone SkinnedPanel::Zone(int id) const {
    const Button* button = Find(id);
    return button != nullptr ? button->zone : HotZone{};
}

int SkinnedPanel::HitTest(QPoint point, bool button_down) const {
    for (const Button& button : buttons_) {
        if (button.zone.Contains(point)) return button.zone.id;
    }
    return button_down ? kZoneBackgroundDown : kZoneBackgroundUp;
}

bool SkinnedPanel::IsActiveButton(int id) const {
    return Find(id) != nullptr;
}

void SkinnedPanel::DrawZone(int id, ZoneLook look) {
    const Button* button = Find(id);
    if (button == nullptr) return;
    const CPicture& picture = look == ZoneLook::kOver   ? button->pictures->over
                              : look == ZoneLook::kDown ? button->pictures->down
                                                        : button->pictures->normal;
    // The caption is a text over the face, so it stays on top of the new picture.
    update(surface_.DrawPicture(picture, button->zone.x, button->zone.y));
}

void SkinnedPanel::ButtonClicked(int id) {
    switch (id) {
        case kButtonOk:
            done(kResultOk);
            break;
        case kButtonCancel:
            done(kResultCancel);
            break;
        case kButtonClose:
            close();
            break;
        default:
            break;
    }
}

void SkinnedPanel::done(int result) {
    // A close that a done() causes (hiding the dialog) must not end it a second time.
    if (ending_) return;
    ending_ = true;
    QDialog::done(result);
    ending_ = false;
}

void SkinnedPanel::reject() {
    done(kResultCancel);
}

void SkinnedPanel::accept() {
    done(kResultOk);
}

void SkinnedPanel::MoveWindowBy(QPoint delta) {
    move(pos() + delta);
}

void SkinnedPanel::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    surface_.Paint(painter, event->rect());
}

void SkinnedPanel::mouseMoveEvent(QMouseEvent* event) {
    frame_.Move(event->position().toPoint());
}

void SkinnedPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        frame_.Press(event->position().toPoint());
    } else {
        QDialog::mousePressEvent(event);
    }
}

void SkinnedPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        frame_.Release(event->position().toPoint());
    } else {
        QDialog::mouseReleaseEvent(event);
    }
}

void SkinnedPanel::leaveEvent(QEvent* event) {
    frame_.Leave();
    QDialog::leaveEvent(event);
}

void SkinnedPanel::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            ButtonClicked(kButtonOk);
            return;
        case Qt::Key_Escape:
            ButtonClicked(kButtonCancel);
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void SkinnedPanel::closeEvent(QCloseEvent* event) {
    if (!ending_ && isVisible()) done(kResultCancel);
    event->accept();
}

}  // namespace beamora
