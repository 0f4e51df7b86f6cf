#include "mirror/BoxReducer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <vector>

namespace mirror {
namespace {

// Half-open rectangle with room for sums of areas.
struct Area {
    int64_t x0, y0, x1, y1;

    int64_t Size() const { return (x1 - x0) * (y1 - y0); }
    Area Union(const Area& o) const {
        return {std::min(x0, o.x0), std::min(y0, o.y0), std::max(x1, o.x1), std::max(y1, o.y1)};
    }
    int64_t Overlap(const Area& o) const {
        int64_t w = std::min(x1, o.x1) - std::max(x0, o.x0);
        int64_t h = std::min(y1, o.y1) - std::max(y0, o.y0);
        return w > 0 && h > 0 ? w * h : 0;
    }
};

// Pixels that merging a and b covers which neither covered.
int64_t AddedArea(const Area& a, const Area& b) {
    return a.Union(b).Size() - a.Size() - b.Size() + a.Overlap(b);
}

constexpr int kCellsPerSide = 8;  // kCellsPerSide^2 == kCoarseLimit
static_assert(kCellsPerSide * kCellsPerSide == kCoarseLimit);

// One pass: each rectangle joins the cell of the bounding box that holds its centre; each
// occupied cell becomes the bounding box of its rectangles.
std::vector<Area> Coarsen(const std::vector<Area>& areas) {
    Area bounds = areas.front();
    for (const Area& a : areas) bounds = bounds.Union(a);
    int64_t width = std::max<int64_t>(bounds.x1 - bounds.x0, 1);
    int64_t height = std::max<int64_t>(bounds.y1 - bounds.y0, 1);
    std::array<Area, kCoarseLimit> cells;
    std::array<bool, kCoarseLimit> used{};
    for (const Area& a : areas) {
        int64_t cx = ((a.x0 + a.x1) / 2 - bounds.x0) * kCellsPerSide / width;
        int64_t cy = ((a.y0 + a.y1) / 2 - bounds.y0) * kCellsPerSide / height;
        size_t cell =
            static_cast<size_t>(std::clamp<int64_t>(cy, 0, kCellsPerSide - 1) * kCellsPerSide +
                                std::clamp<int64_t>(cx, 0, kCellsPerSide - 1));
        cells[cell] = used[cell] ? cells[cell].Union(a) : a;
        used[cell] = true;
    }
    std::vector<Area> result;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (used[i]) result.push_back(cells[i]);
    }
    return result;
}

// Merges the cheapest pair until at most `limit` remain.
void MergeDown(std::vector<Area>& areas, size_t limit) {
    while (areas.size() > limit) {
        size_t best_i = 0, best_j = 1;
        int64_t best = std::numeric_limits<int64_t>::max();
        for (size_t i = 0; i < areas.size(); ++i) {
            for (size_t j = i + 1; j < areas.size(); ++j) {
                int64_t added = AddedArea(areas[i], areas[j]);
                if (added < best) {
                    best = added;
                    best_i = i;
                    best_j = j;
                }
            }
        }
        areas[best_i] = areas[best_i].Union(areas[best_j]);
        areas.erase(areas.begin() + static_cast<std::ptrdiff_t>(best_j));
    }
}

int16_t ClampTo(int64_t value, int64_t low, int64_t high) {
    return static_cast<int16_t>(std::clamp(value, low, high));
}

}  // namespace

int ReduceToBoxes(std::span<const PixelRect> rects, tagBOX* boxes) {
    std::vector<Area> areas;
    areas.reserve(rects.size());
    for (const PixelRect& r : rects) {
        if (r.width <= 0 || r.height <= 0) continue;
        areas.push_back({r.x, r.y, int64_t{r.x} + r.width, int64_t{r.y} + r.height});
    }
    if (areas.size() > static_cast<size_t>(kCoarseLimit)) areas = Coarsen(areas);
    MergeDown(areas, kVitrexBoxCount);
    std::sort(areas.begin(), areas.end(), [](const Area& a, const Area& b) {
        return a.y0 != b.y0 ? a.y0 < b.y0 : a.x0 < b.x0;
    });

    constexpr int64_t kMaxStart = kVitrexBoxEnd - 1;
    constexpr int64_t kMaxEnd = INT16_MAX;
    int count = 0;
    for (const Area& a : areas) {
        tagBOX& box = boxes[count++];
        box.left = ClampTo(a.x0, 0, kMaxStart);
        box.top = ClampTo(a.y0, 0, kMaxStart);
        box.right = ClampTo(a.x1 - 1, box.left, kMaxEnd);
        box.bottom = ClampTo(a.y1 - 1, box.top, kMaxEnd);
    }
    for (int i = count; i < kVitrexBoxCount; ++i) {
        boxes[i] = {kVitrexBoxEnd, kVitrexBoxEnd, -1, -1};
    }
    return count;
}

}  // namespace mirror
