#include "mirror/TileRefiner.h"

#include <algorithm>
#include <cstring>

namespace mirror {

TileRefiner::TileRefiner(int width_px, int height_px)
    : width_(std::max(width_px, 0)),
      height_(std::max(height_px, 0)),
      cols_((width_ + kTilePx - 1) / kTilePx),
      rows_((height_ + kTilePx - 1) / kTilePx),
      frame_(static_cast<size_t>(width_) * static_cast<size_t>(height_)),
      known_(static_cast<size_t>(cols_ * rows_)),
      reported_(known_.size()),
      reporting_(known_.size()),
      damage_(known_.size()) {}

void TileRefiner::Refine(std::span<const PixelRect> damage, PixelReader& reader,
                         std::vector<PixelRect>* changed, bool recheck_reported) {
    changed->clear();
    std::fill(damage_.begin(), damage_.end(), Box{0, 0, 0, 0});
    std::fill(reporting_.begin(), reporting_.end(), 0);

    for (const PixelRect& r : damage) {
        if (r.width <= 0 || r.height <= 0) continue;
        int64_t x1 = int64_t{r.x} + r.width, y1 = int64_t{r.y} + r.height;
        // What lies outside the screen (one that grew since) is not the refiner's to judge. It
        // goes out whole, and the tiles it touches are forgotten: the client captures them now,
        // so what the refiner remembers of them is older than what the receiver holds.
        if (r.x < 0 || r.y < 0 || x1 > width_ || y1 > height_) {
            changed->push_back(r);
            int64_t cx0 = std::max(r.x, 0), cy0 = std::max(r.y, 0);
            int64_t cx1 = std::min<int64_t>(x1, width_), cy1 = std::min<int64_t>(y1, height_);
            for (int64_t row = cy0 / kTilePx; cx0 < cx1 && row <= (cy1 - 1) / kTilePx; ++row) {
                for (int64_t col = cx0 / kTilePx; col <= (cx1 - 1) / kTilePx; ++col) {
                    known_[static_cast<size_t>(row * cols_ + col)] = 0;
                }
            }
            continue;
        }
        for (int row = r.y / kTilePx; row <= (y1 - 1) / kTilePx; ++row) {
            for (int col = r.x / kTilePx; col <= (x1 - 1) / kTilePx; ++col) {
                Box part{std::max(r.x, col * kTilePx), std::max(r.y, row * kTilePx),
                         static_cast<int>(std::min<int64_t>(x1, (col + 1) * kTilePx)),
                         static_cast<int>(std::min<int64_t>(y1, (row + 1) * kTilePx))};
                Box& box = damage_[static_cast<size_t>(row * cols_ + col)];
                box = box.x0 >= box.x1 ? part
                                       : Box{std::min(box.x0, part.x0), std::min(box.y0, part.y0),
                                             std::max(box.x1, part.x1), std::max(box.y1, part.y1)};
            }
        }
    }

    // One read per run of damaged tiles in a tile row.
    for (int row = 0; row < rows_; ++row) {
        int col = 0;
        while (col < cols_) {
            auto damaged = [&](int c) {
                const Box& b = damage_[static_cast<size_t>(row * cols_ + c)];
                return b.x0 < b.x1;
            };
            if (!damaged(col)) {
                ++col;
                continue;
            }
            int end = col;
            while (end < cols_ && damaged(end)) ++end;
            RefineRun(row, col, end, reader, recheck_reported, changed);
            col = end;
        }
    }
    reported_.swap(reporting_);
    JoinColumns(changed);
}

void TileRefiner::JoinColumns(std::vector<PixelRect>* rects) {
    // Key: left, width and the row just below the rectangle.
    auto key = [](int x, int width, int y) {
        return (uint64_t{static_cast<uint32_t>(x)} << 40) ^
               (uint64_t{static_cast<uint32_t>(width)} << 20) ^ static_cast<uint32_t>(y);
    };
    open_.clear();
    size_t kept = 0;
    for (size_t i = 0; i < rects->size(); ++i) {
        PixelRect r = (*rects)[i];
        auto above = open_.find(key(r.x, r.width, r.y));
        if (above != open_.end()) {
            PixelRect& grown = (*rects)[above->second];
            if (grown.x == r.x && grown.width == r.width && grown.y + grown.height == r.y) {
                grown.height += r.height;
                size_t index = above->second;
                open_.erase(above);
                open_[key(grown.x, grown.width, grown.y + grown.height)] = index;
                continue;
            }
        }
        (*rects)[kept] = r;
        open_[key(r.x, r.width, r.y + r.height)] = kept;
        ++kept;
    }
    rects->resize(kept);
}

void TileRefiner::RefineRun(int row, int col_begin, int col_end, PixelReader& reader,
                            bool recheck_reported, std::vector<PixelRect>* changed) {
    PixelRect area{col_begin * kTilePx, row * kTilePx,
                   std::min(col_end * kTilePx, width_) - col_begin * kTilePx,
                   std::min((row + 1) * kTilePx, height_) - row * kTilePx};
    bool read = reader.Read(area, &pixels_) &&
                pixels_.size() >= static_cast<size_t>(area.width) * area.height;

    size_t first_output = changed->size();
    for (int col = col_begin; col < col_end; ++col) {
        size_t tile = static_cast<size_t>(row * cols_ + col);
        int x0 = col * kTilePx;
        int tile_width = std::min(x0 + kTilePx, width_) - x0;
        bool differs = !read || !known_[tile] || (recheck_reported && reported_[tile]);
        // Rows above the first differing one are equal already; from there on they are kept.
        if (read) {
            for (int y = 0; y < area.height; ++y) {
                const uint32_t* seen =
                    &pixels_[static_cast<size_t>(y) * area.width + (x0 - area.x)];
                uint32_t* kept = &frame_[static_cast<size_t>(area.y + y) * width_ + x0];
                size_t bytes = static_cast<size_t>(tile_width) * sizeof(uint32_t);
                if (differs || std::memcmp(seen, kept, bytes) != 0) {
                    differs = true;
                    std::memcpy(kept, seen, bytes);
                }
            }
        }
        known_[tile] = read;
        if (!differs) continue;
        reporting_[tile] = 1;
        const Box& b = damage_[tile];
        PixelRect out{b.x0, b.y0, b.x1 - b.x0, b.y1 - b.y0};
        // Neighbours with the same rows join into one rectangle.
        if (changed->size() > first_output) {
            PixelRect& last = changed->back();
            if (last.y == out.y && last.height == out.height && last.x + last.width == out.x) {
                last.width += out.width;
                continue;
            }
        }
        changed->push_back(out);
    }
}

}  // namespace mirror
