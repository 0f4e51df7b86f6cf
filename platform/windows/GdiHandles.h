// Owners of GDI handles for the Windows backends (capture, the polling change tracker, the
// halftone scaler), and the header of a 32-bit DIB they all create.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace platform {

struct ScreenDcRelease {
    void operator()(HDC dc) const { ::ReleaseDC(nullptr, dc); }
};
struct DcDelete {
    void operator()(HDC dc) const { ::DeleteDC(dc); }
};
struct ObjectDelete {
    void operator()(HGDIOBJ object) const { ::DeleteObject(object); }
};
// The screen's DC from GetDC(nullptr).
using ScreenDc = std::unique_ptr<std::remove_pointer_t<HDC>, ScreenDcRelease>;
// A DC from CreateCompatibleDC or CreateDCA.
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDelete>;
using GdiObject = std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, ObjectDelete>;

// The header of a 32-bit BI_RGB DIB of width x height pixels; rows top-down when height < 0.
inline BITMAPINFO Dib32Info(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

}  // namespace platform
