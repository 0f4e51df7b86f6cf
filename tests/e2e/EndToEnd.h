// The fixture of the end-to-end tests: a private Xvfb with the test's own X client, a temporary
// directory, and the presenter side as the library in this process (through UserInterface).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/UserInterface.h"
#include "platform/testing/XvfbServer.h"
#include "tests/e2e/Pictures.h"
#include "tests/e2e/Processes.h"
#include "tests/e2e/XScreen.h"

namespace e2e {

// Notifications as the library sends them.
class NotifyLog : public NotifyTarget {
  public:
    void SendNotify(unsigned int, uintptr_t, intptr_t lparam) override {
        std::lock_guard lock(mutex_);
        codes_.push_back(static_cast<int>(lparam));
    }
    std::vector<int> Codes() const {
        std::lock_guard lock(mutex_);
        return codes_;
    }
    int Count(int code) const;
    // Waits until code has arrived `times` times in all.
    bool WaitFor(int code, int times = 1, int timeout_ms = 10000) const;

  private:
    mutable std::mutex mutex_;
    std::vector<int> codes_;
};

// The library as the presenter application uses it. Logs out of everything when destroyed, so
// that nothing reports into a finished test.
class LibraryPresenter {
  public:
    LibraryPresenter();
    ~LibraryPresenter();
    // Finds the receiver by its beacon (at most 10 s), logs in to it and asks it to start; true
    // once it has started.
    bool LogInAndStart();
    // SearchServer, polled for up to 10 s: the first receiver heard.
    bool Search(tagSERVERLIST* found);
    UserInterface ui;
    NotifyLog notes;
};

// The library's session state (one of tarrowlink's SessionStateValue).
int SessionState();

class EndToEnd : public ::testing::Test {
  protected:
    // Starts the X server of width x height x 24 (replacing an earlier one) and points this
    // process's DISPLAY at it.
    void StartScreen(int width = 1024, int height = 768);
    // Polls the receiver's picture until it equals expected; the last differences otherwise.
    std::string AwaitPicture(Receiver& receiver, const QImage& expected, int timeout_ms = 15000);

    TempDir dir_;
    std::unique_ptr<platform::testing::XvfbServer> xvfb_;
    std::unique_ptr<XScreen> screen_;
};

}  // namespace e2e
