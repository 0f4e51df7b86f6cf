#include "mirror/x11/XcbScreenReader.h"

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
    reader->root_ = screen->root;
    reader->width_px_ = screen->width_in_pixels;
    reader->height_px_ = screen->height_in_pixels;
    return reader;
}

XcbScreenReader::~XcbScreenReader() {
    if (connection_ != nullptr) xcb_disconnect(connection_);
}

bool XcbScreenReader::Read(const PixelRect& area, std::vector<uint32_t>* pixels) {
    if (area.width <= 0 || area.height <= 0 || area.width > UINT16_MAX ||
        area.height > UINT16_MAX) {
        return false;
    }
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
        pixels->resize(expected);
        std::memcpy(pixels->data(), xcb_get_image_data(reply), expected * 4);
    }
    std::free(reply);
    return ok;
}

}  // namespace mirror::x11
