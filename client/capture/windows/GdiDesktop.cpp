// The desktop on Windows GDI: the screen's device context, copied with BitBlt into a bottom-up
// 32-bit DIB section the size of the screen; the pointer from GetCursorInfo and GetIconInfo, drawn
// with DrawIcon into a 32 x 32 surface.
#include <windows.h>

#include <cstring>
#include <memory>

#include "client/capture/Desktop.h"
#include "platform/Debug.h"
#include "platform/windows/GdiHandles.h"

namespace tarrowlink {
namespace {

constexpr int kCursorSurfacePx = 32;

using platform::GdiObject;
using platform::MemoryDc;
using platform::ScreenDc;

// A 32-bit DIB section selected into a memory DC of its own; rows bottom-up when height > 0.
class DibSurface {
  public:
    bool Create(HDC reference, int width, int height) {
        BITMAPINFO info = platform::Dib32Info(width, height);
        void* bits = nullptr;
        bitmap_.reset(::CreateDIBSection(reference, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        dc_.reset(::CreateCompatibleDC(reference));
        if (!bitmap_ || !dc_ || bits == nullptr) return false;
        previous_ = ::SelectObject(dc_.get(), bitmap_.get());
        bits_ = static_cast<uint8_t*>(bits);
        width_ = width;
        rows_ = height < 0 ? -height : height;
        bottom_up_ = height > 0;
        return true;
    }
    ~DibSurface() {
        if (dc_ && previous_ != nullptr) ::SelectObject(dc_.get(), previous_);
    }
    HDC Dc() const { return dc_.get(); }
    // The first pixel of top-down row y.
    uint8_t* Row(int y) const {
        int stored = bottom_up_ ? rows_ - 1 - y : y;
        return bits_ + static_cast<ptrdiff_t>(stored) * width_ * 4;
    }

  private:
    GdiObject bitmap_;
    MemoryDc dc_;
    HGDIOBJ previous_ = nullptr;
    uint8_t* bits_ = nullptr;
    int width_ = 0;
    int rows_ = 0;
    bool bottom_up_ = true;
};

class GdiDesktop final : public Desktop {
  public:
    bool Open() override {
        screen_.reset(::GetDC(nullptr));
        if (!screen_) return false;
        width_ = ::GetSystemMetrics(SM_CXSCREEN);
        height_ = ::GetSystemMetrics(SM_CYSCREEN);
        if (width_ <= 0 || height_ <= 0) return false;
        return surface_.Create(screen_.get(), width_, height_) &&
               cursor_black_.Create(screen_.get(), kCursorSurfacePx, -kCursorSurfacePx) &&
               cursor_white_.Create(screen_.get(), kCursorSurfacePx, -kCursorSurfacePx);
    }
    int Width() const override { return width_; }
    int Height() const override { return height_; }

    bool ReadPixels(int x, int y, int width, int height, uint8_t* dst,
                    ptrdiff_t dst_stride) override {
        if (!::BitBlt(surface_.Dc(), x, y, width, height, screen_.get(), x, y,
                      SRCCOPY | CAPTUREBLT)) {
            return false;
        }
        ::GdiFlush();  // the DIB's bits are read directly
        for (int row = 0; row < height; ++row) {
            std::memcpy(dst + row * dst_stride, surface_.Row(y + row) + x * 4,
                        static_cast<size_t>(width) * 4);
        }
        return true;
    }

    bool QueryScreenSize(int* width, int* height) override {
        *width = ::GetSystemMetrics(SM_CXSCREEN);
        *height = ::GetSystemMetrics(SM_CYSCREEN);
        return *width > 0 && *height > 0;
    }

    bool ReadCursor(CursorImage* cursor) override {
        CURSORINFO info{};
        info.cbSize = sizeof info;
        if (!::GetCursorInfo(&info)) return false;
        cursor->x = info.ptScreenPos.x;
        cursor->y = info.ptScreenPos.y;
        cursor->visible = (info.flags & CURSOR_SHOWING) != 0 && info.hCursor != nullptr;
        cursor->width = kCursorSurfacePx;
        cursor->height = kCursorSurfacePx;
        cursor->argb.assign(kCursorSurfacePx * kCursorSurfacePx, 0);
        if (!cursor->visible) return true;
        HCURSOR shape = info.hCursor;
        ICONINFO icon{};
        if (!::GetIconInfo(shape, &icon)) {
            // Wine keeps cursors per process, so another program's pointer cannot be read there
            // (Windows shares them): it is shown as the standard arrow rather than not at all.
            shape = ::LoadCursorA(nullptr, IDC_ARROW);
            if (shape == nullptr || !::GetIconInfo(shape, &icon)) return false;
        }
        GdiObject mask(icon.hbmMask);  // GetIconInfo hands both bitmaps to the caller
        GdiObject color(icon.hbmColor);
        cursor->hot_x = static_cast<int>(icon.xHotspot);
        cursor->hot_y = static_cast<int>(icon.yHotspot);
        // Drawn once on black and once on white: where the two agree the pointer is opaque, where
        // they differ by everything it is transparent; in between it is blended.
        for (DibSurface* surface : {&cursor_black_, &cursor_white_}) {
            RECT all{0, 0, kCursorSurfacePx, kCursorSurfacePx};
            ::FillRect(surface->Dc(), &all,
                       static_cast<HBRUSH>(::GetStockObject(
                           surface == &cursor_black_ ? BLACK_BRUSH : WHITE_BRUSH)));
            if (!::DrawIcon(surface->Dc(), 0, 0, shape)) return false;
        }
        ::GdiFlush();
        for (int y = 0; y < kCursorSurfacePx; ++y) {
            const uint8_t* black = cursor_black_.Row(y);
            const uint8_t* white = cursor_white_.Row(y);
            for (int x = 0; x < kCursorSurfacePx; ++x) {
                int spread = 0;
                for (int c = 0; c < 3; ++c)
                    spread = std::max(spread, white[x * 4 + c] - black[x * 4 + c]);
                // An inverting pixel (white turned black) is shown black, as the receiver cannot
                // invert.
                const uint32_t alpha = static_cast<uint32_t>(255 - std::clamp(spread, 0, 255));
                const uint32_t b = std::min<uint32_t>(black[x * 4], alpha);
                const uint32_t g = std::min<uint32_t>(black[x * 4 + 1], alpha);
                const uint32_t r = std::min<uint32_t>(black[x * 4 + 2], alpha);
                cursor->argb[y * kCursorSurfacePx + x] = alpha << 24 | r << 16 | g << 8 | b;
            }
        }
        return true;
    }

  private:
    ScreenDc screen_;
    DibSurface surface_;
    DibSurface cursor_black_;
    DibSurface cursor_white_;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace

std::unique_ptr<Desktop> CreatePlatformDesktop() {
    return std::make_unique<GdiDesktop>();
}

}  // namespace tarrowlink
