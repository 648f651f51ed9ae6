#include "ornament/x11/x11_surface.h"

#include "ornament/x11/x11_control.h"
#include "ornament/x11/x11_menu.h"
#include "view/gl_query.h"
#include "x11/display.h"
#include "x11/monitors.h"
#include "x11/scene_keys.h"

#include <GL/gl.h>
#include <X11/extensions/Xfixes.h>
#include <X11/keysym.h>

#include <cstdlib>

namespace {

// The X connection's events, dispatched as GLib's main loop runs: those Xlib holds already
// first, then those the connection brings.
struct XSource {
    GSource source;
    Display* display;
    GPollFD poll;
    CX11Surface* surface;
    void (*dispatch)(CX11Surface* surface, XEvent& event);
};

GSourceFuncs kXSourceFuncs = {
    // prepare: what was sent goes out before the loop waits; events held are ready at once.
    [](GSource* source, gint* timeout) -> gboolean {
        auto* x = reinterpret_cast<XSource*>(source);
        XFlush(x->display);
        *timeout = -1;
        return XEventsQueued(x->display, QueuedAlready) > 0;
    },
    [](GSource* source) -> gboolean {
        auto* x = reinterpret_cast<XSource*>(source);
        return (x->poll.revents & G_IO_IN) != 0 || XEventsQueued(x->display, QueuedAlready) > 0;
    },
    [](GSource* source, GSourceFunc, gpointer) -> gboolean {
        auto* x = reinterpret_cast<XSource*>(source);
        while (XPending(x->display) > 0) {
            XEvent event;
            XNextEvent(x->display, &event);
            x->dispatch(x->surface, event);
        }
        return G_SOURCE_CONTINUE;
    },
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

CX11Surface::CX11Surface(Display* display, Window claimWindow, COrnamentEvents& events)
    : m_d(display), m_claimWindow(claimWindow), m_events(events), m_window(display), m_scale(DesktopScale(display)),
      m_nextBlankCheck(std::chrono::steady_clock::now())
{
}

CX11Surface::~CX11Surface()
{
    if (m_source) {
        g_source_destroy(m_source);
        g_source_unref(m_source);
    }
}

std::vector<Monitor> CX11Surface::Monitors()
{
    std::vector<Monitor> monitors;
    for (const MonitorRect& m : QueryMonitors(m_d))
        monitors.push_back({m, {}});
    return monitors;
}

std::string CX11Surface::Show(const PlaceRect& place, bool above)
{
    // llvmpipe hands a frame to rasteriser threads and takes it back; for an ornament's few
    // changed tiles, twenty times a second all day, that costs more processor time than the
    // drawing thread takes to draw them alone. Read as the driver starts, with the first
    // question to GLX; the user's own LP_NUM_THREADS wins.
    (void)::setenv("LP_NUM_THREADS", "0", 0);
    if (std::string error = m_window.Make(place.x, place.y, place.width, place.height, above); !error.empty())
        return error;
    m_put = place;
    m_pPresenter = std::make_unique<CFramePresenter>(m_d, DefaultScreen(m_d), m_window.Id(), true);
    // The screen, its monitors and the compositor coming and going.
    XSelectInput(m_d, DefaultRootWindow(m_d), StructureNotifyMask);
    m_randrEvent = WatchMonitors(m_d);
    int error = 0;
    m_bFixes = XFixesQueryExtension(m_d, &m_fixesEvent, &error);
    if (m_bFixes)
        XFixesSelectSelectionInput(m_d, DefaultRootWindow(m_d), m_window.CompositorAtom(),
                                   XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask |
                                       XFixesSelectionClientCloseNotifyMask);
    auto* x = reinterpret_cast<XSource*>(g_source_new(&kXSourceFuncs, sizeof(XSource)));
    x->display = m_d;
    x->poll = {ConnectionNumber(m_d), G_IO_IN, 0};
    x->surface = this;
    x->dispatch = [](CX11Surface* surface, XEvent& event) { surface->OnEvent(event); };
    g_source_add_poll(&x->source, &x->poll);
    g_source_attach(&x->source, nullptr);
    m_source = &x->source;
    XMapWindow(m_d, m_window.Id());
    m_events.OnFrameSize(place.width, place.height);
    return {};
}

void CX11Surface::PutAt(const PlaceRect& place)
{
    if (place.width != m_put.width || place.height != m_put.height)
        m_window.Resize(place.width, place.height);
    if (place.x != m_put.x || place.y != m_put.y)
        m_window.Move(place.x, place.y);
    m_put = place;
}

bool CX11Surface::WantsFrame() const
{
    if (std::chrono::steady_clock::now() >= m_nextBlankCheck) {
        m_bBlanked = ScreenBlanked(m_d);
        m_nextBlankCheck = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    }
    return m_bMapped && !m_bBlanked;
}

void CX11Surface::PutFrame(CScene& scene, bool whole)
{
    // Into the back buffer, where the outline is read; then to the window.
    if (whole)
        m_pPresenter->ShowWholeNext();
    m_pPresenter->CopyIn(scene);
}

std::vector<std::uint8_t> CX11Surface::ReadFrame(const CScene& scene)
{
    // From the back buffer, where the frame was put whole.
    glPushAttrib(GL_PIXEL_MODE_BIT);
    glReadBuffer(GL_BACK);
    std::vector<std::uint8_t> rgba = ReadPixels(scene.Bounds(), 4);
    glPopAttrib();
    return rgba;
}

std::string CX11Surface::PopUpMenu(const OrnamentMenuState& state)
{
    const std::string error = PopUpX11Menu(
        state, m_menuX, m_menuY,
        [](int choice, void* events) {
            static_cast<COrnamentEvents*>(events)->OnMenuClosed(static_cast<OrnamentChoice>(choice));
        },
        &m_events);
    // The toolkit, once started, has handlers of its own for X's errors, its connection's going
    // among them: the ornament's own again, before the loop runs on.
    if (!m_bMenuLoaded && error.empty()) {
        KeepOwnErrorHandlers(m_d);
        m_bMenuLoaded = true;
    }
    return error;
}

void CX11Surface::OnEvent(XEvent& event)
{
    const Window own = m_window.Id();
    if (TakeScreenChange(event, m_randrEvent)) {
        m_events.OnMonitorsChanged();
        return;
    }
    switch (event.type) {
    case MapNotify:
    case UnmapNotify:
        if (event.xany.window == own)
            m_bMapped = event.type == MapNotify;
        break;
    case DestroyNotify:
        // Destroyed by another program: taken down, and the place is free for another.
        if (event.xdestroywindow.window == own)
            m_events.TakeDown();
        break;
    case ConfigureNotify:
        if (event.xconfigure.window == DefaultRootWindow(m_d))
            m_events.OnMonitorsChanged();
        else if (event.xconfigure.window == own)
            OnConfigure(event.xconfigure);
        break;
    case Expose:
        if (event.xexpose.window == own)
            m_events.OnExposed();
        break;
    case ButtonPress:
    case ButtonRelease:
        OnButton(event.xbutton, event.type == ButtonPress);
        break;
    case MotionNotify:
        if (m_bPressed)
            m_events.OnDrag(event.xmotion.x_root - m_pressX, event.xmotion.y_root - m_pressY);
        break;
    case EnterNotify:
    case LeaveNotify:
        if (event.xcrossing.window == own)
            m_events.OnPointerOver(event.type == EnterNotify);
        break;
    case KeyPress:
        m_events.OnKey(SceneKeyCode(event.xkey), XLookupKeysym(&event.xkey, 0) == XK_Escape);
        break;
    case ClientMessage:
        OnClientMessage(event.xclient);
        break;
    case PropertyNotify:
        if (RequestsWaiting(m_d, event, m_claimWindow)) {
            for (const OrnamentRequest& request : TakeRequests(m_d, m_claimWindow))
                m_events.OnRequest(request);
        }
        break;
    case SelectionClear:
        // Another has taken the ornament's place on this display: this one goes.
        if (event.xselectionclear.selection == PlaceAtom(m_d))
            m_events.TakeDown();
        break;
    default:
        if (m_bFixes && event.type == m_fixesEvent + XFixesSelectionNotify)
            m_events.OnCompositorChanged();
        break;
    }
}

void CX11Surface::OnButton(const XButtonEvent& button, bool pressed)
{
    if (button.button == Button1) {
        if (pressed && button.window == m_window.Id()) {
            m_bPressed = true;
            m_pressX = button.x_root;
            m_pressY = button.y_root;
            m_events.OnPress(button.time);
        } else if (!pressed && m_bPressed) {
            m_bPressed = false;
            m_events.OnRelease();
        }
    } else if (button.button == Button3 && !pressed && button.window == m_window.Id()) {
        // On the release: the press's own grab of the pointer is over, and the menu takes it.
        m_menuX = button.x_root;
        m_menuY = button.y_root;
        m_events.OnMenuAsked(button.time);
    }
}

void CX11Surface::OnConfigure(const XConfigureEvent& configure)
{
    // Where it really stands: a window manager may place it elsewhere than asked, and a frame
    // round it gives coordinates of its own, so the root is asked.
    int x = 0, y = 0;
    m_window.QueryPlace(x, y);
    m_put = {x, y, configure.width, configure.height};
    m_events.OnPlaced(m_put);
    m_events.OnFrameSize(configure.width, configure.height);
}

void CX11Surface::OnClientMessage(const XClientMessageEvent& message)
{
    if (message.message_type == XInternAtom(m_d, "WM_PROTOCOLS", False) &&
        static_cast<Atom>(message.data.l[0]) == XInternAtom(m_d, "WM_DELETE_WINDOW", False))
        m_events.TakeDown();
}
