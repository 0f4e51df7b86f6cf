// Builds and sessions without a window system: there is no desktop to capture, and projection
// start says so.
#include "client/capture/Desktop.h"

namespace tarrowlink {
namespace {
class NoDesktop : public Desktop {
  public:
    bool Open() override { return false; }
    int Width() const override { return 0; }
    int Height() const override { return 0; }
    bool ReadPixels(int, int, int, int, uint8_t*, ptrdiff_t) override { return false; }
    bool QueryScreenSize(int*, int*) override { return false; }
    bool ReadCursor(CursorImage*) override { return false; }
};
}  // namespace

std::unique_ptr<Desktop> CreateNoDesktop() {
    return std::make_unique<NoDesktop>();
}

}  // namespace tarrowlink
