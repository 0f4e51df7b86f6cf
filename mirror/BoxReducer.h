// Turns a damaged area, given as any number of rectangles, into the driver's answer: at most 16
// inclusive boxes that together cover every damaged pixel, followed by end entries.
#pragma once

#include <span>

#include "mirror/Vitrex.h"

namespace mirror {

// A rectangle in screen pixels: origin and size (width and height exclusive, as X gives them).
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Above this many rectangles, the rectangles are first gathered into the cells of a coarse grid
// (one pass), so that a storm of thousands costs about as much as a handful.
constexpr int kCoarseLimit = 64;

// Writes the boxes covering rects into boxes[0 .. kVitrexBoxCount) and fills the remaining
// entries with end entries {9999, 9999, -1, -1}; empty rectangles are skipped. When more boxes
// are needed than fit, the pair whose bounding box adds the least uncovered area is merged first;
// area is never dropped. Boxes come out top to bottom, then left to right, with left and top
// clamped to 0 .. 9998 and right and bottom to at most 32767. Returns the number of boxes.
int ReduceToBoxes(std::span<const PixelRect> rects, tagBOX* boxes);

}  // namespace mirror
