// Preloaded into a program under measurement: ends it the moment its first frame has been
// presented, so that the program's run time is its time to the first painted frame.
#include <EGL/egl.h>
#include <GL/glx.h>

#include <dlfcn.h>
#include <unistd.h>

extern "C" {

void glXSwapBuffers(Display* display, GLXDrawable drawable)
{
    const auto real = reinterpret_cast<void (*)(Display*, GLXDrawable)>(dlsym(RTLD_NEXT, "glXSwapBuffers"));
    real(display, drawable);
    glXWaitGL();
    _exit(0);
}

EGLBoolean eglSwapBuffers(EGLDisplay display, EGLSurface surface)
{
    const auto real = reinterpret_cast<EGLBoolean (*)(EGLDisplay, EGLSurface)>(dlsym(RTLD_NEXT, "eglSwapBuffers"));
    real(display, surface);
    eglWaitClient();
    _exit(0);
}

}  // extern "C"
