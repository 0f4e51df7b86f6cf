// Everything the client library needs to read the screen: the change tracker (Vitrex), the desktop
// connection, the 32-bit capture surface at the receiver's size (bottom-up: the bottom row is row 0
// in memory), the 32 x 32 cursor surface, and the scaling used when the screen is larger than what
// the receiver shows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "client/capture/CaptureRecord.h"
#include "client/capture/Desktop.h"
#include "client/capture/FrameAssembly.h"
#include "mirror/Vitrex.h"

namespace tarrowlink {

// What the session drives: one capture step, one cursor capture, and the start of a projection.
class ScreenCaptureBase {
  public:
    // Runs one capture step into records (kMaxRectangles of them, frame buffers allocated).
    // Returns the number filled, 0..16; 0 when reading the screen failed. Sending thread.
    virtual int CaptureScreen(CaptureRecord* records) = 0;
    // Fills the cursor record with the current pointer. 1, or 0 when the pointer could not be
    // read. Sending thread.
    virtual int CaptureCursor(CaptureRecord* record) = 0;
    // Starts capturing at width x height with the tracker's coefficients; stretch 1 scales the
    // screen down onto the surface. Returns 1, 0 when there is no desktop. Projection start.
    virtual int BeginScaled(int width, int height, float coefficient_x, float coefficient_y,
                            int stretch) = 0;
    // The same without touching the coefficients (the third argument is ignored).
    virtual int Begin(int width, int height, int reserved, int stretch) = 0;

  protected:
    ~ScreenCaptureBase() = default;
};

class ScreenCapture : public ScreenCaptureBase {
  public:
    ScreenCapture();
    // Releases the surfaces and detaches the change tracker.
    virtual ~ScreenCapture();
    ScreenCapture(const ScreenCapture&) = delete;
    ScreenCapture& operator=(const ScreenCapture&) = delete;

    int CaptureScreen(CaptureRecord* records) override;
    int CaptureCursor(CaptureRecord* record) override;
    int BeginScaled(int width, int height, float coefficient_x, float coefficient_y,
                    int stretch) override;
    int Begin(int width, int height, int reserved, int stretch) override;

    // Drops the desktop connection and the surfaces; safe to call twice.
    void Release();

    // True once the desktop has ended for good (a closed screen cast), with the reason; the
    // projection cannot go on. Sending thread.
    bool DesktopLost(std::string* reason) const { return m_desktop && m_desktop->Lost(reason); }

    // The screen's current size. False when there is no desktop. Sending thread.
    bool CurrentScreenSize(int* width, int* height);
    // Starts again at the same capture size after the screen changed size, so that reads match
    // the screen and the next step sends the whole picture. Sending thread.
    void FollowScreen();

    // The session's resolution divisor (1 for a 1024 x 768 receiver, else 2), used by ScaleRect.
    void SetResolutionDivisor(int32_t divisor) { m_divisor = divisor > 0 ? divisor : 1; }

    // Scales six 16-bit values in place: the third with coefficient x and the fourth with
    // coefficient y; then, whole = 1, the first two, else the fifth and sixth.
    void ScaleRect(int16_t* values, int whole) const;

    // Read-only views for the session and tests.
    int CaptureWidth() const { return m_captureWidth; }
    int CaptureHeight() const { return m_captureHeight; }
    int CaptureScreenWidth() const { return m_captureScreenWidth; }
    int CaptureScreenHeight() const { return m_captureScreenHeight; }
    int MaxX() const { return m_maxX; }
    int MaxY() const { return m_maxY; }
    bool Stretching() const { return m_stretch != 0; }
    Vitrex& Tracker() { return m_vitrex; }

  private:
    int Start(int width, int height, int stretch);
    // Copies the screen rectangle of blit onto surface (laid out as m_capturePixels) at rect
    // (surface pixels, rows from the bottom), scaling when stretching; or, unscaled, when the
    // change tracker lends the whole rectangle, points record's pixels at its copy instead and
    // writes nothing. False when the screen could not be read.
    bool CopyToSurface(const BlitEntry& blit, const RecordRect& rect, uint8_t* surface,
                       CaptureRecord* record);
    // The frame buffer the first count records share when it can serve as the surface (capture
    // width x height x 4 bytes, bottom-up), else null.
    uint8_t* SharedRecordBuffer(CaptureRecord* records, int count) const;
    // The capture's own surface, made on first use; null without memory for it.
    uint8_t* OwnSurface();
    // The change tracker's copy of the screen rectangle (x, y, width, height), read by its last
    // box query, when it has one: the same pixels it compared, without reading the screen again.
    bool LendTrackedPixels(int x, int y, int width, int height, const uint8_t** pixels,
                           ptrdiff_t* stride);
    // Fills in a record's rectangle and, with copy_pixels, copies its rows from the surface into
    // the record's frame buffer (unless the record points at lent pixels).
    void FillRecord(const RecordRect& rect, CaptureRecord* record, bool copy_pixels) const;

    int m_captureWidth = 0;
    int m_captureHeight = 0;
    float m_cof_x = 1.0f;
    float m_cof_y = 1.0f;
    int m_stretch = 1;
    int32_t m_divisor = 1;
    Vitrex m_vitrex;
    bool m_vitrexLoaded = false;
    bool m_trackerAttached = false;  // attached by the last start
    // The pointer the cursor record was last filled from, and that record.
    CursorImage m_lastCursor;
    const CaptureRecord* m_lastCursorRecord = nullptr;
    std::unique_ptr<Desktop> m_desktop;
    // The surface when the records do not share one buffer: capture width x height x 4,
    // bottom-up, made on the first pass that needs it.
    std::vector<uint8_t> m_capturePixels;
    uint8_t m_cursorPixels[kCursorPixelBytes] = {};  // 32 x 32 x 4, bottom-up
    ChangeBox m_boxes[kBoxListSize] = {};
    BlitEntry m_blits[kMaxRectangles] = {};
    RecordRect m_rects[kMaxRectangles] = {};
    int m_captureScreenWidth = 0;
    int m_captureScreenHeight = 0;
    int m_maxX = 0;
    int m_maxY = 0;
    // Scratch for the stretch path: the screen rectangle as read, when the desktop cannot lend it.
    std::vector<uint8_t> m_readBuffer;
};

}  // namespace tarrowlink
