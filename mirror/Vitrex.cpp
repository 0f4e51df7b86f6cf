#include "mirror/Vitrex.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mirror/MirrorDriver.h"
#include "platform/Debug.h"
#include "platform/NoDestructor.h"
#include "platform/Paths.h"
#include "platform/Profile.h"

// A context on the mirror device: escapes sent on it go to the driver it was made on.
struct VitrexContext {
    std::shared_ptr<mirror::MirrorDriver> driver;
    std::string device_name;
};

std::atomic<VitrexContext*> Vitrex::m_hdcMirror{nullptr};
std::atomic<int16_t> Vitrex::m_unit_x{kVitrexNoGrid};
std::atomic<int16_t> Vitrex::m_unit_y{kVitrexNoGrid};
std::atomic<float> Vitrex::m_cof_x{1.0f};
std::atomic<float> Vitrex::m_cof_y{1.0f};
char Vitrex::m_ConfigPath[4096] = {};

namespace {

using mirror::MirrorDriver;

constexpr char kConfigFileName[] = "panvo.ini";
// Profile values are read as at most this many characters.
constexpr size_t kProfileValueChars = 63;

// The current context. m_hdcMirror mirrors its address; the shared pointer keeps a context that
// an escape is using alive while an attach on another thread replaces it.
struct ContextSlot {
    std::mutex mutex;
    std::shared_ptr<VitrexContext> context;
};

// Never destroyed: the client detaches the driver from static destructors at process exit.
ContextSlot& Contexts() {
    static platform::NoDestructor<ContextSlot> slot;
    return *slot;
}

std::shared_ptr<VitrexContext> CurrentContext() {
    ContextSlot& slot = Contexts();
    std::lock_guard lock(slot.mutex);
    return slot.context;
}

void ReplaceContext(std::shared_ptr<VitrexContext> context) {
    ContextSlot& slot = Contexts();
    std::lock_guard lock(slot.mutex);
    slot.context = std::move(context);
    Vitrex::m_hdcMirror.store(slot.context.get());
}

// ExtEscape on the current context: 0 when there is none.
int SendEscape(int escape, const void* in, size_t in_bytes, void* out, size_t out_bytes) {
    std::shared_ptr<VitrexContext> context = CurrentContext();
    if (!context || !context->driver) return 0;
    return context->driver->Escape(escape, in, in_bytes, out, out_bytes);
}

unsigned long ResultCode(int answer) {
    if (answer == 0) return VITREX_NOT_READY;
    return answer < 0 ? VITREX_FAILED : VITREX_OK;
}

void PutLittleEndian16(unsigned char* out, int16_t value) {
    uint16_t bits = static_cast<uint16_t>(value);
    out[0] = static_cast<unsigned char>(bits & 0xFF);
    out[1] = static_cast<unsigned char>(bits >> 8);
}

// Serialises SetVideoGrid: it works out the path once and stores the four values as a group.
std::mutex& GridMutex() {
    static platform::NoDestructor<std::mutex> mutex;
    return *mutex;
}

void StoreGrid(int unit_x, int unit_y, float cof_x, float cof_y) {
    Vitrex::m_unit_x.store(static_cast<int16_t>(unit_x));
    Vitrex::m_unit_y.store(static_cast<int16_t>(unit_y));
    Vitrex::m_cof_x.store(cof_x);
    Vitrex::m_cof_y.store(cof_y);
}

// The executable's directory followed by "/panvo.ini"; left empty (no file) when it does not fit.
void FillConfigPath() {
    std::string path = platform::ModuleDirectory();
    if (path.empty()) return;
    if (path.back() != '/') path += '/';
    path += kConfigFileName;
    if (path.size() >= sizeof Vitrex::m_ConfigPath) {
        platform::DebugFormat("%s path too long\n", kConfigFileName);
        return;
    }
    std::memcpy(Vitrex::m_ConfigPath, path.c_str(), path.size() + 1);
}

// Reads floating-point text the way atof does (leading number, 0.0 when there is none), but
// independent of the process locale: the file always uses a decimal point.
double ParseProfileFloat(std::string_view text) {
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) return 0.0;
    text.remove_prefix(start);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0.0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc()) return 0.0;
    return value;
}

std::string ProfileValue(const std::optional<platform::Profile>& profile, const char* section,
                         const char* key, const char* fallback) {
    std::string value = fallback;
    if (profile) {
        if (auto found = profile->Find(section, key)) value = *found;
    }
    if (value.size() > kProfileValueChars) value.resize(kProfileValueChars);
    return value;
}

// A coefficient the client can scale with: a positive factor up to 1.0, or an encoded ratio whose
// numerator (bits 15..8) and denominator (bits 7..0) are both non-zero.
bool UsableCoefficient(float cof) {
    if (!std::isfinite(cof) || cof <= 0.0f) return false;
    if (cof <= 1.0f) return true;
    if (cof >= 65536.0f) return false;
    int n = static_cast<int>(cof);
    return (n >> 8) != 0 && (n & 0xFF) != 0;
}

// A unit that survives the 16-bit store and divides: 1 to 32767 (9999 and above: no grid).
bool UsableUnit(int unit) {
    return unit >= 1 && unit <= INT16_MAX;
}

// Cells of about 1/64 of the side: side / 64, plus one when it does not divide evenly.
int ComputedUnit(int side_px) {
    int unit = side_px / 64 + (side_px % 64 != 0 ? 1 : 0);
    return unit > INT16_MAX ? INT16_MAX : unit;
}

int16_t Saturate16(int value) {
    if (value > INT16_MAX) return INT16_MAX;
    if (value < INT16_MIN) return INT16_MIN;
    return static_cast<int16_t>(value);
}

bool IsEndBox(const tagBOX& box) {
    return box.left == kVitrexBoxEnd || box.top == kVitrexBoxEnd || box.right == -1 ||
           box.bottom == -1;
}

// Widens each box to whole grid cells: left and top down to a cell start, right and bottom up to
// a cell end (inclusive). Stops at the first end entry.
void SnapToGrid(tagBOX* boxes, int unit_x, int unit_y) {
    for (int i = 0; i < kVitrexBoxCount; ++i) {
        tagBOX& box = boxes[i];
        if (IsEndBox(box)) break;
        box.left = static_cast<int16_t>(box.left - box.left % unit_x);
        box.top = static_cast<int16_t>(box.top - box.top % unit_y);
        if ((box.right + 1) % unit_x != 0) {
            box.right = Saturate16(((box.right + 1) / unit_x + 1) * unit_x - 1);
        }
        if ((box.bottom + 1) % unit_y != 0) {
            box.bottom = Saturate16(((box.bottom + 1) / unit_y + 1) * unit_y - 1);
        }
    }
}

}  // namespace

void mirror::DropMirrorContext() {
    ReplaceContext(nullptr);
}

Vitrex::Vitrex() : m_szResult{}, m_pszDeviceString(mirror::kMirrorDeviceString) {
    static constexpr const char* kTexts[7] = {"Change Successful", "Must Restart", "Bad Flags",
                                              "Bad Parameters",    "Failed",       "Bad Mode",
                                              "Not Updated"};
    for (int i = 0; i < 7; ++i) {
        std::snprintf(m_szResult[i], sizeof m_szResult[i], "%s", kTexts[i]);
    }
}

Vitrex::Vitrex(const Vitrex& other) : m_pszDeviceString(other.m_pszDeviceString) {
    std::memcpy(m_szResult, other.m_szResult, sizeof m_szResult);
}

Vitrex& Vitrex::operator=(const Vitrex& other) {
    if (this != &other) {
        std::memcpy(m_szResult, other.m_szResult, sizeof m_szResult);
        m_pszDeviceString = other.m_pszDeviceString;
    }
    return *this;
}

Vitrex::~Vitrex() = default;

int Vitrex::LoadVitrex() {
    StopAPServer();
    return EnableVitrex(1);
}

int Vitrex::UnloadVitrex() {
    StartAPServer();
    return EnableVitrex(0);
}

int Vitrex::EnableVitrex(int attach) {
    std::shared_ptr<MirrorDriver> driver = mirror::CurrentMirrorDriver();
    mirror::DisplayMode mode;
    if (!driver || !driver->CurrentMode(&mode)) {
        platform::DebugOutput("Can't read the current display mode.\n");
        return 0;
    }

    std::vector<mirror::DisplayDevice> devices = driver->Devices();
    for (const mirror::DisplayDevice& device : devices) {
        platform::DebugFormat("<%s> %s \n", device.name.c_str(), device.string.c_str());
        if (device.state_flags & mirror::kDevicePrimary) platform::DebugOutput("[PRIMARY]\n");
        if (device.state_flags & mirror::kDeviceMirroring) platform::DebugOutput("[MIRROR]\n");
        if (device.state_flags & mirror::kDeviceAttachedToDesktop) {
            platform::DebugOutput("[DESKTOP]\n");
        }
    }

    size_t index = 0;
    while (index < devices.size() && devices[index].string != m_pszDeviceString) ++index;
    if (index == devices.size()) {
        platform::DebugFormat("%s not found\n", m_pszDeviceString);
        return 0;
    }
    const mirror::DisplayDevice& device = devices[index];
    platform::DebugFormat("DevNum:%d\nName:%s\nString:%s\nID:%s\nKey:%s\n\n",
                          static_cast<int>(index), device.name.c_str(), device.string.c_str(),
                          device.id.c_str(), device.key.c_str());

    // X has no registry and no separate "update the registry" pass: the attachment is one change.
    int code = driver->ChangeAttachment(device, mode, attach != 0);
    platform::DebugFormat("Raw dynamic mode change on device mode: %s\n", GetDispCode(code));

    auto context = std::make_shared<VitrexContext>();
    context->driver = std::move(driver);
    context->device_name = device.name;
    ReplaceContext(std::move(context));
    platform::DebugOutput("Mirror Driver operation is ok\n");
    return 1;
}

unsigned long Vitrex::FindDisplayRect(tagBOX* boxes) {
    if (m_hdcMirror.load() != nullptr) platform::DebugOutput("mirror handle is ok\n");
    if (boxes == nullptr) return VITREX_FAILED;
    int answer = SendEscape(mirror::kEscapeGetBoxes, nullptr, 0, boxes, mirror::kBoxesBytes);
    if (answer <= 0) return ResultCode(answer);

    int unit_x = m_unit_x.load();
    int unit_y = m_unit_y.load();
    // A unit of 0 or below (only possible by writing the public members) would divide by zero.
    if (unit_x >= kVitrexNoGrid || unit_y >= kVitrexNoGrid || unit_x <= 0 || unit_y <= 0) {
        return VITREX_OK;
    }
    SnapToGrid(boxes, unit_x, unit_y);
    return VITREX_OK;
}

bool Vitrex::LendScreenPixels(int x, int y, int width, int height, const uint8_t** pixels,
                              ptrdiff_t* stride) {
    if (pixels == nullptr || stride == nullptr) return false;
    std::shared_ptr<VitrexContext> context = CurrentContext();
    return context && context->driver &&
           context->driver->LendPixels(x, y, width, height, pixels, stride);
}

int Vitrex::SetVideoGrid(int screenWidth, int screenHeight, int receiverWidth, int receiverHeight) {
    std::lock_guard lock(GridMutex());
    if (m_ConfigPath[0] == '\0') FillConfigPath();

    bool standard = (screenWidth == 800 && screenHeight == 600) ||
                    (screenWidth == 640 && screenHeight == 480) ||
                    (screenWidth == 1024 && screenHeight == 768);
    // A screen without size (no desktop to ask) has nothing to lay a grid on or scale.
    if (standard || screenWidth <= 0 || screenHeight <= 0) {
        StoreGrid(kVitrexNoGrid, kVitrexNoGrid, 1.0f, 1.0f);
        return 1;
    }

    char section[32];
    std::snprintf(section, sizeof section, "%.4dX%.4d", screenWidth, screenHeight);
    std::optional<platform::Profile> profile;
    if (m_ConfigPath[0] != '\0') profile = platform::Profile::Load(m_ConfigPath);
    float cof_x =
        static_cast<float>(ParseProfileFloat(ProfileValue(profile, section, "conf_x", "0.0")));
    float cof_y =
        static_cast<float>(ParseProfileFloat(ProfileValue(profile, section, "conf_y", "0.0")));
    int unit_x = platform::ParseProfileInt(ProfileValue(profile, section, "dx", "0"));
    int unit_y = platform::ParseProfileInt(ProfileValue(profile, section, "dy", "0"));

    if (cof_x != 0.0f && cof_y != 0.0f && unit_x != 0 && unit_y != 0) {
        if (UsableCoefficient(cof_x) && UsableCoefficient(cof_y) && UsableUnit(unit_x) &&
            UsableUnit(unit_y)) {
            StoreGrid(unit_x, unit_y, cof_x, cof_y);
            return 1;
        }
        platform::DebugFormat("%s: section %s ignored, a value is out of range\n", kConfigFileName,
                              section);
    }

    // A negative receiver size would give a negative capture size; 0 gives none, which the
    // session reports.
    int receiver_width = receiverWidth > 0 ? receiverWidth : 0;
    int receiver_height = receiverHeight > 0 ? receiverHeight : 0;
    StoreGrid(ComputedUnit(screenWidth), ComputedUnit(screenHeight),
              static_cast<float>(receiver_width) / static_cast<float>(screenWidth),
              static_cast<float>(receiver_height) / static_cast<float>(screenHeight));
    return 1;
}

unsigned long Vitrex::SetVitrexVideoGrid() {
    if (m_hdcMirror.load() == nullptr) return VITREX_NOT_READY;
    unsigned char grid[mirror::kGridBytes];
    PutLittleEndian16(grid, m_unit_x.load());
    PutLittleEndian16(grid + 2, m_unit_y.load());
    return ResultCode(SendEscape(mirror::kEscapeSetGrid, grid, sizeof grid, nullptr, 0));
}

unsigned long Vitrex::SetVitrexResolution(int value) {
    unsigned char resolution[mirror::kResolutionBytes];
    uint32_t bits = static_cast<uint32_t>(value);
    for (size_t i = 0; i < sizeof resolution; ++i) {
        resolution[i] = static_cast<unsigned char>(bits >> (8 * i));
    }
    return ResultCode(
        SendEscape(mirror::kEscapeSetResolution, resolution, sizeof resolution, nullptr, 0));
}

float Vitrex::GetCof(int which) {
    return which == 1 ? m_cof_x.load() : m_cof_y.load();
}

char* Vitrex::GetDispCode(int code) {
    switch (code) {
        case 0:
            return m_szResult[0];
        case 1:
            return m_szResult[1];
        case -4:
            return m_szResult[2];
        case -5:
            return m_szResult[3];
        case -1:
            return m_szResult[4];
        case -2:
            return m_szResult[5];
        case -3:
            return m_szResult[6];
        default:
            break;
    }
    // One buffer per thread, so that two threads never write the text the other is reading.
    thread_local char unknown[64];
    std::snprintf(unknown, sizeof unknown, "Unknown code: %08x\n", static_cast<unsigned>(code));
    return unknown;
}

int Vitrex::StopAPServer() {
    return mirror::PauseWirelessService();
}

int Vitrex::StartAPServer() {
    return mirror::ResumeWirelessService();
}
