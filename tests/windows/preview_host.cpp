// Stands in for the screensaver settings' preview: makes a window of the size Windows gives
// previews, starts "SCR /p HWND" in it, and checks that the saver keeps running while the
// window is there and ends, with status 0, soon after it goes. (What it draws there cannot be
// seen under Wine 8, which shows no other process's drawing in a window's children; the
// frames themselves are the full-screen saver's, whose pixels are checked.) Exit status 0
// when both hold; each failure is one line.
// Usage: preview_host.exe LUMETTA_SCR
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 152, kHeight = 112;  // the preview monitor's screen

void Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: preview_host.exe LUMETTA_SCR\n");
        return 2;
    }
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = L"PreviewHost";
    RegisterClassW(&windowClass);
    RECT area{0, 0, kWidth, kHeight};
    AdjustWindowRect(&area, WS_OVERLAPPEDWINDOW, FALSE);
    HWND window = CreateWindowW(L"PreviewHost", L"Preview", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                area.right - area.left, area.bottom - area.top, nullptr, nullptr, windowClass.hInstance,
                                nullptr);
    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\" /p " +
                           std::to_wstring(reinterpret_cast<std::uintptr_t>(window));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "FAIL: cannot start the screensaver (error %lu)\n", GetLastError());
        return 1;
    }
    bool running = true;
    for (int i = 0; i < 50 && running; ++i) {  // five seconds of frames
        Pump();
        running = WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT;
    }
    DestroyWindow(window);
    Pump();
    const DWORD ended = WaitForSingleObject(process.hProcess, 10000);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    if (ended != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!running) {
        std::fprintf(stderr, "FAIL: the screensaver ended while its preview window was there (status %lu)\n", status);
        return 1;
    }
    if (ended != WAIT_OBJECT_0 || status != 0) {
        std::fprintf(stderr, "FAIL: the screensaver did not end with its preview window (status %lu)\n", status);
        return 1;
    }
    std::printf("preview: the saver ran in the window given, and ended with it\n");
    return 0;
}
