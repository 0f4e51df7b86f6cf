// The main window's face: its button zones and what each status draws, into the window's
// SkinSurface. The window (PresenterDialog) decides the status and when to draw; this class only
// knows where things go and which picture shows what.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <array>
#include <vector>

#include "presenter/controls/SkinSurface.h"
#include "presenter/controls/SkinnedFrame.h"

namespace beamora {

class Resources;
struct ButtonPictures;

// What the face needs to know of the controller for one drawing.
struct FaceState {
    int status = 0;
    int projection_state = 0;
    bool presentation_panel = true;  // panel mode is the presentation panel
    bool show_login_code = false;
    QString login_code;  // four characters; digits are drawn, anything else leaves a gap
    ZoneLook reconnect_look = ZoneLook::kNormal;
};

class MainFace {
  public:
    // Text slots of the surface.
    enum TextSlot : int { kStatusText = 1 };

    // The four fonts of the main window, by cell height (ascent plus descent) in pixels.
    static constexpr std::array<int, 4> kFontCells = {19, 13, 24, 11};

    MainFace(const Resources& resources, SkinSurface& surface);

    // The zone of button `id` (kButtonPlay ... kButtonReconnect); an empty zone for other ids.
    HotZone Zone(int id) const;
    // The buttons that `status` hit-tests, in order: Minimise, Exit, Reconnect while idle,
    // starting or searching; Play, Stop, Refresh, Minimise, Exit, Menu when ready or playing;
    // none otherwise.
    std::vector<int> HitOrder(int status) const;
    // Whether button `id` answers in `status` with `projection_state`: Play only while stopped,
    // Stop and Refresh only while playing, Reconnect only while idle.
    static bool ButtonActive(int id, int status, int projection_state);
    // The hit test of the main window (see SkinnedFrameHost::HitTest).
    int HitTest(QPoint point, bool button_down, int status, int projection_state) const;

    // One tick of the status painter: the static part of the status when `ticks` is 0, then its
    // text and animation frame. `frame` is reduced modulo the status's frame count and stored
    // back. Returns the rectangle to repaint.
    QRect PaintStatus(const FaceState& state, int ticks, int* frame);
    // Draws button `id` with `look` (the Reconnect button with its caption). Returns the
    // rectangle to repaint.
    QRect DrawButton(int id, ZoneLook look);
    // The four digits of the login code at their places.
    QRect DrawLoginCode(const QString& code);

    const QFont& Font(int index) const { return fonts_[static_cast<size_t>(index)]; }
    // The rectangle the login code's digits cover (four digit widths plus 4 pixels).
    QRect LoginCodeRect() const;

  private:
    const ButtonPictures* Pictures(int id) const;
    QRect Put(const CPicture& picture, int x_key);
    QRect StatusText(int entry);
    QRect FullControlSet(const FaceState& state);

    const Resources& resources_;
    SkinSurface& surface_;
    std::array<QFont, 4> fonts_;
};

}  // namespace beamora
