#include "drvsetup/windows/SetupApiInstaller.h"

#include <newdev.h>

#include <cstring>

#include "drvsetup/Installer.h"

namespace drvsetup {
namespace {

Outcome LastError() {
    return {false, static_cast<std::uint32_t>(GetLastError())};
}
Outcome Check(BOOL ok) {
    return ok ? Outcome{} : LastError();
}

struct FindCloser {
    void operator()(HANDLE find) const { FindClose(find); }
};

struct LocalFreer {
    void operator()(char* memory) const { LocalFree(memory); }
};

GUID ToGuid(const DeviceClass& deviceClass) {
    GUID guid;
    static_assert(sizeof guid == sizeof deviceClass.guid);
    std::memcpy(&guid, deviceClass.guid.data(), sizeof guid);
    return guid;
}

}  // namespace

Outcome SetupApiInstaller::FullPathName(const std::string& path, std::string& fullPath) {
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        DWORD length = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()),
                                        buffer.data(), nullptr);
        if (length == 0) return LastError();
        if (length < buffer.size()) {  // fitted: length excludes the zero
            buffer.resize(length);
            fullPath = buffer;
            return {};
        }
        buffer.resize(length);  // too small: length is the size needed, zero included
    }
}

Outcome SetupApiInstaller::FindFile(const std::string& path) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return LastError();
    std::unique_ptr<void, FindCloser> closer(find);
    return {};
}

Outcome SetupApiInstaller::PresentDeviceHardwareIds(
    std::vector<std::vector<std::string>>& devices) {
    HDEVINFO set =
        SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return LastError();
    DeviceList list(set);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    std::string buffer(256, '\0');
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        DWORD size = 0;
        BOOL ok;
        while (
            !(ok = SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, nullptr,
                                                     reinterpret_cast<BYTE*>(buffer.data()),
                                                     static_cast<DWORD>(buffer.size()), &size)) &&
            GetLastError() == ERROR_INSUFFICIENT_BUFFER && size > buffer.size()) {
            buffer.resize(size);
        }
        // A device without hardware identifiers (ERROR_INVALID_DATA) matches none.
        devices.push_back(ok ? SplitMultiString(std::string_view(buffer.data(), size))
                             : std::vector<std::string>{});
    }
    return {};
}

Outcome SetupApiInstaller::InfClass(const std::string& infPath, DeviceClass& deviceClass) {
    GUID guid;
    std::string name(32, '\0');  // the SDK's MAX_CLASS_NAME_LEN, zero included
    DWORD size = 0;
    BOOL ok;
    while (!(ok = SetupDiGetINFClassA(infPath.c_str(), &guid, name.data(),
                                      static_cast<DWORD>(name.size()), &size)) &&
           GetLastError() == ERROR_INSUFFICIENT_BUFFER && size > name.size()) {
        name.resize(size);
    }
    if (!ok) return LastError();
    std::memcpy(deviceClass.guid.data(), &guid, sizeof guid);
    deviceClass.name = name.c_str();
    return {};
}

Outcome SetupApiInstaller::CreateDeviceList(const DeviceClass& deviceClass) {
    GUID guid = ToGuid(deviceClass);
    HDEVINFO set = SetupDiCreateDeviceInfoList(&guid, nullptr);
    if (set == INVALID_HANDLE_VALUE) return LastError();
    newDeviceList_.reset(set);
    return {};
}

Outcome SetupApiInstaller::CreateDevice(const DeviceClass& deviceClass) {
    GUID guid = ToGuid(deviceClass);
    newDevice_ = SP_DEVINFO_DATA{};
    newDevice_.cbSize = sizeof newDevice_;
    return Check(SetupDiCreateDeviceInfoA(newDeviceList_.get(), deviceClass.name.c_str(), &guid,
                                          nullptr, nullptr, DICD_GENERATE_ID, &newDevice_));
}

Outcome SetupApiInstaller::SetHardwareIds(const std::string& multiString) {
    return Check(SetupDiSetDeviceRegistryPropertyA(
        newDeviceList_.get(), &newDevice_, SPDRP_HARDWAREID,
        reinterpret_cast<const BYTE*>(multiString.data()), static_cast<DWORD>(multiString.size())));
}

Outcome SetupApiInstaller::RegisterDevice() {
    return Check(SetupDiCallClassInstaller(DIF_REGISTERDEVICE, newDeviceList_.get(), &newDevice_));
}

Outcome SetupApiInstaller::RemoveDevice() {
    return Check(SetupDiCallClassInstaller(DIF_REMOVE, newDeviceList_.get(), &newDevice_));
}

Outcome SetupApiInstaller::UpdateDriver(const std::string& hardwareId, const std::string& infPath,
                                        bool& rebootRequired) {
    BOOL reboot = FALSE;
    Outcome outcome = Check(UpdateDriverForPlugAndPlayDevicesA(
        nullptr, hardwareId.c_str(), infPath.c_str(), INSTALLFLAG_FORCE, &reboot));
    rebootRequired = outcome.ok && reboot;
    return outcome;
}

std::string SetupApiInstaller::MessageText(std::uint32_t error) {
    char* text = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::unique_ptr<char, LocalFreer> owner(text);
    std::string message(text ? text : "", length);
    while (!message.empty() &&
           (message.back() == '\r' || message.back() == '\n' || message.back() == ' ')) {
        message.pop_back();
    }
    return message;
}

}  // namespace drvsetup
