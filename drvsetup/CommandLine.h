#pragma once

// drvsetup's command line: `drvsetup INF-PATH HARDWARE-ID`, read from the whole line the system
// hands the program (GetCommandLineA), program name included. Pure text work, no system calls.

#include <cstddef>
#include <string>
#include <string_view>

namespace drvsetup {

// The longest INF path accepted, in characters without the terminating zero: the 2048-byte path
// buffer drvsetup has always had. Longer paths are refused, before and after they are made
// absolute.
inline constexpr std::size_t kMaxInfPath = 2047;

enum class ParseStatus {
    kOk,
    kUsage,        // fewer than two words after the program name, or an empty one
    kPathTooLong,  // the INF path is longer than kMaxInfPath
};

struct ParsedCommandLine {
    ParseStatus status = ParseStatus::kUsage;
    std::string infPath;     // as written, quotes removed; relative paths are still relative
    std::string hardwareId;  // the last word, quotes removed
};

// Words are separated by runs of spaces; spaces inside double quotes do not separate. The last
// word is the hardware identifier; everything between the program name and that word, with its
// inner spaces as written, is the INF path (quotes dropped: they cannot occur in Windows paths).
ParsedCommandLine ParseCommandLine(std::string_view commandLine);

// True for paths that start with a drive letter and a colon ("C:\x.inf"): these are used as they
// are; every other path is made absolute against the current directory.
bool HasDriveLetter(std::string_view path);

}  // namespace drvsetup
