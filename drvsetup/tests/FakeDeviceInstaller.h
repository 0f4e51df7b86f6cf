#pragma once

// A scripted system for the installer's unit tests: files and present devices are set up by the
// test, any operation can be told to fail with an error, and every call is logged in order.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "drvsetup/DeviceInstaller.h"

namespace drvsetup {

class FakeDeviceInstaller final : public DeviceInstaller {
  public:
    std::string currentDirectory = "C:\\work";
    std::set<std::string> files;                    // full paths that exist
    std::vector<std::vector<std::string>> devices;  // hardware ids of each present device
    DeviceClass infClass{{0x68, 0xe9, 0x36, 0x4d}, "Display"};
    bool rebootRequired = false;                    // what UpdateDriver reports when it succeeds
    std::map<std::string, std::uint32_t> failWith;  // operation name -> its error
    std::vector<std::string> calls;                 // "Operation(arguments)", in order

    Outcome FullPathName(const std::string& path, std::string& fullPath) override {
        std::string relative = path.rfind(".\\", 0) == 0 ? path.substr(2) : path;
        fullPath = currentDirectory + "\\" + relative;
        return Call("FullPathName", path);
    }
    Outcome FindFile(const std::string& path) override {
        Outcome outcome = Call("FindFile", path);
        return outcome.ok && !files.count(path) ? Outcome{false, 2} : outcome;  // not found
    }
    Outcome PresentDeviceHardwareIds(std::vector<std::vector<std::string>>& result) override {
        result = devices;
        return Call("PresentDeviceHardwareIds", "");
    }
    Outcome InfClass(const std::string& infPath, DeviceClass& deviceClass) override {
        deviceClass = infClass;
        return Call("InfClass", infPath);
    }
    Outcome CreateDeviceList(const DeviceClass& deviceClass) override {
        return Call("CreateDeviceList", ClassText(deviceClass));
    }
    Outcome CreateDevice(const DeviceClass& deviceClass) override {
        return Call("CreateDevice", ClassText(deviceClass));
    }
    Outcome SetHardwareIds(const std::string& multiString) override {
        std::string shown;
        for (char c : multiString) shown += c ? std::string(1, c) : "\\0";
        return Call("SetHardwareIds", shown);
    }
    Outcome RegisterDevice() override { return Call("RegisterDevice", ""); }
    Outcome RemoveDevice() override { return Call("RemoveDevice", ""); }
    Outcome UpdateDriver(const std::string& hardwareId, const std::string& infPath,
                         bool& reboot) override {
        reboot = rebootRequired;
        return Call("UpdateDriver", hardwareId + ", " + infPath);
    }
    std::string MessageText(std::uint32_t error) override {
        return error == 0xBAD ? "" : "system text " + std::to_string(error) + ".";
    }

  private:
    static std::string ClassText(const DeviceClass& deviceClass) {
        return deviceClass.name + " " + std::to_string(deviceClass.guid[0]);
    }
    Outcome Call(const std::string& name, const std::string& arguments) {
        calls.push_back(name + "(" + arguments + ")");
        auto failure = failWith.find(name);
        return failure == failWith.end() ? Outcome{} : Outcome{false, failure->second};
    }
};

}  // namespace drvsetup
