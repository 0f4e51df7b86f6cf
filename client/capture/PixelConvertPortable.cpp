// Converter selection for CPUs without a vector set of their own: the portable code only.
#include "client/capture/PixelKernels.h"

namespace tarrowlink::pixel {

std::span<const ConverterSet* const> UsableConverterSets() {
    static const ConverterSet* const sets[] = {&kPortableConverters};
    return sets;
}

}  // namespace tarrowlink::pixel
