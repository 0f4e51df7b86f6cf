// The mirror driver of a Linux build: the backend of the desktop the projection runs on, chosen
// again at every attach (ChooseCaptureBackend), so that the change tracker and the capture always
// watch the same desktop.
#include <mutex>

#include "mirror/MirrorBackends.h"
#include "platform/CaptureBackend.h"

namespace mirror {
namespace {

class SelectingMirrorDriver final : public MirrorDriver {
  public:
    bool CurrentMode(DisplayMode* mode) override {
        auto driver = Choose();
        return driver && driver->CurrentMode(mode);
    }

    std::vector<DisplayDevice> Devices() override {
        auto driver = Choose();
        return driver ? driver->Devices() : std::vector<DisplayDevice>{};
    }

    int ChangeAttachment(const DisplayDevice& device, const DisplayMode& mode,
                         bool attach) override {
        std::shared_ptr<MirrorDriver> previous;
        {
            std::lock_guard lock(mutex_);
            previous = attached_;
        }
        // Detaching goes to the backend that was attached, if any.
        if (!attach && previous) {
            int code = previous->ChangeAttachment(device, mode, false);
            std::lock_guard lock(mutex_);
            attached_.reset();
            return code;
        }
        auto driver = Choose();
        if (!driver) return attach ? kDispChangeFailed : kDispChangeSuccessful;
        if (previous && previous != driver) previous->ChangeAttachment(device, mode, false);
        int code = driver->ChangeAttachment(device, mode, attach);
        std::lock_guard lock(mutex_);
        attached_ = attach && code == kDispChangeSuccessful ? driver : nullptr;
        return code;
    }

    int Escape(int escape, const void* in, size_t in_bytes, void* out, size_t out_bytes) override {
        std::shared_ptr<MirrorDriver> driver = Attached();
        return driver ? driver->Escape(escape, in, in_bytes, out, out_bytes) : 0;
    }

    bool LendPixels(int x, int y, int width, int height, const uint8_t** pixels,
                    ptrdiff_t* stride) override {
        std::shared_ptr<MirrorDriver> driver = Attached();
        return driver && driver->LendPixels(x, y, width, height, pixels, stride);
    }

  private:
    // The attached backend, kept alive for the call even if another thread detaches it.
    std::shared_ptr<MirrorDriver> Attached() {
        std::lock_guard lock(mutex_);
        return attached_;
    }

    std::shared_ptr<MirrorDriver> Choose() {
        const platform::CaptureBackend backend = platform::ChooseCaptureBackend();
        std::lock_guard lock(mutex_);
        if (backend == platform::CaptureBackend::kPortal) {
            if (!portal_) portal_ = CreatePortalMirrorDriver();
            return portal_;
        }
        if (backend == platform::CaptureBackend::kX11) {
            if (!x11_) x11_ = CreateX11MirrorDriver();
            return x11_;
        }
        return nullptr;
    }

    std::mutex mutex_;
    std::shared_ptr<MirrorDriver> x11_;
    std::shared_ptr<MirrorDriver> portal_;
    std::shared_ptr<MirrorDriver> attached_;
};

}  // namespace

std::shared_ptr<MirrorDriver> CreateDefaultMirrorDriver() {
    return std::make_shared<SelectingMirrorDriver>();
}

}  // namespace mirror
