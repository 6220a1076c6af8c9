// The floor for the window benchmark: the least a Win32 program can do to show a window of the
// progress window's size, centred, and keep it up. It links with the same options as
// Tamsrove.exe (static runtime), so the difference measured is our own code and resources.
// With the argument --ring it also shows eight plain frames in turn in a bitmap static every
// 50 ms, the least an animation at the ring's rate costs.
#include <windows.h>

#include <array>
#include <cwchar>

namespace {

constexpr UINT_PTR FrameTimerId = 1;
constexpr UINT FrameIntervalMs = 50;
constexpr int FrameSize = 59;

std::array<HBITMAP, 8> frames{};
HWND frameBox = nullptr;
std::size_t nextFrame = 0;

/// Eight white frames, each with a dot in another place.
void MakeFrames() {
    const HDC screen = ::GetDC(nullptr);
    const HDC memory = ::CreateCompatibleDC(screen);
    for (std::size_t k = 0; k < frames.size(); ++k) {
        frames.at(k) = ::CreateCompatibleBitmap(screen, FrameSize, FrameSize);
        const HGDIOBJ previous = ::SelectObject(memory, frames.at(k));
        ::PatBlt(memory, 0, 0, FrameSize, FrameSize, WHITENESS);
        const int at = static_cast<int>(k) * 6;
        ::Ellipse(memory, at, at, at + 10, at + 10);
        ::SelectObject(memory, previous);
    }
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
}

LRESULT CALLBACK FloorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TIMER:
        ::SendMessageW(frameBox, STM_SETIMAGE, IMAGE_BITMAP,
                       reinterpret_cast<LPARAM>(frames.at(nextFrame)));
        nextFrame = (nextFrame + 1) % frames.size();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        ::BeginPaint(window, &paint);
        ::EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR commandLine,
                    int showCommand) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &FloorProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"Tamsrove.Bench.Floor";
    if (::RegisterClassExW(&windowClass) == 0) {
        return 1;
    }
    constexpr int width = 514; // 508 x 230 client pixels plus a thin caption frame at 96 DPI
    constexpr int height = 259;
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    const HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L" Floor window",
                                          WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, x, y, width,
                                          height, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    if (std::wcsstr(commandLine, L"--ring") != nullptr) {
        MakeFrames();
        frameBox = ::CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_BITMAP, 12,
                                     44, FrameSize, FrameSize, window, nullptr, instance, nullptr);
        ::SetTimer(window, FrameTimerId, FrameIntervalMs, nullptr);
    }
    ::ShowWindow(window, showCommand);
    ::UpdateWindow(window);
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
