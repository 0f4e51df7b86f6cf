// Helpers shared by the skin tests: scratch directories, a working-directory guard and a recorder
// for standard message boxes.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QString>
#include <filesystem>
#include <string>
#include <vector>

#include "presenter/controls/StandardMessage.h"

namespace beamora::test {

// A fresh directory under the system's temporary directory, removed with the object.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "beamora-skin-XXXXXX");
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// Changes the working directory for the object's life.
class WorkingDirectory {
  public:
    explicit WorkingDirectory(const std::filesystem::path& dir)
        : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~WorkingDirectory() {
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
    }

  private:
    std::filesystem::path previous_;
};

// Records every standard message box shown while it lives instead of showing it.
class MessageRecorder {
  public:
    struct Message {
        QString caption;
        QString text;
    };
    MessageRecorder() {
        previous_ = SetStandardMessageBox([this](const QString& caption, const QString& text) {
            messages.push_back({caption, text});
        });
    }
    ~MessageRecorder() { SetStandardMessageBox(previous_); }
    std::vector<Message> messages;

  private:
    StandardMessageBox previous_;
};

}  // namespace beamora::test
