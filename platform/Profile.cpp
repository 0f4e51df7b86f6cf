#include "platform/Profile.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <fstream>
#include <iterator>

namespace platform {
namespace {

std::string_view Trim(std::string_view s) {
    size_t begin = s.find_first_not_of(" \t\r\n");
    if (begin == std::string_view::npos) return {};
    size_t end = s.find_last_not_of(" \t\r\n");
    return s.substr(begin, end - begin + 1);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

Profile Profile::Parse(std::string_view text) {
    Profile profile;
    std::string section;
    bool in_section = false;
    while (!text.empty()) {
        size_t eol = text.find('\n');
        std::string_view line = Trim(text.substr(0, eol));
        text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            size_t close = line.find(']');
            section = std::string(Trim(line.substr(
                1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
            in_section = true;
            continue;
        }
        size_t eq = line.find('=');
        if (!in_section || eq == std::string_view::npos) continue;
        std::string_view key = Trim(line.substr(0, eq));
        std::string_view value = Trim(line.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        if (key.empty()) continue;
        profile.entries_.push_back({section, std::string(key), std::string(value)});
    }
    return profile;
}

std::optional<Profile> Profile::Load(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string text;
    text.resize(kMaxProfileBytes + 1);
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    size_t got = static_cast<size_t>(file.gcount());
    if (got > kMaxProfileBytes) return std::nullopt;
    text.resize(got);
    return Parse(text);
}

std::optional<std::string> Profile::Find(std::string_view section, std::string_view key) const {
    for (const Entry& entry : entries_) {
        if (EqualNoCase(entry.section, Trim(section)) && EqualNoCase(entry.key, Trim(key))) {
            return entry.value;
        }
    }
    return std::nullopt;
}

int ParseProfileInt(std::string_view value) {
    value = Trim(value);
    bool negative = false;
    if (!value.empty() && (value.front() == '-' || value.front() == '+')) {
        negative = value.front() == '-';
        value.remove_prefix(1);
    }
    int base = 10;
    if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        base = 16;
        value.remove_prefix(2);
    }
    long long magnitude = 0;
    for (char c : value) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c))) {
            digit = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        } else {
            break;
        }
        // Saturate instead of overflowing on absurd values.
        magnitude =
            std::min<long long>(magnitude * base + digit, static_cast<long long>(INT_MAX) + 1);
    }
    long long signed_value = negative ? -magnitude : magnitude;
    return static_cast<int>(std::clamp<long long>(signed_value, INT_MIN, INT_MAX));
}

}  // namespace platform
