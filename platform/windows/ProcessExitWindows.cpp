#include <windows.h>

#include "platform/ProcessExit.h"

namespace platform {

bool OtherThreadsEndedByExit() {
    // ntdll's own answer: true once ExitProcess has ended the other threads and is unloading the
    // DLLs. Looked up at run time, as mingw-w64 declares it nowhere.
    using ShutdownInProgress = BOOLEAN(WINAPI*)();
    static const auto query = reinterpret_cast<ShutdownInProgress>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "RtlDllShutdownInProgress")));
    return query != nullptr && query() != 0;
}

}  // namespace platform
