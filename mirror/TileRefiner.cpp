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

    // The damaged tiles' bounding box in tiles, and how many tiles are damaged.
    int row_begin = rows_, row_end = 0, col_begin = cols_, col_end = 0;
    long damaged = 0;
    for (int row = 0; row < rows_; ++row) {
        for (int col = 0; col < cols_; ++col) {
            if (!Damaged(row, col)) continue;
            ++damaged;
            row_begin = std::min(row_begin, row);
            row_end = std::max(row_end, row + 1);
            col_begin = std::min(col_begin, col);
            col_end = std::max(col_end, col + 1);
        }
    }
    // Mostly damaged (the usual case: a few rectangles close together): one read of the bounding
    // box, since each read is a round trip to the server. Sparse damage: one read per tile row,
    // from its first damaged tile to its last, so that little is read for nothing.
    const long bounding = long{row_end - row_begin} * (col_end - col_begin);
    if (damaged > 0 && bounding <= 2 * damaged) {
        ReadAndCompare(row_begin, row_end, col_begin, col_end, reader, recheck_reported, changed);
    } else {
        for (int row = row_begin; row < row_end; ++row) {
            int first = col_begin;
            while (first < col_end && !Damaged(row, first)) ++first;
            if (first == col_end) continue;
            int last = col_end;
            while (!Damaged(row, last - 1)) --last;
            ReadAndCompare(row, row + 1, first, last, reader, recheck_reported, changed);
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

void TileRefiner::ReadAndCompare(int row_begin, int row_end, int col_begin, int col_end,
                                 PixelReader& reader, bool recheck_reported,
                                 std::vector<PixelRect>* changed) {
    const PixelRect area{col_begin * kTilePx, row_begin * kTilePx,
                         std::min(col_end * kTilePx, width_) - col_begin * kTilePx,
                         std::min(row_end * kTilePx, height_) - row_begin * kTilePx};
    const uint32_t* pixels = nullptr;
    if (!reader.Read(area, &pixels)) pixels = nullptr;
    for (int row = row_begin; row < row_end; ++row) {
        const uint32_t* row_pixels =
            pixels == nullptr
                ? nullptr
                : pixels + static_cast<ptrdiff_t>(row - row_begin) * kTilePx * area.width;
        // One run of damaged tiles at a time, so that neighbours join into one rectangle.
        int col = col_begin;
        while (col < col_end) {
            if (!Damaged(row, col)) {
                ++col;
                continue;
            }
            int end = col;
            while (end < col_end && Damaged(row, end)) ++end;
            CompareRun(row, col, end,
                       row_pixels == nullptr ? nullptr : row_pixels + (col - col_begin) * kTilePx,
                       area.width, recheck_reported, changed);
            col = end;
        }
    }
}

void TileRefiner::CompareRun(int row, int col_begin, int col_end, const uint32_t* pixels,
                             ptrdiff_t stride_px, bool recheck_reported,
                             std::vector<PixelRect>* changed) {
    const bool read = pixels != nullptr;
    const int y0 = row * kTilePx;
    const int tile_height = std::min(y0 + kTilePx, height_) - y0;
    size_t first_output = changed->size();
    for (int col = col_begin; col < col_end; ++col) {
        size_t tile = static_cast<size_t>(row * cols_ + col);
        int x0 = col * kTilePx;
        int tile_width = std::min(x0 + kTilePx, width_) - x0;
        bool differs = !read || !known_[tile] || (recheck_reported && reported_[tile]);
        // Rows above the first differing one are equal already; from there on they are kept.
        if (read) {
            for (int y = 0; y < tile_height; ++y) {
                const uint32_t* seen = pixels + y * stride_px + (col - col_begin) * kTilePx;
                uint32_t* kept = &frame_[static_cast<size_t>(y0 + y) * width_ + x0];
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

bool TileRefiner::Lend(const PixelRect& area, const uint32_t** pixels, ptrdiff_t* stride_px) const {
    if (area.width <= 0 || area.height <= 0 || area.x < 0 || area.y < 0 ||
        area.x + area.width > width_ || area.y + area.height > height_) {
        return false;
    }
    for (int row = area.y / kTilePx; row <= (area.y + area.height - 1) / kTilePx; ++row) {
        for (int col = area.x / kTilePx; col <= (area.x + area.width - 1) / kTilePx; ++col) {
            if (!known_[static_cast<size_t>(row * cols_ + col)]) return false;
        }
    }
    *pixels = frame_.data() + static_cast<size_t>(area.y) * width_ + area.x;
    *stride_px = width_;
    return true;
}

}  // namespace mirror
