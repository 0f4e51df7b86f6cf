// Scaler line kernels for x86-64: SSE2, which every x86-64 CPU has, AVX2 (two destination pixels
// per register), AVX-512 (four) and AVX-512 with VBMI and VNNI (blocks of up to 16 sharing a window
// of source pixels), used when the CPU and the operating system report them. The first three
// compute each pixel's weighted sums with 16-bit multiply-adds (pixel channels 0..255 times weights
// that fit int16, summed exactly in 32 bits), the last with byte multiply-adds over the weights'
// signed digits (WindowBlocks.h), so all give the portable code's bytes. Columns whose taps cannot
// be loaded whole (at the source's edges, or clamped) go through the shared scalar code.
#include <immintrin.h>

#include "client/capture/ScalerKernels.h"

#define BEAMORA_AVX2 __attribute__((target("avx2")))
#define BEAMORA_AVX512 __attribute__((target("avx2,avx512f,avx512bw")))
#define BEAMORA_VBMI __attribute__((target("avx2,avx512f,avx512bw,avx512vbmi,avx512vnni")))

namespace tarrowlink::scale {
namespace {

inline __m128i Load128(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

// The rounded, clipped channels of the four 32-bit sums (blue, green, red, unused) as one pixel,
// the unused byte replaced by alpha.
inline uint32_t PackPixel(__m128i sums, uint32_t alpha) {
    __m128i values = _mm_srli_epi32(_mm_add_epi32(sums, _mm_set1_epi32(0x8000)), 16);
    values = _mm_packs_epi32(values, values);   // below 2^15: exact
    values = _mm_packus_epi16(values, values);  // clips at 255
    return (static_cast<uint32_t>(_mm_cvtsi128_si32(values)) & 0xFFFFFFu) | alpha << 24;
}

// ---- SSE2 ----

// One destination pixel whose taps start at source column start, kGroups groups of four.
template <int kGroups>
inline __m128i SumsSse2(const LineTaps& line, int start, const int16_t* weights, int per_row) {
    const __m128i zero = _mm_setzero_si128();
    __m128i sums = zero;
    for (int i = 0; i < line.row_count; ++i, weights += per_row) {
        const uint32_t* pixels = line.rows[i] + start;
        for (int g = 0; g < kGroups; ++g) {
            const __m128i four = Load128(pixels + g * kGroupTaps);
            const __m128i low = _mm_unpacklo_epi8(four, zero);   // pixels 0 and 1, 16 bits
            const __m128i high = _mm_unpackhi_epi8(four, zero);  // pixels 2 and 3
            // Each channel of taps 0 and 2 side by side, then of taps 1 and 3.
            const __m128i even = _mm_unpacklo_epi16(low, high);
            const __m128i odd = _mm_unpackhi_epi16(low, high);
            sums = _mm_add_epi32(sums, _mm_madd_epi16(even, Load128(weights + g * 16)));
            sums = _mm_add_epi32(sums, _mm_madd_epi16(odd, Load128(weights + g * 16 + 8)));
        }
    }
    return sums;
}

template <int kGroups>
void LineSse2(const LineTaps& line, const ColumnTaps& columns, int taps, uint32_t* out) {
    const int width = static_cast<int>(columns.phase.size());
    const int per_row = kGroups * 16;
    for (int k = 0; k < width; ++k) {
        const int start = columns.group_start[k];
        if (start < 0) {
            out[k] = ScalePixelClamped(line, columns, taps, k);
            continue;
        }
        const int px = columns.phase[k];
        const int16_t* weights = line.vector_weights + px * line.vector_phase_stride;
        out[k] = PackPixel(SumsSse2<kGroups>(line, start, weights, per_row), line.alpha[px]);
    }
}

LineFunction SelectSse2(const ColumnTaps& columns, bool vector_weights) {
    if (!vector_weights) return nullptr;
    switch ((columns.run + kGroupTaps - 1) / kGroupTaps) {
        case 1:
            return LineSse2<1>;
        case 2:
            return LineSse2<2>;
        default:
            return nullptr;
    }
}

const ScalerSet kSse2Scaler = {"sse2", SelectSse2, 0};

// ---- AVX2 ----

// Two destination pixels at once, one per 128-bit lane: their taps start at start0 and start1,
// weighed by their pair of phases' side-by-side table.
template <int kGroups>
BEAMORA_AVX2 inline __m256i SumsAvx2(const LineTaps& line, int start0, int start1,
                                     const int16_t* pair_weights, int per_row) {
    // Each channel of taps 0 and 2 side by side (16 bits each), then of taps 1 and 3.
    const __m256i even = _mm256_setr_epi8(0, -1, 8, -1, 1, -1, 9, -1, 2, -1, 10, -1, 3, -1, 11, -1,
                                          0, -1, 8, -1, 1, -1, 9, -1, 2, -1, 10, -1, 3, -1, 11, -1);
    const __m256i odd =
        _mm256_setr_epi8(4, -1, 12, -1, 5, -1, 13, -1, 6, -1, 14, -1, 7, -1, 15, -1, 4, -1, 12, -1,
                         5, -1, 13, -1, 6, -1, 14, -1, 7, -1, 15, -1);
    __m256i sums = _mm256_setzero_si256();
    for (int i = 0; i < line.row_count; ++i) {
        const uint32_t* row = line.rows[i];
        for (int g = 0; g < kGroups; ++g) {
            const __m256i pixels = _mm256_inserti128_si256(
                _mm256_castsi128_si256(Load128(row + start0 + g * kGroupTaps)),
                Load128(row + start1 + g * kGroupTaps), 1);
            const int16_t* w = pair_weights + (i * per_row + g * 16) * 2;
            const __m256i even_weights = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w));
            const __m256i odd_weights =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 16));
            sums = _mm256_add_epi32(
                sums, _mm256_madd_epi16(_mm256_shuffle_epi8(pixels, even), even_weights));
            sums = _mm256_add_epi32(
                sums, _mm256_madd_epi16(_mm256_shuffle_epi8(pixels, odd), odd_weights));
        }
    }
    return sums;
}

template <int kGroups>
BEAMORA_AVX2 void LineAvx2(const LineTaps& line, const ColumnTaps& columns, int taps,
                           uint32_t* out) {
    const int width = static_cast<int>(columns.phase.size());
    const int per_row = kGroups * 16;
    int k = 0;
    while (k < width) {
        const int start0 = columns.group_start[k];
        if (start0 < 0) {
            out[k] = ScalePixelClamped(line, columns, taps, k);
            ++k;
            continue;
        }
        const int px0 = columns.phase[k];
        const int16_t* weights0 = line.vector_weights + px0 * line.vector_phase_stride;
        const int start1 = k + 1 < width ? columns.group_start[k + 1] : -1;
        if (start1 < 0) {
            out[k] = PackPixel(SumsSse2<kGroups>(line, start0, weights0, per_row), line.alpha[px0]);
            ++k;
            continue;
        }
        const int px1 = columns.phase[k + 1];
        const int16_t* pair_weights =
            line.lane_weights + (px0 + px1 * columns.phases) * line.lane_combination_stride;
        const __m256i sums = SumsAvx2<kGroups>(line, start0, start1, pair_weights, per_row);
        out[k] = PackPixel(_mm256_castsi256_si128(sums), line.alpha[px0]);
        out[k + 1] = PackPixel(_mm256_extracti128_si256(sums, 1), line.alpha[px1]);
        k += 2;
    }
}

BEAMORA_AVX2 LineFunction SelectAvx2(const ColumnTaps& columns, bool vector_weights) {
    if (!vector_weights) return nullptr;
    switch ((columns.run + kGroupTaps - 1) / kGroupTaps) {
        case 1:
            return LineAvx2<1>;
        case 2:
            return LineAvx2<2>;
        default:
            return nullptr;
    }
}

const ScalerSet kAvx2Scaler = {"avx2", SelectAvx2, 2};

// ---- AVX-512 ----

// GCC 12's AVX-512 intrinsics fill the lanes they leave undefined from a self-initialised
// variable, which -Wmaybe-uninitialized reports in every caller; nothing here reads those lanes.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// Four destination pixels at once, one per 128-bit lane, as SumsAvx2 does two.
template <int kGroups>
BEAMORA_AVX512 inline __m512i SumsAvx512(const LineTaps& line, const int* starts,
                                         const int16_t* quad_weights, int per_row) {
    // The same shuffles as SumsAvx2's, in each of the four lanes.
    const __m512i even = _mm512_set4_epi32(0xFF0BFF03, 0xFF0AFF02, 0xFF09FF01, 0xFF08FF00);
    const __m512i odd = _mm512_set4_epi32(0xFF0FFF07, 0xFF0EFF06, 0xFF0DFF05, 0xFF0CFF04);
    __m512i sums = _mm512_setzero_si512();
    for (int i = 0; i < line.row_count; ++i) {
        const uint32_t* row = line.rows[i];
        for (int g = 0; g < kGroups; ++g) {
            const int tap = g * kGroupTaps;
            const int16_t* w = quad_weights + (i * per_row + g * 16) * 4;
            __m512i pixels = _mm512_zextsi128_si512(Load128(row + starts[0] + tap));
            pixels = _mm512_inserti32x4(pixels, Load128(row + starts[1] + tap), 1);
            pixels = _mm512_inserti32x4(pixels, Load128(row + starts[2] + tap), 2);
            pixels = _mm512_inserti32x4(pixels, Load128(row + starts[3] + tap), 3);
            const __m512i even_weights = _mm512_loadu_si512(w);
            const __m512i odd_weights = _mm512_loadu_si512(w + 32);
            sums = _mm512_add_epi32(
                sums, _mm512_madd_epi16(_mm512_shuffle_epi8(pixels, even), even_weights));
            sums = _mm512_add_epi32(
                sums, _mm512_madd_epi16(_mm512_shuffle_epi8(pixels, odd), odd_weights));
        }
    }
    return sums;
}

template <int kGroups>
BEAMORA_AVX512 void LineAvx512(const LineTaps& line, const ColumnTaps& columns, int taps,
                               uint32_t* out) {
    const int width = static_cast<int>(columns.phase.size());
    const int per_row = kGroups * 16;
    // The four pixels' rounded channels: each lane's first dword, gathered into the low lane.
    const __m512i firsts = _mm512_setr_epi32(0, 4, 8, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    auto single = [&](int k) {
        const int start = columns.group_start[k];
        const int px = columns.phase[k];
        out[k] = start >= 0
                     ? PackPixel(SumsSse2<kGroups>(
                                     line, start,
                                     line.vector_weights + px * line.vector_phase_stride, per_row),
                                 line.alpha[px])
                     : ScalePixelClamped(line, columns, taps, k);
    };
    int k = 0;
    for (; k < columns.vector_begin; ++k) single(k);
    for (; k + 4 <= columns.vector_end; k += 4) {
        const int* starts = &columns.group_start[k];
        int combination = 0;
        for (int n = 3; n >= 0; --n)
            combination = combination * columns.phases + columns.phase[k + n];
        __m512i values = SumsAvx512<kGroups>(
            line, starts, line.lane_weights + combination * line.lane_combination_stride, per_row);
        values = _mm512_srli_epi32(_mm512_add_epi32(values, _mm512_set1_epi32(0x8000)), 16);
        values = _mm512_packs_epi32(values, values);   // below 2^15: exact
        values = _mm512_packus_epi16(values, values);  // clips at 255
        __m128i pixels = _mm512_castsi512_si128(_mm512_permutexvar_epi32(firsts, values));
        const __m128i alphas = Load128(line.lane_alpha + combination * 4);
        pixels = _mm_or_si128(_mm_and_si128(pixels, _mm_set1_epi32(0xFFFFFF)), alphas);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), pixels);
    }
    for (; k < width; ++k) single(k);
}

BEAMORA_AVX512 LineFunction SelectAvx512(const ColumnTaps& columns, bool vector_weights) {
    if (!vector_weights) return nullptr;
    switch ((columns.run + kGroupTaps - 1) / kGroupTaps) {
        case 1:
            return LineAvx512<1>;
        case 2:
            return LineAvx512<2>;
        default:
            return nullptr;
    }
}

const ScalerSet kAvx512Scaler = {"avx512", SelectAvx512, 4};

// ---- AVX-512 with byte permutes (VBMI) and fused multiply-adds (VNNI) ----

// A block of up to 16 destination pixels at a time (WindowBlocks): per row, the 32-pixel window
// in two registers, each accumulator's quads of taps picked out of it with one permute and weighed
// with two byte multiply-adds (the weights' high and low digits). No unused fourth channel is
// weighed, as in the four-lane kernels, and no byte is widened first.
//
// kTailRows > 1: the last quad weighs one or two taps, and kTailRows rows share it: each row's
// taps are picked into its own bytes of the slots (a zero-masked permute), the rows are merged
// with an or, and one pair of multiply-adds weighs the group.
template <int kAccumulators, int kQuads, int kTailRows>
BEAMORA_VBMI void LineWindows(const LineTaps& line, const ColumnTaps& columns, int taps,
                              uint32_t* out) {
    constexpr int kRowQuads = kTailRows > 1 ? kQuads - 1 : kQuads;
    constexpr int kTailBytes = 4 / kTailRows;  // bytes of a slot a row fills in the shared quad
    // Row j of a group: bytes j x kTailBytes .. + kTailBytes - 1 of every 32-bit slot.
    constexpr uint64_t kRowBytes = kTailBytes == 1 ? 0x1111111111111111ull : 0x3333333333333333ull;
    const WindowBlocks& plan = *columns.blocks;
    const int width = static_cast<int>(columns.phase.size());
    // Everything the blocks read, in locals: the masked stores below may alias any memory, and
    // would make the compiler load the plan's pointers again for every block.
    const size_t index_bytes = plan.IndexBytesPerPattern();
    const size_t weights_per_pattern = plan.weights_per_pattern;
    const size_t blocks = plan.first.size();
    const int* const first = plan.first.data();
    const int* const source = plan.source.data();
    const int* const patterns = plan.pattern.data();
    const int* const pattern_pixels = plan.pattern_pixels.data();
    const uint8_t* const indices = plan.indices.data();
    const uint8_t* const assembly = plan.assembly.data();
    const int8_t* const window_weights = line.window_weights;
    const uint8_t* const window_alpha = line.window_alpha;
    const int row_count = line.row_count;
    const int ahead_count = line.ahead_count;
    const size_t tail_weights = static_cast<size_t>(plan.rows) * kRowQuads * 128;
    const uint32_t* rows[WindowBlocks::kMaxRows];
    const uint32_t* ahead[kMaxAheadRows];
    for (int i = 0; i < row_count; ++i) rows[i] = line.rows[i];
    for (int i = 0; i < ahead_count; ++i) ahead[i] = line.ahead[i];

    for (int k = 0; k < first[0]; ++k) out[k] = ScalePixelClamped(line, columns, taps, k);
    for (size_t b = 0; b < blocks; ++b) {
        const int pattern = patterns[b];
        const int window_start = source[b];
        const uint8_t* index_table = indices + pattern * index_bytes;
        __m512i high_sums[kAccumulators];
        __m512i low_sums[kAccumulators];
#pragma GCC unroll 4
        for (int a = 0; a < kAccumulators; ++a) {
            high_sums[a] = _mm512_setzero_si512();
            low_sums[a] = _mm512_set1_epi32(0x8000);  // the rounding
        }
        for (int i = 0; i < ahead_count; ++i) {
            const char* next = reinterpret_cast<const char*>(ahead[i] + window_start);
            _mm_prefetch(next, _MM_HINT_T1);
            _mm_prefetch(next + 64, _MM_HINT_T1);
        }
        const int8_t* weights = window_weights + pattern * weights_per_pattern;
        __m512i tail[kAccumulators];
#pragma GCC unroll 4
        for (int a = 0; a < kAccumulators; ++a) tail[a] = _mm512_setzero_si512();
        for (int i = 0; i < row_count; ++i) {
            const uint32_t* window = rows[i] + window_start;
            const __m512i low = _mm512_loadu_si512(window);
            const __m512i high = _mm512_loadu_si512(window + 16);
            const int8_t* row_weights = weights + i * kRowQuads * 128;
#pragma GCC unroll 2
            for (int q = 0; q < kRowQuads; ++q) {
                const __m512i high_digits = _mm512_loadu_si512(row_weights + q * 128);
                const __m512i low_digits = _mm512_loadu_si512(row_weights + q * 128 + 64);
#pragma GCC unroll 4
                for (int a = 0; a < kAccumulators; ++a) {
                    const __m512i quad = _mm512_permutex2var_epi8(
                        low, _mm512_loadu_si512(index_table + (a * kQuads + q) * 64), high);
                    high_sums[a] = _mm512_dpbusd_epi32(high_sums[a], quad, high_digits);
                    low_sums[a] = _mm512_dpbusd_epi32(low_sums[a], quad, low_digits);
                }
            }
            if constexpr (kTailRows > 1) {
                const int in_group = i % kTailRows;
                const __mmask64 mine = _cvtu64_mask64(kRowBytes << (in_group * kTailBytes));
#pragma GCC unroll 4
                for (int a = 0; a < kAccumulators; ++a) {
                    const __m512i index =
                        _mm512_loadu_si512(index_table + (a * kQuads + kQuads - 1) * 64);
                    tail[a] = _mm512_or_si512(
                        tail[a], _mm512_maskz_permutex2var_epi8(mine, low, index, high));
                }
                if (in_group == kTailRows - 1 || i == row_count - 1) {
                    const int8_t* group = weights + tail_weights + (i / kTailRows) * 128;
                    const __m512i high_digits = _mm512_loadu_si512(group);
                    const __m512i low_digits = _mm512_loadu_si512(group + 64);
#pragma GCC unroll 4
                    for (int a = 0; a < kAccumulators; ++a) {
                        high_sums[a] = _mm512_dpbusd_epi32(high_sums[a], tail[a], high_digits);
                        low_sums[a] = _mm512_dpbusd_epi32(low_sums[a], tail[a], low_digits);
                        tail[a] = _mm512_setzero_si512();
                    }
                }
            }
        }
        // Joined and rounded (the low sums started at 0x8000), then clipped to bytes by two
        // in-lane saturating packs: the sums are never negative and stay far below 2^31, so the
        // shifted values fit the signed 16-bit step. One byte permute puts each pixel's three
        // channels in place and the alpha bytes are merged in. (The packs and a single-source
        // permute take the shuffle port for 4 cycles a block; narrowing each accumulator on its
        // own and a two-source permute took 10.)
        __m512i rounded[kAccumulators];
#pragma GCC unroll 4
        for (int a = 0; a < kAccumulators; ++a) {
            const __m512i sums = _mm512_add_epi32(_mm512_slli_epi32(high_sums[a], 8), low_sums[a]);
            rounded[a] = _mm512_srli_epi32(sums, 16);
        }
        const __m512i first_words =
            _mm512_packus_epi32(rounded[0], rounded[kAccumulators > 1 ? 1 : 0]);
        const __m512i last_words =
            kAccumulators > 2
                ? _mm512_packus_epi32(rounded[kAccumulators - 1], rounded[kAccumulators - 1])
                : first_words;
        const __m512i bytes = _mm512_packus_epi16(first_words, last_words);
        __m512i pixels =
            _mm512_permutexvar_epi8(_mm512_loadu_si512(assembly + pattern * 64), bytes);
        pixels = _mm512_ternarylogic_epi32(pixels, _mm512_set1_epi32(0x00FFFFFF),
                                           _mm512_loadu_si512(window_alpha + pattern * 64),
                                           0xEA);  // (pixels & colour) | alpha
        const __mmask16 store = static_cast<__mmask16>((1u << pattern_pixels[pattern]) - 1);
        _mm512_mask_storeu_epi32(out + first[b], store, pixels);
    }
    for (int k = plan.end; k < width; ++k) out[k] = ScalePixelClamped(line, columns, taps, k);
}

template <int kAccumulators, int kQuads>
BEAMORA_VBMI LineFunction SelectWindowTail(int tail_rows) {
    switch (tail_rows) {
        case 1:
            return LineWindows<kAccumulators, kQuads, 1>;
        case 2:
            return LineWindows<kAccumulators, kQuads, 2>;
        case 4:
            return LineWindows<kAccumulators, kQuads, 4>;
        default:
            return nullptr;
    }
}

template <int kAccumulators>
BEAMORA_VBMI LineFunction SelectWindowQuads(int quads, int tail_rows) {
    switch (quads) {
        case 1:
            return SelectWindowTail<kAccumulators, 1>(tail_rows);
        case 2:
            return SelectWindowTail<kAccumulators, 2>(tail_rows);
        default:
            return nullptr;
    }
}

// The window kernel when the blocks are planned, else the AVX-512 set's.
BEAMORA_VBMI LineFunction SelectWindows(const ColumnTaps& columns, bool vector_weights) {
    const WindowBlocks* plan = columns.blocks;
    if (plan == nullptr) return SelectAvx512(columns, vector_weights);
    switch (plan->accumulators) {
        case 1:
            return SelectWindowQuads<1>(plan->quads, plan->tail_rows);
        case 2:
            return SelectWindowQuads<2>(plan->quads, plan->tail_rows);
        case 3:
            return SelectWindowQuads<3>(plan->quads, plan->tail_rows);
        default:
            return nullptr;
    }
}

const ScalerSet kWindowScaler = {"avx512vbmi", SelectWindows, 4, true};

#pragma GCC diagnostic pop

struct SetList {
    const ScalerSet* sets[5];
    size_t count = 0;
};

SetList FindUsableSets() {
    SetList list;
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) {
        if (__builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vnni")) {
            list.sets[list.count++] = &kWindowScaler;
        }
        list.sets[list.count++] = &kAvx512Scaler;
    }
    if (__builtin_cpu_supports("avx2")) list.sets[list.count++] = &kAvx2Scaler;
    list.sets[list.count++] = &kSse2Scaler;
    list.sets[list.count++] = &kPortableScaler;
    return list;
}

}  // namespace

std::span<const ScalerSet* const> UsableScalerSets() {
    static const SetList list = FindUsableSets();
    return {list.sets, list.count};
}

}  // namespace tarrowlink::scale
