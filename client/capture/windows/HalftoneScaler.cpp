// Area scaling on Windows: GDI's halftone stretch (StretchBlt in HALFTONE mode), which averages
// the source pixels each destination pixel covers, between two DIB sections.
#include <windows.h>

#include <cstring>

#include "client/capture/AreaScaler.h"
#include "platform/windows/GdiHandles.h"

namespace tarrowlink {
namespace {

using platform::GdiObject;
using platform::MemoryDc;

// A top-down 32-bit DIB section of width x height, its bits in *bits.
GdiObject TopDownDib(int width, int height, uint8_t** bits) {
    BITMAPINFO info = platform::Dib32Info(width, -height);
    void* raw = nullptr;
    GdiObject bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &raw, nullptr, 0));
    *bits = static_cast<uint8_t*>(raw);
    return bitmap;
}

}  // namespace

bool ScaleArea(const uint8_t* src, int sw, int sh, ptrdiff_t src_stride, uint8_t* dst, int dw,
               int dh, ptrdiff_t dst_stride) {
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return false;
    uint8_t* source_bits = nullptr;
    uint8_t* target_bits = nullptr;
    GdiObject source = TopDownDib(sw, sh, &source_bits);
    GdiObject target = TopDownDib(dw, dh, &target_bits);
    MemoryDc source_dc(::CreateCompatibleDC(nullptr));
    MemoryDc target_dc(::CreateCompatibleDC(nullptr));
    if (!source || !target || !source_dc || !target_dc) return false;
    for (int row = 0; row < sh; ++row) {
        std::memcpy(source_bits + static_cast<ptrdiff_t>(row) * sw * 4, src + row * src_stride,
                    static_cast<size_t>(sw) * 4);
    }
    HGDIOBJ old_source = ::SelectObject(source_dc.get(), source.get());
    HGDIOBJ old_target = ::SelectObject(target_dc.get(), target.get());
    ::SetStretchBltMode(target_dc.get(), HALFTONE);
    ::SetBrushOrgEx(target_dc.get(), 0, 0, nullptr);  // required after choosing HALFTONE
    const bool ok =
        ::StretchBlt(target_dc.get(), 0, 0, dw, dh, source_dc.get(), 0, 0, sw, sh, SRCCOPY);
    ::GdiFlush();
    ::SelectObject(source_dc.get(), old_source);
    ::SelectObject(target_dc.get(), old_target);
    if (!ok) return false;
    for (int row = 0; row < dh; ++row) {
        uint8_t* out = dst + row * dst_stride;
        std::memcpy(out, target_bits + static_cast<ptrdiff_t>(row) * dw * 4,
                    static_cast<size_t>(dw) * 4);
        for (int x = 0; x < dw; ++x) out[x * 4 + 3] = 0xff;  // opaque, as the screen is
    }
    return true;
}

}  // namespace tarrowlink
