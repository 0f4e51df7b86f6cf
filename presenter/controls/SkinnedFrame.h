// The behaviour every skinned window shares: its buttons are painted areas (hot zones) with a
// normal, an "-over" and a "-down" picture, and the window itself does the hit-testing, hover,
// press, release and dragging from its own mouse events. SkinnedFrame is that state machine,
// without a widget, so windows own one by value and tests drive it directly.
#pragma once

#include <QPoint>
#include <QRegion>
#include <span>

namespace beamora {

// Hit-test answers besides the button ids: the background while a button is held (a press there
// drags the window) and while none is.
inline constexpr int kZoneNone = 0;
inline constexpr int kZoneBackgroundDown = 1024;
inline constexpr int kZoneBackgroundUp = 1025;

enum class ZoneLook { kNormal, kOver, kDown };

// One button's area: its top-left corner (skin position) and the size of its normal picture, in
// client pixels. Both ends count: x runs from `x` to `x + width` inclusive.
struct HotZone {
    int id = kZoneNone;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool Contains(QPoint point) const {
        return point.x() >= x && point.x() <= x + width && point.y() >= y &&
               point.y() <= y + height;
    }
};

// The first zone of `order` that contains `point`; else the background value for the button
// state (1024 held, 1025 not).
int HitTestZones(std::span<const HotZone> order, QPoint point, bool button_down);

// The window's side of the behaviour. All calls come on the user interface thread, from the
// window's mouse events.
class SkinnedFrameHost {
  public:
    virtual ~SkinnedFrameHost() = default;
    // The zone under `point` (client pixels) in the window's current state: an active button's id,
    // or 1024 / 1025 for the background (1024 while `button_down`, and for buttons whose
    // condition does not hold).
    virtual int HitTest(QPoint point, bool button_down) const = 0;
    // True when `id` is one of the window's buttons and the current state answers it.
    virtual bool IsActiveButton(int id) const = 0;
    // False in states where hover pictures are not drawn.
    virtual bool HoverShown() const { return true; }
    // Draws button `id` with the picture of `look` (and its caption, where it has one).
    virtual void DrawZone(int id, ZoneLook look) = 0;
    // A completed click: pressed and released in the same zone.
    virtual void ZoneClicked(int id) = 0;
    // Moves the window by `delta` pixels (a drag of the background).
    virtual void MoveWindowBy(QPoint delta) = 0;
};

class SkinnedFrame {
  public:
    explicit SkinnedFrame(SkinnedFrameHost& host) : host_(host) {}

    // The pointer moved to `point` (client pixels): hover while no button is held, else drag or
    // track the pressed button in and out of its zone.
    void Move(QPoint point);
    // Left button down at `point`. A second press while one is recorded is ignored.
    void Press(QPoint point);
    // Left button up at `point`: a click when it lands in the zone pressed. A release with no
    // recorded press is ignored.
    void Release(QPoint point);
    // The pointer left the window: the hover picture goes back to normal.
    void Leave();
    // Forgets the press and the hover without drawing (after a menu took the pointer).
    void Reset();

    int pressed_zone() const { return pressed_zone_; }
    int hover_zone() const { return hover_zone_; }
    bool pressed_inside() const { return pressed_inside_; }
    bool button_down() const { return button_down_; }

  private:
    void ClearHover();

    SkinnedFrameHost& host_;
    int pressed_zone_ = kZoneNone;
    int hover_zone_ = kZoneNone;
    bool pressed_inside_ = false;
    bool button_down_ = false;
    QPoint anchor_;
};

// The region a skinned window shows, as a rounded rectangle from corner (x, y) to corner
// (right, bottom): it covers right - x - 1 by bottom - y - 1 pixels, so a window that shows a deck
// picture whole passes its width + 1 and height + 1. The corners are cut by an ellipse of
// `ellipse` x `ellipse` pixels (0: square corners).
QRegion RoundedWindowRegion(int x, int y, int right, int bottom, int ellipse);

}  // namespace beamora
