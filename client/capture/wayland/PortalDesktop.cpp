// The desktop on Wayland: the frames and the pointer of the ScreenCast portal's stream (see
// platform/wayland/ScreenCast.h). The desktop holds the cast: it lives from Open to the desktop's
// end, and the change tracker watches the same cast.
#include <string>

#include "client/capture/DesktopBackends.h"
#include "platform/Debug.h"
#include "platform/wayland/ScreenCast.h"

namespace tarrowlink {
namespace {

class PortalDesktop final : public Desktop {
  public:
    bool Open() override {
        std::string error;
        cast_ = platform::wayland::AcquireScreenCast(&error);
        if (!cast_) {
            platform::DebugFormat("screen cast: %s\n", error.c_str());
            return false;
        }
        width_ = cast_->Width();
        height_ = cast_->Height();
        return width_ > 0 && height_ > 0;
    }
    int Width() const override { return width_; }
    int Height() const override { return height_; }

    bool ReadPixels(int x, int y, int width, int height, uint8_t* dst,
                    ptrdiff_t dst_stride) override {
        return cast_ && cast_->ReadPixels(x, y, width, height, dst, dst_stride);
    }

    bool QueryScreenSize(int* width, int* height) override {
        if (!cast_ || !cast_->Alive(nullptr)) return false;
        *width = cast_->Width();
        *height = cast_->Height();
        return true;
    }

    bool ReadCursor(CursorImage* cursor) override {
        platform::wayland::CastCursor c;
        if (!cast_ || !cast_->ReadCursor(&c)) return false;
        // Without cursor metadata the portal draws the pointer into the frames: there is no
        // pointer of its own to send.
        if (!c.known || c.argb.empty()) return false;
        cursor->width = c.width;
        cursor->height = c.height;
        cursor->hot_x = c.hot_x;
        cursor->hot_y = c.hot_y;
        cursor->x = c.x;
        cursor->y = c.y;
        cursor->visible = c.visible;
        cursor->argb = std::move(c.argb);
        return true;
    }

    bool Lost(std::string* reason) const override { return cast_ && !cast_->Alive(reason); }

  private:
    std::shared_ptr<platform::wayland::ScreenCast> cast_;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace

std::unique_ptr<Desktop> CreatePortalDesktop() {
    return std::make_unique<PortalDesktop>();
}

}  // namespace tarrowlink
