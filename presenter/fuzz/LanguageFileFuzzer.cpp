// libFuzzer target: bytes as a language file, read three ways: whole (LanguageTable::ParseFile),
// in pieces of 0 to 40 bytes through LanguageFileParser, and in pieces up to the point where the
// parser says it is Full() and the caller may stop reading.
//
// Input: a seed byte for the piece sizes, then the file.
//
// Properties: the three tables are equal, so the pieces' boundaries (an odd byte, a CR at the end
// of a piece) and stopping at Full() never change what is read; every entry keeps its terminator
// and an entry read back is at most 99 units.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "presenter/core/LanguageTable.h"
#include "presenter/fuzz/Pieces.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

using namespace beamora;

// Feeds file in pieces; stops once the parser is full when stop_when_full.
void ParseInPieces(std::span<const uint8_t> file, uint8_t seed, bool stop_when_full,
                   LanguageEntries& entries) {
    LanguageFileParser parser(entries);
    fuzz::Pieces pieces(seed);
    size_t at = 0;
    while (at < file.size() && !(stop_when_full && parser.Full())) {
        const size_t n = std::min(pieces.Next(), file.size() - at);
        FUZZ_CHECK(parser.Feed(file.subspan(at, n)) == n);
        at += n;
    }
    parser.Finish();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t seed = data[0];
    const std::span<const uint8_t> file(data + 1, size - 1);

    // The tables are large (80 KB for four languages): on the heap, where ASan watches their ends.
    auto table = std::make_unique<LanguageTable>();
    table->ParseFile(kLanguageJapanese, file);
    const LanguageEntries& whole = table->Entries(kLanguageJapanese);

    auto pieces = std::make_unique<LanguageEntries>();
    ParseInPieces(file, seed, false, *pieces);
    FUZZ_CHECK(*pieces == whole);

    auto until_full = std::make_unique<LanguageEntries>();
    ParseInPieces(file, seed, true, *until_full);
    FUZZ_CHECK(*until_full == whole);

    for (int entry = 0; entry < kLanguageEntries; ++entry) {
        FUZZ_CHECK(whole[entry][kLanguageEntryUnits - 1] == 0);
        FUZZ_CHECK(table->Entry(kLanguageJapanese, entry).size() < kLanguageEntryUnits);
        FUZZ_CHECK(table->Entry(kLanguageEnglish, entry).empty());
    }
    FUZZ_CHECK(table->Entry(kLanguageJapanese, kLanguageEntries).empty());
    FUZZ_CHECK(table->Entry(kLanguageCount, 0).empty());
    return 0;
}
