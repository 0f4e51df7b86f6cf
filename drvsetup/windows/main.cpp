// drvsetup.exe: installs a display driver package for a hardware identifier (see README,
// "drvsetup"). The exit status is one of drvsetup::ExitCode.

#include <windows.h>

#include <iostream>

#include "drvsetup/Installer.h"
#include "drvsetup/windows/SetupApiInstaller.h"

int main() {
    drvsetup::SetupApiInstaller system;
    return drvsetup::RunInstaller(GetCommandLineA(), system, std::cout, std::cerr);
}
