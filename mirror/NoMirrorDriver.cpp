// Builds without X11 DAMAGE have no mirror device: attaching reports it as not found.
#include "mirror/MirrorDriver.h"

namespace mirror {
namespace {

class NoMirrorDriver final : public MirrorDriver {
  public:
    bool CurrentMode(DisplayMode*) override { return false; }
    std::vector<DisplayDevice> Devices() override { return {}; }
    int ChangeAttachment(const DisplayDevice&, const DisplayMode&, bool) override {
        return kDispChangeFailed;
    }
    int Escape(int, const void*, size_t, void*, size_t) override { return 0; }
};

}  // namespace

std::shared_ptr<MirrorDriver> CreateDefaultMirrorDriver() {
    return std::make_shared<NoMirrorDriver>();
}

}  // namespace mirror
