#include "client/capture/ScreenCapture.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "client/capture/AreaScaler.h"
#include "client/capture/Scaling.h"
#include "platform/Debug.h"

namespace tarrowlink {

static_assert(sizeof(ChangeBox) == sizeof(tagBOX), "the tracker fills the box list directly");

std::atomic<int32_t>& FullRefreshFlag() {
    static std::atomic<int32_t> flag{1};
    return flag;
}

namespace {

constexpr int kResolutionCheckWidth = 1600;
constexpr int kResolutionCheckHeight = 1200;

void ScaleRectThunk(int16_t* values, void* context) {
    static_cast<const ScreenCapture*>(context)->ScaleRect(values, 1);
}

// Scales a signed coordinate: a pointer partly off the left or top edge keeps its sign.
int16_t ScaleSigned(int16_t value, float coefficient, int32_t divisor) {
    if (value >= 0)
        return static_cast<int16_t>(
            ScaleCoordinate(static_cast<uint16_t>(value), coefficient, divisor));
    return static_cast<int16_t>(
        -ScaleCoordinate(static_cast<uint16_t>(-value), coefficient, divisor));
}

}  // namespace

ScreenCapture::ScreenCapture() = default;

ScreenCapture::~ScreenCapture() {
    Release();
    if (m_vitrexLoaded && !m_vitrex.UnloadVitrex())
        platform::DebugOutput("stop mirror driver error\n");
}

void ScreenCapture::Release() {
    m_desktop.reset();
    m_capturePixels.clear();
    m_capturePixels.shrink_to_fit();
    m_readBuffer.clear();
}

void ScreenCapture::ScaleRect(int16_t* values, int whole) const {
    values[2] = ScaleSigned(values[2], m_cof_x, m_divisor);
    values[3] = ScaleSigned(values[3], m_cof_y, m_divisor);
    int first = whole == 1 ? 0 : 4;
    values[first] = ScaleSigned(values[first], m_cof_x, m_divisor);
    values[first + 1] = ScaleSigned(values[first + 1], m_cof_y, m_divisor);
}

bool ScreenCapture::CurrentScreenSize(int* width, int* height) {
    return m_desktop && m_desktop->QueryScreenSize(width, height);
}

void ScreenCapture::FollowScreen() {
    if (Start(m_captureWidth, m_captureHeight, m_stretch)) FullRefreshFlag().store(1);
}

int ScreenCapture::BeginScaled(int width, int height, float coefficient_x, float coefficient_y,
                               int stretch) {
    m_cof_x = coefficient_x;
    m_cof_y = coefficient_y;
    return Start(width, height, stretch);
}

int ScreenCapture::Begin(int width, int height, int, int stretch) {
    return Start(width, height, stretch);
}

int ScreenCapture::Start(int width, int height, int stretch) {
    Release();
    m_trackerAttached = false;
    m_lastCursorRecord = nullptr;  // a new start fills its cursor record afresh
    m_captureWidth = width;
    m_captureHeight = height;
    m_stretch = stretch;
    std::memset(m_blits, 0, sizeof m_blits);
    for (ChangeBox& box : m_boxes) box = kBoxSentinel;

    m_desktop = CreateDesktop();
    if (width <= 0 || height <= 0 || !m_desktop->Open()) {
        platform::DebugOutput("capture: no desktop to capture\n");
        m_desktop.reset();
        return 0;
    }
    const int screen_width = m_desktop->Width();
    const int screen_height = m_desktop->Height();
    m_captureScreenWidth = screen_width;
    m_captureScreenHeight = screen_height;
    if (screen_width < width && screen_height < height) {
        m_captureScreenWidth = width;
        m_captureScreenHeight = height;
    }
    m_maxX = m_captureScreenWidth - 1;
    m_maxY = m_captureScreenHeight - 1;
    if (!m_stretch) {
        // Unscaled, the surface shows the screen's top-left part: rectangles beyond the surface
        // could neither be copied nor sent.
        m_maxX = std::min(m_maxX, width - 1);
        m_maxY = std::min(m_maxY, height - 1);
    }
    std::memset(m_cursorPixels, 0, sizeof m_cursorPixels);

    if (!m_vitrex.LoadVitrex()) {
        platform::DebugOutput("start mirror driver error\n");
        return 1;
    }
    m_vitrexLoaded = true;
    m_trackerAttached = true;
    // The tracker is told the capture height when the screen was smaller than the capture.
    if (screen_width <= kResolutionCheckWidth && screen_height <= kResolutionCheckHeight &&
        (screen_width != m_captureScreenWidth || screen_height != m_captureScreenHeight)) {
        m_vitrex.SetVitrexResolution(m_captureScreenHeight);
    }
    m_vitrex.SetVitrexVideoGrid();
    return 1;
}

bool ScreenCapture::CopyToSurface(const BlitEntry& blit, const RecordRect& rect, uint8_t* surface,
                                  CaptureRecord* record) {
    const int x0 = std::max<int>(rect.x0, 0);
    const int x1 = std::min<int>(rect.x1, m_captureWidth);
    const int y0 = std::max<int>(rect.y0, 0);
    const int y1 = std::min<int>(rect.y1, m_captureHeight);
    if (x1 <= x0 || y1 <= y0) return true;  // nothing of it lands on the surface
    const ptrdiff_t stride = static_cast<ptrdiff_t>(m_captureWidth) * 4;
    uint8_t* top_row = surface + (y1 - 1) * stride + x0 * 4;  // rows go downwards

    // The part of the blit that the screen really has; the rest (a screen smaller than the
    // capture) stays black.
    const int sx1 = std::min<int>(blit.x + blit.width, m_desktop->Width());
    const int sy1 = std::min<int>(blit.y + blit.height, m_desktop->Height());
    const int read_w = sx1 - blit.x;
    const int read_h = sy1 - blit.y;

    if (!m_stretch) {
        const int copy_w = std::min(read_w, x1 - x0);
        const int copy_h = std::min(read_h, y1 - y0);
        const uint8_t* lent = nullptr;
        ptrdiff_t lent_stride = 0;
        const bool is_lent = copy_w > 0 && copy_h > 0 &&
                             LendTrackedPixels(blit.x, blit.y, copy_w, copy_h, &lent, &lent_stride);
        // The tracker's copy holds the whole rectangle for the rest of this step: the encoder
        // reads it there, bottom row first, and nothing is copied.
        if (is_lent && record != nullptr && x0 == rect.x0 && y0 == rect.y0 && x1 == rect.x1 &&
            y1 == rect.y1 && copy_w == x1 - x0 && copy_h == y1 - y0) {
            record->pixels = lent + (copy_h - 1) * lent_stride;
            record->pixels_stride = -lent_stride;
            return true;
        }
        if (read_w < blit.width || read_h < blit.height) {
            for (int row = 0; row < y1 - y0; ++row) {
                std::memset(top_row - row * stride, 0, static_cast<size_t>(x1 - x0) * 4);
            }
        }
        if (read_w <= 0 || read_h <= 0) return true;
        if (is_lent) {
            for (int row = 0; row < copy_h; ++row) {
                std::memcpy(top_row - row * stride, lent + row * lent_stride,
                            static_cast<size_t>(copy_w) * 4);
            }
            return true;
        }
        return m_desktop->ReadPixels(blit.x, blit.y, copy_w, copy_h, top_row, -stride);
    }

    if (read_w <= 0 || read_h <= 0) return true;
    const int dw = x1 - x0;
    const int dh = y1 - y0;
    // Scaled from the change tracker's copy of the screen or where the desktop keeps the pixels
    // when either lends them, else from a copy, and straight onto the surface, its rows going
    // downwards.
    const uint8_t* pixels = nullptr;
    ptrdiff_t pixels_stride = 0;
    if (!LendTrackedPixels(blit.x, blit.y, read_w, read_h, &pixels, &pixels_stride) &&
        !m_desktop->ReadPixelsInPlace(blit.x, blit.y, read_w, read_h, &pixels, &pixels_stride)) {
        m_readBuffer.resize(static_cast<size_t>(read_w) * read_h * 4);
        if (!m_desktop->ReadPixels(blit.x, blit.y, read_w, read_h, m_readBuffer.data(),
                                   static_cast<ptrdiff_t>(read_w) * 4)) {
            return false;
        }
        pixels = m_readBuffer.data();
        pixels_stride = static_cast<ptrdiff_t>(read_w) * 4;
    }
    return ScaleArea(pixels, read_w, read_h, pixels_stride, top_row, dw, dh, -stride);
}

bool ScreenCapture::LendTrackedPixels(int x, int y, int width, int height, const uint8_t** pixels,
                                      ptrdiff_t* stride) {
    return m_trackerAttached && m_vitrex.LendScreenPixels(x, y, width, height, pixels, stride);
}

uint8_t* ScreenCapture::OwnSurface() {
    if (m_capturePixels.empty()) {
        try {
            m_capturePixels.assign(static_cast<size_t>(m_captureWidth) * m_captureHeight * 4, 0);
        } catch (const std::bad_alloc&) {
            platform::DebugOutput("capture: no memory for the capture surface\n");
            return nullptr;
        }
    }
    return m_capturePixels.data();
}

uint8_t* ScreenCapture::SharedRecordBuffer(CaptureRecord* records, int count) const {
    const size_t bytes = static_cast<size_t>(m_captureWidth) * m_captureHeight * 4;
    uint8_t* shared = records[0].frame_buffer.get();
    if (shared == nullptr || records[0].frame_buffer_size < bytes) return nullptr;
    for (int k = 1; k < count; ++k) {
        if (records[k].frame_buffer.get() != shared) return nullptr;
    }
    return shared;
}

void ScreenCapture::FillRecord(const RecordRect& rect, CaptureRecord* record,
                               bool copy_pixels) const {
    record->type = kRecordScreen;
    record->placement[0] = rect.x0;
    record->placement[1] = rect.y0;
    record->placement[2] = rect.x1;
    record->placement[3] = rect.y1;
    record->placement[4] = 0;
    record->placement[5] = 0;
    if (!copy_pixels || record->pixels != nullptr) return;
    // Only what the encoder reads: the rectangle's rows and columns at their own place.
    const size_t stride = static_cast<size_t>(m_captureWidth) * 4;
    if (record->frame_buffer == nullptr || record->frame_buffer_size < stride * m_captureHeight)
        return;
    const int x0 = std::max<int>(rect.x0, 0);
    const int x1 = std::min<int>(rect.x1, m_captureWidth);
    const int y0 = std::max<int>(rect.y0, 0);
    const int y1 = std::min<int>(rect.y1, m_captureHeight);
    for (int row = y0; row < y1 && x1 > x0; ++row) {
        size_t offset = row * stride + static_cast<size_t>(x0) * 4;
        std::memcpy(record->frame_buffer.get() + offset, m_capturePixels.data() + offset,
                    static_cast<size_t>(x1 - x0) * 4);
    }
}

int ScreenCapture::CaptureScreen(CaptureRecord* records) {
    if (!m_desktop) return 0;
    std::memset(m_blits, 0, sizeof m_blits);
    m_boxes[kTrackerBoxes] = kBoxSentinel;
    m_vitrex.FindDisplayRect(reinterpret_cast<tagBOX*>(m_boxes));
    if (FullRefreshFlag().exchange(0) != 0) {
        m_boxes[0] = {0, 0, static_cast<int16_t>(m_maxX), static_cast<int16_t>(m_maxY)};
        for (int i = 1; i < kBoxListSize; ++i) m_boxes[i].right = -1;
    }
    // Record rectangles count rows from the bottom of the surface; unscaled that is the capture
    // height, scaled it is the screen's, which the scaling maps onto the capture height.
    const int rows = m_stretch ? m_captureScreenHeight : m_captureHeight;
    int count = JoinBoxes(m_boxes, m_maxX, m_maxY, rows, m_blits, m_rects,
                          m_stretch ? ScaleRectThunk : nullptr, this);
    // Records that share one buffer (the session's) get the pixels there directly: it is laid
    // out as the surface, and every pass writes the same rectangles into both, so it holds what
    // the surface would. Records of their own get them copied from the surface.
    uint8_t* shared = SharedRecordBuffer(records, count);
    uint8_t* surface = shared != nullptr ? shared : OwnSurface();
    if (surface == nullptr) return 0;
    for (int k = 0; k < count; ++k) {
        records[k].pixels = nullptr;
        records[k].pixels_stride = 0;
        if (!CopyToSurface(m_blits[k], m_rects[k], surface, &records[k])) {
            platform::DebugOutput(m_stretch ? " Capture screen and Stretch data error\n"
                                            : " Capture screen data error\n");
            return 0;
        }
        FillRecord(m_rects[k], &records[k], shared == nullptr);
    }
    return count;
}

int ScreenCapture::CaptureCursor(CaptureRecord* record) {
    CursorImage image;
    if (!m_desktop || !m_desktop->ReadCursor(&image)) {
        platform::DebugOutput("get cursor data error\n");
        return 0;
    }
    // The pointer as it was last time (the usual pass): the record still holds its shape.
    if (record == m_lastCursorRecord && image.x == m_lastCursor.x && image.y == m_lastCursor.y &&
        image.width == m_lastCursor.width && image.height == m_lastCursor.height &&
        image.hot_x == m_lastCursor.hot_x && image.hot_y == m_lastCursor.hot_y &&
        image.visible == m_lastCursor.visible && image.argb == m_lastCursor.argb) {
        return 1;
    }
    m_lastCursorRecord = record;
    m_lastCursor = image;
    CursorShape shape;
    CursorKind kind = BuildCursorShape(image, m_maxX, m_maxY, &shape);
    if (kind == kCursorOutside) return 1;  // nothing new: the record keeps the last pointer
    if (m_stretch) ScaleRect(shape.placement.values, 0);
    record->type = kind;
    std::memcpy(record->placement, shape.placement.values, sizeof record->placement);
    if (record->frame_buffer != nullptr && record->frame_buffer_size >= kCursorMaskBytes) {
        std::memcpy(record->frame_buffer.get(), shape.mask, kCursorMaskBytes);
    }
    if (kind == kCursorMonochrome) {
        platform::DebugOutput("save normal cursor data ok\n");
    } else {
        std::memcpy(m_cursorPixels, shape.pixels, sizeof m_cursorPixels);
        std::memcpy(record->cursor_pixels, shape.pixels, sizeof record->cursor_pixels);
        platform::DebugOutput("save color cursor data ok\n");
    }
    return 1;
}

}  // namespace tarrowlink
