// Converters for x86-64: SSE2, which every x86-64 CPU has, and AVX2, used when the CPU and the
// operating system report it. The AVX2 code is marked per function, so nothing outside those
// functions ever runs AVX2 instructions on a CPU without them. Counts that do not fill a vector
// step finish in the shared scalar code, which computes the same bytes.
#include <immintrin.h>

#include <cstring>

#include "client/capture/PixelKernels.h"

#define BEAMORA_AVX2 __attribute__((target("avx2")))

namespace tarrowlink::pixel {
namespace {

inline __m128i Load128(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store128(uint8_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}
inline void Store64(uint8_t* p, __m128i v) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
}

// ---- SSE2 ----

// The 16-bit form of four pixels as four sign-extended 32-bit values. The result is shifted into
// the top half and back with an arithmetic shift so that the signed pack that follows keeps every
// 16-bit value exactly (SSE2 has no unsigned 32-to-16 pack).
template <typename Form>
inline __m128i Form16Sse2(__m128i pixels) {
    const __m128i red_blue_mask = _mm_set1_epi32(0x00F800F8);
    const __m128i weights =
        _mm_set1_epi32(static_cast<int>(Form::redWeight << 16 | Form::blueWeight));
    const __m128i green_mask = _mm_set1_epi32(static_cast<int>(Form::greenMask));
    __m128i sum = _mm_or_si128(_mm_madd_epi16(_mm_and_si128(pixels, red_blue_mask), weights),
                               _mm_and_si128(pixels, green_mask));
    return _mm_srai_epi32(_mm_slli_epi32(sum, 16 - Form::shift), 16);
}

template <typename Form>
void Sse2Convert16(uint8_t* destination, const uint8_t* source, int count) {
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        __m128i low = Form16Sse2<Form>(Load128(source + 4 * i));
        __m128i high = Form16Sse2<Form>(Load128(source + 4 * i + 16));
        Store128(destination + 2 * i, _mm_packs_epi32(low, high));
    }
    if (i + 4 <= count) {
        __m128i values = Form16Sse2<Form>(Load128(source + 4 * i));
        Store64(destination + 2 * i, _mm_packs_epi32(values, values));
        i += 4;
    }
    Scalar16<Form>(destination + 2 * i, source + 4 * i, count - i);
}

// Four pixels packed to 12 bytes in the low part of the register; the top 4 bytes are zero.
inline __m128i Pack24Sse2(__m128i pixels) {
    const __m128i even_pixels = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    const __m128i odd_pixels = _mm_set_epi32(0x00FFFFFF, 0, 0x00FFFFFF, 0);
    // Each 64-bit half first holds its two pixels as 6 bytes ...
    __m128i pairs = _mm_or_si128(_mm_and_si128(pixels, even_pixels),
                                 _mm_srli_epi64(_mm_and_si128(pixels, odd_pixels), 8));
    // ... then the upper 6 bytes move down next to the lower ones.
    return _mm_or_si128(_mm_move_epi64(pairs), _mm_slli_si128(_mm_srli_si128(pairs, 8), 6));
}

void Sse2Convert24(uint8_t* destination, const uint8_t* source, int count) {
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const uint8_t* in = source + 4 * i;
        uint8_t* out = destination + 3 * i;
        __m128i p0 = Pack24Sse2(Load128(in));
        __m128i p1 = Pack24Sse2(Load128(in + 16));
        __m128i p2 = Pack24Sse2(Load128(in + 32));
        __m128i p3 = Pack24Sse2(Load128(in + 48));
        Store128(out, _mm_or_si128(p0, _mm_slli_si128(p1, 12)));
        Store128(out + 16, _mm_or_si128(_mm_srli_si128(p1, 4), _mm_slli_si128(p2, 8)));
        Store128(out + 32, _mm_or_si128(_mm_srli_si128(p2, 8), _mm_slli_si128(p3, 4)));
    }
    for (; i + 4 <= count; i += 4) {
        __m128i packed = Pack24Sse2(Load128(source + 4 * i));
        Store64(destination + 3 * i, packed);
        int32_t last = _mm_cvtsi128_si32(_mm_srli_si128(packed, 8));
        std::memcpy(destination + 3 * i + 8, &last, 4);
    }
    Scalar24(destination + 3 * i, source + 4 * i, count - i);
}

void Sse2Opaque32(uint8_t* destination, const uint8_t* source, int count) {
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        Store128(destination + 4 * i, _mm_or_si128(Load128(source + 4 * i), opaque));
        Store128(destination + 4 * i + 16, _mm_or_si128(Load128(source + 4 * i + 16), opaque));
    }
    if (i + 4 <= count) {
        Store128(destination + 4 * i, _mm_or_si128(Load128(source + 4 * i), opaque));
        i += 4;
    }
    ScalarOpaque32(destination + 4 * i, source + 4 * i, count - i);
}

const ConverterSet kSse2Converters{
    "sse2",
    Sse2Convert24,
    Sse2Convert16<Form565>,
    Sse2Convert16<Form565Swapped>,
    Sse2Convert16<Form555>,
    Sse2Convert16<Form555Swapped>,
    Sse2Opaque32,
};

// ---- AVX2 ----

BEAMORA_AVX2 inline __m256i Load256(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
BEAMORA_AVX2 inline void Store256(uint8_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// The 16-bit form of eight pixels, each in 0..0xFFFF in its 32-bit lane.
template <typename Form>
BEAMORA_AVX2 inline __m256i Form16Avx2(__m256i pixels) {
    const __m256i red_blue_mask = _mm256_set1_epi32(0x00F800F8);
    const __m256i weights =
        _mm256_set1_epi32(static_cast<int>(Form::redWeight << 16 | Form::blueWeight));
    const __m256i green_mask = _mm256_set1_epi32(static_cast<int>(Form::greenMask));
    __m256i sum =
        _mm256_or_si256(_mm256_madd_epi16(_mm256_and_si256(pixels, red_blue_mask), weights),
                        _mm256_and_si256(pixels, green_mask));
    return _mm256_srli_epi32(sum, Form::shift);
}

template <typename Form>
BEAMORA_AVX2 void Avx2Convert16(uint8_t* destination, const uint8_t* source, int count) {
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        __m256i low = Form16Avx2<Form>(Load256(source + 4 * i));
        __m256i high = Form16Avx2<Form>(Load256(source + 4 * i + 32));
        // The pack works per 128-bit lane; the permute puts the four 64-bit groups in order.
        __m256i packed = _mm256_packus_epi32(low, high);
        Store256(destination + 2 * i, _mm256_permute4x64_epi64(packed, 0xD8));
    }
    Sse2Convert16<Form>(destination + 2 * i, source + 4 * i, count - i);
}

BEAMORA_AVX2 void Avx2Convert24(uint8_t* destination, const uint8_t* source, int count) {
    // Sixteen pixels (four registers) become three registers of 24-bit pixels: each output
    // register takes its bytes from two inputs through byte shuffles.
    const __m128i out0_from0 =
        _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m128i out0_from1 =
        _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 2, 4);
    const __m128i out1_from1 =
        _mm_setr_epi8(5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i out1_from2 =
        _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8, 9);
    const __m128i out2_from2 =
        _mm_setr_epi8(10, 12, 13, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i out2_from3 =
        _mm_setr_epi8(-1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14);
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const uint8_t* in = source + 4 * i;
        uint8_t* out = destination + 3 * i;
        __m128i p0 = Load128(in);
        __m128i p1 = Load128(in + 16);
        __m128i p2 = Load128(in + 32);
        __m128i p3 = Load128(in + 48);
        Store128(out,
                 _mm_or_si128(_mm_shuffle_epi8(p0, out0_from0), _mm_shuffle_epi8(p1, out0_from1)));
        Store128(out + 16,
                 _mm_or_si128(_mm_shuffle_epi8(p1, out1_from1), _mm_shuffle_epi8(p2, out1_from2)));
        Store128(out + 32,
                 _mm_or_si128(_mm_shuffle_epi8(p2, out2_from2), _mm_shuffle_epi8(p3, out2_from3)));
    }
    Sse2Convert24(destination + 3 * i, source + 4 * i, count - i);
}

BEAMORA_AVX2 void Avx2Opaque32(uint8_t* destination, const uint8_t* source, int count) {
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        Store256(destination + 4 * i, _mm256_or_si256(Load256(source + 4 * i), opaque));
        Store256(destination + 4 * i + 32, _mm256_or_si256(Load256(source + 4 * i + 32), opaque));
    }
    Sse2Opaque32(destination + 4 * i, source + 4 * i, count - i);
}

const ConverterSet kAvx2Converters{
    "avx2",
    Avx2Convert24,
    Avx2Convert16<Form565>,
    Avx2Convert16<Form565Swapped>,
    Avx2Convert16<Form555>,
    Avx2Convert16<Form555Swapped>,
    Avx2Opaque32,
};

struct SetList {
    const ConverterSet* sets[3] = {};
    size_t count = 0;
};

SetList FindUsableSets() {
    SetList list;
    __builtin_cpu_init();
    // The compiler's check also asks the operating system whether it saves the 256-bit registers.
    if (__builtin_cpu_supports("avx2")) list.sets[list.count++] = &kAvx2Converters;
    list.sets[list.count++] = &kSse2Converters;
    list.sets[list.count++] = &kPortableConverters;
    return list;
}

}  // namespace

std::span<const ConverterSet* const> UsableConverterSets() {
    static const SetList list = FindUsableSets();
    return {list.sets, list.count};
}

}  // namespace tarrowlink::pixel
