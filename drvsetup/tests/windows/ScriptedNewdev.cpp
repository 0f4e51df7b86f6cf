// newdev.dll for the Wine tests, loaded by a copy of drvsetup.exe beside it
// (WINEDLLOVERRIDES=newdev=n). Wine's own UpdateDriverForPlugAndPlayDevicesA always succeeds and
// never asks for a restart, so drvsetup's answers to a failed install (the new device is removed
// again) and to a restart request (exit status 3010) can only be seen with this one.
// BEAMORA_NEWDEV=reboot: succeeds and asks for a restart; otherwise fails with
// ERROR_ACCESS_DENIED. Installs nothing either way.

#include <windows.h>

#include <cstring>

extern "C" __attribute__((dllexport)) BOOL WINAPI UpdateDriverForPlugAndPlayDevicesA(HWND, LPCSTR,
                                                                                     LPCSTR, DWORD,
                                                                                     PBOOL reboot) {
    char mode[16] = "";
    GetEnvironmentVariableA("BEAMORA_NEWDEV", mode, sizeof mode);
    if (std::strcmp(mode, "reboot") == 0) {
        if (reboot) *reboot = TRUE;
        return TRUE;
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
