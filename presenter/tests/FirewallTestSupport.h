// What the firewall step writes, caught in memory for the firewall tests.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include <string>

namespace beamora::test {

// A FILE* whose text Text() returns (what was written up to the last fflush).
class CapturedOutput {
  public:
    CapturedOutput() : file_(open_memstream(&buffer_, &size_)) {}
    ~CapturedOutput() {
        if (file_ != nullptr) fclose(file_);
        free(buffer_);
    }
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;

    FILE* File() const { return file_; }
    std::string Text() {
        if (file_ == nullptr) return "(open_memstream failed)";
        fflush(file_);
        return std::string(buffer_, size_);
    }

  private:
    char* buffer_ = nullptr;
    size_t size_ = 0;
    FILE* file_;
};

}  // namespace beamora::test
