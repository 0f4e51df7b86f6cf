// A private X server for tests: Xvfb on a display number it picks itself (-displayfd), so tests
// running side by side never collide, and never touch the developer's own display.
#pragma once

#include <sys/types.h>

#include <string>

namespace platform::testing {

class XvfbServer {
  public:
    // Starts Xvfb with one screen of width x height x depth. Check Ok() before use.
    explicit XvfbServer(int width = 1024, int height = 768, int depth = 24);
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool Ok() const { return !display_.empty(); }
    // The display name, e.g. ":5"; empty when the server did not start.
    const std::string& Display() const { return display_; }
    // Why it did not start.
    const std::string& Error() const { return error_; }

  private:
    pid_t pid_ = -1;
    std::string display_;
    std::string error_;
};

}  // namespace platform::testing
