// Shared pieces of beamora-cli's commands.
#pragma once

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

// Records the library's notifications for the command's main thread.
class NotifyRecorder : public NotifyTarget {
  public:
    void SendNotify(unsigned int, uintptr_t, intptr_t code) override {
        std::lock_guard lock(mutex_);
        codes_.push_back(static_cast<int>(code));
    }
    std::vector<int> Codes() const {
        std::lock_guard lock(mutex_);
        return codes_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<int> codes_;
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
