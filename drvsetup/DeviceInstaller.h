#pragma once

// The system operations drvsetup's installer uses, one per Windows call (or, for the device
// enumeration, per loop over calls), so the algorithm in Installer.cpp is written once and runs
// against SetupAPI and newdev on Windows (windows/SetupApiInstaller) and against a scripted fake
// in the native unit tests.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace drvsetup {

// What an operation returned: ok, or failed with the thread's last error (GetLastError()) taken
// right after the failing call.
struct Outcome {
    bool ok = true;
    std::uint32_t error = 0;
};

// An INF's device setup class, as SetupDiGetINFClassA reports it.
struct DeviceClass {
    std::array<unsigned char, 16> guid{};  // the class GUID's 16 bytes, in memory order
    std::string name;                      // "Display"
};

class DeviceInstaller {
  public:
    virtual ~DeviceInstaller() = default;

    // GetFullPathNameA: `path` made absolute against the current directory, of any length (the
    // caller enforces its own limit).
    virtual Outcome FullPathName(const std::string& path, std::string& fullPath) = 0;
    // FindFirstFileA: whether `path` names an existing file.
    virtual Outcome FindFile(const std::string& path) = 0;

    // SetupDiGetClassDevsA(DIGCF_ALLCLASSES | DIGCF_PRESENT), then SPDRP_HARDWAREID of each device
    // (a device without that property contributes an empty list). Fails only when the device list
    // cannot be had.
    virtual Outcome PresentDeviceHardwareIds(std::vector<std::vector<std::string>>& devices) = 0;
    // SetupDiGetINFClassA.
    virtual Outcome InfClass(const std::string& infPath, DeviceClass& deviceClass) = 0;

    // The new device: SetupDiCreateDeviceInfoList(class) makes the device information set the
    // next four operations work on; the implementation owns it until it is destroyed. A device
    // that was never registered disappears with that set.
    virtual Outcome CreateDeviceList(const DeviceClass& deviceClass) = 0;
    // SetupDiCreateDeviceInfoA(set, class name, class GUID, DICD_GENERATE_ID).
    virtual Outcome CreateDevice(const DeviceClass& deviceClass) = 0;
    // SetupDiSetDeviceRegistryPropertyA(SPDRP_HARDWAREID); `multiString` holds the identifiers,
    // each zero-terminated, plus the final zero.
    virtual Outcome SetHardwareIds(const std::string& multiString) = 0;
    // SetupDiCallClassInstaller(DIF_REGISTERDEVICE): the device now outlives the set.
    virtual Outcome RegisterDevice() = 0;
    // SetupDiCallClassInstaller(DIF_REMOVE): removes the registered device again.
    virtual Outcome RemoveDevice() = 0;

    // UpdateDriverForPlugAndPlayDevicesA(no window, id, INF, INSTALLFLAG_FORCE): installs the
    // INF's driver on every present device with that hardware identifier.
    virtual Outcome UpdateDriver(const std::string& hardwareId, const std::string& infPath,
                                 bool& rebootRequired) = 0;

    // FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM): the system's text for an error, without the
    // line end; empty when the system has none.
    virtual std::string MessageText(std::uint32_t error) = 0;
};

}  // namespace drvsetup
