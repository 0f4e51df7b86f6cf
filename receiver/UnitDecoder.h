// Decodes one data-stream unit that ParseUnit accepted into the picture: strips and colour
// cursors are decompressed with lzo1x_decompress_safe into a scratch buffer and must fill exactly
// their raw size; only then is the picture touched. Free of I/O; one thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "receiver/Picture.h"
#include "receiver/UnitParser.h"

namespace receiver {

class UnitDecoder {
  public:
    // Decodes the unit at `unit` (header.unit_size bytes) into picture, whose geometry is the one
    // the header was checked against. Returns nullopt on success, else the reason (one line) and
    // leaves the picture as it was.
    std::optional<std::string> Decode(const UnitHeader& header, const uint8_t* unit,
                                      Picture& picture);

  private:
    std::optional<std::string> Decompress(const uint8_t* data, size_t size, size_t raw_size);

    std::vector<uint8_t> scratch_;  // decompressed bytes, reused
};

}  // namespace receiver
