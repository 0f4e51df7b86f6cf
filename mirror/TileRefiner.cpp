#include "mirror/TileRefiner.h"

#include <algorithm>
#include <cstring>

namespace mirror {

TileRefiner::TileRefiner(int width_px, int height_px)
    : width_(std::max(width_px, 0)),
      height_(std::max(height_px, 0)),
      cols_((width_ + kTilePx - 1) / kTilePx),
      rows_((height_ + kTilePx - 1) / kTilePx),
      hashes_(static_cast<size_t>(cols_ * rows_)),
      hashed_(static_cast<size_t>(cols_ * rows_)),
      known_(static_cast<size_t>(cols_ * rows_)),
      reported_(known_.size()),
      reporting_(known_.size()),
      damage_(known_.size()) {}

void TileRefiner::Refine(std::span<const PixelRect> damage, PixelReader& reader,
                         std::vector<PixelRect>* changed, bool recheck_reported) {
    changed->clear();
    // The frame the tiles are read into: the reader's, or this refiner's own. A reader that
    // starts or stops keeping one leaves nothing known.
    uint32_t* frame = reader.Frame(width_, height_);
    if (frame == nullptr) {
        own_frame_.resize(static_cast<size_t>(width_) * static_cast<size_t>(height_));
        frame = own_frame_.data();
    }
    if (frame != frame_) std::fill(known_.begin(), known_.end(), 0);
    frame_ = frame;
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

    // A damaged tile that will be compared but whose hash was skipped while it changed on every
    // pass gets it now, from the pixels last sent, before the read replaces them.
    for (size_t tile = 0; tile < damage_.size(); ++tile) {
        const Box& b = damage_[tile];
        if (b.x0 < b.x1 && known_[tile] && !hashed_[tile] &&
            !(recheck_reported && reported_[tile])) {
            hashes_[tile] =
                TileHash(static_cast<int>(tile) / cols_, static_cast<int>(tile) % cols_);
            hashed_[tile] = 1;
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
    const bool dense = damaged > 0 && bounding <= 2 * damaged;
    spans_.clear();
    if (dense) {
        spans_.push_back({row_begin, row_end, col_begin, col_end});
    } else {
        for (int row = row_begin; row < row_end; ++row) {
            int first = col_begin;
            while (first < col_end && !Damaged(row, first)) ++first;
            if (first == col_end) continue;
            int last = col_end;
            while (!Damaged(row, last - 1)) --last;
            spans_.push_back({row, row + 1, first, last});
        }
    }
    // A reader that reads areas into its frame in place takes them all in one round trip and
    // copies nothing more than asked for.
    const bool reader_frame = frame_ != own_frame_.data();
    if (reader_frame && reader.ReadsAreas()) {
        if (!spans_.empty()) ReadAreasAndCompare(reader, recheck_reported, changed);
    } else {
        for (const TileSpan& s : spans_) {
            ReadAndCompare(s.row_begin, s.row_end, s.col_begin, s.col_end, dense && reader_frame,
                           reader, recheck_reported, changed);
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

PixelRect TileRefiner::TileArea(int row_begin, int row_end, int col_begin, int col_end) const {
    const int x0 = col_begin * kTilePx;
    const int y0 = row_begin * kTilePx;
    return PixelRect{x0, y0, std::min(col_end * kTilePx, width_) - x0,
                     std::min(row_end * kTilePx, height_) - y0};
}

void TileRefiner::Forget(int row_begin, int row_end, int col_begin, int col_end) {
    for (int row = row_begin; row < row_end; ++row) {
        for (int col = col_begin; col < col_end; ++col)
            known_[static_cast<size_t>(row * cols_ + col)] = 0;
    }
}

void TileRefiner::ReadAndCompare(int row_begin, int row_end, int col_begin, int col_end,
                                 bool whole_rows, PixelReader& reader, bool recheck_reported,
                                 std::vector<PixelRect>* changed) {
    const PixelRect area = TileArea(row_begin, row_end, col_begin, col_end);
    bool read = false;
    if (whole_rows) {
        // Whole rows straight into the reader's frame: the other tiles of those rows are read
        // too (the server copies more) and this side copies nothing.
        read = reader.ReadRows(area.y, area.y + area.height);
        if (!read) Forget(row_begin, row_end, 0, cols_);
    } else {
        const uint32_t* pixels = nullptr;
        read = reader.Read(area, &pixels);
        if (read) {
            // Only the damaged tiles' pixels: the frame keeps what was known of the others.
            for (int row = row_begin; row < row_end; ++row) {
                const int ty0 = row * kTilePx;
                const int ty1 = std::min(ty0 + kTilePx, height_);
                for (int col = col_begin; col < col_end; ++col) {
                    if (!Damaged(row, col)) continue;
                    const int tx0 = col * kTilePx;
                    const size_t bytes =
                        static_cast<size_t>(std::min(tx0 + kTilePx, width_) - tx0) * 4;
                    for (int y = ty0; y < ty1; ++y) {
                        std::memcpy(frame_ + static_cast<size_t>(y) * width_ + tx0,
                                    pixels + static_cast<ptrdiff_t>(y - area.y) * area.width +
                                        (tx0 - area.x),
                                    bytes);
                    }
                }
            }
        }
    }
    CompareTiles(row_begin, row_end, col_begin, col_end, read, recheck_reported, changed);
}

void TileRefiner::ReadAreasAndCompare(PixelReader& reader, bool recheck_reported,
                                      std::vector<PixelRect>* changed) {
    areas_.clear();
    for (const TileSpan& s : spans_)
        areas_.push_back(TileArea(s.row_begin, s.row_end, s.col_begin, s.col_end));
    const bool read = reader.ReadAreas(areas_);
    for (const TileSpan& s : spans_) {
        if (!read) Forget(s.row_begin, s.row_end, s.col_begin, s.col_end);
        CompareTiles(s.row_begin, s.row_end, s.col_begin, s.col_end, read, recheck_reported,
                     changed);
    }
}

void TileRefiner::CompareTiles(int row_begin, int row_end, int col_begin, int col_end, bool read,
                               bool recheck_reported, std::vector<PixelRect>* changed) {
    for (int row = row_begin; row < row_end; ++row) {
        // One run of damaged tiles at a time, so that neighbours join into one rectangle.
        int col = col_begin;
        while (col < col_end) {
            if (!Damaged(row, col)) {
                ++col;
                continue;
            }
            int end = col;
            while (end < col_end && Damaged(row, end)) ++end;
            CompareRun(row, col, end, read, recheck_reported, changed);
            col = end;
        }
    }
}

namespace {

constexpr uint64_t kOdd = 0x9E3779B97F4A7C15ull;

inline uint64_t Word(const uint32_t* pixels) {
    uint64_t word;
    std::memcpy(&word, pixels, sizeof word);
    return word;
}

inline uint64_t Fold(uint64_t lane, uint64_t word) {
    return (lane ^ word) * kOdd;
}

}  // namespace

uint64_t TileRefiner::TileHash(int row, int col) const {
    // Eight independent lanes, each folding in one 64-bit word (two pixels) at a time with a
    // multiply by an odd constant: every step is a bijection of the lane, so a change confined to
    // one word always changes the hash, and eight lanes in registers keep the multiplier busy.
    const int x0 = col * kTilePx;
    const int y0 = row * kTilePx;
    const int width = std::min(x0 + kTilePx, width_) - x0;
    const int height = std::min(y0 + kTilePx, height_) - y0;
    uint64_t l0 = 1, l1 = 2, l2 = 3, l3 = 4, l4 = 5, l5 = 6, l6 = 7, l7 = 8;
    for (int y = 0; y < height; ++y) {
        const uint32_t* p = frame_ + static_cast<size_t>(y0 + y) * width_ + x0;
        if (width == kTilePx) {
            // A whole tile row: sixteen words, two per lane.
            l0 = Fold(Fold(l0, Word(p)), Word(p + 16));
            l1 = Fold(Fold(l1, Word(p + 2)), Word(p + 18));
            l2 = Fold(Fold(l2, Word(p + 4)), Word(p + 20));
            l3 = Fold(Fold(l3, Word(p + 6)), Word(p + 22));
            l4 = Fold(Fold(l4, Word(p + 8)), Word(p + 24));
            l5 = Fold(Fold(l5, Word(p + 10)), Word(p + 26));
            l6 = Fold(Fold(l6, Word(p + 12)), Word(p + 28));
            l7 = Fold(Fold(l7, Word(p + 14)), Word(p + 30));
            continue;
        }
        // The screen's right edge cuts this tile: pixel by pixel.
        for (int x = 0; x < width; ++x) l0 = Fold(l0, p[x]);
    }
    uint64_t hash = 0;
    for (uint64_t lane : {l0, l1, l2, l3, l4, l5, l6, l7}) {
        hash = Fold(hash, lane ^ (lane >> 29));
        hash ^= hash >> 32;
    }
    return hash;
}

void TileRefiner::CompareRun(int row, int col_begin, int col_end, bool read, bool recheck_reported,
                             std::vector<PixelRect>* changed) {
    size_t first_output = changed->size();
    for (int col = col_begin; col < col_end; ++col) {
        size_t tile = static_cast<size_t>(row * cols_ + col);
        // A tile reported last pass goes out again without a look (see the class comment): its
        // hash is not worked out until a pass needs it for a comparison, which a tile that
        // changes on every pass never does. A tile without a valid hash counts as changed.
        const bool again = recheck_reported && reported_[tile];
        bool differs = !read || !known_[tile] || again || !hashed_[tile];
        if (read && !again) {
            const uint64_t hash = TileHash(row, col);
            differs = differs || hash != hashes_[tile];
            hashes_[tile] = hash;
        }
        hashed_[tile] = read && !again ? 1 : 0;
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
    if (frame_ == nullptr) return false;
    *pixels = frame_ + static_cast<size_t>(area.y) * width_ + area.x;
    *stride_px = width_;
    return true;
}

}  // namespace mirror
