// Where a presenter's units land: the size of its capture surface, the part of it that shows its
// screen, and the wire depth of its strips.
#pragma once

#include <optional>

#include "receiver/ControlMessage.h"

namespace receiver {

struct CaptureGeometry {
    int capture_width = 0;   // pixels; strips and cursors are placed on this surface
    int capture_height = 0;  // rows; strip and cursor rows count up from its bottom
    int visible_width = 0;   // the top-left part of the surface that shows the screen
    int visible_height = 0;
    int bits_per_pixel = 16;  // 16, 24 or 32

    bool operator==(const CaptureGeometry&) const = default;
    int BytesPerPixel() const { return bits_per_pixel / 8; }
};

// What the receiver knows about a projection when its first unit arrives: its own mode at the
// start and the picture size the presenter announced (0 x 0 when none was announced).
struct ProjectionStart {
    ReceiverMode mode;
    int announced_width = 0;
    int announced_height = 0;
};

// Placement of the first strip of a data connection (rows from the bottom).
struct FirstStrip {
    int x = 0;
    int y = 0;
    int width = 0;
};

// Works out the capture surface of a projection.
//
// A presenter captures either at the receiver's mode size, or at the size it announces with
// MSG_PICTURE_SIZE: a screen smaller than the mode in both directions is captured into a
// mode-sized surface (top-left corner) and announced at its own size; a wider screen is scaled
// down to the announced size (which can be smaller than the mode in both directions too, e.g.
// halved for modes other than 1024x768); any other screen is captured at the mode size, which
// it announces. The announcement alone is therefore ambiguous, and the rule is:
//   1. Preferred surface: the mode size when the announced size is smaller in both directions or
//      nothing was announced, else the announced size. The other one is the alternative.
//   2. The first update of a projection covers the whole capture, so a first strip at (0, 0)
//      shows the capture width: when it matches the alternative's width and not the preferred
//      one's, the alternative is taken.
//   3. The visible part is the announced size when it fits the surface, else the whole surface.
// Depth is always the mode's at the start. Announced sizes outside 1..kMaxPictureSide are ignored.
CaptureGeometry ResolveCaptureGeometry(const ProjectionStart& start,
                                       const std::optional<FirstStrip>& first_strip);

}  // namespace receiver
