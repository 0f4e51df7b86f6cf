// PresenterDialog's presentation flow: the search, choosing the receiver, logging in, starting
// and stopping, the library's notifications and the menu commands.
#include <QDesktopServices>
#include <QDir>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/Debug.h"
#include "platform/Version.h"
#include "presenter/controls/LoginCodePanel.h"
#include "presenter/controls/MessagePanel.h"
#include "presenter/controls/ServerListPanel.h"
#include "presenter/core/PresenterDialog.h"
#include "presenter/core/Resources.h"

namespace beamora {
namespace {

// Language entries of the flow's texts.
constexpr int kMessageTitle = 75;
constexpr int kOkCaption = 64;
constexpr int kInformationTitle = 7;
constexpr int kModelLabel = 8;
constexpr int kAddressLabel = 9;
constexpr int kCodeLabel = 27;
constexpr int kAboutTitle = 17;
// Messages.
constexpr int kStartRejected = 52;
constexpr int kCannotBind = 53;
constexpr int kNoSocket = 54;
constexpr int kReceiveFailed = 55;
constexpr int kConnectionLost = 56;
constexpr int kCannotConnect = 57;
constexpr int kNoAnswer = 58;
constexpr int kVersionRefused = 59;
constexpr int kCannotCapture = 61;
constexpr int kStopFailed = 67;
constexpr int kWebPageFailed = 68;
constexpr int kNoReceiver = 70;
constexpr int kWrongCode = 73;
constexpr int kNoneSelected = 74;

constexpr int kSearchTimeout_ms = 10000;
constexpr int kSecondSearchDelay_ms = 2000;
// Where Help goes when the help file cannot be opened.
constexpr char kWebSite[] = "www.beamora.example";

// Sleeps `total_ms`, in slices, unless the window goes meanwhile (false then).
bool SleepUnlessClosed(const UiGate& gate, int total_ms) {
    for (int slept = 0; slept < total_ms; slept += 50) {
        if (gate.closed()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return !gate.closed();
}

// The message for a login that failed for a reason other than the login code.
int LoginFailureMessage(int failure) {
    switch (failure) {
        case kFailureNoAnswer:
        case kFailureSendFailed:
            return kNoAnswer;
        case kFailureVersionRefused:
        case kFailureUnsupportedMode:
            return kVersionRefused;
        default:
            return kCannotConnect;
    }
}

// The decimal value of the code's leading digits (0 without any).
unsigned long CodeNumber(const QString& code) {
    unsigned long value = 0;
    for (QChar c : code) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) break;
        value = value * 10 + static_cast<unsigned long>(c.unicode() - u'0');
    }
    return value;
}

// One SearchServer call, its receivers added to `list` behind those already there (each once).
// Writing the call's answer over the list instead would leave the end of a longer earlier answer
// behind it, and a receiver could then stand twice in a row, which ends the list early.
int SearchInto(UserInterface& library, std::array<tagSERVERLIST, kServerListEntries>& list) {
    std::array<tagSERVERLIST, kServerListEntries> heard{};
    const int result = library.SearchServer(heard.data());
    int used = 0;
    while (used < kServerListEntries && list[used].address[0] != '\0') ++used;
    for (const tagSERVERLIST& entry : heard) {
        if (entry.address[0] == '\0') break;
        const bool known = std::any_of(list.begin(), list.begin() + used, [&](const auto& old) {
            return std::memcmp(&old, &entry, sizeof entry) == 0;
        });
        if (!known && used < kServerListEntries) list[used++] = entry;
    }
    return result != 0 ? 1 : 0;
}

QString Latin1(const char* text, size_t size) {
    return QString::fromLatin1(text, static_cast<qsizetype>(strnlen(text, size)));
}

}  // namespace

// --- Search ---------------------------------------------------------------------------------

void PresenterDialog::Search() {
    FlowState& flow = *flow_;
    if (flow.search_threads.load() != 0) {
        // One search at a time: the running one gets its full time again.
        timers_.Kill(kTimerSearchTimeout);
        timers_.Set(kTimerSearchTimeout, kSearchTimeout_ms);
        SetStatus(StatusSearching);
        return;
    }
    // Counted here, not in the thread, so that a second request before it runs makes no second.
    flow.search_threads.fetch_add(1);
    std::shared_ptr<FlowState> shared = flow_;
    std::thread([this, shared] {
        FlowState& flow = *shared;
        UiGate& gate = *flow.gate;
        if (!gate.Run([this] { SetStatus(StatusSearching); })) return;
        flow.server_list.fill(tagSERVERLIST{});
        if (!gate.Run([this] { timers_.Set(kTimerSearchTimeout, kSearchTimeout_ms); })) return;
        // The thread's own interface: the window's may go while this one waits for beacons.
        UserInterface library;
        int found = SearchInto(library, flow.server_list);
        if (!SleepUnlessClosed(gate, kSecondSearchDelay_ms)) return;
        found |= SearchInto(library, flow.server_list);
        flow.search_result.store(found);
        if (!gate.Run([this] { timers_.Kill(kTimerSearchTimeout); })) return;
        flow.search_threads.fetch_sub(1);
        // A search that timed out meanwhile left the idle status: no login then.
        if (flow.status.load() == StatusSearching) gate.Run([this] { BeginLogin(); });
    }).detach();
}

void PresenterDialog::SearchTimedOut() {
    timers_.Kill(kTimerSearchTimeout);
    timers_.Set(kTimerTopmost, kTopmost_ms);
    PlaceWindow(true);
    ShowError(kNoReceiver);
    SetStatus(StatusIdle);
}

void PresenterDialog::SearchAgain() {
    if (projection_state_.load() == ProjectionPlaying) StopProjecting();
    Search();
    panel_mode_.store(PanelPresentation);
    projection_state_.store(ProjectionStopped);
}

// --- Choosing the receiver and logging in ---------------------------------------------------

void PresenterDialog::BeginLogin() {
    std::shared_ptr<FlowState> shared = flow_;
    std::thread([this, shared] {
        FlowState& flow = *shared;
        UiGate& gate = *flow.gate;
        if (!gate.Run([this] { ChooseReceiver(); })) return;
        if (flow.server_chosen.load() == 0) {
            gate.Run([this] { SetStatus(StatusIdle); });
            return;
        }
        if (!gate.Run([this] { SetStatus(StatusConnecting); })) return;
        do {
            if (!gate.Run([this] { LoginStep(); })) return;
        } while (flow.login_result.load() == 2);
        if (flow.login_result.load() == 0) {
            gate.Run([this] { SetStatus(StatusIdle); });
            return;
        }
        gate.Run([this, &flow] {
            SetStatus(StatusReady);
            flow.search_threads.store(0);
            StartProjecting();
        });
    }).detach();
}

void PresenterDialog::ChooseReceiver() {
    FlowState& flow = *flow_;
    list_count_ = 0;
    ServerListPanel panel(resources_, this);
    if (flow.search_result.load() == 0) {
        ShowError(kNoReceiver);
        flow.server_chosen.store(0);
        return;
    }
    // The list ends where an entry equals the next; past the last entry lies the end. The
    // addresses are kept here: the shared list belongs to the next search once this returns.
    const auto& list = flow.server_list;
    auto same_as_next = [&](int i) {
        static const tagSERVERLIST kEnd{};
        const tagSERVERLIST& next = i + 1 < kServerListEntries ? list[i + 1] : kEnd;
        return std::memcmp(&list[i], &next, sizeof next) == 0;
    };
    std::vector<QString> addresses;
    while (list_count_ < kServerListEntries && !same_as_next(list_count_)) {
        const tagSERVERLIST& entry = list[list_count_];
        addresses.push_back(Latin1(entry.address, sizeof entry.address));
        panel.AddEntry(addresses.back(),
                       QString::fromUtf8(entry.name, static_cast<qsizetype>(
                                                         strnlen(entry.name, sizeof entry.name))));
        ++list_count_;
    }
    platform::DebugFormat("Beamora: search result %d, %d receivers listed\n",
                          flow.search_result.load(), list_count_);
    if (list_count_ == 1) {
        chosen_address_ = addresses.front();
        flow.server_chosen.store(1);
        return;
    }
    ReleasePressedButtons();
    if (projection_state_.load() == ProjectionClosing || panel.exec() != SkinnedPanel::kResultOk) {
        flow.server_chosen.store(0);
        return;
    }
    const int chosen = panel.ChosenIndex();
    if (chosen < 0 || chosen >= list_count_) {
        ShowError(kNoneSelected);
        flow.server_chosen.store(0);
        return;
    }
    chosen_address_ = addresses[static_cast<size_t>(chosen)];
    flow.server_chosen.store(1);
}

void PresenterDialog::LoginStep() {
    FlowState& flow = *flow_;
    LoginCodePanel panel(resources_, this);
    const QByteArray address = chosen_address_.toLatin1();
    const int result = RunWhileUiWaits([&] { return ui_.LoginServer(address.constData()); });
    flow.search_result.store(result);
    if (result != 0) {
        logged_in_with_code_ = 0;
        logged_in_ = 1;
        flow.login_result.store(1);
        return;
    }
    // Only a receiver that asked for a code gets one; any other failure is said as it is,
    // rather than as a wrong code the user could never get right.
    const int failure = ui_.LastFailure();
    if (failure != kFailureCodeRefused) {
        flow.login_result.store(0);
        ShowError(LoginFailureMessage(failure));
        return;
    }
    ReleasePressedButtons();
    if (projection_state_.load() == ProjectionClosing) {
        flow.server_chosen.store(0);
        flow.login_result.store(0);
        return;
    }
    if (panel.exec() != SkinnedPanel::kResultOk) {
        flow.login_result.store(0);
        return;
    }
    login_code_ = panel.Code().left(4);
    const unsigned long code = CodeNumber(login_code_);
    if (RunWhileUiWaits([&] { return ui_.SendServerPwd(code); }) != 0) {
        logged_in_ = 1;
        logged_in_with_code_ = 1;
        flow.login_result.store(1);
        return;
    }
    if (ui_.LastFailure() == kFailureCodeRefused) {
        flow.login_result.store(2);
        ShowError(kWrongCode);
    } else {
        flow.login_result.store(0);
        ShowError(LoginFailureMessage(ui_.LastFailure()));
    }
}

// --- Start and stop -------------------------------------------------------------------------

// A call into the library for a start, stop or refresh: the window keeps painting, and the
// library's notifications wait until the call has returned, so they are judged after it as
// they would be if the window had waited.
int PresenterDialog::CallDeferringNotifications(const std::function<int()>& call) {
    ++deferring_notifications_;
    const int result = RunWhileUiWaits(call);
    --deferring_notifications_;
    return result;
}

void PresenterDialog::StartProjecting() {
    if (projection_state_.load() != ProjectionStopped) return;
    projection_state_.store(ProjectionBusy);
    const bool sent = CallDeferringNotifications([this] { return ui_.StartProjecting(); }) != 0;
    // A start the receiver asked for has already happened in the library: the request then finds
    // it projecting, which counts as started; one that arrived as the answer to a request that
    // went out counts as nothing more.
    const bool by_receiver = receiver_start_request_.exchange(0) == 1;
    if (sent ? !by_receiver : by_receiver) {
        SetStatus(StatusPlaying);
        projection_state_.store(ProjectionPlaying);
    } else {
        projection_state_.store(ProjectionStopped);
    }
}

void PresenterDialog::StopProjecting() {
    if (projection_state_.load() != ProjectionPlaying) return;
    projection_state_.store(ProjectionBusy);
    const bool sent = CallDeferringNotifications([this] { return ui_.StopProjecting(0); }) != 0;
    const bool by_receiver = receiver_stop_request_.exchange(0) == 1;
    if (sent ? !by_receiver : by_receiver) {
        SetStatus(StatusReady);
        projection_state_.store(ProjectionStopped);
    } else {
        ShowError(kStopFailed);
        projection_state_.store(ProjectionPlaying);
    }
}

void PresenterDialog::Refresh() {
    if (projection_state_.load() != ProjectionPlaying) return;
    CallDeferringNotifications([this] {
        ui_.Refresh();
        return 0;
    });
}

void PresenterDialog::Exit() {
    StopProjecting();
    projection_state_.store(ProjectionClosing);
    hide();
    timers_.Set(kTimerExit, kExitDelay_ms);
}

// --- Notifications --------------------------------------------------------------------------

void PresenterDialog::OnNotify(quintptr, qintptr code) {
    switch (code) {
        case kNotifyNoUdpSocket:
            ShowError(kNoSocket);
            SetStatus(StatusIdle);
            break;
        case kNotifyBindFailed:
            ShowError(kCannotBind);
            flow_->server_chosen.store(0);
            SetStatus(StatusIdle);
            break;
        case kNotifyStartRejected: {
            // The library is back to logged in; this stop only settles the window. The message
            // comes after the handler, which must not hold the library's thread.
            const bool local =
                ui_.LastFailure() != kFailureStartRejected && ui_.LastFailure() != kFailureNone;
            StopProjecting();
            PostError(local ? kCannotCapture : kStartRejected);
            break;
        }
        case kNotifyReceiverStopped:
            receiver_stop_request_.store(1);
            StopProjecting();
            break;
        case kNotifyReceiverStarted:
            receiver_start_request_.store(1);
            StartProjecting();
            break;
        case kNotifyReceiveFailed:
            ShowError(kReceiveFailed);
            SetStatus(StatusIdle);
            break;
        case kNotifyConnectionLost:
            timers_.Set(kTimerTopmost, kTopmost_ms);
            PlaceWindow(true);
            ShowError(kConnectionLost);
            SetStatus(StatusIdle);
            break;
        default:
            // The code replies are judged from the login calls' results.
            break;
    }
}

// --- Messages and menu commands -------------------------------------------------------------

void PresenterDialog::ShowError(int entry) {
    platform::DebugFormat("Beamora: message %d\n", entry);
    emit messageShown(entry);
    ShowMessagePanel(resources_, this, resources_.Text(kMessageTitle), resources_.Text(entry),
                     resources_.Text(kOkCaption), kStyleError);
}

void PresenterDialog::PostError(int entry) {
    QMetaObject::invokeMethod(
        this, [this, entry] { ShowError(entry); }, Qt::QueuedConnection);
}

void PresenterDialog::OpenWebPage() {
    const QUrl page(QStringLiteral("http://") + chosen_address_);
    if (!QDesktopServices::openUrl(page)) ShowError(kWebPageFailed);
}

void PresenterDialog::ShowInformation() {
    QString text = resources_.Text(kModelLabel) + QStringLiteral(": ") +
                   QString::fromLatin1(kModelName) + QStringLiteral("\n\n") +
                   resources_.Text(kAddressLabel) + QStringLiteral(": ") + chosen_address_;
    if (logged_in_with_code_ == 1) {
        text += QStringLiteral("\n\n") + resources_.Text(kCodeLabel) + QStringLiteral(": ") +
                login_code_;
    }
    ShowMessagePanel(resources_, this, resources_.Text(kInformationTitle), text,
                     resources_.Text(kOkCaption), kStyleInformation);
}

QString AboutText() {
    return QStringLiteral(
               " %1 v%2.%3.%4.%5\n\nCopyright (C) 2026 The Beamora developers\n\n"
               "All rights reserved.")
        .arg(QString::fromLatin1(kModelName))
        .arg(platform::kVersionMajor)
        .arg(platform::kVersionMinor)
        .arg(platform::kVersionPatch)
        .arg(platform::kVersionTweak);
}

void PresenterDialog::ShowAbout() {
    ShowMessagePanel(resources_, this, resources_.Text(kAboutTitle), AboutText(),
                     resources_.Text(kOkCaption), kStyleInformation);
}

void PresenterDialog::OpenHelp() {
    const QString help = QDir::current().absoluteFilePath(QStringLiteral("Panvo.mht"));
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(help))) {
        QDesktopServices::openUrl(QUrl(QStringLiteral("http://") + QLatin1String(kWebSite)));
    }
}

}  // namespace beamora
