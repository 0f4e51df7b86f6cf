#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "drvsetup/Installer.h"
#include "drvsetup/tests/FakeDeviceInstaller.h"

namespace drvsetup {
namespace {

using Calls = std::vector<std::string>;

constexpr char kInf[] = "C:\\drivers\\display.inf";
constexpr char kRelativeInf[] = "C:\\work\\display.inf";  // display.inf in the fake's directory

class Installer : public ::testing::Test {
  protected:
    void SetUp() override { fake.files = {kInf, kRelativeInf}; }

    int Run(const std::string& arguments) {
        return RunInstaller("drvsetup.exe " + arguments, fake, out, err);
    }

    FakeDeviceInstaller fake;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(Installer, UsageAndOverlongPathsTouchNothing) {
    EXPECT_EQ(Run(""), kExitUsage);
    EXPECT_EQ(Run(kInf), kExitUsage);
    EXPECT_NE(err.str().find("usage: drvsetup INF-PATH HARDWARE-ID"), std::string::npos);
    EXPECT_EQ(Run("C:\\" + std::string(2100, 'a') + " ROOT\\X"), kExitFailed);
    EXPECT_TRUE(fake.calls.empty());

    // Short as written, too long once made absolute.
    fake.currentDirectory = "C:\\" + std::string(2040, 'd');
    EXPECT_EQ(Run("display.inf ROOT\\X"), kExitFailed);
    EXPECT_EQ(fake.calls, Calls{"FullPathName(display.inf)"});
    EXPECT_NE(err.str().find("drvsetup: the INF path is longer than 2047 characters\n"),
              std::string::npos);
    EXPECT_EQ(out.str(), "");
}

TEST_F(Installer, RelativePathsAreMadeAbsoluteDriveLetterPathsTakenAsTheyAre) {
    fake.devices = {{"ROOT\\X"}};
    for (std::string path : {"display.inf", ".\\display.inf"}) {
        fake.calls.clear();
        EXPECT_EQ(Run(path + " ROOT\\X"), kExitInstalled) << path;
        EXPECT_EQ(
            fake.calls,
            (Calls{"FullPathName(" + path + ")", "FindFile(C:\\work\\display.inf)",
                   "PresentDeviceHardwareIds()", "UpdateDriver(ROOT\\X, C:\\work\\display.inf)"}));
    }
    fake.calls.clear();
    EXPECT_EQ(Run(std::string(kInf) + " ROOT\\X"), kExitInstalled);
    EXPECT_EQ(fake.calls.front(), "FindFile(C:\\drivers\\display.inf)");
}

TEST_F(Installer, AMissingInfTouchesNoDevice) {
    EXPECT_EQ(Run("C:\\drivers\\missing.inf ROOT\\X"), kExitFailed);
    EXPECT_EQ(fake.calls, Calls{"FindFile(C:\\drivers\\missing.inf)"});
    EXPECT_EQ(err.str(),
              "drvsetup: no INF at C:\\drivers\\missing.inf\n"
              "drvsetup: FindFirstFileA failed: system text 2. (error 2)\n");
}

TEST_F(Installer, PresentDevicesWithTheIdentifierInAnyLetterCaseAreOnlyUpdated) {
    fake.devices = {{}, {"PCI\\VEN_1", "root\\beamora"}, {"ROOT\\BEAMORA"}};
    EXPECT_EQ(Run(std::string(kInf) + " ROOT\\Beamora"), kExitInstalled);
    EXPECT_EQ(fake.calls, (Calls{"FindFile(C:\\drivers\\display.inf)", "PresentDeviceHardwareIds()",
                                 "UpdateDriver(ROOT\\Beamora, C:\\drivers\\display.inf)"}));
    EXPECT_EQ(out.str(),
              "drvsetup: updated the driver of the devices with ROOT\\Beamora from "
              "C:\\drivers\\display.inf\n");
    EXPECT_EQ(err.str(), "");
}

TEST_F(Installer, WithoutAPresentDeviceANewOneIsCreatedRegisteredAndInstalled) {
    fake.devices = {{"ROOT\\BEAMORA2"}, {"ROOT\\BEAMOR", "BEAMORA"}};  // near misses only
    EXPECT_EQ(Run(std::string(kInf) + " ROOT\\BEAMORA"), kExitInstalled);
    EXPECT_EQ(fake.calls,
              (Calls{"FindFile(C:\\drivers\\display.inf)", "PresentDeviceHardwareIds()",
                     "InfClass(C:\\drivers\\display.inf)", "CreateDeviceList(Display 104)",
                     "CreateDevice(Display 104)", "SetHardwareIds(ROOT\\BEAMORA\\0\\0)",
                     "RegisterDevice()", "UpdateDriver(ROOT\\BEAMORA, C:\\drivers\\display.inf)"}));
    EXPECT_EQ(out.str(),
              "drvsetup: created a Display device for ROOT\\BEAMORA and installed its driver "
              "from C:\\drivers\\display.inf\n");
    EXPECT_EQ(err.str(), "");
}

TEST(InstallerSteps, EachFailingStepStopsWithItsNameAndTheSystemsText) {
    struct Step {
        const char* operation;
        const char* name;
        bool devicePresent;
    };
    const Step steps[] = {
        {"FullPathName", "GetFullPathNameA", false},
        {"FindFile", "FindFirstFileA", false},
        {"PresentDeviceHardwareIds", "SetupDiGetClassDevsA", false},
        {"InfClass", "SetupDiGetINFClassA", false},
        {"CreateDeviceList", "SetupDiCreateDeviceInfoList", false},
        {"CreateDevice", "SetupDiCreateDeviceInfoA", false},
        {"SetHardwareIds", "SetupDiSetDeviceRegistryPropertyA(SPDRP_HARDWAREID)", false},
        {"RegisterDevice", "SetupDiCallClassInstaller(DIF_REGISTERDEVICE)", false},
        {"UpdateDriver", "UpdateDriverForPlugAndPlayDevicesA", true},
    };
    for (const Step& step : steps) {
        FakeDeviceInstaller fake;
        fake.files = {kRelativeInf};
        if (step.devicePresent) fake.devices = {{"ROOT\\X"}};
        fake.failWith[step.operation] = 0xE0000219;
        std::ostringstream out, err;
        EXPECT_EQ(RunInstaller("drvsetup display.inf ROOT\\X", fake, out, err), kExitFailed)
            << step.name;
        // Nothing after the failing operation: an unregistered device goes with its list.
        EXPECT_EQ(fake.calls.back().rfind(step.operation, 0), 0u) << step.name;
        EXPECT_NE(err.str().find(std::string("drvsetup: ") + step.name +
                                 " failed: system text 3758096921. (error 0xE0000219)\n"),
                  std::string::npos)
            << err.str();
        EXPECT_EQ(out.str(), "") << step.name;
    }
}

TEST_F(Installer, AFailedInstallOnTheNewDeviceRemovesItAgain) {
    fake.failWith["UpdateDriver"] = 5;
    EXPECT_EQ(Run(std::string(kInf) + " ROOT\\X"), kExitFailed);
    ASSERT_GE(fake.calls.size(), 2u);
    EXPECT_EQ(fake.calls.end()[-2], "UpdateDriver(ROOT\\X, C:\\drivers\\display.inf)");
    EXPECT_EQ(fake.calls.back(), "RemoveDevice()");
    EXPECT_EQ(err.str(),
              "drvsetup: UpdateDriverForPlugAndPlayDevicesA failed: system text 5. (error 5)\n"
              "drvsetup: removed the new device again\n");

    // A removal that fails too says so; the system's missing text is said as well.
    fake.failWith["RemoveDevice"] = 0xBAD;
    err.str("");
    EXPECT_EQ(Run(std::string(kInf) + " ROOT\\X"), kExitFailed);
    EXPECT_EQ(err.str(),
              "drvsetup: UpdateDriverForPlugAndPlayDevicesA failed: system text 5. (error 5)\n"
              "drvsetup: SetupDiCallClassInstaller(DIF_REMOVE) failed: no message (error 2989)\n"
              "drvsetup: the new Display device for ROOT\\X is left without a driver\n");
    EXPECT_EQ(out.str(), "");
}

TEST_F(Installer, ARestartRequestEndsWith3010) {
    fake.rebootRequired = true;
    EXPECT_EQ(Run(std::string(kInf) + " ROOT\\X"), kExitRebootNeeded);  // new device
    fake.devices = {{"ROOT\\X"}};
    EXPECT_EQ(Run(std::string(kInf) + " ROOT\\X"), kExitRebootNeeded);  // present device
    EXPECT_EQ(kExitRebootNeeded, 3010);
    EXPECT_NE(out.str().find("drvsetup: restart Windows to complete the installation\n"),
              std::string::npos);
}

TEST(MultiString, SplitsAtZerosAndEndsAtAnEmptyString) {
    using namespace std::string_literals;
    using Strings = std::vector<std::string>;
    EXPECT_EQ(SplitMultiString("A\0B\0\0"s), (Strings{"A", "B"}));
    EXPECT_EQ(SplitMultiString("A\0B"s), (Strings{"A", "B"}));  // no zero at the end
    EXPECT_EQ(SplitMultiString("A\0\0C\0\0"s), Strings{"A"});
    EXPECT_EQ(SplitMultiString("\0\0"s), Strings{});
    EXPECT_EQ(SplitMultiString(""), Strings{});
}

}  // namespace
}  // namespace drvsetup
