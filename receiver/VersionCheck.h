// The version proof of MSG_VERSION: the presenter sends the first 8 characters of its version
// text, zero-padded to 16 bytes and encrypted with the wire key (AES-128-ECB).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace receiver {

// Number of leading characters of the version texts that are compared.
constexpr size_t kVersionCompareLength = 8;

// The presenter's version text from the 16 bytes at payload offset 0 of MSG_VERSION (the text up
// to its first zero byte, at most 16 characters). nullopt only when the crypto library fails.
std::optional<std::string> DecryptVersionText(const uint8_t* block);

// True when the first kVersionCompareLength characters of presented and expected are equal (a
// shorter text compares up to its end, so "1.0" does not match "1.0.0").
bool VersionMatches(std::string_view presented, std::string_view expected);

// The 16 bytes a presenter with version text `text` sends (used by tests and tools).
std::optional<std::string> EncryptVersionText(std::string_view text);

}  // namespace receiver
