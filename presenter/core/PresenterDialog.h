// The presenter's main window: a small frameless window painted from the skin, with Play, Stop,
// Refresh, Minimise, Exit and Menu buttons and an animated status area. It owns the client
// library's UserInterface and drives a presentation: it searches for receivers, lets the user
// pick one, logs in (asking for the login code when the receiver wants one), starts and stops
// projecting and follows what the library reports. Each status has a timer of its own id whose
// ticks draw the status's face and animation.
//
// Methods run on the user interface thread. The search and login threads reach the window only
// through its UiGate; the library's notifications arrive the same way.
#pragma once

#include <QDialog>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <array>
#include <atomic>
#include <functional>
#include <memory>

#include "client/UserInterface.h"
#include "presenter/controls/MainFace.h"
#include "presenter/controls/SkinSurface.h"
#include "presenter/controls/SkinnedFrame.h"
#include "presenter/controls/TipWnd.h"
#include "presenter/core/PresenterIds.h"
#include "presenter/core/TimerSet.h"
#include "presenter/core/UiCall.h"

namespace beamora {

class Resources;

// What the window shares with its worker threads; they hold it by shared_ptr, so it outlives a
// window that goes while they still run.
struct FlowState {
    std::shared_ptr<UiGate> gate;
    std::atomic<int> status{0};
    std::atomic<int> search_threads{0};
    std::atomic<int> search_result{0};
    std::atomic<int> server_chosen{0};
    std::atomic<int> login_result{0};
    // Written by the search thread, read by ChooseReceiver after the search thread is done.
    std::array<tagSERVERLIST, kServerListEntries> server_list{};
};

class PresenterDialog : public QDialog, private SkinnedFrameHost {
    Q_OBJECT

  public:
    // Builds the window over the loaded skin (`resources` outlives it). The window is not shown.
    explicit PresenterDialog(Resources& resources, QWidget* parent = nullptr);
    ~PresenterDialog() override;

    // False when the window could not be made from its files; the application then says
    // "Some Error." and ends without showing it.
    bool IsValid() const { return valid_; }

    // The status change: stores the status, refreshes the tooltips, restarts the tick and frame
    // counts and replaces the status timer with the new status's (`interval_ms` < 0: the
    // status's own interval).
    void SetStatus(int status, int interval_ms = -1);
    int status() const { return flow_->status.load(); }
    int status_ticks() const { return status_ticks_; }
    int status_frame() const { return status_frame_; }
    int projection_state() const { return projection_state_.load(); }
    void set_projection_state(int state) { projection_state_.store(state); }
    bool action_ready() const { return action_ready_.load(); }

    // Puts the window in the state of a login that did (or did not) need `code`, as the login
    // step leaves it: the face then shows the code's digits. For tests and screenshots; the flow
    // sets these itself.
    void SetLoginCode(const QString& code, bool logged_in_with_code);

    // Opens the context menu at a client point and runs the command chosen.
    void OpenContextMenu(QPoint client);
    // Runs a menu command (CmdWebPage ... CmdJapanese).
    void RunCommand(int id);

    // Places the window at ((screen width - 320) / 2, (screen height - 86) / 3) and makes it stay
    // on top or not.
    void PlaceWindow(bool topmost);

    // Runs the expiry of timer `id` now (the timers call it; tests may too).
    void OnTimer(int id);
    // Handles a notification of the client library (code: a NotifyCode).
    void OnNotify(quintptr socket_error, qintptr code);

    // The search: a search thread when none runs, else the running one's timeout starts again.
    void Search();

    const SkinSurface& surface() const { return surface_; }
    const MainFace& face() const { return face_; }
    const SkinnedFrame& frame() const { return frame_; }
    const TimerSet& timers() const { return timers_; }
    TipWnd* tooltip() const { return tip_; }
    Resources& resources() { return resources_; }
    UserInterface& user_interface() { return ui_; }
    const FlowState& flow() const { return *flow_; }
    QString chosen_address() const { return chosen_address_; }
    // The menu while it is open (tests find it here); nullptr otherwise.
    QMenu* open_menu() const { return menu_; }

  signals:
    // A message panel is about to be shown (its text entry), for tests and screenshots.
    void messageShown(int entry);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    class Notifier;

    // SkinnedFrameHost
    int HitTest(QPoint point, bool button_down) const override;
    bool IsActiveButton(int id) const override;
    bool HoverShown() const override;
    void DrawZone(int id, ZoneLook look) override;
    void ZoneClicked(int id) override;
    void MoveWindowBy(QPoint delta) override;

    void StatusTick();
    FaceState CurrentFaceState() const;
    void RegisterTooltips();
    void RefreshTooltips();
    void ChooseLanguage(int language);
    void Repaint(const QRect& dirty);
    void ReleasePressedButtons();

    // --- The presentation flow (PresenterFlow.cpp) ---
    void SearchTimedOut();
    void BeginLogin();
    void ChooseReceiver();
    void LoginStep();
    void StartProjecting();
    void StopProjecting();
    void Refresh();
    int CallDeferringNotifications(const std::function<int()>& call);
    void SearchAgain();
    void Exit();
    void OpenWebPage();
    void ShowInformation();
    void ShowAbout();
    void OpenHelp();
    // Shows message `entry` (title 75, caption 64, error style) and returns when it is closed.
    void ShowError(int entry);
    // The same, shown once the current handler has returned.
    void PostError(int entry);

    Resources& resources_;
    bool valid_ = true;
    SkinSurface surface_;
    MainFace face_;
    SkinnedFrame frame_;
    TimerSet timers_;
    QPointer<TipWnd> tip_;
    QPointer<QMenu> menu_;
    std::shared_ptr<FlowState> flow_;
    std::unique_ptr<Notifier> notifier_;
    UserInterface ui_;

    // Controller state of the user interface thread; projection fields also read by the gate's
    // callers, hence atomic.
    int status_timer_ = 0;
    int status_ticks_ = 0;
    int status_frame_ = 0;
    std::atomic<int> projection_state_{ProjectionStopped};
    std::atomic<int> panel_mode_{PanelPresentation};
    std::atomic<bool> action_ready_{true};
    std::atomic<int> receiver_start_request_{0};
    std::atomic<int> receiver_stop_request_{0};
    int logged_in_ = 0;
    int logged_in_with_code_ = 0;
    int list_count_ = 0;
    QString chosen_address_;
    QString login_code_;
    // Above 0 while a start, stop or refresh call runs: notifications wait for its end.
    int deferring_notifications_ = 0;
};

// The about text: the model, the version of this build and the copyright.
QString AboutText();

}  // namespace beamora
