// The mirror driver on Wayland: the damage rectangles of the ScreenCast portal's stream, the cast
// the capture opened. Attaching the mirror device takes that cast, escape 9998 hands the damage of
// the frames since the last query back as at most 16 boxes (merged like DAMAGE's), and the grid
// and resolution escapes are accepted.
#include <mutex>

#include "mirror/BoxReducer.h"
#include "mirror/MirrorBackends.h"
#include "platform/Debug.h"
#include "platform/wayland/ScreenCast.h"

namespace mirror {
namespace {

constexpr char kCastDeviceName[] = "SCREENCAST";
constexpr char kMonitorDeviceName[] = "PORTAL-MONITOR";

class PortalMirrorDriver final : public MirrorDriver {
  public:
    // The running cast's frames; after it has ended (a detach at the projection's end), the
    // last size seen.
    bool CurrentMode(DisplayMode* mode) override {
        std::lock_guard lock(mutex_);
        auto cast = platform::wayland::RunningScreenCast();
        if (cast && cast->Alive(nullptr)) {
            last_mode_.width_px = cast->Width();
            last_mode_.height_px = cast->Height();
            last_mode_.bits_per_pixel = 32;
        }
        if (last_mode_.width_px <= 0) return false;
        *mode = last_mode_;
        return true;
    }

    std::vector<DisplayDevice> Devices() override {
        std::vector<DisplayDevice> devices;
        DisplayDevice monitor;
        monitor.name = kMonitorDeviceName;
        monitor.string = "ScreenCast portal monitor";
        monitor.state_flags = kDeviceAttachedToDesktop | kDevicePrimary;
        devices.push_back(monitor);
        DisplayDevice device;
        device.name = kCastDeviceName;
        device.string = kMirrorDeviceString;
        device.id = "PORTAL\\SCREENCAST";
        device.state_flags = kDeviceMirroring;
        std::lock_guard lock(mutex_);
        if (cast_.lock()) device.state_flags |= kDeviceAttachedToDesktop;
        devices.push_back(std::move(device));
        return devices;
    }

    int ChangeAttachment(const DisplayDevice& device, const DisplayMode&, bool attach) override {
        if (device.name != kCastDeviceName) return kDispChangeFailed;
        std::lock_guard lock(mutex_);
        cast_.reset();
        if (!attach) return kDispChangeSuccessful;
        // Only watched, not owned: the capture's desktop decides how long the cast lives.
        auto cast = platform::wayland::RunningScreenCast();
        if (!cast || !cast->Alive(nullptr)) {
            platform::DebugOutput("SCREENCAST: no screen cast is running\n");
            return kDispChangeFailed;
        }
        cast_ = cast;
        return kDispChangeSuccessful;
    }

    int Escape(int escape, const void*, size_t in_bytes, void* out, size_t out_bytes) override {
        std::lock_guard lock(mutex_);
        auto cast = cast_.lock();
        if (!cast) return 0;
        return AnswerEscapeWithBoxes(escape, in_bytes, out, out_bytes, [&](tagBOX* boxes) {
            if (!cast->TakeDamage(&damage_)) return false;
            rects_.clear();
            for (const auto& r : damage_) rects_.push_back({r.x, r.y, r.width, r.height});
            ReduceToBoxes(rects_, boxes);
            return true;
        });
    }

  private:
    std::mutex mutex_;
    DisplayMode last_mode_;
    std::weak_ptr<platform::wayland::ScreenCast> cast_;  // set while attached
    std::vector<platform::wayland::CastRect> damage_;    // reused by every box query
    std::vector<PixelRect> rects_;
};

}  // namespace

std::shared_ptr<MirrorDriver> CreatePortalMirrorDriver() {
    return std::make_shared<PortalMirrorDriver>();
}

}  // namespace mirror
