// Runs the end-to-end tests on control and data ports of their own, from the data directory that
// holds the library's version file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "client/session/Components.h"
#include "client/session/ControlThreads.h"
#include "client/session/Discovery.h"
#include "client/session/Session.h"
#include "tests/e2e/EndToEnd.h"

namespace e2e {

int NotifyLog::Count(int code) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count(codes_.begin(), codes_.end(), code));
}

bool NotifyLog::WaitFor(int code, int times, int timeout_ms) const {
    return e2e::WaitFor([&] { return Count(code) >= times; }, timeout_ms);
}

LibraryPresenter::LibraryPresenter() {
    ui.Initialize();
    ui.SetWindowHandle(&notes);
}

LibraryPresenter::~LibraryPresenter() {
    ui.StopProjecting(0);
    ui.SetWindowHandle(nullptr);
    tarrowlink::EndControlThread();
    // The capture keeps its X connection between projections; let it go while the test's X
    // server still runs. The next Initialize makes the components again.
    tarrowlink::ReleaseComponents();
    // Discovery keeps the beacon port; free it for a presenter program of a later test.
    tarrowlink::ResetDiscoveryForTests();
}

bool LibraryPresenter::Search(tagSERVERLIST* found) {
    // The first SearchServer of the process blocks, without a time limit, until a receiver is
    // heard; later ones hand over what was heard since, as an application polls it. All of it
    // runs on a thread of its own, which a test that gives up leaves behind to end by itself.
    struct Result {
        std::mutex mutex;
        bool done = false;
        bool given_up = false;
        tagSERVERLIST first{};
    };
    auto result = std::make_shared<Result>();
    std::thread([result] {
        // Every UserInterface works on the one session; this one lives as long as the thread.
        UserInterface searcher;
        searcher.Initialize();
        std::vector<tagSERVERLIST> list(kServerListEntries);
        while (searcher.SearchServer(list.data()) != 1) {
            {
                std::lock_guard lock(result->mutex);
                if (result->given_up) return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        std::lock_guard lock(result->mutex);
        result->first = list[0];
        result->done = true;
    }).detach();
    const bool heard = e2e::WaitFor([&] {
        std::lock_guard lock(result->mutex);
        return result->done;
    });
    std::lock_guard lock(result->mutex);
    result->given_up = !heard;
    *found = result->first;
    return heard;
}

bool LibraryPresenter::LogInAndStart() {
    // Found through its beacon, as the application finds it: a presenter that heard the receiver
    // also tells it when the user stops.
    tagSERVERLIST found{};
    if (!Search(&found)) return false;
    if (std::string(found.name) != kReceiverName || std::string(found.address) != "127.0.0.1") {
        return false;
    }
    if (ui.LoginServer(found.address) != 1) return false;
    const int started = notes.Count(kNotifyReceiverStarted);
    if (ui.StartProjecting() != 1) return false;
    return notes.WaitFor(kNotifyReceiverStarted, started + 1);
}

int SessionState() {
    return tarrowlink::TheSession().state.load();
}

void EndToEnd::StartScreen(int width, int height) {
    screen_.reset();  // its connection goes before the server it belongs to
    xvfb_ = std::make_unique<platform::testing::XvfbServer>(width, height, 24);
    ASSERT_TRUE(xvfb_->Ok()) << xvfb_->Error();
    screen_ = std::make_unique<XScreen>(xvfb_->Display());
    ASSERT_TRUE(screen_->Ok());
    ::setenv("DISPLAY", xvfb_->Display().c_str(), 1);
}

std::string EndToEnd::AwaitPicture(Receiver& receiver, const QImage& expected, int timeout_ms) {
    return receiver.AwaitPicture(expected, timeout_ms);
}

}  // namespace e2e

int main(int argc, char** argv) {
    // Each process (ctest runs one per test) talks on ports no other test uses.
    e2e::UsePrivatePorts();
    if (::chdir(BEAMORA_DATA_DIR) != 0) std::perror("e2e_tests: cannot enter the data directory");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
