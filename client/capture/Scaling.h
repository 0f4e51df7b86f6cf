// The coordinate scaling of the stretch path: how a screen coordinate maps onto the capture
// surface when the screen is larger than what the receiver shows.
#pragma once

#include <cstdint>

namespace tarrowlink {

// Scales one 16-bit coordinate: a coefficient up to 1.0 multiplies (rounded to nearest, then
// divided by divisor); a larger one encodes a ratio, numerator in bits 15..8 and denominator in
// bits 7..0 of its integer value. A ratio with a zero denominator leaves the value unscaled (but
// divided).
int32_t ScaleCoordinate(uint16_t value, float coefficient, int32_t divisor);

}  // namespace tarrowlink
