// beamora-cli list: searches the way the presenter does (two searches, 2 s apart) and prints each
// receiver as soon as it is heard. The library's search waits for the first beacon without a time
// limit, so the command bounds it with --seconds.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <thread>

#include "cli/CliCommon.h"
#include "platform/Ports.h"

namespace cli {

bool ParseSeconds(const char* text, int max, int* out) {
    if (text == nullptr || *text == '\0') return false;
    long value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + (*p - '0');
        if (value > max) return false;
    }
    if (value < 1) return false;
    *out = static_cast<int>(value);
    return true;
}

std::string DiscoveryFailureText(int code) {
    std::string port = std::to_string(platform::ControlPort());
    switch (code) {
        case kNotifyNoUdpSocket:
            return "cannot create the UDP socket to listen for receivers";
        case kNotifyBindFailed:
            return "cannot listen on UDP port " + port +
                   " (is another presenter running? BEAMORA_CONTROL_PORT changes the port)";
        case kNotifyReceiveFailed:
            return "receiving receiver beacons failed";
        default:
            return "discovery failed (code " + std::to_string(code) + ")";
    }
}

namespace {

// What the search thread hands to the main thread. Shared, because the search may still be
// blocked in the library when the command gives up and leaves.
struct SearchState {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<tagSERVERLIST> heard;
    bool done = false;
    NotifyRecorder notifications;
    UserInterface ui;
};

void Search(std::shared_ptr<SearchState> state) {
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) std::this_thread::sleep_for(std::chrono::seconds(2));
        auto list = std::make_unique<tagSERVERLIST[]>(kServerListEntries);
        int found = state->ui.SearchServer(list.get());
        std::lock_guard lock(state->mutex);
        for (int i = 0; found && i < kServerListEntries && list[i].address[0]; ++i) {
            state->heard.push_back(list[i]);
        }
        if (!found && pass == 0 && !state->notifications.Codes().empty()) break;  // failed
        state->changed.notify_all();
    }
    std::lock_guard lock(state->mutex);
    state->done = true;
    state->changed.notify_all();
}

}  // namespace

int RunList(int argc, char** argv) {
    int seconds = 5;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            if (!ParseSeconds(argv[++i], 86400, &seconds)) {
                std::fprintf(stderr,
                             "beamora-cli list: --seconds takes a whole number from 1 to 86400\n");
                return kExitUsage;
            }
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::printf(
                "usage: beamora-cli list [--seconds N]\n"
                "Listens for receiver beacons for up to N seconds (default 5) and prints\n"
                "one line per receiver heard: ADDRESS<TAB>NAME. Exit 0 when at least one\n"
                "was heard, 1 when none was, 2 on a usage error.\n");
            return kExitOk;
        } else {
            std::fprintf(stderr, "beamora-cli list: unexpected argument \"%s\"\n", argv[i]);
            return kExitUsage;
        }
    }

    auto state = std::make_shared<SearchState>();
    state->ui.Initialize();
    state->ui.SetWindowHandle(&state->notifications);
    std::thread(Search, state).detach();

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::set<std::pair<std::string, std::string>> printed;
    std::unique_lock lock(state->mutex);
    for (;;) {
        for (const tagSERVERLIST& entry : state->heard) {
            std::string name(entry.name, strnlen(entry.name, sizeof entry.name));
            std::string address(entry.address, strnlen(entry.address, sizeof entry.address));
            if (printed.emplace(address, name).second) {
                std::printf("%s\t%s\n", address.c_str(), name.c_str());
                std::fflush(stdout);
            }
        }
        if (state->done) break;
        if (state->changed.wait_until(lock, deadline) == std::cv_status::timeout) break;
    }
    lock.unlock();
    state->ui.SetWindowHandle(nullptr);
    if (!printed.empty()) return kExitOk;
    auto codes = state->notifications.Codes();
    if (!codes.empty()) {
        std::fprintf(stderr, "beamora-cli list: %s\n", DiscoveryFailureText(codes.back()).c_str());
    } else {
        std::fprintf(stderr,
                     "beamora-cli list: no receiver heard within %d second%s on UDP port %u\n",
                     seconds, seconds == 1 ? "" : "s", platform::ControlPort());
    }
    return kExitFailed;
}

}  // namespace cli
