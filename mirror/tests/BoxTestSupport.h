// Comparing and printing boxes in test expectations, and checking what a box list covers.
#pragma once

#include <ostream>
#include <vector>

#include "mirror/Vitrex.h"

inline bool operator==(const tagBOX& a, const tagBOX& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

inline void PrintTo(const tagBOX& b, std::ostream* os) {
    *os << "{" << b.left << "," << b.top << "," << b.right << "," << b.bottom << "}";
}

namespace mirror {

// The boxes of a driver answer before its first end entry.
inline std::vector<tagBOX> ListedBoxes(const tagBOX* boxes) {
    std::vector<tagBOX> listed;
    for (int i = 0; i < kVitrexBoxCount; ++i) {
        const tagBOX& b = boxes[i];
        if (b.left == kVitrexBoxEnd || b.top == kVitrexBoxEnd || b.right == -1 || b.bottom == -1) {
            break;
        }
        listed.push_back(b);
    }
    return listed;
}

// A width x height mask of the pixels the boxes cover.
class Coverage {
  public:
    Coverage(int width, int height, const std::vector<tagBOX>& boxes)
        : width_(width), height_(height), covered_(static_cast<size_t>(width * height)) {
        for (const tagBOX& b : boxes) {
            for (int y = std::max<int>(b.top, 0); y <= std::min<int>(b.bottom, height - 1); ++y) {
                for (int x = std::max<int>(b.left, 0); x <= std::min<int>(b.right, width - 1);
                     ++x) {
                    covered_[static_cast<size_t>(y * width + x)] = true;
                }
            }
        }
    }
    // Whether every pixel of the rectangle (origin, size) is covered.
    bool Covers(int x, int y, int w, int h) const {
        for (int row = y; row < y + h; ++row) {
            for (int col = x; col < x + w; ++col) {
                if (!covered_[static_cast<size_t>(row * width_ + col)]) return false;
            }
        }
        return true;
    }
    long CoveredPixels() const {
        long n = 0;
        for (bool c : covered_) n += c;
        return n;
    }
    int Height() const { return height_; }

  private:
    int width_;
    int height_;
    std::vector<bool> covered_;
};

}  // namespace mirror
