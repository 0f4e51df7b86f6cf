// The notification window on Windows: a message-only window, made and pumped by a thread of its
// own, so that the library's SendMessageA returns as soon as the code is recorded whatever the
// command's main thread is doing.
#include <windows.h>

#include <future>
#include <thread>

#include "cli/CliCommon.h"
#include "platform/MessageRegistry.h"

namespace cli {
namespace {

constexpr char kWindowClass[] = "BeamoraCliNotify";

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    static const UINT notify = platform::RegisterMessage(kProjectorNotifyName);
    if (message == notify && notify != 0) {
        auto* recorder =
            reinterpret_cast<NotifyRecorder*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
        if (recorder != nullptr) recorder->Record(static_cast<int>(lparam));
        return 0;
    }
    if (message == WM_CLOSE) {
        ::DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

struct NotifyRecorder::Window {
    explicit Window(NotifyRecorder* owner) {
        std::promise<HWND> made;
        std::future<HWND> handle = made.get_future();
        thread = std::thread([owner, &made] {
            WNDCLASSA window_class{};
            window_class.lpfnWndProc = WindowProcedure;
            window_class.hInstance = ::GetModuleHandleA(nullptr);
            window_class.lpszClassName = kWindowClass;
            ::RegisterClassA(&window_class);  // fails harmlessly when already registered
            HWND window = ::CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                            nullptr, window_class.hInstance, nullptr);
            if (window != nullptr) {
                ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
            }
            made.set_value(window);
            if (window == nullptr) return;
            MSG message;
            while (::GetMessageA(&message, nullptr, 0, 0) > 0) ::DispatchMessageA(&message);
        });
        hwnd = handle.get();
    }
    ~Window() {
        if (hwnd != nullptr) ::PostMessageA(hwnd, WM_CLOSE, 0, 0);
        thread.join();
    }
    HWND hwnd = nullptr;
    std::thread thread;
};

NotifyRecorder::NotifyRecorder() : window_(std::make_unique<Window>(this)) {}
NotifyRecorder::~NotifyRecorder() = default;

WindowHandle NotifyRecorder::Handle() const {
    return window_->hwnd;
}

}  // namespace cli
