// Inside of ScaleArea: how one destination line is computed from the taps worked out beforehand,
// and the table of line kernels that CMake picks per architecture (like the pixel converters).
// Not for use outside client/capture except by its tests and benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "client/capture/WindowBlocks.h"

namespace tarrowlink::scale {

// Rows below a line that a kernel may fetch ahead (LineTaps::ahead).
constexpr int kMaxAheadRows = 4;

// The source rows of one destination line's taps and the weights of its filter phase.
struct LineTaps {
    std::vector<const uint32_t*> rows;  // rows that count, top first
    int row_count = 0;
    const uint32_t* weights = nullptr;  // per column phase: row_count x active columns
    const uint32_t* alpha = nullptr;    // per column phase
    // The same weights for the vector kernels (null when they do not fit 16 bits): per column
    // phase, per row, per group of four taps, two vectors of eight int16: the weights of taps 0
    // and 2 of the group repeated, then those of taps 1 and 3 (0 past the run).
    const int16_t* vector_weights = nullptr;
    int vector_phase_stride = 0;  // int16 values from one column phase's table to the next
    // Per combination (as lane_weights): the lanes' alpha bytes, in place, one 32-bit word each.
    const uint32_t* lane_alpha = nullptr;
    // The same weights side by side for a set that computes several destination pixels at once
    // (ScalerSet::lanes of them), per combination of their column phases (the first pixel's
    // phase counting least): per row, per group, the even then the odd vectors of every lane.
    // Always there for a set with lanes whose kernel was selected; null otherwise.
    const int16_t* lane_weights = nullptr;
    int lane_combination_stride = 0;  // int16 values from one combination's table to the next
    // This line's row phase in the window blocks' tables (when ColumnTaps::blocks is set): its
    // weights and alpha vectors, per pattern.
    const int8_t* window_weights = nullptr;
    const uint8_t* window_alpha = nullptr;
    // Source rows below this line's that the next line will read, for kernels that fetch them
    // into the cache while they work on this one.
    const uint32_t* ahead[kMaxAheadRows] = {};
    int ahead_count = 0;
};

// The destination columns' taps, the same on every line.
struct ColumnTaps {
    std::vector<int> phase;      // per column: its filter phase
    std::vector<int> clamped;    // per column: width source columns, clamped to the source
    std::vector<int> run_start;  // per column: first source column of its run of taps, or -1
    // per column: run_start, when the vector kernels may load whole groups of four pixels from
    // there without leaving the source row; else -1
    std::vector<int> group_start;
    // Columns vector_begin .. vector_end-1 all have a group_start (the vector kernels' run).
    int vector_begin = 0;
    int vector_end = 0;
    int width = 0;  // the filter's width in taps
    int run = 0;    // taps per row when every phase has them in one run, else 0
    int phases = 0;
    const std::vector<std::vector<int>>* active = nullptr;  // per phase: the taps that count
    // The columns in blocks sharing a window of source pixels, when planned for a set that takes
    // them (ScalerSet::window_blocks); else null.
    const WindowBlocks* blocks = nullptr;
};

// Computes one destination line (columns.phase.size() pixels) into out. taps: the weight table's
// stride per phase.
using LineFunction = void (*)(const LineTaps& line, const ColumnTaps& columns, int taps,
                              uint32_t* out);

// One implementation of the line computation. All give identical bytes.
struct ScalerSet {
    const char* name;
    // The kernel for these taps; null when this set cannot serve them (the caller then uses the
    // portable set). vector_weights: whether the 16-bit weight tables exist (with the lane table
    // when the set has lanes).
    LineFunction (*select)(const ColumnTaps& columns, bool vector_weights);
    // Destination pixels its kernels compute at once with LineTaps::lane_weights; 0: it uses
    // none.
    int lanes;
    // Whether its kernels take ColumnTaps::blocks when they can be planned.
    bool window_blocks = false;
};

// The sets this CPU can run, best first, the portable set last. Built once; any thread. Made by
// the architecture's selection file (chosen in CMake).
std::span<const ScalerSet* const> UsableScalerSets();

extern const ScalerSet kPortableScaler;

// ScaleArea through the given set (its tests hold every usable set to the reference).
bool ScaleAreaWith(const ScalerSet& set, const uint8_t* src, int sw, int sh, ptrdiff_t src_stride,
                   uint8_t* dst, int dw, int dh, ptrdiff_t dst_stride);

// Taps per row a vector group holds, and the most groups a vector kernel handles.
constexpr int kGroupTaps = 4;
constexpr int kMaxGroups = 2;
// int16 values per row of the vector weight table: two vectors of eight per group.
inline int VectorWeightsPerRow(int run) {
    return (run + kGroupTaps - 1) / kGroupTaps * 16;
}

inline int Clip(int value) {
    return value < 0 ? 0 : value > 0xFF ? 0xFF : value;
}

// Weighted sums of one destination pixel: red and blue in one 64-bit sum (red from bit 32), green
// on its own. Each sum stays below 2^32 since the weights are non-negative and add up to about
// 65536.
struct Sums {
    uint64_t red_blue = 0;
    uint32_t green = 0;

    void Add(uint32_t pixel, uint32_t weight) {
        red_blue += ((pixel & 0xFFu) | (static_cast<uint64_t>(pixel & 0xFF0000u) << 16)) * weight;
        green += ((pixel >> 8) & 0xFFu) * weight;
    }
    uint32_t Pixel(uint32_t alpha) const {
        const int blue = Clip(static_cast<int>(((red_blue & 0xFFFFFFFFu) + 0x8000) >> 16));
        const int red = Clip(static_cast<int>(((red_blue >> 32) + 0x8000) >> 16));
        const int green_total = Clip(static_cast<int>((uint64_t{green} + 0x8000) >> 16));
        return (alpha << 24) | (static_cast<uint32_t>(red) << 16) |
               (static_cast<uint32_t>(green_total) << 8) | static_cast<uint32_t>(blue);
    }
};

// One destination pixel through the clamped column table: right for every column, including
// those whose taps leave the source (the vector kernels' fallback).
inline uint32_t ScalePixelClamped(const LineTaps& line, const ColumnTaps& columns, int taps,
                                  int k) {
    const int px = columns.phase[k];
    const uint32_t* f = line.weights + px * taps;
    const int* clamped = columns.clamped.data() + static_cast<size_t>(k) * columns.width;
    const std::vector<int>& active = (*columns.active)[px];
    Sums sums;
    for (int i = 0; i < line.row_count; ++i) {
        const uint32_t* row = line.rows[i];
        for (int j : active) sums.Add(row[clamped[j]], *f++);
    }
    return sums.Pixel(line.alpha[px]);
}

}  // namespace tarrowlink::scale
