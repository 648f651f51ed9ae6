#include "saver/saver_host.h"

#include "os/end_signals.h"
#include "os/fail.h"
#include "view/gl_check.h"
#include "view/scene.h"
#include "x11/display.h"
#include "x11/frame_clock.h"
#include "x11/frame_present.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

// X errors come late and from anywhere; the one that matters is the window going.
bool g_bWindowGone = false;

int OnXError(Display*, XErrorEvent* error)
{
    if (error->error_code == BadWindow || error->error_code == BadDrawable)
        g_bWindowGone = true;
    return 0;
}

std::string Hex(unsigned long id)
{
    char text[32];
    (void)std::snprintf(text, sizeof text, "0x%lx", id);
    return text;
}

// The window the daemon names in XSCREENSAVER_WINDOW (decimal or 0x hexadecimal), or 0.
unsigned long DaemonWindow()
{
    const char* text = std::getenv("XSCREENSAVER_WINDOW");
    if (!text || !*text)
        return 0;
    char* end = nullptr;
    const unsigned long id = std::strtoul(text, &end, 0);
    return (end && *end == '\0') ? id : 0;
}

// Whether the window is still there, asked of the X server now.
bool WindowStillThere(Display* display, Window window)
{
    XWindowAttributes attributes;
    const Status found = XGetWindowAttributes(display, window, &attributes);
    XSync(display, False);
    return found && !g_bWindowGone;
}

}  // namespace

int RunSaver(const SaverOptions& options, const std::string& installedFolder)
{
    // A daemon ends its programs with a signal at any time, the start included.
    const CEndSignals endSignals;
    const DisplayPtr display = OpenDisplayToTheEnd(OnXError);
    if (!display)
        return Fail("cannot open the display");
    Display* dpy = display.get();

    Window window = options.window;
    if (options.root) {
        window = DaemonWindow();
        if (window == 0)
            window = DefaultRootWindow(dpy);
    }
    // Structure events first: a resize between them and reading the size is not lost. Exposure,
    // since a frame brings only its changes to the window.
    XSelectInput(dpy, window, StructureNotifyMask | ExposureMask);
    XWindowAttributes attributes;
    const Status found = XGetWindowAttributes(dpy, window, &attributes);
    XSync(dpy, False);
    if (!found || g_bWindowGone)
        return Fail("there is no window " + Hex(window) + " on the display");

    // The context must draw with the window's own visual; the daemon chose it for GL.
    XVisualInfo wanted{};
    wanted.visualid = XVisualIDFromVisual(attributes.visual);
    int count = 0;
    std::unique_ptr<XVisualInfo, int (*)(void*)> visual(XGetVisualInfo(dpy, VisualIDMask, &wanted, &count), XFree);
    int usesGl = 0, doubleBuffered = 0;
    GLXContext context = nullptr;
    bool current = false;
    {
        // The driver starts its threads as GLX is first asked anything: they keep the end
        // signals out, and the handler runs on this thread alone.
        const CHoldEndSignals hold;
        if (!visual || glXGetConfig(dpy, visual.get(), GLX_USE_GL, &usesGl) != 0 || !usesGl)
            return Fail("window " + Hex(window) + " cannot take OpenGL: its visual " + Hex(wanted.visualid) +
                        " has none");
        glXGetConfig(dpy, visual.get(), GLX_DOUBLEBUFFER, &doubleBuffered);
        context = glXCreateContext(dpy, visual.get(), nullptr, True);
        current = context && glXMakeCurrent(dpy, window, context);
    }
    if (!current) {
        if (context)
            glXDestroyContext(dpy, context);
        // A window that went while the context was being made is a daemon's ordinary end.
        if (!WindowStillThere(dpy, window))
            return 0;
        return Fail("window " + Hex(window) + " cannot take an OpenGL context");
    }

    auto scene = std::make_unique<CScene>();
    scene->OnCreate(installedFolder);
    scene->SetFrameDrawing(FrameDrawing::Cached);
    scene->OnCreateContext();
    int width = attributes.width, height = attributes.height;
    scene->OnSize(width, height);
    ApplySceneStart(scene->State(), options.start);
    CPatternCycle cycle(options.start);

    CFramePresenter presenter(dpy, XScreenNumberOfScreen(attributes.screen), window, doubleBuffered != 0);
    CGlErrorCheck glErrors;
    CFrameClock clock;
    while (CEndSignals::Caught() == 0 && !g_bWindowGone) {
        while (XPending(dpy) > 0) {
            XEvent event;
            XNextEvent(dpy, &event);
            if (event.type == DestroyNotify && event.xdestroywindow.window == window) {
                g_bWindowGone = true;
            } else if (event.type == ConfigureNotify && event.xconfigure.window == window &&
                       (event.xconfigure.width != width || event.xconfigure.height != height)) {
                width = event.xconfigure.width;
                height = event.xconfigure.height;
                scene->OnSize(width, height);
            } else if (event.type == Expose && event.xexpose.window == window) {
                presenter.ShowWholeNext();
            }
        }
        if (g_bWindowGone)
            break;
        if (clock.Due()) {
            scene->OnDraw();
            presenter.CopyIn(*scene);
            presenter.Show();
            // A frame drawn as the window went fails in the driver (GL runs out of memory for
            // a drawable that is no more): that is the window's going, not a fault.
            const std::vector<GLenum> errors = CGlErrorCheck::TakePending();
            if (!errors.empty() && !WindowStillThere(dpy, window))
                break;
            glErrors.Report(errors, "while drawing a frame");
            cycle.AfterFrame(scene->State());
            clock.Drawn();
        }
        clock.Wait(dpy, endSignals.WakeDescriptor());
    }

    // Everything goes: the scene's lists with the context, the context, the connection.
    XSync(dpy, False);
    if (g_bWindowGone)
        scene->OnContextLost();
    else
        scene->OnDestroyContext();
    glXMakeCurrent(dpy, None, nullptr);
    glXDestroyContext(dpy, context);
    return 0;
}
