#include "cli/ReceiverSearch.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "cli/CliCommon.h"

namespace cli {
namespace {

// What the search thread hands to the caller. Shared, because the search may still be blocked in
// the library when the caller gives up and leaves.
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
        state->changed.notify_all();
        if (!found && !state->notifications.Codes().empty()) break;  // discovery failed
    }
    std::lock_guard lock(state->mutex);
    state->done = true;
    state->changed.notify_all();
}

}  // namespace

std::vector<HeardReceiver> SearchReceivers(
    int seconds, const std::function<bool(const HeardReceiver&)>& on_heard, int* failure_code) {
    auto state = std::make_shared<SearchState>();
    state->ui.Initialize();
    state->ui.SetWindowHandle(state->notifications.Handle());
    std::thread(Search, state).detach();

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::vector<HeardReceiver> result;
    size_t seen = 0;
    bool enough = false;
    std::unique_lock lock(state->mutex);
    while (!enough) {
        for (; seen < state->heard.size(); ++seen) {
            const tagSERVERLIST& entry = state->heard[seen];
            HeardReceiver r{
                std::string(entry.address, strnlen(entry.address, sizeof entry.address)),
                std::string(entry.name, strnlen(entry.name, sizeof entry.name))};
            bool known = false;
            for (const HeardReceiver& k : result)
                known |= k.address == r.address && k.name == r.name;
            if (known) continue;
            result.push_back(r);
            if (on_heard(r)) enough = true;
        }
        if (enough || state->done) break;
        if (state->changed.wait_until(lock, deadline) == std::cv_status::timeout) break;
    }
    lock.unlock();
    state->ui.SetWindowHandle(nullptr);
    auto codes = state->notifications.Codes();
    *failure_code = codes.empty() ? 0 : codes.back();
    return result;
}

}  // namespace cli
