// Bulk converters from captured 32-bit pixels to the packed forms that go on the wire.
//
// Source pixels are 4 bytes each in memory order blue, green, red, unused; the fourth byte never
// influences the output. Every 16-bit output is little-endian (low byte first) and keeps the top
// bits of each channel (truncation, no rounding):
//   5-6-5:         red >> 3 in bits 15..11, green >> 2 in 10..5, blue >> 3 in 4..0
//   5-6-5 swapped: blue and red exchanged
//   5-5-5:         bit 15 clear, red >> 3 in 14..10, green >> 3 in 9..5, blue >> 3 in 4..0
//   5-5-5 swapped: blue and red exchanged
// The 24-bit form is the source pixel without its fourth byte.
//
// Each converter handles one contiguous run (a row or part of one): destination, source, count.
// Count is in pixels (bytes for CopyBytes64); a count of 0 or less writes nothing. Destination and
// source must not overlap; neither needs any alignment. Any thread; no state, no allocation.
// The fastest code this CPU runs is chosen once, on first use.
#pragma once

#include <cstdint>

namespace tarrowlink {

void Convert32To24(uint8_t* destination, const uint8_t* source, int count);
void Convert32To565(uint8_t* destination, const uint8_t* source, int count);
void Convert32To565Swapped(uint8_t* destination, const uint8_t* source, int count);
void Convert32To555(uint8_t* destination, const uint8_t* source, int count);
void Convert32To555Swapped(uint8_t* destination, const uint8_t* source, int count);
// Plain byte copy of count bytes.
void CopyBytes64(uint8_t* destination, const uint8_t* source, int count);

// The name of the converter set in use ("avx2", "sse2" or "portable"), for benchmark reports.
const char* ConverterSetName();

}  // namespace tarrowlink
