// Process-wide debug output: the one place every diagnostic line of the project goes through.
//
// Silent by default; written to stderr when the environment has BEAMORA_DEBUG=1 (read once). Tests
// replace the sink to capture the exact texts. Safe to call from any thread at any time, including
// during process exit.
#pragma once

#include <functional>
#include <string_view>

namespace platform {

// Receives each diagnostic text exactly as written (no line feed is added or removed).
using DebugSink = std::function<void(std::string_view text)>;

// Writes one diagnostic text to the current sink. Any thread.
void DebugOutput(std::string_view text);

// printf-style formatting into a bounded buffer (texts are cut at 1023 bytes), then DebugOutput.
void DebugFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Replaces the sink and returns the previous one; an empty sink restores the default (stderr when
// BEAMORA_DEBUG=1, else nothing). Any thread; calls already under way finish on the old sink.
DebugSink SetDebugSink(DebugSink sink);

}  // namespace platform
