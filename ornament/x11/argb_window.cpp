#include "ornament/x11/argb_window.h"

#include "os/end_signals.h"

#include <X11/Xatom.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrender.h>
#include <X11/extensions/shape.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// What the window hears; the keys only between TakeKeys and ReleaseKeys. X sends a 32-bit
// window no visibility events, so whether it is covered is not asked.
constexpr long kEvents = ExposureMask | StructureNotifyMask | ButtonPressMask | ButtonReleaseMask | Button1MotionMask |
                         EnterWindowMask | LeaveWindowMask;

Atom AtomOf(Display* d, const char* name)
{
    return XInternAtom(d, name, False);
}

void SetLongs(Display* d, Window w, const char* property, Atom type, const std::vector<long>& values)
{
    XChangeProperty(d, w, AtomOf(d, property), type, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(values.data()), static_cast<int>(values.size()));
}

// A framebuffer configuration for GL whose visual has an alpha channel that the X server
// composites: 32 bits, ARGB.
bool ChooseArgbConfig(Display* d, int screen, GLXFBConfig& chosen, XVisualInfo& visual)
{
    // clang-format off
    const int wanted[] = {
        GLX_X_RENDERABLE, True, GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT, GLX_RENDER_TYPE, GLX_RGBA_BIT,
        GLX_DOUBLEBUFFER, True, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8, GLX_ALPHA_SIZE, 8,
        GLX_DEPTH_SIZE, 24, None,
    };
    // clang-format on
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(d, screen, wanted, &count);
    bool found = false;
    for (int i = 0; i < count && !found; ++i) {
        XVisualInfo* info = glXGetVisualFromFBConfig(d, configs[i]);
        if (!info)
            continue;
        const XRenderPictFormat* format = XRenderFindVisualFormat(d, info->visual);
        if (format && format->type == PictTypeDirect && format->direct.alphaMask > 0) {
            chosen = configs[i];
            visual = *info;
            found = true;
        }
        XFree(info);
    }
    if (configs)
        XFree(configs);
    return found;
}

// Where the EWMH says a client asks its window manager to add (1) or remove (0) a state.
void RequestState(Display* d, Window root, Window w, long action, Atom state)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = w;
    event.xclient.message_type = AtomOf(d, "_NET_WM_STATE");
    event.xclient.format = 32;
    event.xclient.data.l[0] = action;
    event.xclient.data.l[1] = static_cast<long>(state);
    event.xclient.data.l[3] = 1;  // a normal application
    XSendEvent(d, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

}  // namespace

double DesktopScale(Display* display)
{
    if (const char* gdk = std::getenv("GDK_SCALE"); gdk && *gdk) {
        int scale = 0;
        const char* end = gdk + std::strlen(gdk);
        if (std::from_chars(gdk, end, scale).ptr == end && scale >= 1 && scale <= 8)
            return scale;
    }
    double scale = 1.0;
    XrmInitialize();
    if (const char* resources = XResourceManagerString(display)) {
        XrmDatabase database = XrmGetStringDatabase(resources);
        char* type = nullptr;
        XrmValue value{};
        if (database && XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
            char* end = nullptr;
            const double dpi = std::strtod(value.addr, &end);
            if (end != value.addr && dpi >= 48 && dpi <= 768)
                scale = dpi / 96.0;
        }
        if (database)
            XrmDestroyDatabase(database);
    }
    return scale;
}

CArgbWindow::CArgbWindow(Display* display)
    : m_d(display), m_screen(DefaultScreen(display)), m_root(RootWindow(display, m_screen)),
      m_compositor(AtomOf(display, ("_NET_WM_CM_S" + std::to_string(m_screen)).c_str()))
{
}

CArgbWindow::~CArgbWindow()
{
    if (m_context) {
        glXMakeCurrent(m_d, None, nullptr);
        glXDestroyContext(m_d, m_context);
    }
    if (m_window)
        XDestroyWindow(m_d, m_window);
    if (m_colormap)
        XFreeColormap(m_d, m_colormap);
}

std::string CArgbWindow::Make(int x, int y, int width, int height, bool above)
{
    // The driver starts its threads as GLX is first asked anything: they keep the end signals
    // out, and the handler runs on this thread alone.
    const CHoldEndSignals hold;
    GLXFBConfig config = nullptr;
    XVisualInfo visual{};
    if (!ChooseArgbConfig(m_d, m_screen, config, visual))
        return "this display has no visual with an alpha channel for OpenGL, so nothing can show through an "
               "ornament";
    m_colormap = XCreateColormap(m_d, m_root, visual.visual, AllocNone);
    XSetWindowAttributes attributes{};
    attributes.colormap = m_colormap;
    attributes.background_pixel = 0;  // nothing at all until the first frame
    attributes.border_pixel = 0;
    attributes.event_mask = kEvents;
    m_window = XCreateWindow(m_d, m_root, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                             visual.depth, InputOutput, visual.visual,
                             CWColormap | CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
    SetHints(x, y, width, height, above);
    // Nothing of it shows, and no click stops at it, until a frame gives its outline.
    SetOutline({});
    m_context = glXCreateNewContext(m_d, config, GLX_RGBA_TYPE, nullptr, True);
    if (!m_context)
        return "cannot make an OpenGL context for the window";
    if (!glXMakeCurrent(m_d, m_window, m_context))
        return "the window cannot take an OpenGL context";
    return {};
}

// What the window managers are told, before the window is shown. A normal window with states
// rather than a dock or desktop window: GNOME, KDE and Xfce keep a desktop window under their
// own desktop's icons and give a dock a place of its own, while all of them, and the simple
// managers that know EWMH, honour these states on a normal one. The Motif hint takes the
// frame away on those that know no other way.
void CArgbWindow::SetHints(int x, int y, int width, int height, bool above)
{
    XStoreName(m_d, m_window, "Lumetta");
    const std::string name = "Lumetta";
    XChangeProperty(m_d, m_window, AtomOf(m_d, "_NET_WM_NAME"), AtomOf(m_d, "UTF8_STRING"), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(name.data()), static_cast<int>(name.size()));
    char className[] = "lumetta", classClass[] = "Lumetta";
    XClassHint classHint{className, classClass};
    XSetClassHint(m_d, m_window, &classHint);
    // No input as ICCCM counts it, and no WM_TAKE_FOCUS: a window manager never gives it the
    // focus, at its start or in its window switcher (KWin lists only windows that take input).
    // It takes the keys itself on a click, and gives them back when the pointer leaves it.
    XWMHints hints{};
    hints.flags = InputHint | StateHint;
    hints.input = False;
    hints.initial_state = NormalState;
    XSetWMHints(m_d, m_window, &hints);
    XSizeHints size{};
    size.flags = USPosition | PPosition | PMinSize | PMaxSize;
    size.x = x;
    size.y = y;
    size.min_width = size.max_width = width;
    size.min_height = size.max_height = height;
    XSetWMNormalHints(m_d, m_window, &size);
    SetLongs(m_d, m_window, "_NET_WM_PID", XA_CARDINAL, {static_cast<long>(::getpid())});
    SetLongs(m_d, m_window, "_NET_WM_WINDOW_TYPE", XA_ATOM,
             {static_cast<long>(AtomOf(m_d, "_NET_WM_WINDOW_TYPE_NORMAL"))});
    SetState(above);
    // On every workspace.
    SetLongs(m_d, m_window, "_NET_WM_DESKTOP", XA_CARDINAL, {0xFFFFFFFFL});
    // Motif: the flags say the decorations are given, and there are none.
    const Atom motif = AtomOf(m_d, "_MOTIF_WM_HINTS");
    SetLongs(m_d, m_window, "_MOTIF_WM_HINTS", motif, {2, 0, 0, 0, 0});
    Atom protocols[] = {AtomOf(m_d, "WM_DELETE_WINDOW")};
    XSetWMProtocols(m_d, m_window, protocols, 1);
}

void CArgbWindow::SetState(bool above)
{
    SetLongs(m_d, m_window, "_NET_WM_STATE", XA_ATOM,
             {static_cast<long>(AtomOf(m_d, above ? "_NET_WM_STATE_ABOVE" : "_NET_WM_STATE_BELOW")),
              static_cast<long>(AtomOf(m_d, "_NET_WM_STATE_STICKY")),
              static_cast<long>(AtomOf(m_d, "_NET_WM_STATE_SKIP_TASKBAR")),
              static_cast<long>(AtomOf(m_d, "_NET_WM_STATE_SKIP_PAGER")),
              static_cast<long>(AtomOf(m_d, "_KDE_NET_WM_STATE_SKIP_SWITCHER"))});
}

void CArgbWindow::SetAbove(bool above)
{
    // A window manager keeps the state of a shown window itself and takes requests for it;
    // without one, the property is all there is, and the window goes up or down itself.
    RequestState(m_d, m_root, m_window, 0, AtomOf(m_d, above ? "_NET_WM_STATE_BELOW" : "_NET_WM_STATE_ABOVE"));
    RequestState(m_d, m_root, m_window, 1, AtomOf(m_d, above ? "_NET_WM_STATE_ABOVE" : "_NET_WM_STATE_BELOW"));
    if (XGetSelectionOwner(m_d, AtomOf(m_d, ("WM_S" + std::to_string(m_screen)).c_str())) == None) {
        SetState(above);
        if (above)
            XRaiseWindow(m_d, m_window);
        else
            XLowerWindow(m_d, m_window);
    }
}

void CArgbWindow::Resize(int width, int height)
{
    XSizeHints size{};
    size.flags = PMinSize | PMaxSize;
    size.min_width = size.max_width = width;
    size.min_height = size.max_height = height;
    XSetWMNormalHints(m_d, m_window, &size);
    XResizeWindow(m_d, m_window, static_cast<unsigned>(width), static_cast<unsigned>(height));
}

void CArgbWindow::Move(int x, int y)
{
    XMoveWindow(m_d, m_window, x, y);
}

void CArgbWindow::QueryPlace(int& x, int& y) const
{
    Window child = 0;
    XTranslateCoordinates(m_d, m_window, m_root, 0, 0, &x, &y, &child);
}

void CArgbWindow::SetOutline(const std::vector<OutlineRow>& rows)
{
    std::vector<XRectangle> rectangles;
    rectangles.reserve(rows.size());
    for (const OutlineRow& row : rows)
        rectangles.push_back(
            {static_cast<short>(row.x), static_cast<short>(row.y), static_cast<unsigned short>(row.width), 1});
    XShapeCombineRectangles(m_d, m_window, ShapeInput, 0, 0, rectangles.data(), static_cast<int>(rectangles.size()),
                            ShapeSet, YXBanded);
    if (CompositorRunning() && !rows.empty())
        XShapeCombineMask(m_d, m_window, ShapeBounding, 0, 0, None, ShapeSet);
    else
        XShapeCombineRectangles(m_d, m_window, ShapeBounding, 0, 0, rectangles.data(),
                                static_cast<int>(rectangles.size()), ShapeSet, YXBanded);
}

bool CArgbWindow::CompositorRunning() const
{
    return XGetSelectionOwner(m_d, m_compositor) != None;
}

void CArgbWindow::TakeKeys(Time time)
{
    Window focus = None;
    int revert = 0;
    XGetInputFocus(m_d, &focus, &revert);
    if (focus != m_window)
        m_before = focus;
    m_bKeys = true;
    XSelectInput(m_d, m_window, kEvents | KeyPressMask);
    XSetInputFocus(m_d, m_window, RevertToPointerRoot, time);
}

void CArgbWindow::ReleaseKeys()
{
    if (!std::exchange(m_bKeys, false))
        return;
    XSelectInput(m_d, m_window, kEvents);
    Window focus = None;
    int revert = 0;
    XGetInputFocus(m_d, &focus, &revert);
    if (focus != m_window)
        return;  // the window manager gave it elsewhere already
    // A window that went meanwhile cannot be given the focus: then it follows the pointer.
    XWindowAttributes attributes;
    const bool there = m_before == None || m_before == PointerRoot || XGetWindowAttributes(m_d, m_before, &attributes);
    XSetInputFocus(m_d, there ? m_before : PointerRoot, RevertToPointerRoot, CurrentTime);
}
