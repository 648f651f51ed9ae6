#include "app/saver_host.h"

#include "core/scene_host.h"
#include "view/gl_check.h"
#include "view/scene.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// A signal ends the loop at once: the handler writes to a pipe that the loop waits on.
int g_wakeUp[2] = {-1, -1};

void OnEndSignal(int)
{
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(g_wakeUp[1], &byte, 1);
}

// X errors come late and from anywhere; the one that matters is the window going.
bool g_bWindowGone = false;

int OnXError(Display*, XErrorEvent* error)
{
    if (error->error_code == BadWindow || error->error_code == BadDrawable)
        g_bWindowGone = true;
    return 0;
}

// No box can be answered here: fatal messages are one line on stderr.
class CStderrHost : public CSceneHost {
public:
    void ShowMessage(const std::string& text, const std::string&, MessageOwner) override
    {
        std::fprintf(stderr, "lumetta: %s\n", text.c_str());
    }
    void DestroyView() override {}
};

int Fail(const std::string& line)
{
    std::fprintf(stderr, "lumetta: %s\n", line.c_str());
    return 1;
}

std::string Hex(unsigned long id)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", id);
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

// The backdrop picture is looked for where the program was started, then where it was
// installed: a daemon starts its programs in any folder.
std::string PanelFolder(const char* dataFolder)
{
    if (::access("panel.bmp", F_OK) == 0 || !dataFolder)
        return {};
    const std::string installed = std::string(dataFolder) + "/panel.bmp";
    return ::access(installed.c_str(), F_OK) == 0 ? std::string(dataFolder) : std::string();
}

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};

}  // namespace

int RunSaver(const SaverOptions& options, const char* dataFolder)
{
    std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
    if (!display)
        return Fail("cannot open the display");
    Display* dpy = display.get();
    XSetErrorHandler(OnXError);

    Window window = options.window;
    if (options.root) {
        window = DaemonWindow();
        if (window == 0)
            window = DefaultRootWindow(dpy);
    }
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
    if (!visual || glXGetConfig(dpy, visual.get(), GLX_USE_GL, &usesGl) != 0 || !usesGl)
        return Fail("window " + Hex(window) + " cannot take OpenGL: its visual " + Hex(wanted.visualid) + " has none");
    glXGetConfig(dpy, visual.get(), GLX_DOUBLEBUFFER, &doubleBuffered);
    GLXContext context = glXCreateContext(dpy, visual.get(), nullptr, True);
    if (!context || !glXMakeCurrent(dpy, window, context)) {
        if (context)
            glXDestroyContext(dpy, context);
        return Fail("window " + Hex(window) + " cannot take an OpenGL context");
    }
    XSelectInput(dpy, window, StructureNotifyMask);

    CStderrHost host;
    SetSceneHost(&host);
    auto scene = std::make_unique<CScene>();
    scene->OnCreate(PanelFolder(dataFolder));
    scene->OnCreateContext();
    int width = attributes.width, height = attributes.height;
    scene->OnSize(width, height);
    ApplySceneStart(scene->State(), options.start);
    CPatternCycle cycle(options.start);

    if (::pipe(g_wakeUp) != 0)
        return Fail("cannot wait for signals");
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        std::signal(s, OnEndSignal);

    CGlErrorCheck glErrors;
    const auto frame = std::chrono::milliseconds(kFrameMilliseconds);
    auto next = Clock::now();
    bool ended = false;
    while (!ended && !g_bWindowGone) {
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
            }
        }
        if (g_bWindowGone)
            break;
        if (Clock::now() >= next) {
            scene->OnDraw();
            glErrors.Check("while drawing a frame");
            if (doubleBuffered)
                glXSwapBuffers(dpy, window);
            cycle.AfterFrame(scene->State());
            // A late frame is not caught up with: the clock starts again from now.
            next = std::max(next + frame, Clock::now());
        }
        XFlush(dpy);
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
        pollfd waits[] = {{ConnectionNumber(dpy), POLLIN, 0}, {g_wakeUp[0], POLLIN, 0}};
        if (::poll(waits, 2, static_cast<int>(std::max<long long>(wait, 0))) > 0 && (waits[1].revents & POLLIN))
            ended = true;
    }

    // Everything goes: the scene's lists with the context, the context, the connection.
    XSync(dpy, False);
    if (g_bWindowGone)
        scene->OnContextLost();
    else
        scene->OnDestroyContext();
    glXMakeCurrent(dpy, None, nullptr);
    glXDestroyContext(dpy, context);
    SetSceneHost(nullptr);
    ::close(g_wakeUp[0]);
    ::close(g_wakeUp[1]);
    return 0;
}
