// The mirror driver as Vitrex sees it: the display devices, attaching the mirror device, and the
// three escapes. One backend is compiled in (chosen by CMake); tests put a scripted one in its
// place with SetMirrorDriver.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct tagBOX;  // Vitrex.h

namespace mirror {

// The text that identifies the mirror device among the display devices.
inline constexpr char kMirrorDeviceString[] = "KOVRAL Mirror Driver";

// Escape codes and their record sizes, bytes.
constexpr int kEscapeSetGrid = 9996;        // in: int16 unit x (low half), int16 unit y (high)
constexpr int kEscapeSetResolution = 9997;  // in: one int32
constexpr int kEscapeGetBoxes = 9998;       // out: 16 tagBOX entries
constexpr size_t kGridBytes = 4;
constexpr size_t kResolutionBytes = 4;
constexpr size_t kBoxesBytes = 128;

// State flags of a display device.
constexpr uint32_t kDeviceAttachedToDesktop = 1;
constexpr uint32_t kDevicePrimary = 4;
constexpr uint32_t kDeviceMirroring = 8;

// Display-change codes (what attaching answers).
constexpr int kDispChangeSuccessful = 0;
constexpr int kDispChangeFailed = -1;

struct DisplayMode {
    int width_px = 0;
    int height_px = 0;
    int bits_per_pixel = 0;
};

struct DisplayDevice {
    std::string name;    // e.g. an output name, "VGA-1"
    std::string string;  // what the device calls itself; kMirrorDeviceString for the mirror
    std::string id;
    std::string key;
    uint32_t state_flags = 0;  // kDevice* bits
};

class MirrorDriver {
  public:
    virtual ~MirrorDriver() = default;

    // The current mode of the primary display; false when there is no display to ask. Called by
    // Vitrex on attach and detach (thread that starts or stops projection).
    virtual bool CurrentMode(DisplayMode* mode) = 0;
    // Every display device, in a stable order; the mirror device is among them when the driver
    // can work. Same thread as CurrentMode.
    virtual std::vector<DisplayDevice> Devices() = 0;
    // Attaches (attach true) or detaches the mirror device; a kDispChange* code. Detaching a
    // detached device succeeds. Same thread as CurrentMode.
    virtual int ChangeAttachment(const DisplayDevice& device, const DisplayMode& mode,
                                 bool attach) = 0;
    // One escape (ExtEscape semantics): positive on success, 0 when the driver is not attached or
    // does not know the escape, negative on failure (wrong record sizes, lost connection). in and
    // out are the caller's buffers of in_bytes and out_bytes. Any thread; the backend serialises.
    virtual int Escape(int escape, const void* in, size_t in_bytes, void* out,
                       size_t out_bytes) = 0;
    // The screen pixels of the area (x, y, width, height; screen pixels) as the driver saw them
    // for its last box answer, when it keeps a copy of the screen (as a mirror driver keeps its
    // frame buffer): *pixels is the area's top row of 32-bit pixels (bytes blue, green, red,
    // unused), rows *stride bytes apart, valid until the next escape or detach. False when it
    // cannot lend the whole area. The thread that asks for the boxes.
    virtual bool LendPixels(int /*x*/, int /*y*/, int /*width*/, int /*height*/,
                            const uint8_t** /*pixels*/, ptrdiff_t* /*stride*/) {
        return false;
    }
};

// Escape for a backend that needs neither the grid nor the resolution (DAMAGE, the ScreenCast
// portal, tile polling): both are accepted when their records are whole, and the box query fills
// the caller's 16 boxes through query (a bool (tagBOX* boxes) callable; false: it failed).
// Answers as MirrorDriver::Escape does. The backend's thread rules apply to query.
template <typename Query>
int AnswerEscapeWithBoxes(int escape, size_t in_bytes, void* out, size_t out_bytes, Query&& query) {
    switch (escape) {
        case kEscapeSetGrid:
            return in_bytes >= kGridBytes ? 1 : -1;
        case kEscapeSetResolution:
            return in_bytes >= kResolutionBytes ? 1 : -1;
        case kEscapeGetBoxes:
            if (out == nullptr || out_bytes < kBoxesBytes) return -1;
            return query(static_cast<::tagBOX*>(out)) ? 1 : -1;
        default:
            return 0;
    }
}

// The wireless configuration service "WZCSVC", paused while the mirror device is attached (its
// scans disturb the driver on Windows). Pause: stops it; 1 when the service could be opened, else
// 0. Resume: starts it again when it is stopped; 1 when it runs (or was started), 0 when it
// cannot be opened or started. Systems without the service answer 0. Thread that attaches.
int PauseWirelessService();
int ResumeWirelessService();

// The backend compiled into this build (Windows display devices, X11 DAMAGE, or none).
std::shared_ptr<MirrorDriver> CreateDefaultMirrorDriver();

// The driver Vitrex uses: the one set by SetMirrorDriver, else the default (made on first use).
// Any thread.
std::shared_ptr<MirrorDriver> CurrentMirrorDriver();
// Replaces the driver (tests); nullptr goes back to the default. Contexts already made keep the
// driver they were made on.
void SetMirrorDriver(std::shared_ptr<MirrorDriver> driver);
// Forgets the current mirror context (Vitrex::m_hdcMirror becomes null), as before the first
// attach (tests).
void DropMirrorContext();

}  // namespace mirror
