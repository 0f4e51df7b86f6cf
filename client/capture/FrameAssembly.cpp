#include "client/capture/FrameAssembly.h"

#include <algorithm>
#include <cstring>

namespace tarrowlink {

int JoinBoxes(const ChangeBox* boxes, int max_x, int max_y, int screen_height, BlitEntry* blits,
              RecordRect* rects, RectScaler scaler, void* scaler_context) {
    std::memset(blits, 0, sizeof(BlitEntry) * kMaxRectangles);
    std::memset(rects, 0, sizeof(RecordRect) * kMaxRectangles);
    int count = 0;
    int i = 0;
    while (i < kBoxListSize && count < kMaxRectangles) {
        while (i < kBoxListSize && boxes[i].right == -1) ++i;
        if (i >= kBoxListSize) break;
        int left = boxes[i].left, top = boxes[i].top, right = boxes[i].right,
            bottom = boxes[i].bottom;
        ++i;
        // Later boxes join while they overlap horizontally and start less than 32 rows below the
        // current bottom. The bottom is replaced, not maximised: the tracker reports boxes in
        // top-to-bottom order.
        while (i < kBoxListSize && boxes[i].right > left && boxes[i].left < right &&
               boxes[i].top - bottom < 32) {
            left = std::min<int>(left, boxes[i].left);
            right = std::max<int>(right, boxes[i].right);
            bottom = boxes[i].bottom;
            ++i;
        }
        if (i >= kBoxListSize) break;  // only the sentinel ends a list; a lost one emits nothing

        if (left > max_x) continue;
        right = std::min(right, max_x);
        if (top > max_y) continue;
        bottom = std::min(bottom, max_y);
        left = std::max(left, 0);
        if (right < 0) continue;
        top = std::max(top, 0);
        if (bottom < 0) continue;
        // A box whose far side lies before its near side has no pixels.
        if (right < left || bottom < top) continue;

        blits[count] = {static_cast<int16_t>(left),
                        static_cast<int16_t>(top),
                        static_cast<int16_t>(right - left + 1),
                        static_cast<int16_t>(bottom - top + 1),
                        {0, 0}};
        RecordRect& rect = rects[count];
        rect = {static_cast<int16_t>(left),
                static_cast<int16_t>(screen_height - 1 - bottom),
                static_cast<int16_t>(right + 1),
                static_cast<int16_t>(screen_height - top),
                {0, 0}};
        if (scaler != nullptr) scaler(&rect.x0, scaler_context);
        ++count;
    }
    return count;
}

}  // namespace tarrowlink
