// Inside of ScaleArea: destination pixels grouped into blocks whose taps on each source row lie in
// one window of 32 source pixels, for line kernels that load the window once per row, pick every
// tap's channel bytes out of it with byte permutes and weigh four taps at a time with byte
// multiply-adds. The plan is architecture-neutral data (byte indices into the 128-byte window,
// weights as signed byte digits); the kernels that read it live beside the other vector kernels.
//
// Layout of a block of n pixels (16 or 8): its sums are "slots" of 32 bits, slot s = channel * n +
// pixel for channels blue, green and red (the unused byte is alpha, known beforehand), 16 slots per
// vector, so a block has ceil(3n / 16) accumulator vectors, and lane l of each is pixel l % n: one
// weight vector serves them all. Each accumulator takes, per row and per quad of taps (0 to 3, 4
// to 7), one vector of 64 bytes, slot l's four tap bytes at 4l .. 4l + 3, and weighs them with
// unsigned-by-signed byte multiply-adds: a weight w is split into signed digits,
// w = 256 * high + low with both in -128..127, summed apart and joined at the end. That is exact
// for weights up to 32639.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarrowlink::scale {

struct ColumnTaps;

struct WindowBlocks {
    static constexpr int kWindowPixels = 32;  // two 64-byte vectors of a source row
    static constexpr int kMaxPixels = 16;     // destination pixels per block
    static constexpr int kMaxQuads = 2;
    static constexpr int kMaxRows = 16;  // rows of the filter
    static constexpr int kMaxWeight = 127 * 256 + 127;
    static constexpr int kVectorBytes = 64;

    int block_pixels = 0;  // n: 16 or 8 (a short last block has fewer)
    int accumulators = 0;  // per block: ceil(3n / 16)
    int quads = 0;         // groups of four taps per row (the last may weigh fewer)
    int rows = 0;          // rows of the filter (weights per y phase)
    // Rows whose last quad shares one vector: 1, or, when that quad weighs only 1 or 2 taps, 4
    // or 2. Row j of a group fills bytes j x (4 / tail_rows) onwards of each slot, so one pair of
    // multiply-adds serves the group's last taps instead of one pair per row.
    int tail_rows = 1;

    // The blocks, left to right: first destination column, first source column of the window,
    // pattern. Columns outside [first.front(), end) are computed one by one.
    std::vector<int> first;
    std::vector<int> source;
    std::vector<int> pattern;
    int end = 0;

    // Per pattern (blocks with the same pixel count, tap offsets in the window and phases share
    // one): its pixel count; accumulators x quads permute vectors of 64 byte indices; 64 bytes
    // that assemble the pixels' blue, green and red from the rounded slots as two saturating packs
    // leave them (32-bit to 16-bit of accumulators 0 and 1, of 2 and 2, then 16-bit to 8-bit of
    // the two: slot (a, lane) at byte 16 * (lane / 4) + 4 * a + lane % 4). Alpha bytes are 0.
    std::vector<int> pattern_pixels;
    std::vector<uint8_t> indices;
    std::vector<uint8_t> assembly;
    // Per y phase, per pattern: alpha in bytes 3, 7, ..., the rest 0.
    std::vector<uint8_t> alpha;

    // Per y phase, per pattern: per row, per quad (the last one only when tail_rows is 1): 64
    // high digits of the weights, then 64 low digits, the same for every accumulator; then, when
    // tail_rows > 1, per group of tail_rows rows, the last quad's in the same form.
    std::vector<int8_t> weights;
    size_t weights_per_pattern = 0;  // bytes
    size_t weights_per_phase = 0;

    // Quads weighed row by row.
    int RowQuads() const { return tail_rows > 1 ? quads - 1 : quads; }
    size_t IndexBytesPerPattern() const {
        return static_cast<size_t>(accumulators) * quads * kVectorBytes;
    }
};

// Plans the blocks for these columns, sw source pixels a row wide. weights: per phase pair (y
// phase major), per active row and active tap, as ScaleArea keeps them; row_counts: active rows
// per y phase; alpha: per phase pair. False when the taps do not suit the plan (runs longer than
// eight taps, a weight above INT16_MAX, or no block wider than a quarter of the window), which
// leaves the other kernels to serve.
bool PlanWindowBlocks(const ColumnTaps& columns, int sw, int y_phases, int rows,
                      const std::vector<int>& row_counts, const std::vector<uint32_t>& weights,
                      int taps, const std::vector<uint32_t>& alpha, WindowBlocks* plan);

}  // namespace tarrowlink::scale
