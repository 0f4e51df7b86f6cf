#include "tests/e2e/XScreen.h"

#include <cstring>
#include <vector>

// After Qt: Xlib defines macros (None, Bool, Status) that Qt's headers use as names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/Xrender.h>

namespace e2e {

struct XScreen::State {
    Display* display = nullptr;
    Window root = 0;
    Cursor blank = 0;
    Cursor shape = 0;
    GC gc = nullptr;

    ~State() {
        if (display == nullptr) return;
        if (gc != nullptr) XFreeGC(display, gc);
        if (blank != 0) XFreeCursor(display, blank);
        if (shape != 0) XFreeCursor(display, shape);
        XCloseDisplay(display);
    }
};

XScreen::XScreen(const std::string& display) : state_(std::make_unique<State>()) {
    state_->display = XOpenDisplay(display.c_str());
    if (state_->display == nullptr) return;
    Display* d = state_->display;
    state_->root = DefaultRootWindow(d);
    state_->gc = XCreateGC(d, state_->root, 0, nullptr);
    XSetSubwindowMode(d, state_->gc, IncludeInferiors);
    // An all-transparent pointer: a 1 x 1 cursor whose mask is empty.
    char zero = 0;
    Pixmap empty = XCreateBitmapFromData(d, state_->root, &zero, 1, 1);
    XColor black{};
    state_->blank = XCreatePixmapCursor(d, empty, empty, &black, &black, 0, 0);
    XFreePixmap(d, empty);
    XDefineCursor(d, state_->root, state_->blank);
    XSync(d, False);
}

XScreen::~XScreen() = default;

bool XScreen::Ok() const {
    return state_->display != nullptr;
}

int XScreen::Width() const {
    XWindowAttributes attributes{};
    XGetWindowAttributes(state_->display, state_->root, &attributes);
    return attributes.width;
}

int XScreen::Height() const {
    XWindowAttributes attributes{};
    XGetWindowAttributes(state_->display, state_->root, &attributes);
    return attributes.height;
}

void XScreen::Put(const QImage& image, int x, int y) {
    QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    Display* d = state_->display;
    // Format_RGB32 lies in memory as blue, green, red, unused: the ZPixmap layout of a 24-bit
    // TrueColor screen on a little-endian machine.
    XImage* ximage =
        XCreateImage(d, DefaultVisual(d, DefaultScreen(d)), 24, ZPixmap, 0,
                     reinterpret_cast<char*>(rgb.bits()), static_cast<unsigned>(rgb.width()),
                     static_cast<unsigned>(rgb.height()), 32, static_cast<int>(rgb.bytesPerLine()));
    ximage->byte_order = LSBFirst;
    XPutImage(d, state_->root, state_->gc, ximage, 0, 0, x, y, static_cast<unsigned>(rgb.width()),
              static_cast<unsigned>(rgb.height()));
    ximage->data = nullptr;  // the pixels belong to rgb
    XDestroyImage(ximage);
    XSync(d, False);
}

void XScreen::Fill(int x, int y, int width, int height, uint32_t rgb) {
    Display* d = state_->display;
    XSetForeground(d, state_->gc, rgb & 0xFFFFFF);
    XFillRectangle(d, state_->root, state_->gc, x, y, static_cast<unsigned>(width),
                   static_cast<unsigned>(height));
    XSync(d, False);
}

QImage XScreen::Grab() {
    const int width = Width(), height = Height();
    XImage* ximage = XGetImage(state_->display, state_->root, 0, 0, static_cast<unsigned>(width),
                               static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (ximage == nullptr) return {};
    QImage image(width, height, QImage::Format_RGB32);
    for (int row = 0; row < height; ++row) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
        for (int x = 0; x < width; ++x) {
            line[x] = 0xFF000000u | (XGetPixel(ximage, x, row) & 0xFFFFFF);
        }
    }
    XDestroyImage(ximage);
    return image;
}

void XScreen::SetPointer(const QImage& image, int hot_x, int hot_y) {
    Display* d = state_->display;
    QImage argb = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const unsigned width = static_cast<unsigned>(argb.width());
    const unsigned height = static_cast<unsigned>(argb.height());
    Pixmap pixmap = XCreatePixmap(d, state_->root, width, height, 32);
    GC gc = XCreateGC(d, pixmap, 0, nullptr);
    XImage* ximage = XCreateImage(d, nullptr, 32, ZPixmap, 0, reinterpret_cast<char*>(argb.bits()),
                                  width, height, 32, static_cast<int>(argb.bytesPerLine()));
    ximage->byte_order = LSBFirst;
    XPutImage(d, pixmap, gc, ximage, 0, 0, 0, 0, width, height);
    ximage->data = nullptr;  // the pixels belong to argb
    XDestroyImage(ximage);
    XFreeGC(d, gc);
    XRenderPictFormat* format = XRenderFindStandardFormat(d, PictStandardARGB32);
    Picture picture = XRenderCreatePicture(d, pixmap, format, 0, nullptr);
    Cursor cursor =
        XRenderCreateCursor(d, picture, static_cast<unsigned>(hot_x), static_cast<unsigned>(hot_y));
    XRenderFreePicture(d, picture);
    XFreePixmap(d, pixmap);
    XDefineCursor(d, state_->root, cursor);
    if (state_->shape != 0) XFreeCursor(d, state_->shape);
    state_->shape = cursor;
    XSync(d, False);
}

void XScreen::MovePointer(int x, int y) {
    XWarpPointer(state_->display, 0, state_->root, 0, 0, 0, 0, x, y);
    XSync(state_->display, False);
}

bool XScreen::Resize(int width, int height) {
    Display* d = state_->display;
    XRRScreenResources* resources = XRRGetScreenResources(d, state_->root);
    if (resources == nullptr) return false;
    bool ok = resources->noutput > 0 && resources->ncrtc > 0;
    // The mode of that size, made and given to the output when the server does not have it.
    RRMode mode = 0;
    for (int i = 0; ok && i < resources->nmode; ++i) {
        if (static_cast<int>(resources->modes[i].width) == width &&
            static_cast<int>(resources->modes[i].height) == height) {
            mode = resources->modes[i].id;
        }
    }
    RROutput output = ok ? resources->outputs[0] : 0;
    bool listed = false;
    if (ok && mode != 0) {
        XRROutputInfo* info = XRRGetOutputInfo(d, resources, output);
        for (int i = 0; info != nullptr && i < info->nmode; ++i) listed |= info->modes[i] == mode;
        if (info != nullptr) XRRFreeOutputInfo(info);
    }
    if (ok && mode == 0) {
        std::string name = std::to_string(width) + "x" + std::to_string(height) + "_e2e";
        XRRModeInfo info{};
        info.width = static_cast<unsigned>(width);
        info.height = static_cast<unsigned>(height);
        info.hTotal = info.width;
        info.vTotal = info.height;
        info.dotClock = static_cast<unsigned long>(width) * static_cast<unsigned long>(height) * 60;
        info.name = name.data();
        info.nameLength = static_cast<unsigned>(name.size());
        mode = XRRCreateMode(d, state_->root, &info);
        ok = mode != 0;
    }
    if (ok) {
        // Adding a mode the output already has is an error.
        if (!listed) XRRAddOutputMode(d, output, mode);
        XGrabServer(d);
        XRRSetCrtcConfig(d, resources, resources->crtcs[0], CurrentTime, 0, 0, 0, RR_Rotate_0,
                         nullptr, 0);
        // Millimetres at 96 dots per inch.
        XRRSetScreenSize(d, state_->root, width, height, width * 254 / 960, height * 254 / 960);
        XRRSetCrtcConfig(d, resources, resources->crtcs[0], CurrentTime, 0, 0, mode, RR_Rotate_0,
                         &output, 1);
        XUngrabServer(d);
        XSync(d, False);
    }
    XRRFreeScreenResources(resources);
    return ok && Width() == width && Height() == height;
}

}  // namespace e2e
