// The mirror driver on X11: the DAMAGE extension on the root window. Attaching the mirror device
// starts a DamageTracker, escape 9998 hands its collected area back as at most 16 boxes, less the
// tiles whose pixels did not change (TileRefiner, when the root's pixels can be read), and the
// grid and resolution escapes are accepted (DAMAGE needs neither). The refiner's copy of the screen
// is lent to the capture, which then sends the pixels the refiner compared instead of reading the
// same area again.
//
// Without DAMAGE (or with BEAMORA_MIRROR_POLL=1, for servers whose DAMAGE misses some drawing),
// the mirror device polls instead: every box query reads the whole screen and reports the tiles
// that differ from the previous read. That costs one screen read per query.
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/Xfixes.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "mirror/BoxReducer.h"
#include "mirror/MirrorBackends.h"
#include "mirror/MirrorDriver.h"
#include "mirror/TileRefiner.h"
#include "mirror/x11/DamageTracker.h"
#include "mirror/x11/Outputs.h"
#include "mirror/x11/XcbScreenReader.h"
#include "platform/Debug.h"
#include "platform/x11/XDisplay.h"

namespace mirror {
namespace {

constexpr char kDamageDeviceName[] = "DAMAGE";
constexpr char kPollingDeviceName[] = "POLL";

bool PollingForced() {
    const char* env = std::getenv("BEAMORA_MIRROR_POLL");
    return env != nullptr && std::strcmp(env, "1") == 0;
}

bool HasDamage(Display* display, int* major, int* minor) {
    int event_base, error_base;
    *major = 1;
    *minor = 1;
    return XDamageQueryExtension(display, &event_base, &error_base) &&
           XFixesQueryExtension(display, &event_base, &error_base) &&
           XDamageQueryVersion(display, major, minor);
}

int BitsPerPixel(Display* display, int depth) {
    int count = 0;
    int bits = depth;
    if (XPixmapFormatValues* formats = XListPixmapFormats(display, &count)) {
        for (int i = 0; i < count; ++i) {
            if (formats[i].depth == depth) bits = formats[i].bits_per_pixel;
        }
        XFree(formats);
    }
    return bits;
}

class DamageMirrorDriver final : public MirrorDriver {
  public:
    bool CurrentMode(DisplayMode* mode) override {
        platform::XDisplayPtr display(XOpenDisplay(nullptr));
        if (!display) return false;
        int screen = DefaultScreen(display.get());
        mode->width_px = DisplayWidth(display.get(), screen);
        mode->height_px = DisplayHeight(display.get(), screen);
        mode->bits_per_pixel = BitsPerPixel(display.get(), DefaultDepth(display.get(), screen));
        return true;
    }

    std::vector<DisplayDevice> Devices() override {
        platform::XDisplayPtr display(XOpenDisplay(nullptr));
        if (!display) return {};
        std::vector<DisplayDevice> devices = x11::ListOutputs(display.get());
        DisplayDevice device;
        int major, minor;
        if (!PollingForced() && HasDamage(display.get(), &major, &minor)) {
            device.name = kDamageDeviceName;
            char id[32];
            std::snprintf(id, sizeof id, "XDAMAGE\\%d.%d", major, minor);
            device.id = id;
        } else if (x11::XcbScreenReader::Open(nullptr)) {
            device.name = kPollingDeviceName;
            device.id = "POLL\\TILES";
        } else {
            return devices;
        }
        device.string = kMirrorDeviceString;
        device.key = DisplayString(display.get());
        device.state_flags = kDeviceMirroring;
        std::lock_guard lock(mutex_);
        if (tracker_ || polling_) device.state_flags |= kDeviceAttachedToDesktop;
        devices.push_back(std::move(device));
        return devices;
    }

    int ChangeAttachment(const DisplayDevice& device, const DisplayMode&, bool attach) override {
        bool damage = device.name == kDamageDeviceName;
        if (!damage && device.name != kPollingDeviceName) return kDispChangeFailed;
        std::lock_guard lock(mutex_);
        tracker_.reset();
        refiner_.reset();
        reader_.reset();
        polling_ = false;
        if (!attach) return kDispChangeSuccessful;
        if (damage) {
            std::string error;
            tracker_ = x11::DamageTracker::Open(nullptr, &error);
            if (!tracker_) {
                platform::DebugFormat("DAMAGE: %s\n", error.c_str());
                return kDispChangeFailed;
            }
        }
        // With DAMAGE and without a reader the damage goes out as the server reports it.
        reader_ = x11::XcbScreenReader::Open(nullptr);
        if (reader_) {
            refiner_ = std::make_unique<TileRefiner>(reader_->WidthPx(), reader_->HeightPx());
        } else if (!damage) {
            return kDispChangeFailed;
        }
        polling_ = !damage;
        return kDispChangeSuccessful;
    }

    int Escape(int escape, const void*, size_t in_bytes, void* out, size_t out_bytes) override {
        std::lock_guard lock(mutex_);
        if (!tracker_ && !polling_) return 0;
        return AnswerEscapeWithBoxes(escape, in_bytes, out, out_bytes,
                                     [this](tagBOX* boxes) { return QueryBoxes(boxes); });
    }

    bool LendPixels(int x, int y, int width, int height, const uint8_t** pixels,
                    ptrdiff_t* stride) override {
        std::lock_guard lock(mutex_);
        if (!refiner_ || !reader_->Bgrx()) return false;
        const uint32_t* words = nullptr;
        ptrdiff_t stride_px = 0;
        if (!refiner_->Lend(PixelRect{x, y, width, height}, &words, &stride_px)) return false;
        *pixels = reinterpret_cast<const uint8_t*>(words);
        *stride = stride_px * 4;
        return true;
    }

  private:
    // Escape 9998 with mutex_ held.
    bool QueryBoxes(tagBOX* boxes) {
        if (polling_) {
            // Every tile is looked at; one that equals the last read is trusted without the
            // second look a damaged tile gets, or every tile would go out on every pass.
            rects_.assign(1, PixelRect{0, 0, reader_->WidthPx(), reader_->HeightPx()});
            refiner_->Refine(rects_, *reader_, &changed_, /*recheck_reported=*/false);
            ReduceToBoxes(changed_, boxes);
            return true;
        }
        if (!tracker_->Take(&rects_)) return false;
        if (refiner_) {
            refiner_->Refine(rects_, *reader_, &changed_);
            ReduceToBoxes(changed_, boxes);
        } else {
            ReduceToBoxes(rects_, boxes);
        }
        return true;
    }

  private:
    std::mutex mutex_;
    std::unique_ptr<x11::DamageTracker> tracker_;   // set while attached to DAMAGE
    bool polling_ = false;                          // attached, polling
    std::unique_ptr<x11::XcbScreenReader> reader_;  // set while attached, if pixels can be read
    std::unique_ptr<TileRefiner> refiner_;          // set with reader_
    std::vector<PixelRect> rects_;                  // damage, reused by every box query
    std::vector<PixelRect> changed_;                // what of it really changed
};

}  // namespace

std::shared_ptr<MirrorDriver> CreateX11MirrorDriver() {
    return std::make_shared<DamageMirrorDriver>();
}

}  // namespace mirror
