#include "client/capture/Scaling.h"

namespace tarrowlink {

int32_t ScaleCoordinate(uint16_t value, float coefficient, int32_t divisor) {
    if (divisor <= 0) divisor = 1;
    if (coefficient <= 1.0f) {
        return static_cast<int32_t>(static_cast<double>(value) * coefficient + 0.5) / divisor;
    }
    uint32_t n = static_cast<uint32_t>(coefficient);
    uint32_t numerator = (n >> 8) & 0xFF;
    uint32_t denominator = n & 0xFF;
    if (denominator == 0) return value / divisor;
    return static_cast<int32_t>(value * numerator / denominator) / divisor;
}

}  // namespace tarrowlink
