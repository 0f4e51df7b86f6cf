// Piece sizes for feeding a file to an incremental parser in the fuzz targets: a repeatable
// sequence from 0 to 40 bytes drawn from a seed byte of the input, empty pieces included.
#pragma once

#include <cstddef>
#include <cstdint>

namespace beamora::fuzz {

class Pieces {
  public:
    explicit Pieces(uint8_t seed) : state_(seed * 2654435761u + 1) {}
    size_t Next() {
        state_ = state_ * 1103515245u + 12345u;
        return (state_ >> 16) % 41;
    }

  private:
    uint32_t state_;
};

}  // namespace beamora::fuzz
