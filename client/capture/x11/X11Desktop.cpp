// The X11 desktop: screen pixels through one MIT-SHM image of the whole screen, reused for every
// read (a read of a smaller rectangle uses the top of the same segment), with a plain XGetImage
// fallback for servers without shared memory; the pointer through XFIXES.
//
// The sending thread asks for the screen size and the pointer on every pass. Both are answered
// from what the server's events said, so that a pass with nothing new makes no round trip: RandR
// screen-change notifications for the size, XFIXES cursor notifications for the image and XInput2
// raw motion for the position (plus a position query every few passes, since a pointer moved by
// XWarpPointer raises no raw motion). A server without one of these extensions is asked every
// time instead, as before.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrandr.h>
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
        shm_.Release();  // before the connection it belongs to
        shm_tried_ = shm_ok_ = false;
        display_.reset(XOpenDisplay(nullptr));
        if (!display_) return false;
        Display* d = display_.get();
        int screen = DefaultScreen(d);
        root_ = RootWindow(d, screen);
        width_ = DisplayWidth(d, screen);
        height_ = DisplayHeight(d, screen);
        int error_base;
        xfixes_ok_ = XFixesQueryExtension(d, &xfixes_event_base_, &error_base);
        FollowEvents();
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
        if (SharedImage()) {
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
        if (!display_ || width <= 0 || height <= 0 || x < 0 || y < 0 || x + width > width_ ||
            y + height > height_ || !SharedImage()) {
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
        DrainEvents();
        if (!randr_ok_ || !size_known_) {
            Window root;
            int x, y;
            unsigned int w, h, border, depth;
            if (!XGetGeometry(display_.get(), root_, &root, &x, &y, &w, &h, &border, &depth))
                return false;
            current_width_ = static_cast<int>(w);
            current_height_ = static_cast<int>(h);
            size_known_ = true;
        }
        *width = current_width_;
        *height = current_height_;
        return true;
    }

    bool ReadCursor(CursorImage* cursor) override {
        if (!display_ || !xfixes_ok_) return false;
        DrainEvents();
        if (!cursor_known_ || !cursor_events_) {
            if (!FetchCursorImage()) return false;
        } else if (!motion_events_ || moved_ || ++passes_since_query_ >= kPositionQueryPasses) {
            QueryPosition();
        }
        *cursor = cursor_;
        return true;
    }

    ~X11Desktop() override {
        shm_.Release();  // before the connection it belongs to
    }

  private:
    // The shared image of the whole screen, made on the first read that needs it: while the
    // change tracker lends its pixels (the usual case) none is, and a screen-sized segment
    // (8 MB at 1920x1080, 33 MB at 3840x2160) would sit unused.
    bool SharedImage() {
        if (!shm_tried_) {
            shm_tried_ = true;
            Display* d = display_.get();
            const int screen = DefaultScreen(d);
            shm_ok_ =
                XShmQueryExtension(d) &&
                shm_.Create(d, DefaultVisual(d, screen), DefaultDepth(d, screen), width_, height_);
            if (!shm_ok_) platform::DebugOutput("capture: no shared memory with the X server\n");
        }
        return shm_ok_;
    }

    // Passes between position queries when raw motion says nothing (a warped pointer).
    static constexpr int kPositionQueryPasses = 5;

    // Asks the server for the events that stand in for the per-pass queries, where it has them.
    void FollowEvents() {
        Display* d = display_.get();
        int error_base, major = 0, minor = 0;
        if (xfixes_ok_) {
            XFixesSelectCursorInput(d, root_, XFixesDisplayCursorNotifyMask);
            cursor_events_ = true;
        }
        if (XRRQueryExtension(d, &randr_event_base_, &error_base)) {
            XRRSelectInput(d, root_, RRScreenChangeNotifyMask);
            randr_ok_ = true;
        }
        int opcode, event_base;
        major = 2;
        minor = 0;
        if (XQueryExtension(d, "XInputExtension", &opcode, &event_base, &error_base) &&
            XIQueryVersion(d, &major, &minor) == Success) {
            unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
            XISetMask(bits, XI_RawMotion);
            XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
            motion_events_ = XISelectEvents(d, root_, &mask, 1) == Success;
            xi_opcode_ = opcode;
        }
        XSync(d, False);
    }

    // Takes every event that has arrived, without waiting, and notes what they say.
    void DrainEvents() {
        Display* d = display_.get();
        if (!platform::XEventsMayWait(d)) return;
        while (XPending(d) > 0) {
            XEvent event;
            XNextEvent(d, &event);
            if (xfixes_ok_ && event.type == xfixes_event_base_ + XFixesCursorNotify) {
                cursor_known_ = false;
            } else if (randr_ok_ && event.type == randr_event_base_ + RRScreenChangeNotify) {
                XRRUpdateConfiguration(&event);
                size_known_ = false;
            } else if (event.type == GenericEvent && event.xcookie.extension == xi_opcode_) {
                moved_ = true;  // the position is asked for once per pass, not per event
            }
        }
    }

    bool FetchCursorImage() {
        XFixesCursorImage* image = XFixesGetCursorImage(display_.get());
        if (image == nullptr) return false;
        cursor_.width = image->width;
        cursor_.height = image->height;
        cursor_.hot_x = image->xhot;
        cursor_.hot_y = image->yhot;
        cursor_.x = image->x;
        cursor_.y = image->y;
        cursor_.visible = true;
        cursor_.argb.resize(static_cast<size_t>(image->width) * image->height);
        for (size_t i = 0; i < cursor_.argb.size(); ++i) {
            cursor_.argb[i] = static_cast<uint32_t>(image->pixels[i]);  // 32 bits in a long
        }
        XFree(image);
        cursor_known_ = true;
        moved_ = false;
        passes_since_query_ = 0;
        return true;
    }

    void QueryPosition() {
        Window root, child;
        int root_x, root_y, win_x, win_y;
        unsigned int buttons;
        if (XQueryPointer(display_.get(), root_, &root, &child, &root_x, &root_y, &win_x, &win_y,
                          &buttons)) {
            cursor_.x = root_x;
            cursor_.y = root_y;
        }
        moved_ = false;
        passes_since_query_ = 0;
    }

    platform::XDisplayPtr display_;
    Window root_ = 0;
    int width_ = 0;
    int height_ = 0;
    ShmImage shm_;
    bool shm_tried_ = false;
    bool shm_ok_ = false;
    bool xfixes_ok_ = false;
    int xfixes_event_base_ = 0;
    // What the events follow, and what they said.
    bool cursor_events_ = false;  // XFIXES cursor notifications selected
    bool randr_ok_ = false;       // RandR screen-change notifications selected
    bool motion_events_ = false;  // XInput2 raw motion selected
    int randr_event_base_ = 0;
    int xi_opcode_ = -1;
    bool size_known_ = false;
    int current_width_ = 0;
    int current_height_ = 0;
    bool cursor_known_ = false;  // cursor_ holds the current image
    bool moved_ = false;         // raw motion since the last position
    int passes_since_query_ = 0;
    CursorImage cursor_;
};

}  // namespace

std::unique_ptr<Desktop> CreateX11Desktop() {
    return std::make_unique<X11Desktop>();
}

}  // namespace tarrowlink
