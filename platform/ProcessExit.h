// Whether the process's end has already taken the other threads away.
#pragma once

namespace platform {

// True while the process ends and the system has already ended every thread but the caller's:
// on Windows, a DLL's static objects are destroyed after that (and a lock such a thread held is
// never released), so there is nothing left to stop or wait for. False on POSIX systems, whose
// threads run until exit() is done. Any thread.
bool OtherThreadsEndedByExit();

}  // namespace platform
