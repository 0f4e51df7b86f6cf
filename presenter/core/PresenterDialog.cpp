#include "presenter/core/PresenterDialog.h"

#include <QActionGroup>
#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QWindow>
#include <chrono>
#include <thread>

#include "platform/Debug.h"
#include "platform/MessageRegistry.h"
#include "presenter/controls/TipWnd.h"
#include "presenter/core/Resources.h"

namespace beamora {
namespace {

// Language entries of the texts this window shows.
constexpr int kMenuWebPage = 0;
constexpr int kMenuSearchAgain = 1;
constexpr int kMenuLanguage = 2;
constexpr int kMenuEnglish = 3;
constexpr int kMenuInformation = 7;
constexpr int kMenuAbout = 17;
constexpr int kMenuExit = 21;
// Tooltips of Play, Stop, Refresh, the login code, Minimise and Exit.
constexpr int kTooltipEntries[6] = {24, 25, 26, 27, 29, 30};

// The language a language command picks: 32777 English ... 32780 Japanese.
int LanguageOfCommand(int id) {
    return id - CmdEnglish;
}

}  // namespace

// Delivers the library's notifications on the user interface thread while the library's thread
// waits, as the library requires of its notification target; nothing once the window is going.
class PresenterDialog::Notifier : public NotifyTarget {
  public:
    Notifier(PresenterDialog& window, std::shared_ptr<UiGate> gate)
        : window_(window), gate_(std::move(gate)) {}
    void SendNotify(unsigned int, uintptr_t wparam, intptr_t lparam) override {
        // While the window is inside a start, stop or refresh call the notification waits (that
        // call never waits for a library thread); every other time it is handled at once.
        bool delivered = false;
        while (!delivered) {
            const bool open = gate_->Run([&] {
                if (window_.deferring_notifications_ > 0) return;
                window_.OnNotify(wparam, lparam);
                delivered = true;
            });
            if (!open) return;
            if (!delivered) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

  private:
    PresenterDialog& window_;
    std::shared_ptr<UiGate> gate_;
};

PresenterDialog::PresenterDialog(Resources& resources, QWidget* parent)
    : QDialog(parent),
      resources_(resources),
      face_(resources, surface_),
      frame_(*this),
      timers_(this, [this](int id) { OnTimer(id); }),
      flow_(std::make_shared<FlowState>()) {
    flow_->gate = std::make_shared<UiGate>(this);
    // No caption and no border: the skin is the whole face. On top for its first second.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setWindowTitle(QString::fromLatin1(kModelName));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Registered by name, as the library does, so both sides agree on the message number.
    platform::RegisterMessage(kProjectorNotifyName);

    const CPicture& deck = resources_.skin().main.deck;
    if (!deck.IsLoaded()) {
        valid_ = false;
        return;
    }
    const int deck_x = resources_.Pos(QLX_DECK_PRESENTATION_X);
    const int deck_y = resources_.Pos(QLX_DECK_PRESENTATION_Y);
    const QSize size(deck_x + deck.Width(), deck_y + deck.Height());
    setFixedSize(size);
    surface_.Reset(size);
    surface_.DrawPicture(deck, deck_x, deck_y);
    // Only the deck shows, with its corners rounded.
    setMask(RoundedWindowRegion(deck_x, deck_y, deck.Width() + 1, deck.Height() + 1, 9));

    const QString icon_path = QStringLiteral("beamora.png");
    if (QFileInfo::exists(icon_path)) setWindowIcon(QIcon(icon_path));

    // What window initialisation does, in its order: placed on top for a second, the starting
    // status with its first tick at once, the library, the tooltips.
    timers_.Set(kTimerTopmost, kTopmost_ms);
    PlaceWindow(true);
    SetStatus(StatusStarting, kStartupTick_ms);
    ui_.Initialize();
    notifier_ = std::make_unique<Notifier>(*this, flow_->gate);
    ui_.SetWindowHandle(notifier_.get());
    panel_mode_.store(PanelPresentation);
    projection_state_.store(ProjectionStopped);
    tip_ = &TipWnd::Instance();
    tip_->Create(this);
    RegisterTooltips();
}

PresenterDialog::~PresenterDialog() {
    // Nothing reaches a window that is going: the gate closes before the library lets go of it,
    // and worker threads still running find it closed.
    flow_->gate->Close();
    ui_.SetWindowHandle(nullptr);
    delete menu_.data();
}

void PresenterDialog::PlaceWindow(bool topmost) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - 320) / 2, area.y() + (area.height() - 86) / 3);
    }
    if (QWindow* window = windowHandle()) {
        // On a shown window the flag goes to the window manager without recreating the window.
        window->setFlag(Qt::WindowStaysOnTopHint, topmost);
    } else {
        setWindowFlag(Qt::WindowStaysOnTopHint, topmost);
    }
}

void PresenterDialog::SetStatus(int status, int interval_ms) {
    platform::DebugFormat("Beamora: status %d\n", status);
    flow_->status.store(status);
    RefreshTooltips();
    status_ticks_ = 0;
    status_frame_ = 0;
    if (status_timer_ != 0) timers_.Kill(status_timer_);
    timers_.Set(status, interval_ms >= 0 ? interval_ms : StatusInterval_ms(status));
    status_timer_ = status;
    // The new face shows at once rather than one interval later (a second for ready and
    // playing); the timer's ticks follow. Posted, so that no tick runs inside the caller.
    QMetaObject::invokeMethod(
        this,
        [this, status] {
            if (flow_->status.load() == status && status_ticks_ == 0) StatusTick();
        },
        Qt::QueuedConnection);
}

FaceState PresenterDialog::CurrentFaceState() const {
    FaceState state;
    state.status = flow_->status.load();
    state.projection_state = projection_state_.load();
    state.presentation_panel = panel_mode_.load() == PanelPresentation;
    // The code shows while a login that needed it holds.
    state.show_login_code =
        flow_->login_result.load() != 0 && logged_in_with_code_ == 1 && state.presentation_panel;
    state.login_code = login_code_;
    if (frame_.pressed_zone() == kButtonReconnect && frame_.pressed_inside()) {
        state.reconnect_look = ZoneLook::kDown;
    } else if (frame_.hover_zone() == kButtonReconnect) {
        state.reconnect_look = ZoneLook::kOver;
    }
    return state;
}

void PresenterDialog::StatusTick() {
    const int status = flow_->status.load();
    if (status == StatusIdle && status_ticks_ == 0) {
        // Whatever button was held is let go, and the flow starts afresh.
        ReleasePressedButtons();
        panel_mode_.store(PanelPresentation);
        projection_state_.store(ProjectionStopped);
    }
    Repaint(face_.PaintStatus(CurrentFaceState(), status_ticks_, &status_frame_));
    if (status == StatusStarting && status_ticks_ == 10) Search();
    ++status_ticks_;
    ++status_frame_;
}

void PresenterDialog::OnTimer(int id) {
    switch (id) {
        case StatusIdle:
        case StatusStarting:
        case StatusSearching:
        case StatusConnecting:
        case StatusReady:
        case StatusPlaying:
            StatusTick();
            break;
        case kButtonPlay:
            StartProjecting();
            timers_.Kill(id);
            action_ready_.store(true);
            break;
        case kButtonStop:
            StopProjecting();
            timers_.Kill(id);
            action_ready_.store(true);
            break;
        case kButtonRefresh:
            Refresh();
            timers_.Kill(id);
            action_ready_.store(true);
            break;
        case kTimerSearchTimeout:
            SearchTimedOut();
            break;
        case kTimerExit:
            timers_.Kill(id);
            done(0);
            break;
        case kTimerTopmost:
            PlaceWindow(false);
            timers_.Kill(id);
            break;
        default:
            break;
    }
}

void PresenterDialog::SetLoginCode(const QString& code, bool logged_in_with_code) {
    login_code_ = code.left(4);
    logged_in_with_code_ = logged_in_with_code ? 1 : 0;
    logged_in_ = 1;
    flow_->login_result.store(1);
}

void PresenterDialog::ReleasePressedButtons() {
    frame_.Release(QPoint(0, 0));
}

// --- Tooltips -----------------------------------------------------------------------------

void PresenterDialog::RegisterTooltips() {
    if (!tip_ || panel_mode_.load() != PanelPresentation) return;
    const int buttons[3] = {kButtonPlay, kButtonStop, kButtonRefresh};
    for (int i = 0; i < 3; ++i) {
        const HotZone zone = face_.Zone(buttons[i]);
        tip_->AddTool(this, resources_.Text(kTooltipEntries[i]), zone.x, zone.y, zone.width,
                      zone.height);
    }
    const QRect code = face_.LoginCodeRect();
    tip_->AddTool(this, resources_.Text(kTooltipEntries[3]), code.x(), code.y(), code.width(),
                  code.height());
    for (int i = 4; i < 6; ++i) {
        const HotZone zone = face_.Zone(i == 4 ? kButtonMinimise : kButtonExit);
        tip_->AddTool(this, resources_.Text(kTooltipEntries[i]), zone.x, zone.y, zone.width,
                      zone.height);
    }
    RefreshTooltips();
}

void PresenterDialog::RefreshTooltips() {
    if (!tip_ || panel_mode_.load() != PanelPresentation || tip_->ToolCount() < 6) return;
    resources_.language().ApplyLock();
    const int status = flow_->status.load();
    if (status == StatusStarting || status == StatusSearching || status == StatusConnecting) {
        for (int i = 0; i < 4; ++i) tip_->SetText(i, QString());
        for (int i = 4; i < 6; ++i) tip_->SetText(i, resources_.Text(kTooltipEntries[i]));
    } else if (status == StatusReady || status == StatusPlaying) {
        for (int i = 0; i < 6; ++i) tip_->SetText(i, resources_.Text(kTooltipEntries[i]));
    }
}

// --- Menu ---------------------------------------------------------------------------------

void PresenterDialog::OpenContextMenu(QPoint client) {
    const QPoint global = mapToGlobal(client);
    delete menu_.data();
    const LanguageState& language = resources_.language();
    QMenu* menu = new QMenu(this);  // owned by the window; deleted below or with the window
    menu_ = menu;
    int command = 0;
    auto add = [&](QMenu* into, int id, int entry) {
        QAction* action = into->addAction(resources_.Text(entry));
        action->setData(id);
        // However the item is chosen (pointer, keyboard, accessibility), its command runs.
        connect(action, &QAction::triggered, menu, [&command, id] { command = id; });
        return action;
    };
    add(menu, CmdWebPage, kMenuWebPage);
    add(menu, CmdSearchAgain, kMenuSearchAgain);
    menu->addSeparator();
    if (!language.Locked()) {
        QMenu* languages = menu->addMenu(resources_.Text(kMenuLanguage));
        auto* group = new QActionGroup(languages);
        const int checked = CmdEnglish + LanguageIndexFromId(language.id());
        for (int id = CmdEnglish; id <= CmdJapanese; ++id) {
            QAction* action = add(languages, id, kMenuEnglish + (id - CmdEnglish));
            action->setCheckable(true);
            action->setChecked(id == checked);
            group->addAction(action);
        }
    }
    add(menu, CmdInformation, kMenuInformation);
    menu->addSeparator();
    add(menu, CmdAbout, kMenuAbout);
    add(menu, CmdExit, kMenuExit);

    menu->exec(global);
    if (menu_ == menu) {
        menu_ = nullptr;
        menu->deleteLater();
    }
    Repaint(face_.DrawButton(kButtonMenu, ZoneLook::kNormal));
    frame_.Reset();
    if (command != 0) RunCommand(command);
}

void PresenterDialog::RunCommand(int id) {
    switch (id) {
        case CmdEnglish:
        case CmdTraditionalChinese:
        case CmdSimplifiedChinese:
        case CmdJapanese:
            ChooseLanguage(LanguageOfCommand(id));
            break;
        case CmdExit:
            Exit();
            break;
        case CmdWebPage:
            OpenWebPage();
            break;
        case CmdSearchAgain:
            SearchAgain();
            break;
        case CmdInformation:
            ShowInformation();
            break;
        case CmdHelp:
            OpenHelp();
            break;
        case CmdAbout:
            ShowAbout();
            break;
        default:
            break;
    }
}

void PresenterDialog::ChooseLanguage(int language) {
    resources_.language().Choose(language);
    RefreshTooltips();
}

// --- Skinned behaviour --------------------------------------------------------------------

int PresenterDialog::HitTest(QPoint point, bool button_down) const {
    return face_.HitTest(point, button_down, flow_->status.load(), projection_state_.load());
}

bool PresenterDialog::IsActiveButton(int id) const {
    return MainFace::ButtonActive(id, flow_->status.load(), projection_state_.load());
}

bool PresenterDialog::HoverShown() const {
    return flow_->status.load() != StatusConnecting;
}

void PresenterDialog::DrawZone(int id, ZoneLook look) {
    Repaint(face_.DrawButton(id, look));
}

void PresenterDialog::ZoneClicked(int id) {
    switch (id) {
        case kButtonPlay:
        case kButtonStop:
        case kButtonRefresh:
            // The action runs half a second later; clicks meanwhile are ignored.
            if (!action_ready_.exchange(false)) return;
            timers_.Set(id, kDeferredAction_ms);
            break;
        case kButtonMinimise:
            panel_mode_.store(PanelPresentation);
            showMinimized();
            break;
        case kButtonExit:
            panel_mode_.store(PanelPresentation);
            Exit();
            break;
        case kButtonMenu:
            panel_mode_.store(PanelPresentation);
            OpenContextMenu(QPoint(kMenuPointX, kMenuPointY));
            break;
        case kButtonReconnect:
            SetStatus(StatusStarting);
            break;
        default:
            break;
    }
}

void PresenterDialog::MoveWindowBy(QPoint delta) {
    move(pos() + delta);
}

void PresenterDialog::Repaint(const QRect& dirty) {
    if (!dirty.isEmpty()) update(dirty);
}

void PresenterDialog::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    surface_.Paint(painter, event->rect());
}

void PresenterDialog::mouseMoveEvent(QMouseEvent* event) {
    frame_.Move(event->position().toPoint());
}

void PresenterDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        frame_.Press(event->position().toPoint());
    } else {
        QDialog::mousePressEvent(event);
    }
}

void PresenterDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        frame_.Release(event->position().toPoint());
        return;
    }
    if (event->button() == Qt::RightButton &&
        (flow_->status.load() == StatusReady || flow_->status.load() == StatusPlaying)) {
        OpenContextMenu(event->position().toPoint());
        return;
    }
    QDialog::mouseReleaseEvent(event);
}

void PresenterDialog::leaveEvent(QEvent* event) {
    frame_.Leave();
    QDialog::leaveEvent(event);
}

void PresenterDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // Ends the program at once: no delay, no stop request.
            accept();
            return;
        case Qt::Key_Escape:
            reject();
            return;
        case Qt::Key_Menu:
            if (flow_->status.load() == StatusReady || flow_->status.load() == StatusPlaying) {
                OpenContextMenu(QPoint(kMenuPointX, kMenuPointY));
            }
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

}  // namespace beamora
