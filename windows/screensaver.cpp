#include "windows/screensaver.h"

#include "view/scene_start.h"
#include "windows/gdi_frames.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cwctype>
#include <memory>

namespace {

const wchar_t kSaverClass[] = L"LumettaScreensaver";
constexpr UINT_PTR kFrameTimer = 1;
constexpr int kRealMove = 4;  // pixels the mouse goes before it ends the screensaver

struct SaverWindow {
    bool fullScreen = false;
    POINT firstMouse{-1, -1};
    CScene scene;
    std::unique_ptr<CGdiFrames> frames;
    CPatternCycle cycle{SceneStart{}};
};

// Full screen, anything the user does ends it; in a preview only the parent's going does.
bool EndsTheSaver(SaverWindow& saver, UINT message, LPARAM lParam)
{
    if (!saver.fullScreen)
        return false;
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        return true;
    case WM_MOUSEMOVE: {
        const POINT now{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (saver.firstMouse.x < 0) {
            saver.firstMouse = now;
            return false;
        }
        return std::abs(now.x - saver.firstMouse.x) > kRealMove || std::abs(now.y - saver.firstMouse.y) > kRealMove;
    }
    default:
        return false;
    }
}

LRESULT CALLBACK SaverProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* saver = reinterpret_cast<SaverWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        saver = static_cast<SaverWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(saver));
    }
    if (!saver)
        return DefWindowProcW(window, message, wParam, lParam);
    if (EndsTheSaver(*saver, message, lParam) || (saver->fullScreen && message == WM_ACTIVATEAPP && wParam == FALSE)) {
        DestroyWindow(window);
        return 0;
    }
    switch (message) {
    case WM_SIZE:
        if (saver->frames)
            saver->frames->Resize(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_TIMER:
        if (saver->frames && wParam == kFrameTimer) {
            saver->frames->Draw();
            saver->cycle.AfterFrame(saver->scene.State());
            const HDC dc = GetDC(window);
            saver->frames->Show(dc, false);
            ReleaseDC(window, dc);
        }
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC dc = BeginPaint(window, &paint);
        if (saver->frames)
            saver->frames->Show(dc, true);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;  // the frame covers it
    case WM_SETCURSOR:
        if (saver->fullScreen) {
            SetCursor(nullptr);
            return TRUE;
        }
        break;
    case WM_DESTROY:
        KillTimer(window, kFrameTimer);
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The window handle in "/p 1234" or "/p:1234".
HWND HandleIn(const std::wstring& option, const std::vector<std::wstring>& arguments)
{
    std::wstring number = option.size() > 2 && option[2] == L':' ? option.substr(3) : L"";
    if (number.empty() && arguments.size() > 2)
        number = arguments[2];
    wchar_t* end = nullptr;
    const unsigned long long value = std::wcstoull(number.c_str(), &end, 10);
    if (number.empty() || *end != L'\0')
        return nullptr;
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(value));
}

int RunSaver(HWND parent, const std::string& installedData)
{
    auto saver = std::make_unique<SaverWindow>();
    saver->fullScreen = parent == nullptr;
    saver->scene.OnCreate(installedData);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = SaverProcedure;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kSaverClass;
    RegisterClassW(&windowClass);
    saver->frames = std::make_unique<CGdiFrames>(saver->scene, 4);
    if (!saver->frames->Error().empty()) {
        if (saver->fullScreen)
            MessageBoxW(nullptr, L"Lumetta cannot draw the scene with this graphics driver.", L"Lumetta",
                        MB_OK | MB_ICONERROR);
        return 1;
    }
    ApplySceneStart(saver->scene.State(), SceneStart{});
    HWND window = nullptr;
    if (saver->fullScreen) {
        const int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
        const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
        window = CreateWindowExW(WS_EX_TOPMOST, kSaverClass, L"Lumetta", WS_POPUP | WS_VISIBLE, x, y, width, height,
                                 nullptr, nullptr, instance, saver.get());
    } else {
        RECT area{};
        GetClientRect(parent, &area);
        window = CreateWindowExW(0, kSaverClass, L"Lumetta", WS_CHILD | WS_VISIBLE, 0, 0, area.right, area.bottom,
                                 parent, nullptr, instance, saver.get());
    }
    // A preview window that went before the saver could draw in it is the preview's end.
    if (!window)
        return saver->fullScreen ? 1 : 0;
    SetTimer(window, kFrameTimer, kFrameMilliseconds, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

}  // namespace

bool RunScreensaverIfAsked(const std::vector<std::wstring>& arguments, const std::string& installedData, int& status)
{
    const std::wstring& program = arguments.empty() ? L"" : arguments[0];
    const bool isScr = program.size() > 4 && _wcsicmp(program.c_str() + program.size() - 4, L".scr") == 0;
    std::wstring option = arguments.size() > 1 ? arguments[1] : (isScr ? L"/c" : L"");
    if (option.size() < 2 || (option[0] != L'/' && option[0] != L'-'))
        return false;
    const wchar_t what = static_cast<wchar_t>(std::towlower(option[1]));
    if (option.size() > 2 && option[2] != L':')
        return false;
    switch (what) {
    case L's':
        status = RunSaver(nullptr, installedData);
        return true;
    case L'p': {
        // Another program's window, or none: a handle that names no window ends it quietly.
        const HWND parent = HandleIn(option, arguments);
        status = parent && IsWindow(parent) ? RunSaver(parent, installedData) : 0;
        return true;
    }
    case L'c':
        MessageBoxW(nullptr,
                    L"Lumetta has nothing to set: its wreath blinks in its three patterns, its flares "
                    L"turning, as in its window.",
                    L"Lumetta", MB_OK | MB_ICONINFORMATION);
        status = 0;
        return true;
    case L'a':  // a password, on Windows 95's screensavers: none is kept
        status = 0;
        return true;
    default:
        return false;
    }
}
