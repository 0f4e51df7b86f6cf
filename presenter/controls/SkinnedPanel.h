// What the three modal panels (the receiver list, the login code, the message) share: a square
// frameless dialog showing its deck picture, fixed texts, a close button and one or two captioned
// buttons, with the skinned-window behaviour of every window (hover, press, drag). A panel adds
// its own control (a list, an edit box) or body text. Results: 1 OK, 2 Cancel or closed.
//
// User interface thread; shown modally with exec().
#pragma once

#include <QDialog>
#include <QFont>
#include <QString>
#include <array>
#include <vector>

#include "presenter/controls/SkinSurface.h"
#include "presenter/controls/SkinnedFrame.h"

namespace beamora {

class CPicture;
class Resources;
struct ButtonPictures;

class SkinnedPanel : public QDialog, protected SkinnedFrameHost {
  public:
    // Dialog results.
    enum Result : int { kResultOk = 1, kResultCancel = 2 };
    // The panels' buttons.
    enum ButtonId : int { kButtonCancel = 50004, kButtonOk = 50005, kButtonClose = 50006 };
    // One of the four fonts, by cell height, weight and (message body) average width.
    struct FontSpec {
        int cell_px;
        int weight;
        int width_px;  // 0: the face's own width
    };
    // The fonts of the list and login panels: 19 bold, 13 bold, 24 bold, 11 normal.
    static constexpr std::array<FontSpec, 4> kPanelFonts = {
        FontSpec{19, 700, 0}, FontSpec{13, 700, 0}, FontSpec{24, 700, 0}, FontSpec{11, 0, 0}};
    // Title colour (red 0, green 51, blue 102).
    static constexpr QRgb kTitleColour = 0xFF003366;

    ~SkinnedPanel() override;

    // Where the panel opens: ((screen width - 350) / 2, (screen height - 86) / 3 + 96), 96 pixels
    // below the main window's top.
    static QPoint PanelPosition(const QRect& screen);

    const SkinSurface& surface() const { return surface_; }
    const SkinnedFrame& frame() const { return frame_; }
    const QFont& Font(int index) const { return fonts_[static_cast<size_t>(index)]; }
    // The zone of a button; an empty zone for other ids.
    HotZone Zone(int id) const;
    // The language the panel's texts are in: the current one when it was made.
    int language() const { return language_; }

  protected:
    // Makes the panel over `deck` at the position of key `deck_x_key` (its Y key follows).
    SkinnedPanel(const Resources& resources, const CPicture& deck, int deck_x_key,
                 const std::array<FontSpec, 4>& fonts, QWidget* parent);

    // Adds a button at the position of key `x_key`, with an optional caption (font 4, black,
    // centred) at `caption_x_key`. Buttons hit-test in the order added.
    void AddButton(int id, const ButtonPictures& pictures, int x_key, const QString& caption = {},
                   int caption_x_key = -1);
    // Adds a fixed text in font `font` (0 to 3) at key `x_key`.
    void AddText(const QString& text, int font, QRgb colour, int x_key,
                 TextAlign align = TextAlign::kTopLeft);
    // Draws a picture onto the face at key `x_key`, or at (x, y).
    void PutPicture(const CPicture& picture, int x_key);
    // Entry `entry` in the panel's language.
    QString Text(int entry) const;
    int Pos(int key) const;

    // A completed click. OK ends with 1, Cancel with 2 and the close button closes (2).
    virtual void ButtonClicked(int id);

    void done(int result) override;
    void reject() override;
    void accept() override;

    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    // SkinnedFrameHost
    int HitTest(QPoint point, bool button_down) const override;
    bool IsActiveButton(int id) const override;
    void DrawZone(int id, ZoneLook look) override;
    void ZoneClicked(int id) override { ButtonClicked(id); }
    void MoveWindowBy(QPoint delta) override;

    SkinSurface surface_;
    SkinnedFrame frame_;

  private:
    struct Button {
        HotZone zone;
        const ButtonPictures* pictures;
        int caption_slot;  // surface text slot of its caption; 0 for none
    };
    const Button* Find(int id) const;

    const Resources& resources_;
    int language_;
    std::array<QFont, 4> fonts_;
    std::vector<Button> buttons_;
    int next_slot_ = 1;
    bool ending_ = false;
};

}  // namespace beamora
