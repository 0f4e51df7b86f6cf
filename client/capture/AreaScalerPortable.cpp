// Scaler selection for CPUs without vector kernels of their own: the portable code only.
#include "client/capture/ScalerKernels.h"

namespace tarrowlink::scale {

std::span<const ScalerSet* const> UsableScalerSets() {
    static const ScalerSet* const sets[] = {&kPortableScaler};
    return sets;
}

}  // namespace tarrowlink::scale
