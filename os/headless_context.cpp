#include "os/headless_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>

struct CHeadlessContext::Handles {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLSurface surface = EGL_NO_SURFACE;
    EGLContext context = EGL_NO_CONTEXT;
    EGLConfig config = nullptr;
};

namespace {

std::string EglFailure(const char* what)
{
    char text[96];
    (void)std::snprintf(text, sizeof text, "%s failed (EGL error 0x%04x)", what, static_cast<unsigned>(eglGetError()));
    return text;
}

}  // namespace

CHeadlessContext::CHeadlessContext(int width, int height) : m_handles(std::make_unique<Handles>())
{
    Handles& e = *m_handles;
    e.display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (e.display == EGL_NO_DISPLAY) {
        m_error = EglFailure("opening the surfaceless EGL display");
        return;
    }
    if (!eglInitialize(e.display, nullptr, nullptr)) {
        m_error = EglFailure("eglInitialize");
        e.display = EGL_NO_DISPLAY;
        return;
    }
    // clang-format off
    const EGLint configAttribs[] = {
        EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
        EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
        EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8,
        EGL_DEPTH_SIZE, 24,
        EGL_NONE,
    };
    // clang-format on
    EGLint count = 0;
    if (!eglChooseConfig(e.display, configAttribs, &e.config, 1, &count) || count < 1) {
        m_error = EglFailure("finding an RGBA8 pbuffer configuration with a depth buffer");
        return;
    }
    const EGLint surfaceAttribs[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    e.surface = eglCreatePbufferSurface(e.display, e.config, surfaceAttribs);
    if (e.surface == EGL_NO_SURFACE) {
        m_error = EglFailure("creating the pbuffer");
        return;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        m_error = EglFailure("binding desktop OpenGL");
        return;
    }
    e.context = eglCreateContext(e.display, e.config, EGL_NO_CONTEXT, nullptr);
    if (e.context == EGL_NO_CONTEXT) {
        m_error = EglFailure("creating the GL context");
        return;
    }
    if (!eglMakeCurrent(e.display, e.surface, e.surface, e.context))
        m_error = EglFailure("making the GL context current");
}

bool CHeadlessContext::Resize(int width, int height)
{
    Handles& e = *m_handles;
    const EGLint surfaceAttribs[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(e.display, e.config, surfaceAttribs);
    if (surface == EGL_NO_SURFACE) {
        m_error = EglFailure("creating the pbuffer");
        return false;
    }
    if (!eglMakeCurrent(e.display, surface, surface, e.context)) {
        m_error = EglFailure("making the GL context current");
        eglDestroySurface(e.display, surface);
        return false;
    }
    eglDestroySurface(e.display, e.surface);
    e.surface = surface;
    return true;
}

CHeadlessContext::~CHeadlessContext()
{
    Handles& e = *m_handles;
    if (e.display == EGL_NO_DISPLAY)
        return;
    eglMakeCurrent(e.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (e.context != EGL_NO_CONTEXT)
        eglDestroyContext(e.display, e.context);
    if (e.surface != EGL_NO_SURFACE)
        eglDestroySurface(e.display, e.surface);
    // The display stays initialised for the life of the process: terminating it unloads the
    // driver, and whatever the driver still holds could no longer be told apart from ours.
}
