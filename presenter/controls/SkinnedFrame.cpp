#include "presenter/controls/SkinnedFrame.h"

#include <cmath>

namespace beamora {

int HitTestZones(std::span<const HotZone> order, QPoint point, bool button_down) {
    for (const HotZone& zone : order) {
        if (zone.Contains(point)) return zone.id;
    }
    return button_down ? kZoneBackgroundDown : kZoneBackgroundUp;
}

void SkinnedFrame::ClearHover() {
    if (hover_zone_ == kZoneNone) return;
    const int old = hover_zone_;
    hover_zone_ = kZoneNone;
    if (host_.IsActiveButton(old)) host_.DrawZone(old, ZoneLook::kNormal);
}

void SkinnedFrame::Move(QPoint point) {
    if (!button_down_) {
        int zone = host_.HitTest(point, false);
        if (!host_.IsActiveButton(zone)) zone = kZoneNone;
        if (zone == hover_zone_ || !host_.HoverShown()) return;
        ClearHover();
        if (zone != kZoneNone) host_.DrawZone(zone, ZoneLook::kOver);
        hover_zone_ = zone;
        return;
    }
    if (pressed_zone_ == kZoneBackgroundDown) {
        // The client coordinates stay relative to the window as it moves, so the anchor holds.
        host_.MoveWindowBy(point - anchor_);
        return;
    }
    if (pressed_zone_ == kZoneNone) return;
    const bool inside = host_.HitTest(point, true) == pressed_zone_;
    if (pressed_inside_ && !inside) {
        pressed_inside_ = false;
        host_.DrawZone(pressed_zone_, ZoneLook::kNormal);
    } else if (!pressed_inside_ && inside) {
        pressed_inside_ = true;
        host_.DrawZone(pressed_zone_, ZoneLook::kDown);
    }
}

void SkinnedFrame::Press(QPoint point) {
    ClearHover();
    if (pressed_zone_ != kZoneNone) return;
    button_down_ = true;
    const int zone = host_.HitTest(point, true);
    if (host_.IsActiveButton(zone)) {
        pressed_zone_ = zone;
        pressed_inside_ = true;
        host_.DrawZone(zone, ZoneLook::kDown);
    } else if (zone == kZoneBackgroundDown) {
        pressed_zone_ = kZoneBackgroundDown;
        anchor_ = point;
        pressed_inside_ = true;
    }
}

void SkinnedFrame::Release(QPoint point) {
    button_down_ = false;
    if (pressed_zone_ == kZoneNone) return;
    const int pressed = pressed_zone_;
    // Cleared before the action runs: the action may open a menu or a panel, or end the window.
    pressed_zone_ = kZoneNone;
    if (host_.HitTest(point, false) == pressed) {
        pressed_inside_ = false;
        if (host_.IsActiveButton(pressed)) {
            host_.DrawZone(pressed, ZoneLook::kNormal);
            host_.ZoneClicked(pressed);
        }
    } else if (pressed_inside_ && host_.IsActiveButton(pressed)) {
        // Released outside after the state changed under the press: nothing stays pressed.
        host_.DrawZone(pressed, ZoneLook::kNormal);
    }
    pressed_inside_ = false;
}

void SkinnedFrame::Leave() {
    if (!button_down_) ClearHover();
}

void SkinnedFrame::Reset() {
    pressed_zone_ = kZoneNone;
    hover_zone_ = kZoneNone;
    pressed_inside_ = false;
    button_down_ = false;
}

QRegion RoundedWindowRegion(int x, int y, int right, int bottom, int ellipse) {
    const int width = right - x - 1;
    const int height = bottom - y - 1;
    if (width <= 0 || height <= 0) return QRegion();
    if (ellipse <= 1) return QRegion(x, y, width, height);
    // Each row is inset where the corner ellipse cuts it: a pixel counts when its centre lies
    // inside the ellipse of the nearest corner.
    const double radius = ellipse / 2.0;
    QRegion region;
    for (int row = 0; row < height; ++row) {
        const double from_edge = std::min(row, height - 1 - row) + 0.5;
        int inset = 0;
        if (from_edge < radius) {
            const double dy = radius - from_edge;
            const double dx = std::sqrt(std::max(0.0, radius * radius - dy * dy));
            inset = static_cast<int>(std::ceil(radius - dx - 0.5));
        }
        if (width - 2 * inset > 0) region += QRect(x + inset, y + row, width - 2 * inset, 1);
    }
    return region;
}

}  // namespace beamora
