// The X11 desktop: screen pixels through one MIT-SHM image of the whole screen, reused for every
// read (a read of a smaller rectangle uses the top of the same segment), with a plain XGetImage
// fallback for servers without shared memory; the pointer through XFIXES.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xfixes.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstring>
#include <memory>
#include <mutex>

#include "client/capture/Desktop.h"
#include "client/capture/DesktopBackends.h"
#include "platform/Debug.h"
#include "platform/x11/XDisplay.h"

namespace tarrowlink {
namespace {

// Swallows X errors on this connection while a request that may fail is under way (a failed
// XShmAttach, an XGetImage of an area that just left the screen), so that they are reported as a
// false result instead of ending the process.
class ErrorTrap {
  public:
    // sync false: the trapped request waits for its reply itself (so its error has arrived when
    // it returns), and no round trips are added.
    explicit ErrorTrap(Display* display, bool sync = true)
        : lock_(Mutex()), display_(display), sync_(sync) {
        if (sync_) XSync(display_, False);
        failed_ = false;
        previous_ = XSetErrorHandler(&ErrorTrap::Handle);
    }
    ~ErrorTrap() {
        if (sync_) XSync(display_, False);
        XSetErrorHandler(previous_);
    }
    bool Failed() {
        if (sync_) XSync(display_, False);
        return failed_;
    }

  private:
    static int Handle(Display*, XErrorEvent*) {
        failed_ = true;
        return 0;
    }
    static std::mutex& Mutex() {
        static std::mutex mutex;
        return mutex;
    }
    std::unique_lock<std::mutex> lock_;  // the error handler is process-wide: one trap at a time
    Display* display_;
    bool sync_;
    XErrorHandler previous_;
    static inline bool failed_ = false;
};

// One shared-memory image of the whole screen. Released safely twice.
class ShmImage {
  public:
    ~ShmImage() { Release(); }

    bool Create(Display* display, Visual* visual, int depth, int width, int height) {
        Release();
        display_ = display;
        image_ =
            XShmCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, nullptr, &info_,
                            static_cast<unsigned>(width), static_cast<unsigned>(height));
        if (image_ == nullptr) return false;
        full_width_ = width;
        full_height_ = height;
        info_.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image_->bytes_per_line) * height,
                             IPC_CREAT | 0600);
        if (info_.shmid < 0) {
            Release();
            return false;
        }
        info_.shmaddr = image_->data = static_cast<char*>(shmat(info_.shmid, nullptr, 0));
        info_.readOnly = False;
        if (info_.shmaddr == reinterpret_cast<char*>(-1)) {
            info_.shmaddr = image_->data = nullptr;
            Release();
            return false;
        }
        bool attached;
        {
            ErrorTrap trap(display);
            XShmAttach(display, &info_);
            attached = !trap.Failed();
        }
        // Marked for removal now: the segment goes away with the last user, even after a crash.
        shmctl(info_.shmid, IPC_RMID, nullptr);
        if (!attached) {
            Release();
            return false;
        }
        attached_ = true;
        return true;
    }

    // Reads (x, y, width, height) of drawable into the top of the segment. Returns the image
    // (its width, height and stride describe the read) or nullptr.
    XImage* Read(Drawable drawable, int x, int y, int width, int height) {
        if (image_ == nullptr) return nullptr;
        image_->width = width;
        image_->height = height;
        image_->bytes_per_line = width * image_->bits_per_pixel / 8;
        // An area that has just left the screen (the screen shrank) is an X error: reported as
        // a failed read, never as the end of the process.
        ErrorTrap trap(display_, false);
        if (!XShmGetImage(display_, drawable, image_, x, y, AllPlanes) || trap.Failed()) {
            return nullptr;
        }
        return image_;
    }

    void Release() {
        if (attached_) {
            XShmDetach(display_, &info_);
            XSync(display_, False);
            attached_ = false;
        }
        if (image_ != nullptr) {
            image_->data = nullptr;  // the segment is not Xlib's to free
            XDestroyImage(image_);
            image_ = nullptr;
        }
        if (info_.shmaddr != nullptr) {
            shmdt(info_.shmaddr);
            info_.shmaddr = nullptr;
        }
    }

  private:
    Display* display_ = nullptr;
    XImage* image_ = nullptr;
    XShmSegmentInfo info_{};
    bool attached_ = false;
    int full_width_ = 0;
    int full_height_ = 0;
};

// True when the image's pixels already are 32-bit BGRX.
bool DirectLayout(const XImage* image) {
    return image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 &&
           image->green_mask == 0xFF00 && image->blue_mask == 0xFF && image->byte_order == LSBFirst;
}

// Copies rows of an XImage to 32-bit BGRX rows.
void CopyImage(XImage* image, uint8_t* dst, ptrdiff_t dst_stride) {
    const bool direct = DirectLayout(image);
    for (int row = 0; row < image->height; ++row) {
        uint8_t* out = dst + row * dst_stride;
        if (direct) {
            std::memcpy(out, image->data + static_cast<size_t>(row) * image->bytes_per_line,
                        static_cast<size_t>(image->width) * 4);
            continue;
        }
        // Any other visual: slow but right.
        for (int col = 0; col < image->width; ++col) {
            unsigned long pixel = XGetPixel(image, col, row);
            auto channel = [&](unsigned long mask) -> uint8_t {
                if (mask == 0) return 0;
                int shift = __builtin_ctzl(mask);
                unsigned long max = mask >> shift;
                return static_cast<uint8_t>(((pixel & mask) >> shift) * 255 / max);
            };
            out[col * 4 + 0] = channel(image->blue_mask);
            out[col * 4 + 1] = channel(image->green_mask);
            out[col * 4 + 2] = channel(image->red_mask);
            out[col * 4 + 3] = 0;
        }
    }
}

class X11Desktop : public Desktop {
  public:
    bool Open() override {
        display_.reset(XOpenDisplay(nullptr));
        if (!display_) return false;
        Display* d = display_.get();
        int screen = DefaultScreen(d);
        root_ = RootWindow(d, screen);
        width_ = DisplayWidth(d, screen);
        height_ = DisplayHeight(d, screen);
        if (XShmQueryExtension(d)) {
            shm_ok_ =
                shm_.Create(d, DefaultVisual(d, screen), DefaultDepth(d, screen), width_, height_);
        }
        if (!shm_ok_) platform::DebugOutput("capture: no shared memory with the X server\n");
        int event_base, error_base;
        xfixes_ok_ = XFixesQueryExtension(d, &event_base, &error_base);
        return true;
    }

    int Width() const override { return width_; }
    int Height() const override { return height_; }

    bool ReadPixels(int x, int y, int width, int height, uint8_t* dst,
                    ptrdiff_t dst_stride) override {
        if (!display_ || width <= 0 || height <= 0 || x < 0 || y < 0 || x + width > width_ ||
            y + height > height_) {
            return false;
        }
        if (shm_ok_) {
            XImage* image = shm_.Read(root_, x, y, width, height);
            if (image != nullptr) {
                CopyImage(image, dst, dst_stride);
                return true;
            }
        }
        ErrorTrap trap(display_.get());
        XImage* image = XGetImage(display_.get(), root_, x, y, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), AllPlanes, ZPixmap);
        if (image == nullptr || trap.Failed()) {
            if (image != nullptr) XDestroyImage(image);
            return false;
        }
        CopyImage(image, dst, dst_stride);
        XDestroyImage(image);
        return true;
    }

    // The shared image's pixels, when they are BGRX already: the stretch path scales straight
    // from them instead of copying the whole rectangle first.
    bool ReadPixelsInPlace(int x, int y, int width, int height, const uint8_t** pixels,
                           ptrdiff_t* stride) override {
        if (!display_ || !shm_ok_ || width <= 0 || height <= 0 || x < 0 || y < 0 ||
            x + width > width_ || y + height > height_) {
            return false;
        }
        XImage* image = shm_.Read(root_, x, y, width, height);
        if (image == nullptr || !DirectLayout(image)) return false;
        *pixels = reinterpret_cast<const uint8_t*>(image->data);
        *stride = image->bytes_per_line;
        return true;
    }

    bool QueryScreenSize(int* width, int* height) override {
        if (!display_) return false;
        Window root;
        int x, y;
        unsigned int w, h, border, depth;
        if (!XGetGeometry(display_.get(), root_, &root, &x, &y, &w, &h, &border, &depth))
            return false;
        *width = static_cast<int>(w);
        *height = static_cast<int>(h);
        return true;
    }

    bool ReadCursor(CursorImage* cursor) override {
        if (!display_ || !xfixes_ok_) return false;
        XFixesCursorImage* image = XFixesGetCursorImage(display_.get());
        if (image == nullptr) return false;
        cursor->width = image->width;
        cursor->height = image->height;
        cursor->hot_x = image->xhot;
        cursor->hot_y = image->yhot;
        cursor->x = image->x;
        cursor->y = image->y;
        cursor->visible = true;
        cursor->argb.resize(static_cast<size_t>(image->width) * image->height);
        for (size_t i = 0; i < cursor->argb.size(); ++i) {
            cursor->argb[i] = static_cast<uint32_t>(image->pixels[i]);  // 32 bits in a long
        }
        XFree(image);
        return true;
    }

    ~X11Desktop() override {
        shm_.Release();  // before the connection it belongs to
    }

  private:
    platform::XDisplayPtr display_;
    Window root_ = 0;
    int width_ = 0;
    int height_ = 0;
    ShmImage shm_;
    bool shm_ok_ = false;
    bool xfixes_ok_ = false;
};

}  // namespace

std::unique_ptr<Desktop> CreateX11Desktop() {
    return std::make_unique<X11Desktop>();
}

}  // namespace tarrowlink
