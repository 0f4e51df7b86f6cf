#include "client/capture/AreaScaler.h"

#include <pixman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace tarrowlink {
namespace {

struct PixmanImageUnref {
    void operator()(pixman_image_t* image) const { pixman_image_unref(image); }
};
using PixmanImage = std::unique_ptr<pixman_image_t, PixmanImageUnref>;

struct FreeDeleter {
    void operator()(pixman_fixed_t* p) const { std::free(p); }
};
using FilterParams = std::unique_ptr<pixman_fixed_t, FreeDeleter>;

void InitScale(pixman_transform_t* transform, int sw, int sh, int dw, int dh) {
    const double scale_x = static_cast<double>(sw) / dw;
    const double scale_y = static_cast<double>(sh) / dh;
    pixman_transform_init_scale(transform, pixman_double_to_fixed(scale_x),
                                pixman_double_to_fixed(scale_y));
}

// The box filter for the scale: as wide as the source area one destination pixel covers.
FilterParams MakeFilter(int sw, int sh, int dw, int dh, int* n_values) {
    const double scale_x = static_cast<double>(sw) / dw;
    const double scale_y = static_cast<double>(sh) / dh;
    return FilterParams(pixman_filter_create_separable_convolution(
        n_values, pixman_double_to_fixed(std::max(scale_x, 1.0)),
        pixman_double_to_fixed(std::max(scale_y, 1.0)), PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX,
        PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, 1, 1));
}

bool Composite(const uint8_t* src, int sw, int sh, ptrdiff_t src_stride, uint8_t* dst, int dw,
               int dh, ptrdiff_t dst_stride) {
    PixmanImage source(pixman_image_create_bits(
        PIXMAN_x8r8g8b8, sw, sh, reinterpret_cast<uint32_t*>(const_cast<uint8_t*>(src)),
        static_cast<int>(src_stride)));
    PixmanImage target(pixman_image_create_bits(
        PIXMAN_x8r8g8b8, dw, dh, reinterpret_cast<uint32_t*>(dst), static_cast<int>(dst_stride)));
    if (!source || !target) return false;
    pixman_transform_t transform;
    InitScale(&transform, sw, sh, dw, dh);
    pixman_image_set_transform(source.get(), &transform);
    pixman_image_set_repeat(source.get(), PIXMAN_REPEAT_PAD);
    int n_values = 0;
    FilterParams params = MakeFilter(sw, sh, dw, dh, &n_values);
    if (params) {
        pixman_image_set_filter(source.get(), PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params.get(),
                                n_values);
    } else {
        pixman_image_set_filter(source.get(), PIXMAN_FILTER_BILINEAR, nullptr, 0);
    }
    pixman_image_composite32(PIXMAN_OP_SRC, source.get(), nullptr, target.get(), 0, 0, 0, 0, 0, 0,
                             dw, dh);
    return true;
}

// Through pixman, for what the direct computation does not cover: a scratch destination when the
// destination is bottom-up.
bool CompositeAnyStride(const uint8_t* src, int sw, int sh, ptrdiff_t src_stride, uint8_t* dst,
                        int dw, int dh, ptrdiff_t dst_stride) {
    if (dst_stride > 0 && src_stride > 0) {
        return Composite(src, sw, sh, src_stride, dst, dw, dh, dst_stride);
    }
    std::vector<uint8_t> scratch(static_cast<size_t>(dw) * dh * 4);
    if (!Composite(src, sw, sh, src_stride, scratch.data(), dw, dh, ptrdiff_t(dw) * 4)) {
        return false;
    }
    for (int row = 0; row < dh; ++row) {
        std::memcpy(dst + row * dst_stride, scratch.data() + static_cast<size_t>(row) * dw * 4,
                    static_cast<size_t>(dw) * 4);
    }
    return true;
}

int Clip(int value) {
    return value < 0 ? 0 : value > 0xFF ? 0xFF : value;
}

// The source rows of one destination line's taps and the weights of its filter phase.
struct LineTaps {
    std::vector<const uint32_t*> rows;  // rows that count, top first
    int row_count = 0;
    const uint32_t* weights = nullptr;  // per column phase: row_count x active columns
    const uint32_t* alpha = nullptr;    // per column phase
};

// The destination columns' taps, the same on every line.
struct ColumnTaps {
    std::vector<int> phase;      // per column: its filter phase
    std::vector<int> clamped;    // per column: width source columns, clamped to the source
    std::vector<int> run_start;  // per column: first source column of its run of taps, or -1
    int width = 0;
    const std::vector<std::vector<int>>* active = nullptr;  // per phase: the taps that count
};

// Weighted sums of one tap: red and blue in one 64-bit sum (red from bit 32), green on its own.
// Each sum stays below 2^32 since the weights are non-negative and add up to about 65536.
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

// One destination line. kRun > 0: columns whose taps are one run of kRun source pixels inside
// the source are summed without the clamped column table (the unrolled common case).
template <int kRun>
void ScaleLine(const LineTaps& line, const ColumnTaps& columns, int taps, uint32_t* out) {
    const int width = static_cast<int>(columns.phase.size());
    for (int k = 0; k < width; ++k) {
        const int px = columns.phase[k];
        const uint32_t* f = line.weights + px * taps;
        Sums sums;
        const int start = kRun > 0 ? columns.run_start[k] : -1;
        if (start >= 0) {
            for (int i = 0; i < line.row_count; ++i) {
                const uint32_t* pixels = line.rows[i] + start;
                for (int t = 0; t < kRun; ++t) sums.Add(pixels[t], *f++);
            }
        } else {
            const int* clamped = columns.clamped.data() + static_cast<size_t>(k) * columns.width;
            const std::vector<int>& active = (*columns.active)[px];
            for (int i = 0; i < line.row_count; ++i) {
                const uint32_t* row = line.rows[i];
                for (int j : active) sums.Add(row[clamped[j]], *f++);
            }
        }
        out[k] = sums.Pixel(line.alpha[px]);
    }
}

}  // namespace

bool ScaleAreaReference(const uint8_t* src, int sw, int sh, uint8_t* dst, int dw, int dh) {
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return false;
    return Composite(src, sw, sh, ptrdiff_t(sw) * 4, dst, dw, dh, ptrdiff_t(dw) * 4);
}

// What pixman does for this composite (its affine separable-convolution fetcher with pad repeat
// on x8r8g8b8, then a plain store), with everything that depends only on the column, the row or
// the filter phase worked out once instead of per pixel:
//  - each destination pixel's centre is mapped through the scale transform in 16.16 fixed point
//    and rounded to the middle of its filter phase; that gives the first source column and row of
//    its taps and which of the filter's phases weighs them;
//  - a tap's weight is round(fx * fy / 65536) of the phase's column and row weights, kept per phase
//    pair, since the rounding makes the 2-D weights differ from a product of 1-D passes;
//  - taps off the source take the nearest edge pixel (pad repeat);
//  - the sums are rounded, clipped to 0..255; alpha is that of an opaque source.
bool ScaleArea(const uint8_t* src, int sw, int sh, ptrdiff_t src_stride, uint8_t* dst, int dw,
               int dh, ptrdiff_t dst_stride) {
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return false;
    int n_values = 0;
    FilterParams params_owner = MakeFilter(sw, sh, dw, dh, &n_values);
    if (!params_owner) return CompositeAnyStride(src, sw, sh, src_stride, dst, dw, dh, dst_stride);
    const pixman_fixed_t* params = params_owner.get();
    const int cwidth = pixman_fixed_to_int(params[0]);
    const int cheight = pixman_fixed_to_int(params[1]);
    const int x_phase_bits = pixman_fixed_to_int(params[2]);
    const int y_phase_bits = pixman_fixed_to_int(params[3]);
    const int x_phases = 1 << x_phase_bits;
    const int y_phases = 1 << y_phase_bits;
    const pixman_fixed_t* x_params = params + 4;
    const pixman_fixed_t* y_params = x_params + x_phases * cwidth;
    if (cwidth <= 0 || cheight <= 0 || n_values != 4 + x_phases * cwidth + y_phases * cheight) {
        return CompositeAnyStride(src, sw, sh, src_stride, dst, dw, dh, dst_stride);
    }

    // The taps that count: pixman skips rows and columns whose weight is 0, which box filters
    // have at some phases.
    std::vector<std::vector<int>> phase_rows(static_cast<size_t>(y_phases));
    std::vector<std::vector<int>> phase_columns(static_cast<size_t>(x_phases));
    for (int py = 0; py < y_phases; ++py) {
        for (int i = 0; i < cheight; ++i) {
            if (y_params[py * cheight + i] != 0) phase_rows[py].push_back(i);
        }
    }
    for (int px = 0; px < x_phases; ++px) {
        for (int j = 0; j < cwidth; ++j) {
            if (x_params[px * cwidth + j] != 0) phase_columns[px].push_back(j);
        }
    }
    // Weights per phase pair over those taps, rows then columns; the packed red-and-blue sums
    // below need them non-negative, as box filters are.
    const int taps = cwidth * cheight;
    std::vector<uint32_t> weights(static_cast<size_t>(x_phases) * y_phases * taps);
    std::vector<uint32_t> alpha(static_cast<size_t>(x_phases) * y_phases);
    for (int py = 0; py < y_phases; ++py) {
        for (int px = 0; px < x_phases; ++px) {
            const size_t phase = static_cast<size_t>(py) * x_phases + px;
            uint32_t* f_out = weights.data() + phase * taps;
            int alpha_sum = 0;
            for (int i : phase_rows[py]) {
                for (int j : phase_columns[px]) {
                    const pixman_fixed_t fy = y_params[py * cheight + i];
                    const pixman_fixed_t fx = x_params[px * cwidth + j];
                    const int64_t f = (static_cast<int64_t>(fx) * fy + 0x8000) >> 16;
                    if (f < 0 || f > 0x10000) {
                        return CompositeAnyStride(src, sw, sh, src_stride, dst, dw, dh, dst_stride);
                    }
                    *f_out++ = static_cast<uint32_t>(f);
                    alpha_sum += 0xFF * static_cast<int>(f);
                }
            }
            alpha[phase] = static_cast<uint32_t>(Clip((alpha_sum + 0x8000) >> 16));
        }
    }

    pixman_transform_t transform;
    InitScale(&transform, sw, sh, dw, dh);
    const pixman_fixed_t ux = transform.matrix[0][0];
    const int x_phase_shift = 16 - x_phase_bits;
    const int y_phase_shift = 16 - y_phase_bits;
    const int x_off = ((cwidth << 16) - pixman_fixed_1) >> 1;
    const int y_off = ((cheight << 16) - pixman_fixed_1) >> 1;

    // Per destination column: its phase, its taps' source columns (clamped), and where its taps
    // start when they are one run inside the source.
    ColumnTaps columns;
    columns.phase.resize(static_cast<size_t>(dw));
    columns.clamped.resize(static_cast<size_t>(dw) * cwidth);
    columns.run_start.resize(static_cast<size_t>(dw));
    columns.width = cwidth;
    columns.active = &phase_columns;
    // The run length when every phase has its taps in one run of the same length, else 0.
    int run = static_cast<int>(phase_columns[0].size());
    for (const std::vector<int>& active : phase_columns) {
        if (static_cast<int>(active.size()) != run || active.empty() ||
            active.back() - active.front() + 1 != run) {
            run = 0;
        }
    }
    {
        pixman_vector_t v = {{pixman_fixed_1 / 2, pixman_fixed_1 / 2, pixman_fixed_1}};
        if (!pixman_transform_point_3d(&transform, &v)) return false;
        pixman_fixed_t vx = v.vector[0];
        for (int k = 0; k < dw; ++k, vx += ux) {
            const pixman_fixed_t x =
                ((vx >> x_phase_shift) << x_phase_shift) + ((1 << x_phase_shift) >> 1);
            const int px = (x & 0xFFFF) >> x_phase_shift;
            columns.phase[k] = px;
            const int x1 = pixman_fixed_to_int(x - pixman_fixed_e - x_off);
            for (int j = 0; j < cwidth; ++j) {
                columns.clamped[static_cast<size_t>(k) * cwidth + j] =
                    std::clamp(x1 + j, 0, sw - 1);
            }
            const int first = run > 0 ? x1 + phase_columns[px].front() : -1;
            columns.run_start[k] = first >= 0 && first + run <= sw ? first : -1;
        }
    }

    void (*scale_line)(const LineTaps&, const ColumnTaps&, int, uint32_t*) = ScaleLine<0>;
    switch (run) {
        case 1:
            scale_line = ScaleLine<1>;
            break;
        case 2:
            scale_line = ScaleLine<2>;
            break;
        case 3:
            scale_line = ScaleLine<3>;
            break;
        case 4:
            scale_line = ScaleLine<4>;
            break;
        case 5:
            scale_line = ScaleLine<5>;
            break;
        case 6:
            scale_line = ScaleLine<6>;
            break;
        default:
            break;
    }

    LineTaps line_taps;
    line_taps.rows.resize(static_cast<size_t>(cheight));
    for (int line = 0; line < dh; ++line) {
        pixman_vector_t v = {
            {pixman_fixed_1 / 2, pixman_int_to_fixed(line) + pixman_fixed_1 / 2, pixman_fixed_1}};
        if (!pixman_transform_point_3d(&transform, &v)) return false;
        const pixman_fixed_t y =
            ((v.vector[1] >> y_phase_shift) << y_phase_shift) + ((1 << y_phase_shift) >> 1);
        const int py = (y & 0xFFFF) >> y_phase_shift;
        const int y1 = pixman_fixed_to_int(y - pixman_fixed_e - y_off);
        line_taps.row_count = 0;
        for (int i : phase_rows[py]) {
            line_taps.rows[line_taps.row_count++] =
                reinterpret_cast<const uint32_t*>(src + std::clamp(y1 + i, 0, sh - 1) * src_stride);
        }
        line_taps.weights = weights.data() + static_cast<size_t>(py) * x_phases * taps;
        line_taps.alpha = alpha.data() + static_cast<size_t>(py) * x_phases;
        scale_line(line_taps, columns, taps, reinterpret_cast<uint32_t*>(dst + line * dst_stride));
    }
    return true;
}

}  // namespace tarrowlink
