// Writes a small seed corpus for receiver_stream_fuzzer into the current directory: for each
// depth, a stream of LZO1X-1 strips (a full update and 1-row strips), a colour and a monochrome
// cursor, behind the fuzzer's 4-byte prefix (mode width - 1, height - 1, depth index, split).
//
//   mkdir corpus && cd corpus && receiver_fuzz_seeds && receiver_stream_fuzzer corpus
#include <cstdio>

#include "receiver/tests/TestUnits.h"

using namespace receiver::test;

int main() {
    const int depths[] = {16, 24, 32};
    for (int d = 0; d < 3; ++d) {
        Bytes file = {39, 23, static_cast<uint8_t>(d), 17};  // 40 x 24, pieces of 18 bytes
        Screen screen(40, 24, d);
        Bytes units = EncodeRectangle(screen, depths[d], 0, 0, 40, 24, 16);
        Bytes rows = EncodeRectangle(screen, depths[d], 3, 5, 20, 9, 1);
        units.insert(units.end(), rows.begin(), rows.end());

        Bytes raw(receiver::kCursorMaskBytes, 0);
        for (int i = 0; i < 32 * 32; ++i) AppendPixel(raw, 0x123456u * i, 16);
        Bytes data = Lzo(raw);
        Bytes colour =
            CursorHeader(receiver::kUnitColourCursor, -3, 2, 32, 20, static_cast<int>(data.size()));
        colour.insert(colour.end(), data.begin(), data.end());
        units.insert(units.end(), colour.begin(), colour.end());
        Bytes mono = CursorHeader(receiver::kUnitMonoCursor, 5, 5, 10, 10, 0);
        mono.resize(receiver::kMonoCursorUnitSize, 0x0F);
        units.insert(units.end(), mono.begin(), mono.end());

        file.insert(file.end(), units.begin(), units.end());
        char name[32];
        std::snprintf(name, sizeof name, "seed%d", d);
        std::FILE* out = std::fopen(name, "wb");
        if (out == nullptr) return 1;
        std::fwrite(file.data(), 1, file.size(), out);
        std::fclose(out);
    }
    return 0;
}
