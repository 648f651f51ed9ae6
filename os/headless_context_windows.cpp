// The offscreen context on Windows: a WGL context on a window that is never shown. Such a
// window's own pixels are kept by no driver bound to keep them, so frames are drawn only into
// framebuffer objects (kHeadlessFramebufferDraws), which every driver since OpenGL 3.0 has;
// Wine's pbuffers, the other offscreen surface WGL has, fail on some X servers.
#include "os/headless_context.h"

#include "core/gl_api.h"

#include <windows.h>

#include <cstdio>

struct CHeadlessContext::Handles {
    HWND window = nullptr;
    HDC dc = nullptr;
    HGLRC context = nullptr;
};

namespace {

const wchar_t kWindowClass[] = L"LumettaOffscreen";

std::string WglFailure(const char* what)
{
    char text[96];
    (void)std::snprintf(text, sizeof text, "%s failed (Windows error %lu)", what, GetLastError());
    return text;
}

}  // namespace

CHeadlessContext::CHeadlessContext(int /*width*/, int /*height*/) : m_handles(std::make_unique<Handles>())
{
    Handles& e = *m_handles;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassW(&windowClass);  // fails harmlessly when a context before registered it
    e.window = CreateWindowExW(0, kWindowClass, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance, nullptr);
    if (!e.window) {
        m_error = WglFailure("making a window for GL");
        return;
    }
    e.dc = GetDC(e.window);
    PIXELFORMATDESCRIPTOR wanted{};
    wanted.nSize = sizeof wanted;
    wanted.nVersion = 1;
    wanted.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    wanted.iPixelType = PFD_TYPE_RGBA;
    wanted.cColorBits = 24;
    wanted.cAlphaBits = 8;
    wanted.cDepthBits = 24;
    const int format = ChoosePixelFormat(e.dc, &wanted);
    if (format == 0 || !SetPixelFormat(e.dc, format, &wanted)) {
        m_error = WglFailure("choosing a GL pixel format");
        return;
    }
    e.context = wglCreateContext(e.dc);
    if (!e.context || !wglMakeCurrent(e.dc, e.context)) {
        m_error = WglFailure("making the GL context current");
        return;
    }
    if (!LoadGlFunctions())
        m_error = "this GL driver lacks framebuffer objects (OpenGL 3.0, or GL_ARB_framebuffer_object)";
}

// The frames' framebuffer objects take their size from the viewport; the window keeps its own.
bool CHeadlessContext::Resize(int /*width*/, int /*height*/)
{
    return true;
}

CHeadlessContext::~CHeadlessContext()
{
    Handles& e = *m_handles;
    wglMakeCurrent(nullptr, nullptr);
    if (e.context)
        wglDeleteContext(e.context);
    if (e.dc)
        ReleaseDC(e.window, e.dc);
    if (e.window)
        DestroyWindow(e.window);
}
