// The mirror driver on Windows: the display devices (EnumDisplayDevicesA), the mirror device
// attached through its "Attach.ToDesktop" registry values and ChangeDisplaySettingsExA, and the
// three escapes sent with ExtEscape on a device context made with CreateDCA.
//
// Without the mirror device (Wine, and Windows 8 and later, which no longer load mirror drivers)
// nothing would ever report a changed box, and the receiver's picture would stay the first full
// frame. So, as the X11 build does without DAMAGE, a polling device takes its place: each box
// query reads the screen with BitBlt and reports the 32 x 32 tiles whose pixels differ from the
// last ones seen (TileRefiner). That costs one screen read per query.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>

#include "mirror/BoxReducer.h"
#include "mirror/MirrorDriver.h"
#include "mirror/TileRefiner.h"
#include "platform/Debug.h"
#include "platform/windows/GdiHandles.h"

namespace mirror {
namespace {

constexpr char kPollingDeviceName[] = "POLL";
constexpr char kVideoKeyPrefix[] = "SYSTEM\\CURRENTCONTROLSET\\CONTROL\\VIDEO\\";
constexpr char kHardwareProfileVideo[] =
    "SYSTEM\\CURRENTCONTROLSET\\HARDWARE PROFILES\\CURRENT\\SYSTEM\\CURRENTCONTROLSET\\CONTROL\\"
    "VIDEO\\";
constexpr char kHardwareProfileService[] =
    "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\Services\\"
    "mirror";

struct KeyClose {
    void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using RegistryKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyClose>;
using DeviceContext = platform::MemoryDc;
using platform::GdiObject;
using platform::ScreenDc;
struct ServiceClose {
    void operator()(SC_HANDLE handle) const { ::CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceClose>;

RegistryKey CreateKey(HKEY parent, const std::string& path) {
    HKEY key = nullptr;
    LONG result = ::RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    &key, nullptr);
    if (result == ERROR_CHILD_MUST_BE_VOLATILE) {
        // Where "Hardware Profiles\Current" is a volatile key (Wine), its keys must be too; the
        // attachment lasts for the session anyway.
        result = ::RegCreateKeyExA(parent, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                                   KEY_ALL_ACCESS, nullptr, &key, nullptr);
    }
    if (result != ERROR_SUCCESS) return nullptr;
    return RegistryKey(key);
}

bool SetAttach(HKEY key, DWORD value) {
    return ::RegSetValueExA(key, "Attach.ToDesktop", 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&value), sizeof value) == ERROR_SUCCESS;
}

// Writes the device's "Attach.ToDesktop" values; false (with the line said) when it cannot.
bool WriteAttachValues(const DisplayDevice& device, bool attach) {
    std::string key = device.key;
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    size_t at = key.find("\\DEVICE");
    const std::string sub_key = at == std::string::npos ? "DEVICE0" : key.substr(at + 1);
    const DWORD value = attach ? 1 : 0;
    size_t video = key.find(kVideoKeyPrefix);
    if (video != std::string::npos) {
        RegistryKey profile =
            CreateKey(HKEY_LOCAL_MACHINE,
                      kHardwareProfileVideo + key.substr(video + std::strlen(kVideoKeyPrefix)));
        if (!profile) {
            platform::DebugOutput("Can't access registry.\n");
            return false;
        }
        if (!SetAttach(profile.get(), value)) {
            platform::DebugOutput("Can't set Attach.ToDesktop to 0x1\n");
            return false;
        }
    }
    RegistryKey service = CreateKey(HKEY_LOCAL_MACHINE, kHardwareProfileService);
    if (!service) {
        platform::DebugOutput("Can't access registry.\n");
        return false;
    }
    RegistryKey device_key = CreateKey(service.get(), sub_key);
    if (!device_key) {
        platform::DebugOutput("Can't access DEVICE# hardware profiles key.\n");
        return false;
    }
    if (!SetAttach(device_key.get(), value)) {
        platform::DebugOutput("Can't set Attach.ToDesktop to 0x1\n");
        return false;
    }
    return true;
}

const char* DispCodeText(LONG code) {
    switch (code) {
        case DISP_CHANGE_SUCCESSFUL:
            return "Change Successful";
        case DISP_CHANGE_RESTART:
            return "Must Restart";
        case DISP_CHANGE_FAILED:
            return "Failed";
        case DISP_CHANGE_BADMODE:
            return "Bad Mode";
        case DISP_CHANGE_NOTUPDATED:
            return "Not Updated";
        case DISP_CHANGE_BADFLAGS:
            return "Bad Flags";
        case DISP_CHANGE_BADPARAM:
            return "Bad Parameters";
        default:
            return "Unknown code";
    }
}

// Reads the screen with BitBlt into a top-down DIB section, for the polling device's tiles.
class GdiPixelReader final : public PixelReader {
  public:
    bool Open() {
        screen_.reset(::GetDC(nullptr));
        width_ = ::GetSystemMetrics(SM_CXSCREEN);
        height_ = ::GetSystemMetrics(SM_CYSCREEN);
        if (!screen_ || width_ <= 0 || height_ <= 0) return false;
        BITMAPINFO info = platform::Dib32Info(width_, -height_);
        void* bits = nullptr;
        bitmap_.reset(::CreateDIBSection(screen_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        memory_.reset(::CreateCompatibleDC(screen_.get()));
        if (!bitmap_ || !memory_ || bits == nullptr) return false;
        ::SelectObject(memory_.get(), bitmap_.get());
        bits_ = static_cast<uint32_t*>(bits);
        return true;
    }
    int WidthPx() const { return width_; }
    int HeightPx() const { return height_; }

    // The DIB section is a frame of the whole screen: every read lands in it at its place.
    bool Read(const PixelRect& area, const uint32_t** pixels) override {
        if (!Blit(area)) return false;
        lent_.resize(static_cast<size_t>(area.width) * area.height);
        for (int row = 0; row < area.height; ++row) {
            const uint32_t* from = bits_ + static_cast<size_t>(area.y + row) * width_ + area.x;
            std::copy(from, from + area.width,
                      lent_.data() + static_cast<size_t>(row) * area.width);
        }
        *pixels = lent_.data();
        return true;
    }
    uint32_t* Frame(int width_px, int height_px) override {
        return width_px == width_ && height_px == height_ ? bits_ : nullptr;
    }
    bool ReadRows(int y0, int y1) override {
        return y0 >= 0 && y1 <= height_ && y0 < y1 && Blit(PixelRect{0, y0, width_, y1 - y0});
    }

  private:
    bool Blit(const PixelRect& area) {
        if (!::BitBlt(memory_.get(), area.x, area.y, area.width, area.height, screen_.get(), area.x,
                      area.y, SRCCOPY | CAPTUREBLT)) {
            return false;
        }
        ::GdiFlush();
        return true;
    }

    ScreenDc screen_;
    GdiObject bitmap_;  // declared before memory_: the DC lets go of it first
    DeviceContext memory_;
    uint32_t* bits_ = nullptr;
    std::vector<uint32_t> lent_;  // the last area read, lent
    int width_ = 0;
    int height_ = 0;
};

class DisplayMirrorDriver final : public MirrorDriver {
  public:
    bool CurrentMode(DisplayMode* mode) override {
        DEVMODEA settings{};
        settings.dmSize = sizeof settings;
        if (!::EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &settings)) return false;
        mode->width_px = static_cast<int>(settings.dmPelsWidth);
        mode->height_px = static_cast<int>(settings.dmPelsHeight);
        mode->bits_per_pixel = static_cast<int>(settings.dmBitsPerPel);
        return true;
    }

    std::vector<DisplayDevice> Devices() override {
        std::vector<DisplayDevice> devices;
        bool mirror_found = false;
        DISPLAY_DEVICEA info{};
        info.cb = sizeof info;
        for (DWORD index = 0; ::EnumDisplayDevicesA(nullptr, index, &info, 0); ++index) {
            DisplayDevice device;
            device.name = info.DeviceName;
            device.string = info.DeviceString;
            device.id = info.DeviceID;
            device.key = info.DeviceKey;
            device.state_flags =
                info.StateFlags & (kDeviceAttachedToDesktop | kDevicePrimary | kDeviceMirroring);
            mirror_found |= device.string == kMirrorDeviceString;
            devices.push_back(std::move(device));
            info = {};
            info.cb = sizeof info;
        }
        if (!mirror_found) {
            DisplayDevice polling;
            polling.name = kPollingDeviceName;
            polling.string = kMirrorDeviceString;
            polling.id = "POLL\\TILES";
            polling.state_flags = kDeviceMirroring;
            std::lock_guard lock(mutex_);
            if (refiner_) polling.state_flags |= kDeviceAttachedToDesktop;
            devices.push_back(std::move(polling));
        }
        return devices;
    }

    int ChangeAttachment(const DisplayDevice& device, const DisplayMode& mode,
                         bool attach) override {
        std::lock_guard lock(mutex_);
        context_.reset();
        refiner_.reset();
        reader_.reset();
        if (device.name == kPollingDeviceName) {
            if (!attach) return kDispChangeSuccessful;
            auto reader = std::make_unique<GdiPixelReader>();
            if (!reader->Open()) return kDispChangeFailed;
            refiner_ = std::make_unique<TileRefiner>(reader->WidthPx(), reader->HeightPx());
            reader_ = std::move(reader);
            platform::DebugOutput("No mirror driver: changes are found by comparing tiles\n");
            return kDispChangeSuccessful;
        }
        if (!WriteAttachValues(device, attach)) return kDispChangeFailed;
        DEVMODEA settings{};
        settings.dmSize = sizeof settings;
        std::strncpy(reinterpret_cast<char*>(settings.dmDeviceName), "mirror",
                     sizeof settings.dmDeviceName - 1);
        settings.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
        settings.dmBitsPerPel = static_cast<DWORD>(mode.bits_per_pixel);
        settings.dmPelsWidth = static_cast<DWORD>(mode.width_px);
        settings.dmPelsHeight = static_cast<DWORD>(mode.height_px);
        LONG code = ::ChangeDisplaySettingsExA(device.name.c_str(), &settings, nullptr,
                                               CDS_UPDATEREGISTRY, nullptr);
        platform::DebugFormat("Update Register on device mode: %s\n", DispCodeText(code));
        code = ::ChangeDisplaySettingsExA(device.name.c_str(), &settings, nullptr, 0, nullptr);
        context_.reset(::CreateDCA("DISPLAY", device.name.c_str(), nullptr, nullptr));
        return static_cast<int>(code);
    }

    int Escape(int escape, const void* in, size_t in_bytes, void* out, size_t out_bytes) override {
        std::lock_guard lock(mutex_);
        if (refiner_) return PollingEscape(escape, in_bytes, out, out_bytes);
        if (!context_) return 0;
        return ::ExtEscape(context_.get(), escape, static_cast<int>(in_bytes),
                           static_cast<LPCSTR>(in), static_cast<int>(out_bytes),
                           static_cast<LPSTR>(out));
    }

  private:
    // The polling device's escapes, with mutex_ held: the grid and resolution are accepted (whole
    // tiles need neither), the box query compares the tiles.
    int PollingEscape(int escape, size_t in_bytes, void* out, size_t out_bytes) {
        return AnswerEscapeWithBoxes(escape, in_bytes, out, out_bytes, [this](tagBOX* boxes) {
            // Every tile is looked at; one that equals the last read is trusted without a
            // second look, or every tile would go out on every pass.
            rects_.assign(1, PixelRect{0, 0, reader_->WidthPx(), reader_->HeightPx()});
            refiner_->Refine(rects_, *reader_, &changed_, /*recheck_reported=*/false);
            ReduceToBoxes(changed_, boxes);
            return true;
        });
    }

    std::mutex mutex_;
    DeviceContext context_;                   // on the attached mirror device
    std::unique_ptr<GdiPixelReader> reader_;  // set while the polling device is attached
    std::unique_ptr<TileRefiner> refiner_;    // set with reader_
    std::vector<PixelRect> rects_;
    std::vector<PixelRect> changed_;
};

}  // namespace

std::shared_ptr<MirrorDriver> CreateDefaultMirrorDriver() {
    return std::make_shared<DisplayMirrorDriver>();
}

int PauseWirelessService() {
    ServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return 0;
    ServiceHandle service(::OpenServiceA(manager.get(), "WZCSVC", SERVICE_ALL_ACCESS));
    if (!service) return 0;
    SERVICE_STATUS status{};
    ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    return 1;
}

int ResumeWirelessService() {
    ServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return 0;
    ServiceHandle service(::OpenServiceA(manager.get(), "WZCSVC", SERVICE_ALL_ACCESS));
    if (!service) return 0;
    SERVICE_STATUS status{};
    ::ControlService(service.get(), SERVICE_CONTROL_INTERROGATE, &status);
    if (status.dwCurrentState == SERVICE_STOPPED) {
        return ::StartServiceA(service.get(), 0, nullptr) ? 1 : 0;
    }
    return 1;
}

}  // namespace mirror
