#include "drvsetup/Installer.h"

#include <cstdio>
#include <ostream>

#include "drvsetup/CommandLine.h"

namespace drvsetup {
namespace {

constexpr char kUsage[] =
    "usage: drvsetup INF-PATH HARDWARE-ID\n"
    "Installs the display driver of INF-PATH on the present devices with HARDWARE-ID, or on a\n"
    "new root-enumerated device created for it. Quote a path with spaces, or write it whole.\n";

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'a' && a[i] <= 'z' ? a[i] - 'a' + 'A' : a[i];
        char y = b[i] >= 'a' && b[i] <= 'z' ? b[i] - 'a' + 'A' : b[i];
        if (x != y) return false;
    }
    return true;
}

// One run: the system, where messages go, and the failure report every step shares.
class Run {
  public:
    Run(DeviceInstaller& system, std::ostream& out, std::ostream& err)
        : system_(system), out_(out), err_(err) {}

    int Install(const ParsedCommandLine& command);

  private:
    // Writes "drvsetup: STEP failed: TEXT (error N)" and returns kExitFailed.
    int Failed(const char* step, Outcome outcome) {
        std::string text = system_.MessageText(outcome.error);
        char code[32];
        // System errors read best in decimal, SetupAPI's (0xE000....) in hexadecimal.
        std::snprintf(code, sizeof code, outcome.error < 0x10000 ? "%u" : "0x%08X",
                      static_cast<unsigned>(outcome.error));
        err_ << "drvsetup: " << step << " failed: " << (text.empty() ? "no message" : text)
             << " (error " << code << ")\n";
        return kExitFailed;
    }

    int Update(const std::string& hardwareId, const std::string& infPath, bool& reboot) {
        Outcome outcome = system_.UpdateDriver(hardwareId, infPath, reboot);
        return outcome.ok ? kExitInstalled : Failed("UpdateDriverForPlugAndPlayDevicesA", outcome);
    }

    int CreateAndInstall(const std::string& hardwareId, const std::string& infPath, bool& reboot);

    DeviceInstaller& system_;
    std::ostream& out_;
    std::ostream& err_;
};

int Run::Install(const ParsedCommandLine& command) {
    std::string infPath = command.infPath;
    if (!HasDriveLetter(infPath)) {
        std::string fullPath;
        Outcome outcome = system_.FullPathName(infPath, fullPath);
        if (!outcome.ok) return Failed("GetFullPathNameA", outcome);
        infPath = fullPath;
    }
    if (infPath.size() > kMaxInfPath) {
        err_ << "drvsetup: the INF path is longer than " << kMaxInfPath << " characters\n";
        return kExitFailed;
    }
    if (Outcome found = system_.FindFile(infPath); !found.ok) {
        err_ << "drvsetup: no INF at " << infPath << "\n";
        return Failed("FindFirstFileA", found);
    }

    std::vector<std::vector<std::string>> devices;
    if (Outcome outcome = system_.PresentDeviceHardwareIds(devices); !outcome.ok) {
        return Failed("SetupDiGetClassDevsA", outcome);
    }
    bool present = false;
    for (const auto& ids : devices) {
        for (const auto& id : ids) present = present || EqualIgnoringCase(id, command.hardwareId);
    }

    bool reboot = false;
    int status;
    if (present) {
        status = Update(command.hardwareId, infPath, reboot);
        if (status == kExitInstalled) {
            out_ << "drvsetup: updated the driver of the devices with " << command.hardwareId
                 << " from " << infPath << "\n";
        }
    } else {
        status = CreateAndInstall(command.hardwareId, infPath, reboot);
    }
    if (status == kExitInstalled && reboot) {
        out_ << "drvsetup: restart Windows to complete the installation\n";
        return kExitRebootNeeded;
    }
    return status;
}

int Run::CreateAndInstall(const std::string& hardwareId, const std::string& infPath, bool& reboot) {
    DeviceClass deviceClass;
    if (Outcome outcome = system_.InfClass(infPath, deviceClass); !outcome.ok) {
        return Failed("SetupDiGetINFClassA", outcome);
    }
    if (Outcome outcome = system_.CreateDeviceList(deviceClass); !outcome.ok) {
        return Failed("SetupDiCreateDeviceInfoList", outcome);
    }
    if (Outcome outcome = system_.CreateDevice(deviceClass); !outcome.ok) {
        return Failed("SetupDiCreateDeviceInfoA", outcome);
    }
    std::string multiString = hardwareId;
    multiString.append(2, '\0');
    if (Outcome outcome = system_.SetHardwareIds(multiString); !outcome.ok) {
        return Failed("SetupDiSetDeviceRegistryPropertyA(SPDRP_HARDWAREID)", outcome);
    }
    if (Outcome outcome = system_.RegisterDevice(); !outcome.ok) {
        return Failed("SetupDiCallClassInstaller(DIF_REGISTERDEVICE)", outcome);
    }
    if (int status = Update(hardwareId, infPath, reboot); status != kExitInstalled) {
        // The device exists only for this driver: without it, it goes again.
        if (Outcome removed = system_.RemoveDevice(); !removed.ok) {
            Failed("SetupDiCallClassInstaller(DIF_REMOVE)", removed);
            err_ << "drvsetup: the new " << deviceClass.name << " device for " << hardwareId
                 << " is left without a driver\n";
        } else {
            err_ << "drvsetup: removed the new device again\n";
        }
        return status;
    }
    out_ << "drvsetup: created a " << deviceClass.name << " device for " << hardwareId
         << " and installed its driver from " << infPath << "\n";
    return kExitInstalled;
}

}  // namespace

int RunInstaller(std::string_view commandLine, DeviceInstaller& system, std::ostream& out,
                 std::ostream& err) {
    ParsedCommandLine command = ParseCommandLine(commandLine);
    switch (command.status) {
        case ParseStatus::kUsage:
            err << kUsage;
            return kExitUsage;
        case ParseStatus::kPathTooLong:
            err << "drvsetup: the INF path is longer than " << kMaxInfPath << " characters\n";
            return kExitFailed;
        case ParseStatus::kOk:
            break;
    }
    return Run(system, out, err).Install(command);
}

std::vector<std::string> SplitMultiString(std::string_view data) {
    std::vector<std::string> strings;
    while (!data.empty() && data.front() != '\0') {
        std::size_t end = data.find('\0');
        strings.emplace_back(data.substr(0, end));
        data.remove_prefix(end == std::string_view::npos ? data.size() : end + 1);
    }
    return strings;
}

}  // namespace drvsetup
