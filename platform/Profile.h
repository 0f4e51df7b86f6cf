// Private profile (INI) files: "[section]" headers and "key=value" lines, read the way the
// Windows profile functions read them, so that files written for the original keep their meaning.
//
// Section and key names compare case-insensitively; names and values are trimmed of spaces and
// tabs; a value wrapped in matching quotes loses them; the first of duplicate sections or keys
// wins; lines starting with ';' are comments. Files larger than kMaxProfileBytes are treated as
// unreadable.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

constexpr size_t kMaxProfileBytes = 1 << 20;

class Profile {
  public:
    // Parses profile text; never fails (lines that are neither headers nor keys are skipped).
    static Profile Parse(std::string_view text);
    // Reads and parses a file; nullopt when it cannot be opened or is too large.
    static std::optional<Profile> Load(const std::string& path);

    // The raw value of key in section, nullopt when either is missing.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;

  private:
    struct Entry {
        std::string section;
        std::string key;
        std::string value;
    };
    std::vector<Entry> entries_;
};

// GetPrivateProfileString: the value (or fallback when the file, section or key is missing), cut to
// at most size - 1 characters; size 0 gives "".
std::string GetProfileString(std::string_view section, std::string_view key,
                             std::string_view fallback, size_t size, const std::string& path);

// GetPrivateProfileInt: the value's leading decimal number (optionally signed; "0x" prefix for
// hex), 0 when the value does not start with a number, fallback when the file, section or key is
// missing.
int GetProfileInt(std::string_view section, std::string_view key, int fallback,
                  const std::string& path);

// The integer reading of a profile value, as GetProfileInt does it.
int ParseProfileInt(std::string_view value);

}  // namespace platform
