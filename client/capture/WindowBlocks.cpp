#include "client/capture/WindowBlocks.h"

#include <algorithm>
#include <map>

#include "client/capture/ScalerKernels.h"

namespace tarrowlink::scale {
namespace {

// The blocks of n pixels over the columns whose taps are one run inside the source, left to
// right; false when a block's taps do not fit one window that lies inside the row.
bool Partition(const ColumnTaps& columns, int sw, int n, WindowBlocks* plan) {
    const int width = static_cast<int>(columns.run_start.size());
    int k = 0;
    while (k < width && columns.run_start[k] < 0) ++k;
    plan->first.clear();
    plan->source.clear();
    while (k < width && columns.run_start[k] >= 0) {
        int count = 1;
        while (count < n && k + count < width && columns.run_start[k + count] >= 0) ++count;
        const int span_begin = columns.run_start[k];
        const int span_end = columns.run_start[k + count - 1] + columns.run;
        // At the right edge the window ends with the row, so that its loads stay inside it.
        const int window = std::min(span_begin, sw - WindowBlocks::kWindowPixels);
        if (window < 0 || span_end - window > WindowBlocks::kWindowPixels) return false;
        plan->first.push_back(k);
        plan->source.push_back(window);
        k += count;
    }
    plan->end = k;
    return !plan->first.empty();
}

}  // namespace

bool PlanWindowBlocks(const ColumnTaps& columns, int sw, int y_phases, int rows,
                      const std::vector<int>& row_counts, const std::vector<uint32_t>& weights,
                      int taps, const std::vector<uint32_t>& alpha, WindowBlocks* plan) {
    const int run = columns.run;
    if (run <= 0 || run > 4 * WindowBlocks::kMaxQuads || sw < WindowBlocks::kWindowPixels ||
        rows > WindowBlocks::kMaxRows) {
        return false;
    }
    if (std::any_of(weights.begin(), weights.end(),
                    [](uint32_t w) { return w > WindowBlocks::kMaxWeight; })) {
        return false;
    }
    // The widest block that every part of the line allows, 16 or 8 pixels so that a vector's
    // lane l always holds pixel l % n and all accumulators share one weight vector; narrower, the
    // kernels that take pixels in fours do as well.
    int n = WindowBlocks::kMaxPixels;
    if (!Partition(columns, sw, n, plan)) {
        n /= 2;
        if (!Partition(columns, sw, n, plan)) return false;
    }

    plan->block_pixels = n;
    plan->accumulators = (3 * n + 15) / 16;
    plan->quads = (run + 3) / 4;
    plan->rows = rows;
    const int tail_taps = run - 4 * (plan->quads - 1);
    plan->tail_rows = rows > 1 && tail_taps <= 2 ? 4 / tail_taps : 1;
    const int x_phases = columns.phases;

    // Patterns: pixel count, then each pixel's tap offset in the window and phase.
    std::map<std::vector<int>, int> known;
    std::vector<std::vector<int>> patterns;
    plan->pattern.clear();
    for (size_t b = 0; b < plan->first.size(); ++b) {
        const int first = plan->first[b];
        const int last = b + 1 < plan->first.size() ? plan->first[b + 1] : plan->end;
        std::vector<int> key{last - first};
        for (int k = first; k < last; ++k) {
            key.push_back(columns.run_start[k] - plan->source[b]);
            key.push_back(columns.phase[k]);
        }
        auto [it, added] = known.emplace(key, static_cast<int>(patterns.size()));
        if (added) patterns.push_back(key);
        plan->pattern.push_back(it->second);
    }

    const int accumulators = plan->accumulators;
    const int quads = plan->quads;
    const size_t count = patterns.size();
    const size_t index_bytes = plan->IndexBytesPerPattern();
    constexpr int kBytes = WindowBlocks::kVectorBytes;
    plan->pattern_pixels.assign(count, 0);
    plan->indices.assign(count * index_bytes, 0);
    plan->assembly.assign(count * kBytes, 0);
    const int tail_rows = plan->tail_rows;
    const int row_quads = plan->RowQuads();
    const int groups = tail_rows > 1 ? (rows + tail_rows - 1) / tail_rows : 0;
    plan->weights_per_pattern = static_cast<size_t>(rows * row_quads + groups) * 2 * kBytes;
    plan->weights_per_phase = count * plan->weights_per_pattern;
    plan->weights.assign(static_cast<size_t>(y_phases) * plan->weights_per_phase, 0);
    plan->alpha.assign(static_cast<size_t>(y_phases) * count * kBytes, 0);

    for (size_t p = 0; p < count; ++p) {
        const std::vector<int>& key = patterns[p];
        const int pixels = key[0];
        auto offset = [&](int pixel) { return key[1 + 2 * pixel]; };
        auto phase = [&](int pixel) { return key[2 + 2 * pixel]; };
        plan->pattern_pixels[p] = pixels;

        // Byte indices of each slot's four taps; a tap past the run repeats the last, weighed 0,
        // and the slots of pixels past a short block's end read its first pixel's taps.
        uint8_t* indices = plan->indices.data() + p * index_bytes;
        for (int a = 0; a < accumulators; ++a) {
            for (int q = 0; q < quads; ++q) {
                uint8_t* vector = indices + (a * quads + q) * kBytes;
                for (int lane = 0; lane < 16; ++lane) {
                    const int slot = a * 16 + lane;
                    const int channel = slot / n;
                    const int pixel = slot % n < pixels ? slot % n : 0;
                    if (channel >= 3) continue;
                    // The shared last quad: its taps again at each row's place in the slot.
                    const bool shared = tail_rows > 1 && q == quads - 1;
                    for (int t = 0; t < 4; ++t) {
                        const int in_quad = shared ? t % (4 / tail_rows) : t;
                        const int tap = offset(pixel) + std::min(4 * q + in_quad, run - 1);
                        vector[lane * 4 + t] = static_cast<uint8_t>(tap * 4 + channel);
                    }
                }
            }
        }
        // Where each channel's rounded byte lies after the two saturating packs (see
        // WindowBlocks::assembly); the alpha byte is merged afterwards, its index does not matter.
        uint8_t* assembly = plan->assembly.data() + p * kBytes;
        for (int pixel = 0; pixel < pixels; ++pixel) {
            for (int channel = 0; channel < 3; ++channel) {
                const int slot = channel * n + pixel;
                const int a = slot / 16;
                const int lane = slot % 16;
                assembly[pixel * 4 + channel] =
                    static_cast<uint8_t>(16 * (lane / 4) + 4 * a + lane % 4);
            }
        }

        for (int py = 0; py < y_phases; ++py) {
            uint8_t* alpha_out =
                plan->alpha.data() + (static_cast<size_t>(py) * count + p) * kBytes;
            for (int pixel = 0; pixel < pixels; ++pixel) {
                alpha_out[pixel * 4 + 3] =
                    static_cast<uint8_t>(alpha[static_cast<size_t>(py) * x_phases + phase(pixel)]);
            }
            int8_t* out =
                plan->weights.data() + py * plan->weights_per_phase + p * plan->weights_per_pattern;
            // One weight vector per row and quad (or per group of rows, for a shared last
            // quad) serves every accumulator: lane l is pixel l % n. Byte `at` of a slot weighs
            // tap `tap` of row i.
            auto put = [&](int8_t* high, int i, int at, int tap) {
                int8_t* low = high + kBytes;
                for (int lane = 0; lane < 16; ++lane) {
                    const int pixel = lane % n;
                    if (pixel >= pixels) continue;
                    const uint32_t* f = weights.data() +
                                        (static_cast<size_t>(py) * x_phases + phase(pixel)) * taps +
                                        i * run;
                    const int w = static_cast<int>(f[tap]);
                    const int digit = (w + 128) >> 8;
                    high[lane * 4 + at] = static_cast<int8_t>(digit);
                    low[lane * 4 + at] = static_cast<int8_t>(w - 256 * digit);
                }
            };
            const int tail_taps_per_row = 4 / tail_rows;
            for (int i = 0; i < row_counts[py]; ++i) {
                for (int q = 0; q < row_quads; ++q) {
                    for (int t = 0; t < 4 && 4 * q + t < run; ++t) {
                        put(out + (i * row_quads + q) * 2 * kBytes, i, t, 4 * q + t);
                    }
                }
                if (tail_rows == 1) continue;
                int8_t* group = out + (rows * row_quads + i / tail_rows) * 2 * kBytes;
                for (int t = 0; t < tail_taps; ++t) {
                    put(group, i, (i % tail_rows) * tail_taps_per_row + t, 4 * row_quads + t);
                }
            }
        }
    }
    return true;
}

}  // namespace tarrowlink::scale
