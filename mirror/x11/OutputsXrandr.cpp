#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <cstdio>
#include <memory>

#include "mirror/x11/Outputs.h"

namespace mirror::x11 {
namespace {

struct ResourcesFree {
    void operator()(XRRScreenResources* r) const { XRRFreeScreenResources(r); }
};
struct OutputFree {
    void operator()(XRROutputInfo* o) const { XRRFreeOutputInfo(o); }
};
struct CrtcFree {
    void operator()(XRRCrtcInfo* c) const { XRRFreeCrtcInfo(c); }
};

}  // namespace

std::vector<DisplayDevice> ListOutputs(_XDisplay* display) {
    int event_base, error_base, major = 0, minor = 0;
    if (!XRRQueryExtension(display, &event_base, &error_base) ||
        !XRRQueryVersion(display, &major, &minor) || (major == 1 && minor < 3)) {
        return {ScreenAsDevice(display)};
    }
    Window root = DefaultRootWindow(display);
    std::unique_ptr<XRRScreenResources, ResourcesFree> resources(
        XRRGetScreenResourcesCurrent(display, root));
    if (!resources || resources->noutput == 0) return {ScreenAsDevice(display)};
    RROutput primary = XRRGetOutputPrimary(display, root);

    std::vector<DisplayDevice> devices;
    bool have_primary = false;
    for (int i = 0; i < resources->noutput; ++i) {
        RROutput output = resources->outputs[i];
        std::unique_ptr<XRROutputInfo, OutputFree> info(
            XRRGetOutputInfo(display, resources.get(), output));
        if (!info) continue;
        DisplayDevice device;
        device.name.assign(info->name, static_cast<size_t>(info->nameLen));
        device.string = "X output (off)";
        char id[32];
        std::snprintf(id, sizeof id, "RANDR\\OUTPUT_0x%lx", static_cast<unsigned long>(output));
        device.id = id;
        device.key = DisplayString(display);
        if (info->crtc != 0) {
            std::unique_ptr<XRRCrtcInfo, CrtcFree> crtc(
                XRRGetCrtcInfo(display, resources.get(), info->crtc));
            if (crtc && crtc->mode != 0) {
                char geometry[64];
                std::snprintf(geometry, sizeof geometry, "X output %ux%u%+d%+d", crtc->width,
                              crtc->height, crtc->x, crtc->y);
                device.string = geometry;
                device.state_flags |= kDeviceAttachedToDesktop;
            }
        }
        if (output == primary) {
            device.state_flags |= kDevicePrimary;
            have_primary = true;
        }
        devices.push_back(std::move(device));
    }
    // Without a primary output set, the first one showing a picture is the primary display.
    if (!have_primary) {
        for (DisplayDevice& device : devices) {
            if (device.state_flags & kDeviceAttachedToDesktop) {
                device.state_flags |= kDevicePrimary;
                break;
            }
        }
    }
    if (devices.empty()) return {ScreenAsDevice(display)};
    return devices;
}

}  // namespace mirror::x11
