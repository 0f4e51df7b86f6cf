// Where the running program is, what the machine is called, and where the program's data lives.
#pragma once

#include <optional>
#include <string>

namespace platform {

// Characters that separate a path's folders on this system ("/", or "\\/" on Windows).
extern const char kPathSeparators[];

// Absolute path of the running executable (/proc/self/exe, or GetModuleFileName on Windows);
// empty when it cannot be read.
std::string ModuleFileName();

// Directory of the running executable, without a trailing slash; empty when unknown.
std::string ModuleDirectory();

// The machine's name (gethostname, or GetComputerName on Windows); nullopt when it cannot be
// read.
std::optional<std::string> ComputerName();

// The program's data directory: the executable's own directory when it holds `marker` (a relative
// path such as "version"), else <exe dir>/../share/beamora when that holds it. nullopt when
// neither.
std::optional<std::string> FindDataDirectory(const std::string& marker);

}  // namespace platform
