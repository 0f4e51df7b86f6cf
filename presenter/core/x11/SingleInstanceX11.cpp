// X11 window part of the single-instance rule: finds the running copy's window by its title and
// brings it to the front through the window manager, with the EWMH client messages a pager sends
// to the root window. Without a window manager the raise requests act directly.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include "platform/x11/XDisplay.h"
#include "presenter/core/SingleInstance.h"

namespace beamora {
namespace {

// Memory Xlib hands out (property data, child lists); freed with XFree.
struct XFreeDeleter {
    void operator()(void* data) const {
        if (data != nullptr) XFree(data);
    }
};
template <typename T>
using XMemory = std::unique_ptr<T, XFreeDeleter>;

// Absorbs the X errors of one display while alive, since other clients' windows may vanish
// between two requests; errors of any other display still reach the handler installed before.
// Xlib's error handler is process-wide: one trap at a time, on the main thread.
class ScopedXErrorTrap {
  public:
    explicit ScopedXErrorTrap(Display* display) {
        display_ = display;
        errors_ = 0;
        previous_ = XSetErrorHandler(&Handle);
    }
    ~ScopedXErrorTrap() {
        XSync(display_, False);  // errors of requests still under way arrive now, not later
        XSetErrorHandler(previous_);
        display_ = nullptr;
        previous_ = nullptr;
    }
    ScopedXErrorTrap(const ScopedXErrorTrap&) = delete;
    ScopedXErrorTrap& operator=(const ScopedXErrorTrap&) = delete;

    // Waits until the server has handled every request sent so far; returns how many of them
    // failed since the previous call.
    int Sync() {
        XSync(display_, False);
        const int errors = errors_;
        errors_ = 0;
        return errors;
    }

  private:
    static int Handle(Display* display, XErrorEvent* event) {
        if (display == display_) {
            ++errors_;
            return 0;
        }
        return previous_ != nullptr ? previous_(display, event) : 0;
    }

    static inline Display* display_ = nullptr;
    static inline XErrorHandler previous_ = nullptr;
    static inline int errors_ = 0;
};

struct Atoms {
    explicit Atoms(Display* display) {
        char* names[] = {
            const_cast<char*>("UTF8_STRING"),        const_cast<char*>("_NET_WM_NAME"),
            const_cast<char*>("_NET_WM_STATE"),      const_cast<char*>("_NET_WM_STATE_ABOVE"),
            const_cast<char*>("_NET_ACTIVE_WINDOW"), const_cast<char*>("WM_STATE")};
        Atom atoms[std::size(names)] = {};
        XInternAtoms(display, names, std::size(names), False, atoms);
        utf8_string = atoms[0];
        net_wm_name = atoms[1];
        net_wm_state = atoms[2];
        net_wm_state_above = atoms[3];
        net_active_window = atoms[4];
        wm_state = atoms[5];
    }
    Atom utf8_string;
    Atom net_wm_name;
    Atom net_wm_state;
    Atom net_wm_state_above;
    Atom net_active_window;
    Atom wm_state;  // set by the window manager on the client windows it manages
};

// One property as Xlib returns it: 8-bit items as bytes, 32-bit items as longs.
struct Property {
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    bool whole = false;  // false when the property is longer than was read
    XMemory<unsigned char> data;
};

// Properties are read up to 4 KB; a longer title never matches.
constexpr long kMaxPropertyLongs = 1024;

// nullopt when the window has no such property (or has gone).
std::optional<Property> ReadProperty(Display* display, Window window, Atom name, Atom type) {
    Property property;
    unsigned long bytes_after = 0;
    unsigned char* data = nullptr;
    const int status =
        XGetWindowProperty(display, window, name, 0, kMaxPropertyLongs, False, type, &property.type,
                           &property.format, &property.items, &bytes_after, &data);
    property.data.reset(data);
    if (status != Success || property.type == None) return std::nullopt;
    property.whole = bytes_after == 0;
    return property;
}

std::string Latin1ToUtf8(const unsigned char* text, unsigned long length) {
    std::string out;
    out.reserve(length);
    for (unsigned long i = 0; i < length; ++i) {
        const unsigned char c = text[i];
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

// _NET_WM_NAME (UTF-8) or WM_NAME equals title. WM_NAME of type STRING is Latin-1; UTF8_STRING
// and COMPOUND_TEXT of plain ASCII compare byte for byte (compound text with escape sequences
// holds bytes no title has).
bool HasTitle(Display* display, Window window, const Atoms& atoms, const std::string& title) {
    const auto bytes = [](const Property& p) {
        return std::string(reinterpret_cast<const char*>(p.data.get()), p.items);
    };
    const auto net = ReadProperty(display, window, atoms.net_wm_name, atoms.utf8_string);
    if (net && net->format == 8 && net->whole && bytes(*net) == title) return true;
    const auto legacy = ReadProperty(display, window, XA_WM_NAME, AnyPropertyType);
    if (!legacy || legacy->format != 8 || !legacy->whole) return false;
    if (legacy->type == XA_STRING) return Latin1ToUtf8(legacy->data.get(), legacy->items) == title;
    return bytes(*legacy) == title;
}

bool HasState(Display* display, Window window, const Atoms& atoms, Atom state) {
    const auto property = ReadProperty(display, window, atoms.net_wm_state, XA_ATOM);
    if (!property || property->format != 32) return false;
    const auto* list = reinterpret_cast<const Atom*>(property->data.get());
    for (unsigned long i = 0; i < property->items; ++i) {
        if (list[i] == state) return true;
    }
    return false;
}

struct Found {
    Window window = None;  // the window with the title
    Window top = None;     // its ancestor among the root's children (its frame, or itself)
    Window root = None;
    bool viewable = false;
};

// Depth-first walk of every screen's window tree, uppermost windows first. A window with the
// title ends its branch; so does a client window the window manager manages (WM_STATE), whose
// children are parts of it, not top-level windows. Depth and the number of windows are bounded.
class TitleSearch {
  public:
    TitleSearch(Display* display, const Atoms& atoms, const std::string& title)
        : display_(display), atoms_(atoms), title_(title) {}

    // The first viewable match, else the first match.
    std::optional<Found> Run() {
        for (int screen = 0; screen < ScreenCount(display_); ++screen) {
            const Window root = RootWindow(display_, screen);
            Visit(root, None, root, 0);
            if (first_ && first_->viewable) break;
        }
        return first_;
    }

  private:
    static constexpr int kMaxDepth = 6;  // root, frame and wrapper levels of any window manager
    static constexpr int kMaxWindows = 20000;

    void Visit(Window window, Window top, Window root, int depth) {
        if (++visited_ > kMaxWindows || (first_ && first_->viewable)) return;
        if (depth > 0 && HasTitle(display_, window, atoms_, title_)) {
            XWindowAttributes attributes{};
            if (XGetWindowAttributes(display_, window, &attributes) == 0) return;  // gone
            const bool viewable = attributes.map_state == IsViewable;
            if (!first_ || viewable) first_ = Found{window, top, root, viewable};
            return;
        }
        if (depth >= kMaxDepth) return;
        Window root_return = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        const Status status =
            XQueryTree(display_, window, &root_return, &parent, &children, &count);
        const XMemory<Window> owned(children);
        if (status == 0 || count == 0) return;
        if (depth > 0 && ReadProperty(display_, window, atoms_.wm_state, AnyPropertyType)) return;
        for (unsigned int i = count; i-- > 0;) {  // XQueryTree lists bottom to top
            Visit(children[i], depth == 0 ? children[i] : top, root, depth + 1);
        }
    }

    Display* display_;
    const Atoms& atoms_;
    const std::string& title_;
    int visited_ = 0;
    std::optional<Found> first_;
};

// EWMH values of the client messages below.
constexpr long kStateRemove = 0;
constexpr long kStateAdd = 1;
// The request comes from the user, who has just started the program again: window managers
// honour such a request where they would refuse an application's own.
constexpr long kSourcePager = 2;

void SendToWindowManager(Display* display, Window root, Window window, Atom message, long l0,
                         long l1, long l2, long l3) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = message;
    event.xclient.format = 32;
    event.xclient.data.l[0] = l0;
    event.xclient.data.l[1] = l1;
    event.xclient.data.l[2] = l2;
    event.xclient.data.l[3] = l3;
    XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

}  // namespace

bool ActivateRunningInstance(const std::string& title) {
    platform::XDisplayPtr owned(XOpenDisplay(nullptr));
    if (!owned) return false;
    Display* display = owned.get();
    ScopedXErrorTrap trap(display);
    const Atoms atoms(display);
    const std::optional<Found> found = TitleSearch(display, atoms, title).Run();
    if (!found) return false;
    trap.Sync();  // forget the errors of windows that vanished during the search

    const Window window = found->window;
    const Atom above = atoms.net_wm_state_above;
    // A window the user keeps on top stays so.
    const bool was_above = HasState(display, window, atoms, above);
    if (!was_above) {
        SendToWindowManager(display, found->root, window, atoms.net_wm_state, kStateAdd, above, 0,
                            kSourcePager);
    }
    XRaiseWindow(display, window);
    if (found->top != window) XRaiseWindow(display, found->top);
    SendToWindowManager(display, found->root, window, atoms.net_active_window, kSourcePager,
                        CurrentTime, 0, 0);
    XBell(display, 0);
    if (!was_above) {
        SendToWindowManager(display, found->root, window, atoms.net_wm_state, kStateRemove, above,
                            0, kSourcePager);
    }
    // A window that went away meanwhile belonged to a copy that is ending.
    return trap.Sync() == 0;
}

}  // namespace beamora
