// wine-painter.exe [large]: paints known content on the Windows desktop for the end-to-end tests of
// the Windows programs: a window over the whole screen, topmost, with the arrow pointer, showing a
// gradient with coloured boxes. Commands on standard input, one a line, each answered on
// standard output once the screen shows it:
//   change   paints a filled rectangle at (200, 300), 120 x 80, and a small pattern at (700, 100)
//   quit     ends the program
// "painted" is written once the first picture is on the screen.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/windows/GdiHandles.h"

namespace {

constexpr char kClassName[] = "BeamoraWinePainter";
constexpr UINT kChangeMessage = WM_APP + 1;

bool g_changed = false;

// Where the pointer is put.
constexpr int kPointerX = 600;
constexpr int kPointerY = 200;

// Side of the picture's blocks: 8, or 64 with the argument "large" (most pixels of a shrunk
// screen then lie inside a block, whatever the filter).
int g_block_px = 8;

// The picture, 32-bit top-down: blocks whose colours run through every channel value (it
// compresses as a desktop does, so it travels exact), boxes in the primary colours, and after
// "change" the two changed areas.
std::vector<uint32_t> Picture(int width, int height, bool changed) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    const int columns = (width + g_block_px - 1) / g_block_px;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t block =
                static_cast<uint32_t>((y / g_block_px) * columns + x / g_block_px) * 37;
            const uint32_t r = block & 0xff;
            const uint32_t g = (block * 7 / 5) & 0xff;
            const uint32_t b = (block * 13 / 3) & 0xff;
            pixels[static_cast<size_t>(y) * width + x] = r << 16 | g << 8 | b;
        }
    }
    auto fill = [&](int left, int top, int w, int h, auto colour) {
        for (int y = top; y < top + h && y < height; ++y) {
            for (int x = left; x < left + w && x < width; ++x) {
                pixels[static_cast<size_t>(y) * width + x] = colour(x - left, y - top);
            }
        }
    };
    fill(40, 40, 200, 120, [](int, int) { return 0xff0000u; });
    fill(300, 60, 160, 160, [](int, int) { return 0x00ff00u; });
    fill(520, 500, 300, 100, [](int, int) { return 0x0000ffu; });
    fill(0, 700, 1024, 20, [](int x, int) { return (x / 16) % 2 ? 0xffffffu : 0u; });
    if (changed) {
        fill(200, 300, 120, 80, [](int, int) { return 0x3366ccu; });
        fill(700, 100, 64, 48, [](int x, int y) {
            return static_cast<uint32_t>((x / 8 * 32) << 16 | (y / 8 * 40) << 8 | 0x80);
        });
    }
    return pixels;
}

void Paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(window, &paint);
    RECT client;
    ::GetClientRect(window, &client);
    const int width = client.right;
    const int height = client.bottom;
    std::vector<uint32_t> pixels = Picture(width, height, g_changed);
    BITMAPINFO info = platform::Dib32Info(width, -height);
    ::SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                        static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
    ::EndPaint(window, &paint);
    ::GdiFlush();
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_PAINT:
            Paint(window);
            return 0;
        case kChangeMessage:
            g_changed = true;
            ::InvalidateRect(window, nullptr, FALSE);
            ::UpdateWindow(window);
            std::printf("changed\n");
            std::fflush(stdout);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcA(window, message, wparam, lparam);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "large") g_block_px = 64;
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = WindowProcedure;
    window_class.hInstance = ::GetModuleHandleA(nullptr);
    window_class.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    window_class.lpszClassName = kClassName;
    if (!::RegisterClassA(&window_class)) return 1;
    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    HWND window =
        ::CreateWindowExA(WS_EX_TOPMOST, kClassName, "wine-painter", WS_POPUP, 0, 0, width, height,
                          nullptr, nullptr, window_class.hInstance, nullptr);
    if (window == nullptr) return 1;
    ::ShowWindow(window, SW_SHOW);
    ::UpdateWindow(window);
    ::SetCursorPos(kPointerX, kPointerY);
    ::SetCursor(window_class.hCursor);
    std::printf("painted\n");
    std::fflush(stdout);

    // Commands come on a thread of their own; the window's thread only paints.
    std::thread commands([window] {
        std::string line;
        while (std::getline(std::cin, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line == "change") ::SendMessageA(window, kChangeMessage, 0, 0);
            if (line == "quit") break;
        }
        ::PostMessageA(window, WM_CLOSE, 0, 0);
    });
    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
    commands.join();
    return 0;
}
