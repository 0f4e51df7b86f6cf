#include "client/capture/AreaScaler.h"

#include <pixman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "client/capture/ScalerKernels.h"

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

using scale::ColumnTaps;
using scale::LineTaps;
using scale::Sums;

// One destination line. kRun > 0: columns whose taps are one run of kRun source pixels inside
// the source are summed without the clamped column table (the unrolled common case).
template <int kRun>
void ScaleLine(const LineTaps& line, const ColumnTaps& columns, int taps, uint32_t* out) {
    const int width = static_cast<int>(columns.phase.size());
    for (int k = 0; k < width; ++k) {
        const int start = kRun > 0 ? columns.run_start[k] : -1;
        if (start < 0) {
            out[k] = scale::ScalePixelClamped(line, columns, taps, k);
            continue;
        }
        const int px = columns.phase[k];
        const uint32_t* f = line.weights + px * taps;
        Sums sums;
        for (int i = 0; i < line.row_count; ++i) {
            const uint32_t* pixels = line.rows[i] + start;
            for (int t = 0; t < kRun; ++t) sums.Add(pixels[t], *f++);
        }
        out[k] = sums.Pixel(line.alpha[px]);
    }
}

scale::LineFunction SelectPortable(const ColumnTaps& columns, bool) {
    switch (columns.run) {
        case 1:
            return ScaleLine<1>;
        case 2:
            return ScaleLine<2>;
        case 3:
            return ScaleLine<3>;
        case 4:
            return ScaleLine<4>;
        case 5:
            return ScaleLine<5>;
        case 6:
            return ScaleLine<6>;
        default:
            return ScaleLine<0>;
    }
}

}  // namespace

bool ScaleAreaReference(const uint8_t* src, int sw, int sh, uint8_t* dst, int dw, int dh) {
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return false;
    return Composite(src, sw, sh, ptrdiff_t(sw) * 4, dst, dw, dh, ptrdiff_t(dw) * 4);
}

namespace {

// Everything ScaleAreaWith works out from the set and the four sizes alone, before it reads a
// pixel. Not copyable: columns points into phase_columns and blocks.
struct ScalePlan {
    ScalePlan() = default;
    ScalePlan(const ScalePlan&) = delete;
    ScalePlan& operator=(const ScalePlan&) = delete;

    const scale::ScalerSet* set = nullptr;
    int sw = 0, sh = 0, dw = 0, dh = 0;
    // False: the taps could not be computed directly and pixman composites instead.
    bool direct = false;

    int cheight = 0;
    int x_phases = 0;
    int taps = 0;  // weights per phase pair
    int run = 0;
    // Per destination line: its row phase and the source row of its first tap (unclamped).
    std::vector<int> line_phase;
    std::vector<int> line_row;
    std::vector<std::vector<int>> phase_rows;
    std::vector<std::vector<int>> phase_columns;
    std::vector<uint32_t> weights;
    std::vector<uint32_t> alpha;
    bool vector_ready = false;
    std::vector<int16_t> vector_weights;
    int combinations = 1;
    int combination_stride = 0;
    std::vector<int16_t> lane_weights;
    std::vector<uint32_t> lane_alpha;
    ColumnTaps columns;
    scale::WindowBlocks blocks;
    scale::LineFunction scale_line = nullptr;
};

// Fills plan for its set and sizes. False when the filter's transform fails (nothing can be
// scaled); true with plan->direct false when pixman must composite.
bool BuildPlan(ScalePlan* plan) {
    const scale::ScalerSet& set = *plan->set;
    const int sw = plan->sw, sh = plan->sh, dw = plan->dw, dh = plan->dh;
    int n_values = 0;
    FilterParams params_owner = MakeFilter(sw, sh, dw, dh, &n_values);
    if (!params_owner) return true;
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
        return true;
    }
    plan->cheight = cheight;
    plan->x_phases = x_phases;

    // The taps that count: pixman skips rows and columns whose weight is 0, which box filters
    // have at some phases.
    std::vector<std::vector<int>>& phase_rows = plan->phase_rows;
    std::vector<std::vector<int>>& phase_columns = plan->phase_columns;
    phase_rows.assign(static_cast<size_t>(y_phases), {});
    phase_columns.assign(static_cast<size_t>(x_phases), {});
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
    plan->taps = taps;
    std::vector<uint32_t>& weights = plan->weights;
    std::vector<uint32_t>& alpha = plan->alpha;
    weights.assign(static_cast<size_t>(x_phases) * y_phases * taps, 0);
    alpha.assign(static_cast<size_t>(x_phases) * y_phases, 0);
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
                    if (f < 0 || f > 0x10000) return true;
                    *f_out++ = static_cast<uint32_t>(f);
                    alpha_sum += 0xFF * static_cast<int>(f);
                }
            }
            alpha[phase] = static_cast<uint32_t>(scale::Clip((alpha_sum + 0x8000) >> 16));
        }
    }

    pixman_transform_t transform;
    InitScale(&transform, sw, sh, dw, dh);
    const pixman_fixed_t ux = transform.matrix[0][0];
    const int x_phase_shift = 16 - x_phase_bits;
    const int y_phase_shift = 16 - y_phase_bits;
    const int x_off = ((cwidth << 16) - pixman_fixed_1) >> 1;
    const int y_off = ((cheight << 16) - pixman_fixed_1) >> 1;

    // Per destination line, the same mapping for the rows.
    plan->line_phase.resize(static_cast<size_t>(dh));
    plan->line_row.resize(static_cast<size_t>(dh));
    for (int line = 0; line < dh; ++line) {
        pixman_vector_t v = {
            {pixman_fixed_1 / 2, pixman_int_to_fixed(line) + pixman_fixed_1 / 2, pixman_fixed_1}};
        if (!pixman_transform_point_3d(&transform, &v)) return false;
        const pixman_fixed_t y =
            ((v.vector[1] >> y_phase_shift) << y_phase_shift) + ((1 << y_phase_shift) >> 1);
        plan->line_phase[line] = (y & 0xFFFF) >> y_phase_shift;
        plan->line_row[line] = pixman_fixed_to_int(y - pixman_fixed_e - y_off);
    }

    // Per destination column: its phase, its taps' source columns (clamped), and where its taps
    // start when they are one run inside the source.
    ColumnTaps& columns = plan->columns;
    columns.phase.resize(static_cast<size_t>(dw));
    columns.clamped.resize(static_cast<size_t>(dw) * cwidth);
    columns.run_start.resize(static_cast<size_t>(dw));
    columns.group_start.resize(static_cast<size_t>(dw));
    columns.width = cwidth;
    columns.phases = x_phases;
    columns.active = &phase_columns;
    // The run length when every phase has its taps in one run of the same length, else 0.
    int run = static_cast<int>(phase_columns[0].size());
    for (const std::vector<int>& active : phase_columns) {
        if (static_cast<int>(active.size()) != run || active.empty() ||
            active.back() - active.front() + 1 != run) {
            run = 0;
        }
    }
    columns.run = run;
    plan->run = run;
    const int group_pixels = (run + scale::kGroupTaps - 1) / scale::kGroupTaps * scale::kGroupTaps;
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
            columns.group_start[k] = first >= 0 && first + group_pixels <= sw ? first : -1;
        }
    }

    // The longest span of columns that the vector kernels can take whole.
    {
        int begin = 0;
        while (begin < dw && columns.group_start[begin] < 0) ++begin;
        int end = begin;
        while (end < dw && columns.group_start[end] >= 0) ++end;
        columns.vector_begin = begin;
        columns.vector_end = end;
    }

    // The weights again as the vector kernels take them, when every one fits a signed 16-bit
    // multiply (downscaling by more than about 1.4 on both axes; closer to 1:1 a single tap can
    // weigh more) and the runs are short enough.
    std::vector<int16_t>& vector_weights = plan->vector_weights;
    const bool vector_ready =
        run > 0 && run <= scale::kGroupTaps * scale::kMaxGroups &&
        std::all_of(weights.begin(), weights.end(), [](uint32_t w) { return w <= INT16_MAX; });
    plan->vector_ready = vector_ready;
    if (vector_ready) {
        const int per_row = scale::VectorWeightsPerRow(run);
        const size_t per_phase = static_cast<size_t>(cheight) * per_row;
        vector_weights.assign(static_cast<size_t>(y_phases) * x_phases * per_phase, 0);
        for (int py = 0; py < y_phases; ++py) {
            for (int px = 0; px < x_phases; ++px) {
                const size_t phase = static_cast<size_t>(py) * x_phases + px;
                const uint32_t* f = weights.data() + phase * taps;
                int16_t* out = vector_weights.data() + phase * per_phase;
                for (size_t i = 0; i < phase_rows[py].size(); ++i) {
                    int16_t* row = out + i * per_row;
                    for (int t = 0; t < run; ++t) {
                        // Group t / 4; taps 0 and 2 in the first vector, 1 and 3 in the second.
                        int16_t* group = row + t / scale::kGroupTaps * 16 + (t % 2) * 8;
                        const int slot = t % scale::kGroupTaps / 2;
                        for (int lane = 0; lane < 4; ++lane) {
                            group[lane * 2 + slot] = static_cast<int16_t>(f[i * run + t]);
                        }
                    }
                }
            }
        }
    }
    // The window blocks, for a set that takes them; without a plan its other kernels serve.
    scale::WindowBlocks& blocks = plan->blocks;
    if (set.window_blocks && vector_ready) {
        std::vector<int> row_counts(static_cast<size_t>(y_phases));
        for (int py = 0; py < y_phases; ++py) {
            row_counts[py] = static_cast<int>(phase_rows[py].size());
        }
        if (scale::PlanWindowBlocks(columns, sw, y_phases, cheight, row_counts, weights, taps,
                                    alpha, &blocks)) {
            columns.blocks = &blocks;
        }
    }
    // The lane table, when the set wants one and the combinations stay few (and its window
    // kernels do not serve instead).
    std::vector<int16_t>& lane_weights = plan->lane_weights;
    int& combinations = plan->combinations;
    for (int n = 0; n < set.lanes; ++n) combinations *= x_phases;
    const int per_row_vector = vector_ready ? scale::VectorWeightsPerRow(run) : 0;
    const int combination_stride = cheight * per_row_vector * set.lanes;
    plan->combination_stride = combination_stride;
    if (vector_ready && set.lanes > 0 && combinations <= 256 && columns.blocks == nullptr) {
        const size_t per_phase = static_cast<size_t>(cheight) * per_row_vector;
        lane_weights.assign(static_cast<size_t>(y_phases) * combinations * combination_stride, 0);
        for (int py = 0; py < y_phases; ++py) {
            for (int combination = 0; combination < combinations; ++combination) {
                int16_t* out =
                    lane_weights.data() +
                    (static_cast<size_t>(py) * combinations + combination) * combination_stride;
                for (int i = 0; i < cheight; ++i) {
                    for (int v = 0; v < per_row_vector / 8; ++v) {  // the row's vectors
                        int rest = combination;
                        for (int n = 0; n < set.lanes; ++n, rest /= x_phases) {
                            const int px = rest % x_phases;
                            const int16_t* in =
                                vector_weights.data() +
                                (static_cast<size_t>(py) * x_phases + px) * per_phase +
                                static_cast<size_t>(i) * per_row_vector + v * 8;
                            std::copy(in, in + 8,
                                      out + (i * per_row_vector + v * 8) * set.lanes + n * 8);
                        }
                    }
                }
            }
        }
    }
    // The lanes' alpha bytes per combination of phases.
    std::vector<uint32_t>& lane_alpha = plan->lane_alpha;
    if (!lane_weights.empty()) {
        lane_alpha.resize(static_cast<size_t>(y_phases) * combinations * set.lanes);
        for (int py = 0; py < y_phases; ++py) {
            for (int combination = 0; combination < combinations; ++combination) {
                int rest = combination;
                for (int n = 0; n < set.lanes; ++n, rest /= x_phases) {
                    lane_alpha[(static_cast<size_t>(py) * combinations + combination) * set.lanes +
                               n] = alpha[static_cast<size_t>(py) * x_phases + rest % x_phases]
                                    << 24;
                }
            }
        }
    }
    // A set that computes several pixels at once needs the lane table (or its window blocks);
    // without it (too many phase combinations) the portable code serves.
    const bool set_ready =
        vector_ready && (set.lanes == 0 || !lane_weights.empty() || columns.blocks != nullptr);
    plan->scale_line = set.select(columns, set_ready);
    if (plan->scale_line == nullptr) {
        plan->scale_line = scale::kPortableScaler.select(columns, false);
    }
    plan->direct = true;
    return true;
}

// The plans of the last few sizes this thread scaled, newest first: the sending thread scales
// the same screen onto the same surface pass after pass, and building the tables costs about 5 %
// of a full-screen stretch (a fifth or more of a small rectangle's).
class PlanCache {
  public:
    // The plan for these sizes, built when not kept; null when the filter's transform fails.
    const ScalePlan* Find(const scale::ScalerSet& set, int sw, int sh, int dw, int dh) {
        for (size_t i = 0; i < plans_.size(); ++i) {
            const ScalePlan& p = *plans_[i];
            if (p.set == &set && p.sw == sw && p.sh == sh && p.dw == dw && p.dh == dh) {
                std::rotate(plans_.begin(), plans_.begin() + static_cast<ptrdiff_t>(i),
                            plans_.begin() + static_cast<ptrdiff_t>(i) + 1);
                return plans_.front().get();
            }
        }
        auto plan = std::make_unique<ScalePlan>();
        plan->set = &set;
        plan->sw = sw;
        plan->sh = sh;
        plan->dw = dw;
        plan->dh = dh;
        if (!BuildPlan(plan.get())) return nullptr;
        if (plans_.size() == kPlans) plans_.pop_back();
        plans_.insert(plans_.begin(), std::move(plan));
        return plans_.front().get();
    }

  private:
    static constexpr size_t kPlans = 4;
    std::vector<std::unique_ptr<ScalePlan>> plans_;
};

}  // namespace

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
bool scale::ScaleAreaWith(const ScalerSet& set, const uint8_t* src, int sw, int sh,
                          ptrdiff_t src_stride, uint8_t* dst, int dw, int dh,
                          ptrdiff_t dst_stride) {
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return false;
    thread_local PlanCache cache;
    const ScalePlan* plan = cache.Find(set, sw, sh, dw, dh);
    if (plan == nullptr) return false;
    if (!plan->direct) return CompositeAnyStride(src, sw, sh, src_stride, dst, dw, dh, dst_stride);

    const int x_phases = plan->x_phases;
    const int cheight = plan->cheight;
    const int taps = plan->taps;
    const int run = plan->run;
    const int combinations = plan->combinations;
    const std::vector<std::vector<int>>& phase_rows = plan->phase_rows;
    const WindowBlocks& blocks = plan->blocks;
    const ColumnTaps& columns = plan->columns;
    // What every line shares; the loop below sets the rest per row phase.
    LineTaps line_taps;
    line_taps.rows.resize(static_cast<size_t>(cheight));
    line_taps.vector_phase_stride = cheight * scale::VectorWeightsPerRow(run);
    line_taps.lane_combination_stride = plan->combination_stride;
    const int ahead_rows = std::min((sh + dh - 1) / dh, scale::kMaxAheadRows);
    for (int line = 0; line < dh; ++line) {
        const int py = plan->line_phase[line];
        const int y1 = plan->line_row[line];
        line_taps.row_count = 0;
        for (int i : phase_rows[py]) {
            line_taps.rows[line_taps.row_count++] =
                reinterpret_cast<const uint32_t*>(src + std::clamp(y1 + i, 0, sh - 1) * src_stride);
        }
        // The rows below this line's that the next line reads first.
        line_taps.ahead_count = 0;
        for (int row = phase_rows[py].empty() ? sh : std::max(0, y1 + phase_rows[py].back() + 1);
             row < sh && line_taps.ahead_count < ahead_rows; ++row) {
            line_taps.ahead[line_taps.ahead_count++] =
                reinterpret_cast<const uint32_t*>(src + row * src_stride);
        }
        line_taps.weights = plan->weights.data() + static_cast<size_t>(py) * x_phases * taps;
        line_taps.alpha = plan->alpha.data() + static_cast<size_t>(py) * x_phases;
        line_taps.vector_weights =
            plan->vector_ready ? plan->vector_weights.data() + static_cast<size_t>(py) * x_phases *
                                                                   line_taps.vector_phase_stride
                               : nullptr;
        line_taps.lane_weights = plan->lane_weights.empty()
                                     ? nullptr
                                     : plan->lane_weights.data() + static_cast<size_t>(py) *
                                                                       combinations *
                                                                       plan->combination_stride;
        if (columns.blocks != nullptr) {
            line_taps.window_weights = blocks.weights.data() + py * blocks.weights_per_phase;
            line_taps.window_alpha = blocks.alpha.data() + static_cast<size_t>(py) *
                                                               blocks.pattern_pixels.size() *
                                                               scale::WindowBlocks::kVectorBytes;
        }
        line_taps.lane_alpha =
            plan->lane_alpha.empty()
                ? nullptr
                : plan->lane_alpha.data() + static_cast<size_t>(py) * combinations * set.lanes;
        plan->scale_line(line_taps, columns, taps,
                         reinterpret_cast<uint32_t*>(dst + line * dst_stride));
    }
    return true;
}

const scale::ScalerSet scale::kPortableScaler = {"portable", SelectPortable, 0};

bool ScaleArea(const uint8_t* src, int sw, int sh, ptrdiff_t src_stride, uint8_t* dst, int dw,
               int dh, ptrdiff_t dst_stride) {
    return scale::ScaleAreaWith(*scale::UsableScalerSets().front(), src, sw, sh, src_stride, dst,
                                dw, dh, dst_stride);
}

}  // namespace tarrowlink
