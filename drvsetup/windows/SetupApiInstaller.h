#pragma once

// DeviceInstaller on Windows: kernel32, SetupAPI and newdev, their "A" functions.

// clang-format off
#include <windows.h>  // first: the SetupAPI header needs its types
#include <setupapi.h>
// clang-format on

#include <memory>

#include "drvsetup/DeviceInstaller.h"

namespace drvsetup {

class SetupApiInstaller final : public DeviceInstaller {
  public:
    Outcome FullPathName(const std::string& path, std::string& fullPath) override;
    Outcome FindFile(const std::string& path) override;
    Outcome PresentDeviceHardwareIds(std::vector<std::vector<std::string>>& devices) override;
    Outcome InfClass(const std::string& infPath, DeviceClass& deviceClass) override;
    Outcome CreateDeviceList(const DeviceClass& deviceClass) override;
    Outcome CreateDevice(const DeviceClass& deviceClass) override;
    Outcome SetHardwareIds(const std::string& multiString) override;
    Outcome RegisterDevice() override;
    Outcome RemoveDevice() override;
    Outcome UpdateDriver(const std::string& hardwareId, const std::string& infPath,
                         bool& rebootRequired) override;
    std::string MessageText(std::uint32_t error) override;

    // An HDEVINFO, destroyed with SetupDiDestroyDeviceInfoList.
    struct DeviceListCloser {
        void operator()(HDEVINFO list) const { SetupDiDestroyDeviceInfoList(list); }
    };
    using DeviceList = std::unique_ptr<void, DeviceListCloser>;

  private:
    DeviceList newDeviceList_;  // the set CreateDeviceList made, for the new device
    SP_DEVINFO_DATA newDevice_{};
};

}  // namespace drvsetup
