#include "mirror/x11/XcbScreenReader.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace mirror::x11 {

std::unique_ptr<XcbScreenReader> XcbScreenReader::Open(const char* display_name) {
    std::unique_ptr<XcbScreenReader> reader(new XcbScreenReader);
    int screen_number = 0;
    reader->connection_ = xcb_connect(display_name, &screen_number);
    if (xcb_connection_has_error(reader->connection_)) return nullptr;
    const xcb_setup_t* setup = xcb_get_setup(reader->connection_);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screen_number && screens.rem > 0; ++i) xcb_screen_next(&screens);
    if (screens.rem <= 0) return nullptr;
    const xcb_screen_t* screen = screens.data;

    bool whole_words = false;
    xcb_format_iterator_t formats = xcb_setup_pixmap_formats_iterator(setup);
    for (; formats.rem > 0; xcb_format_next(&formats)) {
        if (formats.data->depth == screen->root_depth) {
            whole_words = formats.data->bits_per_pixel == 32 && formats.data->scanline_pad == 32;
        }
    }
    if (!whole_words) return nullptr;
    // The root visual's channel masks and the server's byte order say whether the words read are
    // the capture's blue, green, red, unused bytes.
    for (xcb_depth_iterator_t depths = xcb_screen_allowed_depths_iterator(screen); depths.rem > 0;
         xcb_depth_next(&depths)) {
        for (xcb_visualtype_iterator_t visuals = xcb_depth_visuals_iterator(depths.data);
             visuals.rem > 0; xcb_visualtype_next(&visuals)) {
            const xcb_visualtype_t* visual = visuals.data;
            if (visual->visual_id != screen->root_visual) continue;
            reader->bgrx_ = visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 &&
                            visual->blue_mask == 0xFF &&
                            setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
        }
    }
    reader->root_ = screen->root;
    reader->width_px_ = screen->width_in_pixels;
    reader->height_px_ = screen->height_in_pixels;
    if (reader->AttachSegment()) reader->MakeFramePixmap(screen->root_depth);
    return reader;
}

bool XcbScreenReader::AttachSegment() {
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(connection_, &xcb_shm_id);
    if (shm == nullptr || !shm->present) return false;
    const size_t bytes = 2 * FrameBytes();  // the frame, then room for an area read
    if (bytes == 0) return false;
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0) return false;
    void* addr = shmat(id, nullptr, 0);
    if (addr == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return false;
    }
    const xcb_shm_seg_t segment = xcb_generate_id(connection_);
    xcb_generic_error_t* error = xcb_request_check(
        connection_, xcb_shm_attach_checked(connection_, segment, static_cast<uint32_t>(id), 0));
    // Marked for removal now: the segment goes away with its last user, even after a crash.
    shmctl(id, IPC_RMID, nullptr);
    if (error != nullptr) {
        std::free(error);
        shmdt(addr);
        return false;
    }
    segment_ = segment;
    shm_addr_ = static_cast<uint8_t*>(addr);
    return true;
}

void XcbScreenReader::MakeFramePixmap(uint8_t root_depth) {
    xcb_shm_query_version_reply_t* version =
        xcb_shm_query_version_reply(connection_, xcb_shm_query_version(connection_), nullptr);
    const bool shared_pixmaps = version != nullptr && version->shared_pixmaps &&
                                version->pixmap_format == XCB_IMAGE_FORMAT_Z_PIXMAP;
    std::free(version);
    if (!shared_pixmaps) return;
    const xcb_pixmap_t pixmap = xcb_generate_id(connection_);
    xcb_generic_error_t* error = xcb_request_check(
        connection_,
        xcb_shm_create_pixmap_checked(connection_, pixmap, root_, static_cast<uint16_t>(width_px_),
                                      static_cast<uint16_t>(height_px_), root_depth, segment_, 0));
    if (error != nullptr) {
        std::free(error);
        return;
    }
    // IncludeInferiors: the windows on the root are copied with it, as a read of the root gives
    // them. No exposure events: parts of the source that cannot be copied are not asked for.
    const xcb_gcontext_t gc = xcb_generate_id(connection_);
    const uint32_t values[] = {XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS, 0};
    error = xcb_request_check(
        connection_,
        xcb_create_gc_checked(connection_, gc, pixmap,
                              XCB_GC_SUBWINDOW_MODE | XCB_GC_GRAPHICS_EXPOSURES, values));
    if (error != nullptr) {
        std::free(error);
        xcb_free_pixmap(connection_, pixmap);
        return;
    }
    pixmap_ = pixmap;
    gc_ = gc;
}

XcbScreenReader::~XcbScreenReader() {
    if (connection_ != nullptr) {
        if (gc_ != 0) xcb_free_gc(connection_, gc_);
        if (pixmap_ != 0) xcb_free_pixmap(connection_, pixmap_);
        if (segment_ != 0) {
            xcb_shm_detach(connection_, segment_);
            xcb_flush(connection_);
        }
        xcb_disconnect(connection_);
    }
    if (shm_addr_ != nullptr) shmdt(shm_addr_);
}

bool XcbScreenReader::Read(const PixelRect& area, const uint32_t** pixels) {
    if (area.width <= 0 || area.height <= 0 || area.width > UINT16_MAX ||
        area.height > UINT16_MAX) {
        return false;
    }
    if (shm_addr_ != nullptr) {
        // Only areas of the screen the segment was made for fit it.
        if (area.x < 0 || area.y < 0 || area.x + area.width > width_px_ ||
            area.y + area.height > height_px_ || !ReadShared(area, FrameBytes())) {
            return false;
        }
        *pixels = reinterpret_cast<const uint32_t*>(shm_addr_ + FrameBytes());
        return true;
    }
    if (!ReadCopied(area)) return false;
    *pixels = copy_.data();
    return true;
}

uint32_t* XcbScreenReader::Frame(int width_px, int height_px) {
    if (shm_addr_ == nullptr || width_px != width_px_ || height_px != height_px_) return nullptr;
    return reinterpret_cast<uint32_t*>(shm_addr_);
}

bool XcbScreenReader::ReadRows(int y0, int y1) {
    if (shm_addr_ == nullptr || y0 < 0 || y1 > height_px_ || y0 >= y1) return false;
    return ReadShared(PixelRect{0, y0, width_px_, y1 - y0},
                      static_cast<size_t>(y0) * static_cast<size_t>(width_px_) * 4);
}

bool XcbScreenReader::ReadAreas(std::span<const PixelRect> areas) {
    if (pixmap_ == 0 || areas.empty()) return false;
    for (const PixelRect& a : areas) {
        if (a.width <= 0 || a.height <= 0 || a.x < 0 || a.y < 0 || a.x + a.width > width_px_ ||
            a.y + a.height > height_px_) {
            return false;
        }
    }
    // All copies go out before the first check waits: the server answers them in one round
    // trip, and once the last is checked the earlier ones are known too.
    copies_.clear();
    for (const PixelRect& a : areas) {
        copies_.push_back(
            xcb_copy_area_checked(connection_, root_, pixmap_, gc_, static_cast<int16_t>(a.x),
                                  static_cast<int16_t>(a.y), static_cast<int16_t>(a.x),
                                  static_cast<int16_t>(a.y), static_cast<uint16_t>(a.width),
                                  static_cast<uint16_t>(a.height))
                .sequence);
    }
    bool ok = true;
    for (auto sequence = copies_.rbegin(); sequence != copies_.rend(); ++sequence) {
        xcb_generic_error_t* error = xcb_request_check(connection_, xcb_void_cookie_t{*sequence});
        if (error != nullptr) {
            std::free(error);
            ok = false;
        }
    }
    return ok;
}

bool XcbScreenReader::ReadShared(const PixelRect& area, size_t offset) {
    xcb_shm_get_image_cookie_t cookie = xcb_shm_get_image(
        connection_, root_, static_cast<int16_t>(area.x), static_cast<int16_t>(area.y),
        static_cast<uint16_t>(area.width), static_cast<uint16_t>(area.height), UINT32_MAX,
        XCB_IMAGE_FORMAT_Z_PIXMAP, segment_, static_cast<uint32_t>(offset));
    xcb_generic_error_t* error = nullptr;
    xcb_shm_get_image_reply_t* reply = xcb_shm_get_image_reply(connection_, cookie, &error);
    std::free(error);
    if (reply == nullptr) return false;
    const bool ok = reply->size == static_cast<uint32_t>(area.width) * area.height * 4;
    std::free(reply);
    return ok;
}

bool XcbScreenReader::ReadCopied(const PixelRect& area) {
    xcb_get_image_cookie_t cookie =
        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, static_cast<int16_t>(area.x),
                      static_cast<int16_t>(area.y), static_cast<uint16_t>(area.width),
                      static_cast<uint16_t>(area.height), UINT32_MAX);
    xcb_generic_error_t* error = nullptr;
    xcb_get_image_reply_t* reply = xcb_get_image_reply(connection_, cookie, &error);
    std::free(error);
    if (reply == nullptr) return false;
    size_t expected = static_cast<size_t>(area.width) * static_cast<size_t>(area.height);
    bool ok = static_cast<size_t>(xcb_get_image_data_length(reply)) == expected * 4;
    if (ok) {
        copy_.resize(expected);
        std::memcpy(copy_.data(), xcb_get_image_data(reply), expected * 4);
    }
    std::free(reply);
    return ok;
}

}  // namespace mirror::x11
