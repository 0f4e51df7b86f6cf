// libFuzzer target: arbitrary bytes as a data connection, fed in pieces whose sizes come from the
// input, against a picture whose mode and announced size also come from the input. Whatever
// arrives, the stream must either decode or refuse, never read or write outside its buffers.
#include <cstddef>
#include <cstdint>

#include "receiver/DataStream.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace receiver;
    if (size < 4) return 0;
    static const int kDepths[] = {16, 24, 32};
    ProjectionStart start;
    start.mode.width = 1 + data[0] % 128;
    start.mode.height = 1 + data[1] % 96;
    start.mode.bits_per_pixel = kDepths[data[2] % 3];
    if (data[3] & 0x80) {
        start.announced_width = 1 + (data[3] & 0x3F);
        start.announced_height = 1 + (data[3] & 0x1F);
    }
    uint8_t split = data[3];
    data += 4;
    size -= 4;

    Picture picture(CaptureGeometry{start.mode.width, start.mode.height, start.mode.width,
                                    start.mode.height, start.mode.bits_per_pixel});
    DataStream stream(picture, [start] { return start; });
    size_t piece = 1 + split % 61;
    for (size_t offset = 0; offset < size; offset += piece) {
        size_t n = size - offset < piece ? size - offset : piece;
        if (!stream.Feed(data + offset, n)) break;
    }
    ComposedImage image = picture.Compose();
    FUZZ_CHECK(image.pixels.size() == static_cast<size_t>(image.width) * image.height);
    return 0;
}
