// libFuzzer target: bytes as a position file, read three ways: whole (SkinPositions::ParseFile),
// in pieces of 0 to 40 bytes through PositionFileParser, and in pieces up to the point where the
// parser says it is Full() and the caller may stop reading.
//
// Input: a seed byte for the piece sizes, then the file.
//
// Properties: the three readings give the same positions and the same keys seen, so the pieces'
// boundaries and stopping at Full() never change what is read; values are never negative (a file
// holds only digits); ParseFile's answer, MissingCount and FirstMissingName agree with the keys
// seen.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "presenter/core/SkinPositions.h"
#include "presenter/fuzz/Pieces.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

using namespace beamora;

void ParseInPieces(std::span<const uint8_t> file, uint8_t seed, bool stop_when_full,
                   SkinPositions& positions) {
    PositionFileParser parser(positions);
    fuzz::Pieces pieces(seed);
    size_t at = 0;
    while (at < file.size() && !(stop_when_full && parser.Full())) {
        const size_t n = std::min(pieces.Next(), file.size() - at);
        FUZZ_CHECK(parser.Feed(file.subspan(at, n)) == n);
        at += n;
    }
    parser.Finish();
}

void CheckSame(const SkinPositions& a, const SkinPositions& b) {
    for (int key = 0; key < kSkinPositionCount; ++key) {
        FUZZ_CHECK(a[key] == b[key]);
        FUZZ_CHECK(a.Seen(key) == b.Seen(key));
    }
    FUZZ_CHECK(a.MissingCount() == b.MissingCount());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t seed = data[0];
    const std::span<const uint8_t> file(data + 1, size - 1);

    SkinPositions whole;
    const bool complete = whole.ParseFile(file);

    int missing = 0;
    std::string first_missing;
    for (int key = 0; key < kSkinPositionCount; ++key) {
        FUZZ_CHECK(whole[key] >= 0);
        if (!whole.Seen(key)) {
            FUZZ_CHECK(whole[key] == 0);
            if (missing++ == 0) first_missing = SkinKeyName(key);
        }
        FUZZ_CHECK(FindSkinKey(SkinKeyName(key)) == key);
    }
    FUZZ_CHECK(whole.MissingCount() == missing);
    FUZZ_CHECK(complete == (missing == 0));
    FUZZ_CHECK(whole.FirstMissingName() == first_missing);
    FUZZ_CHECK(whole[-1] == 0 && whole[kSkinPositionCount] == 0);

    SkinPositions pieces;
    ParseInPieces(file, seed, false, pieces);
    CheckSame(pieces, whole);

    SkinPositions until_full;
    ParseInPieces(file, seed, true, until_full);
    CheckSame(until_full, whole);
    return 0;
}
