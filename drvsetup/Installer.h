#pragma once

// drvsetup's whole behaviour: reads the command line, then installs the INF's display driver on
// the present devices with the hardware identifier, or on a new root-enumerated device that it
// creates for it and removes again when the driver cannot be installed.

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "drvsetup/DeviceInstaller.h"

namespace drvsetup {

// drvsetup's exit status.
enum ExitCode : int {
    kExitInstalled = 0,
    kExitUsage = 1,   // fewer than two words after the program name
    kExitFailed = 2,  // refused path, missing INF, or a failed step (named on stderr)
    kExitRebootNeeded =
        3010,  // installed; the system needs a restart (ERROR_SUCCESS_REBOOT_REQUIRED)
};

// Runs drvsetup for `commandLine` (program name first, as GetCommandLineA returns it). What was
// done goes to `out`, usage and every failure (step name and the system's message) to `err`.
int RunInstaller(std::string_view commandLine, DeviceInstaller& system, std::ostream& out,
                 std::ostream& err);

// The strings of a Windows multi-string (REG_MULTI_SZ: each zero-terminated, an empty one ends
// the list); a last string without its zero still counts.
std::vector<std::string> SplitMultiString(std::string_view data);

}  // namespace drvsetup
