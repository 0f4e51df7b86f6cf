// beamora-cli present: finds the receiver, logs in (with the code when it asks for one), asks it
// to start and keeps the session until the duration ends or a signal arrives, then stops.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "cli/CliCommon.h"
#include "cli/ReceiverSearch.h"
#include "platform/Socket.h"

namespace cli {
namespace {

constexpr int kSearchSeconds = 10;
// The receiver answers a start request at once; one that has not within this time never will.
constexpr int kStartAnswerSeconds = 10;
// At most one line about failing data connections this often.
constexpr int kDataFailureReportSeconds = 5;
// A connection that failed this recently when the presentation ends means it was not getting
// through: one that stalls is given up after 5 s.
constexpr auto kFailingWindow = std::chrono::seconds(8);

// The longest the main loop waits between looks at signals, the clock and the data connection.
constexpr auto kLoopPause = std::chrono::milliseconds(200);

std::atomic<int> g_signal{0};

void OnSignal(int signal) {
    g_signal.store(signal);
}

// One progress line on stderr.
void Progress(const std::string& message) {
    std::fprintf(stderr, "beamora-cli: %s\n", message.c_str());
}

bool IsAddress(const std::string& text) {
    return platform::ParseIpv4(text.c_str()).has_value();
}

// Picks the receiver to present on: by address as given, else by name or as the only one heard.
// Returns false (with the message printed) when there is no single choice.
bool ChooseReceiver(const std::string& wanted, HeardReceiver* chosen) {
    if (!wanted.empty() && IsAddress(wanted)) {
        *chosen = {wanted, wanted};
        return true;
    }
    Progress(wanted.empty() ? "searching for receivers"
                            : "searching for the receiver named \"" + wanted + "\"");
    int failure = 0;
    auto heard = SearchReceivers(
        kSearchSeconds, [&](const HeardReceiver& r) { return !wanted.empty() && r.name == wanted; },
        &failure);
    if (failure != 0) {
        Progress(DiscoveryFailureText(failure));
        return false;
    }
    std::vector<HeardReceiver> matches;
    for (const HeardReceiver& r : heard) {
        if (wanted.empty() || r.name == wanted) matches.push_back(r);
    }
    if (matches.size() == 1) {
        *chosen = matches.front();
        return true;
    }
    if (matches.empty()) {
        Progress(wanted.empty() ? "no receiver heard within 10 seconds"
                                : "no receiver named \"" + wanted + "\" heard within 10 seconds");
        return false;
    }
    Progress(std::to_string(matches.size()) +
             " receivers heard; choose one with --receiver NAME or ADDRESS:");
    for (const HeardReceiver& r : matches) {
        std::fprintf(stderr, "  %s\t%s\n", r.address.c_str(), r.name.c_str());
    }
    return false;
}

bool ParseCode(const char* text, unsigned long* code) {
    if (text == nullptr || std::strlen(text) != 4) return false;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
    }
    *code = std::strtoul(text, nullptr, 10);
    return true;
}

// Why a login or start failed, in the user's words (the library's LastFailure).
std::string FailureText(int failure) {
    switch (failure) {
        case kFailureNoConnection:
            return "nothing takes connections at that address (connection refused or unreachable)";
        case kFailureNoAnswer:
            return "the receiver did not answer within 10 seconds";
        case kFailureVersionRefused:
            return "the receiver refused this version of Beamora";
        case kFailureCodeRefused:
            return "the receiver refused the login code";
        case kFailureUnsupportedMode:
            return "the receiver reported a picture mode Beamora cannot send";
        case kFailureSendFailed:
            return "a message could not be sent to the receiver";
        case kFailureNoScreen:
            return "cannot capture the screen: no X display and no Wayland screen sharing (is "
                   "DISPLAY or WAYLAND_DISPLAY set?)";
        case kFailureScreenCast:
            return "cannot capture the screen: the desktop's screen sharing was refused or has "
                   "ended";
        case kFailureCaptureSetup:
            return "cannot capture the screen: the capture could not be set up";
        case kFailureOutOfMemory:
            return "cannot capture the screen: out of memory";
        case kFailureNoVersionFile:
            return "the installed \"version\" file is missing or unreadable";
        default:
            return "the login failed";
    }
}

// Codes that arrived since *seen.
std::vector<int> NewCodes(const NotifyRecorder& recorder, size_t* seen) {
    auto codes = recorder.Codes();
    std::vector<int> fresh(codes.begin() + static_cast<long>(std::min(*seen, codes.size())),
                           codes.end());
    *seen = codes.size();
    return fresh;
}

}  // namespace

int RunPresent(int argc, char** argv) {
    std::string wanted;
    unsigned long code = 0;
    bool have_code = false;
    int duration_s = 0;  // 0: until a signal
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--receiver" && value) {
            wanted = argv[++i];
        } else if (arg == "--code" && value) {
            if (!ParseCode(argv[++i], &code)) {
                std::fprintf(stderr,
                             "beamora-cli present: --code takes the receiver's 4-digit code\n");
                return kExitUsage;
            }
            have_code = true;
        } else if (arg == "--duration" && value) {
            if (!ParseSeconds(argv[++i], 7 * 86400, &duration_s)) {
                std::fprintf(stderr,
                             "beamora-cli present: --duration takes a whole number of seconds\n");
                return kExitUsage;
            }
        } else if (arg == "--help") {
            std::printf(
                "usage: beamora-cli present [--receiver NAME|ADDRESS] [--code NNNN] [--duration "
                "SECONDS]\n"
                "Logs in to the receiver (found by name, or the only one heard, or at the\n"
                "given address), asks it to start and presents this desktop until the\n"
                "duration ends or SIGINT/SIGTERM arrives, then stops.\n"
                "Exit 0 presented and stopped; 1 no receiver, login refused, start rejected\n"
                "or the screen cannot be captured; 2 usage error; 3 connection lost;\n"
                "4 nothing was presented (the start was not answered, the picture's\n"
                "connection was refused or kept failing, or the desktop gave no picture).\n");
            return kExitOk;
        } else {
            std::fprintf(stderr, "beamora-cli present: unexpected argument \"%s\"\n", arg.c_str());
            return kExitUsage;
        }
    }

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    HeardReceiver receiver;
    if (!ChooseReceiver(wanted, &receiver)) return kExitFailed;
    std::string label = receiver.name == receiver.address
                            ? receiver.address
                            : receiver.name + " (" + receiver.address + ")";

    NotifyRecorder notifications;
    UserInterface ui;
    ui.Initialize();
    ui.SetWindowHandle(notifications.Handle());
    // Whichever way this returns, the library stops reporting to the recorder before it goes.
    struct DetachWindow {
        UserInterface& ui;
        ~DetachWindow() { ui.SetWindowHandle(nullptr); }
    } detach{ui};
    size_t seen = 0;

    Progress("logging in to " + label);
    if (!ui.LoginServer(receiver.address.c_str())) {
        auto codes = NewCodes(notifications, &seen);
        bool wants_code = !codes.empty() && codes.back() == kNotifyCodeError;
        if (!wants_code) {
            Progress("cannot log in to " + label + ": " + FailureText(ui.LastFailure()));
            return kExitFailed;
        }
        if (!have_code) {
            Progress(label + " wants a login code: give it with --code NNNN");
            return kExitFailed;
        }
        if (!ui.SendServerPwd(code)) {
            Progress("cannot log in to " + label +
                     " with the code: " + FailureText(ui.LastFailure()));
            return kExitFailed;
        }
    }
    int width, height, bits;
    ui.GetReceiverMode(&width, &height, &bits);
    if (width > 0 && height > 0 && bits > 0) {
        Progress("logged in to " + label + " with mode " + std::to_string(width) + "x" +
                 std::to_string(height) + "x" + std::to_string(bits));
    } else {
        Progress("logged in to " + label + " (it did not tell its picture mode)");
    }
    NewCodes(notifications, &seen);

    if (!ui.StartProjecting()) {
        Progress("cannot send the start request to " + label);
        return kExitConnectionLost;
    }
    Progress("asked " + label + " to start");

    using Clock = std::chrono::steady_clock;
    const auto asked = Clock::now();
    const auto end = asked + std::chrono::seconds(duration_s);
    bool projecting = false;
    DataStats at_start;
    ui.GetDataStats(&at_start);
    uint32_t failures_reported = at_start.failures;
    uint32_t failures_seen = at_start.failures;
    auto last_report = Clock::time_point{};
    auto last_failure = Clock::time_point{};
    for (;;) {
        for (int c : NewCodes(notifications, &seen)) {
            switch (c) {
                case kNotifyReceiverStarted:
                    Progress(projecting ? "projecting again" : "projecting");
                    projecting = true;
                    break;
                case kNotifyReceiverStopped:
                    Progress("the receiver stopped the projection; waiting for it to resume");
                    break;
                case kNotifyResolutionChanged:
                    ui.GetReceiverMode(&width, &height, &bits);
                    Progress("the receiver changed its mode to " + std::to_string(width) + "x" +
                             std::to_string(height) + "x" + std::to_string(bits));
                    break;
                case kNotifyStartRejected:
                    if (ui.LastFailure() != kFailureStartRejected) {
                        // The receiver agreed, but this side could not start; it was told.
                        Progress(FailureText(ui.LastFailure()));
                        return kExitFailed;
                    }
                    Progress(label + " rejected the projection (another presenter may be showing)");
                    return kExitFailed;
                case kNotifyConnectionLost:
                    Progress("connection to " + label + " lost");
                    return kExitConnectionLost;
                default:
                    break;
            }
        }
        if (!projecting && Clock::now() - asked >= std::chrono::seconds(kStartAnswerSeconds)) {
            Progress(label + " did not answer the start request within " +
                     std::to_string(kStartAnswerSeconds) + " seconds");
            ui.StopProjecting(0);
            return kExitNothingPresented;
        }
        DataStats now;
        ui.GetDataStats(&now);
        if (now.failures != failures_seen) {
            failures_seen = now.failures;
            last_failure = Clock::now();
        }
        if (now.failures != failures_reported &&
            Clock::now() - last_report >= std::chrono::seconds(kDataFailureReportSeconds)) {
            Progress("the picture's connection to " + label + " failed " +
                     std::to_string(now.failures - at_start.failures) +
                     " times so far; trying again");
            failures_reported = now.failures;
            last_report = Clock::now();
        }
        if (g_signal.load() != 0) break;
        if (duration_s > 0 && Clock::now() >= end) break;
        // Woken by the library's next notification; signals and the clock are looked at a few
        // times a second, which keeps an idle presentation from waking this thread needlessly.
        notifications.WaitForMore(seen, kLoopPause);
    }
    ui.StopProjecting(0);
    DataStats last;
    ui.GetDataStats(&last);
    const bool delivered = last.units_sent > at_start.units_sent;
    // Still failing at the end: a connection failed within the time a stalled one takes to fail.
    const bool failing =
        last_failure != Clock::time_point{} && Clock::now() - last_failure < kFailingWindow;
    // Nothing delivered and no connection failed: no unit was ever handed to the connection,
    // so the desktop gave no picture in the time (a slow screen cast), not a refusal.
    const bool never_sent = last.failures == at_start.failures;
    if (!projecting || !delivered || failing) {
        Progress(!projecting  ? "stopped before " + label + " started the projection"
                 : !delivered ? "stopped; nothing reached " + label +
                                    (never_sent ? " (no picture came from the desktop)"
                                                : " (the picture's connection was refused)")
                              : "stopped; the picture stopped reaching " + label +
                                    " (its connection kept failing)");
        return kExitNothingPresented;
    }
    Progress("stopped");
    return kExitOk;
}

}  // namespace cli
