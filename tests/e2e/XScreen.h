// The test's own client of the private X server: draws known content on the root window, reads
// the screen back as the server holds it, and resizes the screen through RandR.
#pragma once

#include <QImage>
#include <cstdint>
#include <memory>
#include <string>

namespace e2e {

class XScreen {
  public:
    // Connects to display (":N"). The root window gets an invisible pointer until SetPointer, so
    // that the pointer the receiver draws over its picture is transparent. Check Ok() before use.
    explicit XScreen(const std::string& display);
    ~XScreen();
    XScreen(const XScreen&) = delete;
    XScreen& operator=(const XScreen&) = delete;

    bool Ok() const;
    // The screen's size as the server reports it now, in pixels.
    int Width() const;
    int Height() const;
    // Draws image (any format, converted to 24-bit colour) with its top-left corner at (x, y) and
    // waits until the server has done it.
    void Put(const QImage& image, int x, int y);
    // Fills the rectangle with the colour 0xRRGGBB and waits until the server has done it.
    void Fill(int x, int y, int width, int height, uint32_t rgb);
    // The whole screen as the server holds it (Format_RGB32).
    QImage Grab();
    // Makes image (ARGB, not premultiplied, at most 64 x 64) the pointer's shape on the root
    // window, with its hotspot at (hot_x, hot_y) in the image.
    void SetPointer(const QImage& image, int hot_x, int hot_y);
    // Moves the pointer to (x, y) on the screen.
    void MovePointer(int x, int y);
    // Changes the screen size to one no larger than the server started with. False when the
    // server refuses.
    bool Resize(int width, int height);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace e2e
