// Shared pieces of beamora-cli's commands.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/UserInterface.h"

namespace cli {

// Exit codes of every command.
enum ExitCode {
    kExitOk = 0,
    kExitFailed = 1,
    kExitUsage = 2,
    kExitConnectionLost = 3,
    kExitNothingPresented = 4,  // logged in, but no picture reached the receiver
};

// Records the library's notifications for the command's main thread. Its window (chosen by
// CMake) is a NotifyTarget, or on Windows a message-only window with a thread of its own that
// takes "PROJECTOR_NOTIFY".
class NotifyRecorder {
  public:
    NotifyRecorder();
    ~NotifyRecorder();
    NotifyRecorder(const NotifyRecorder&) = delete;
    NotifyRecorder& operator=(const NotifyRecorder&) = delete;

    // What UserInterface::SetWindowHandle takes; nullptr when the window could not be made.
    WindowHandle Handle() const;
    // The codes in the order they arrived. Any thread.
    std::vector<int> Codes() const {
        std::lock_guard lock(mutex_);
        return codes_;
    }
    // Adds one code (the window's handler). Any thread.
    void Record(int code) {
        std::lock_guard lock(mutex_);
        codes_.push_back(code);
        arrived_.notify_all();
    }
    // Waits until more than seen codes have arrived, or timeout. Any thread but the library's.
    void WaitForMore(size_t seen, std::chrono::milliseconds timeout) const {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, timeout, [&] { return codes_.size() > seen; });
    }

  private:
    struct Window;
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<int> codes_;
    std::unique_ptr<Window> window_;
};

// Parses a whole positive number no larger than max; false when text is anything else.
bool ParseSeconds(const char* text, int max, int* out);

// A user-facing explanation of a discovery failure code (1029, 1031, 1037).
std::string DiscoveryFailureText(int code);

// beamora-cli list [--seconds N]
int RunList(int argc, char** argv);

// beamora-cli present [--receiver NAME|ADDRESS] [--code NNNN] [--duration SECONDS]
int RunPresent(int argc, char** argv);

}  // namespace cli
