#include "client/capture/PixelConvert.h"

#include <cstring>

#include "client/capture/PixelKernels.h"

namespace tarrowlink {
namespace pixel {

const ConverterSet kPortableConverters{
    "portable",        Scalar24,
    Scalar16<Form565>, Scalar16<Form565Swapped>,
    Scalar16<Form555>, Scalar16<Form555Swapped>,
    ScalarOpaque32,
};

}  // namespace pixel

namespace {

const pixel::ConverterSet& Active() {
    static const pixel::ConverterSet& set = *pixel::UsableConverterSets().front();
    return set;
}

}  // namespace

void Convert32To24(uint8_t* destination, const uint8_t* source, int count) {
    Active().to24(destination, source, count);
}

void Convert32To565(uint8_t* destination, const uint8_t* source, int count) {
    Active().to565(destination, source, count);
}

void Convert32To565Swapped(uint8_t* destination, const uint8_t* source, int count) {
    Active().to565Swapped(destination, source, count);
}

void Convert32To555(uint8_t* destination, const uint8_t* source, int count) {
    Active().to555(destination, source, count);
}

void Convert32To555Swapped(uint8_t* destination, const uint8_t* source, int count) {
    Active().to555Swapped(destination, source, count);
}

void CopyBytes64(uint8_t* destination, const uint8_t* source, int count) {
    // The C library's copy is the fastest block copy on every CPU; the bytes are the same as a
    // copy in 64-byte blocks followed by single bytes.
    if (count > 0) std::memcpy(destination, source, static_cast<size_t>(count));
}

const char* ConverterSetName() {
    return Active().name;
}

}  // namespace tarrowlink
