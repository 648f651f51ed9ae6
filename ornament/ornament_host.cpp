#include "ornament/ornament_host.h"

#include "bulbs/patterns.h"
#include "ornament/argb_window.h"
#include "ornament/choices.h"
#include "ornament/control.h"
#include "ornament/menu.h"
#include "ornament/outline.h"
#include "ornament/way.h"
#include "ornament/wayland_entry.h"
#include "os/end_signals.h"
#include "os/modules.h"
#include "os/settings_file.h"
#include "view/gl_check.h"
#include "view/input.h"
#include "view/scene.h"
#include "x11/display.h"
#include "x11/frame_clock.h"
#include "x11/frame_present.h"
#include "x11/scene_keys.h"
#include "x11/monitors.h"
#include "wayland/compositor.h"

#include <GL/gl.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// How far the default place stands in from the primary monitor's top right corner.
constexpr int kMargin = 48;
// How long another lumetta waits for the one that hangs to answer.
constexpr int kAnswerMilliseconds = 5000;

// X errors come late and from anywhere; none of them is worth ending the ornament for.
int OnXError(Display*, XErrorEvent*)
{
    return 0;
}

int Fail(const std::string& line, int status = 1)
{
    std::fprintf(stderr, "lumetta: %s\n", line.c_str());
    return status;
}

std::vector<PlaceRect> Monitors(Display* d)
{
    std::vector<PlaceRect> monitors;
    for (const MonitorRect& m : QueryMonitors(d))
        monitors.push_back({m.x, m.y, m.width, m.height});
    return monitors;
}

PlaceRect Screen(Display* d)
{
    const MonitorRect screen = QueryScreen(d);
    return {screen.x, screen.y, screen.width, screen.height};
}

// With an ornament hanging already on display: hands it what the command line asks, or takes it
// down.
int TellHanging(Display* d, const HangingOrnament& hanging, const OrnamentOptions& options)
{
    HangingContact contact;
    contact.pid = hanging.pid;
    contact.send = [&](const OrnamentRequest& request) {
        return SendRequest(d, hanging, request, kAnswerMilliseconds);
    };
    contact.waitGone = [&] { return WaitGone(d, hanging, kAnswerMilliseconds); };
    return TellHanging(contact, options);
}

// The ornament on its display: its window, where it stands, and what the user chose.
class COrnament final : private COrnamentWindow {
public:
    COrnament(Display* display, const OrnamentOptions& options)
        : m_d(display), m_options(options), m_window(display), m_scale(DesktopScale(display)), m_choices(options, *this)
    {
    }

    // Makes the window where it starts, not yet shown, and takes the ornament's place on the
    // display. Returns an empty string, or why it cannot be made; hanging says who hangs when
    // another does.
    std::string Make(HangingOrnament& hanging)
    {
        m_monitors = Monitors(m_d);
        m_screen = Screen(m_d);
        m_side = m_choices.Kept().side;
        int width = Scaled(m_side), height = width;
        if (m_options.geometry.width > 0) {
            width = m_options.geometry.width;
            height = m_options.geometry.height;
            m_side = static_cast<int>(std::lround(width / m_scale));
        }
        m_place = StartPlace(width, height);
        // llvmpipe hands a frame to rasteriser threads and takes it back; for an ornament's few
        // changed tiles, twenty times a second all day, that costs more processor time than the
        // drawing thread takes to draw them alone. Read as the driver starts, with the first
        // question to GLX; the user's own LP_NUM_THREADS wins.
        (void)::setenv("LP_NUM_THREADS", "0", 0);
        if (std::string error = m_window.Make(m_place.x, m_place.y, width, height, m_choices.Kept().above);
            !error.empty())
            return error;
        m_pPresenter = std::make_unique<CFramePresenter>(m_d, DefaultScreen(m_d), m_window.Id(), true);
        hanging = ClaimPlace(m_d, m_window.Id());
        return {};
    }

    // Shows the ornament and runs it until it is taken down.
    void Run(CScene& scene, const CEndSignals& endSignals)
    {
        m_pScene = &scene;
        scene.OnCreateContext();
        scene.OnSize(m_place.width, m_place.height);
        SceneState& state = scene.State();
        state.m_fDistance = kWholeWreathDistance;
        const SceneStart start = m_choices.Start();
        ApplySceneStart(state, start);
        m_cycle = std::make_unique<CPatternCycle>(start);
        // The screen, its monitors and the compositor coming and going.
        XSelectInput(m_d, DefaultRootWindow(m_d), StructureNotifyMask);
        m_randrEvent = WatchMonitors(m_d);
        int error = 0;
        m_bFixes = XFixesQueryExtension(m_d, &m_fixesEvent, &error);
        if (m_bFixes)
            XFixesSelectSelectionInput(m_d, DefaultRootWindow(m_d), m_window.CompositorAtom(),
                                       XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask |
                                           XFixesSelectionClientCloseNotifyMask);
        XMapWindow(m_d, m_window.Id());
        while (!m_bDone && CEndSignals::Caught() == 0) {
            Turn();
            m_clock.Wait(m_d, endSignals.WakeDescriptor());
        }
        scene.OnDestroyContext();
        m_pScene = nullptr;
    }

private:
    int Scaled(int side) const { return static_cast<int>(std::lround(side * m_scale)); }

    // --geometry's place, moved onto a monitor when it is on none; else the kept place when it
    // is seen; else the default.
    PlaceRect StartPlace(int width, int height) const
    {
        if (m_options.geometry.placed) {
            bool moved = false;
            const PlaceRect place = AskedPlace(m_options.geometry, m_monitors, m_screen, width, height, moved);
            if (moved)
                std::fprintf(stderr, "lumetta: --geometry %s is on no monitor; the ornament hangs at +%d+%d instead\n",
                             m_options.geometryText.c_str(), place.x, place.y);
            return place;
        }
        const OrnamentKept& was = m_choices.Kept();
        const PlaceRect kept = {was.x, was.y, width, height};
        if (was.placed && SeenOnAMonitor(m_monitors, kept))
            return kept;
        return DefaultPlace(m_monitors, m_screen, width, height, kMargin);
    }

    // One turn of the ornament: every X event waiting, then a frame when one is due. The menu
    // runs it too while it is open.
    void Turn()
    {
        while (!m_bDone && XPending(m_d) > 0) {
            XEvent event;
            XNextEvent(m_d, &event);
            OnEvent(event);
        }
        if (m_bDone || CEndSignals::Caught() != 0)
            return;
        if (CFrameClock::Clock::now() >= m_nextBlankCheck) {
            m_bBlanked = ScreenBlanked(m_d);
            m_nextBlankCheck = CFrameClock::Clock::now() + std::chrono::seconds(1);
        }
        if (m_clock.Due()) {
            // Hidden, covered whole or on a blanked screen, it only keeps its time; but an
            // outline still to be found is drawn for (an ornament with none covers nothing,
            // and X says it is hidden).
            if (m_bMapped && (!m_bObscured || m_bOutlineStale) && !m_bBlanked)
                DrawFrame();
            m_clock.Drawn();
        }
    }

    void DrawFrame()
    {
        // Its size or the compositor changed, or it just started: smooth edges where they show.
        if (m_bOutlineStale)
            m_pScene->SetSamples(OrnamentSamples(m_window.CompositorRunning(), m_place.width, m_place.height));
        m_pScene->OnDraw();
        if (m_bOutlineStale)
            m_pPresenter->ShowWholeNext();
        // Into the back buffer, where the outline is read; then to the window.
        m_pPresenter->CopyIn(*m_pScene);
        // The flares' tips reach past the apples as they turn.
        if (m_bOutlineStale || m_pScene->State().m_bFlareSpin)
            FollowOutline();
        m_pPresenter->Show();
        m_glErrors.Check("while drawing a frame");
        m_cycle->AfterFrame(m_pScene->State());
    }

    // The outline of the frame just drawn, given to the window when it changed.
    void FollowOutline()
    {
        const int width = m_place.width, height = m_place.height;
        std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width) * height * 4);
        glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
        glPushAttrib(GL_PIXEL_MODE_BIT);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        glPopAttrib();
        glPopClientAttrib();
        std::vector<OutlineRow> rows = CoveredRows(rgba.data(), width, height);
        if (m_bOutlineStale || rows != m_outline) {
            m_window.SetOutline(rows);
            m_outline = std::move(rows);
        }
        m_bOutlineStale = false;
    }

    void OnEvent(XEvent& event)
    {
        const Window own = m_window.Id();
        if (TakeScreenChange(event, m_randrEvent)) {
            OnScreenChange();
            return;
        }
        switch (event.type) {
        case MapNotify:
            m_bMapped = event.xmap.window == own ? true : m_bMapped;
            break;
        case UnmapNotify:
            m_bMapped = event.xunmap.window == own ? false : m_bMapped;
            break;
        case DestroyNotify:
            // Destroyed by another program: taken down, and the place is free for another.
            m_bDone = m_bDone || event.xdestroywindow.window == own;
            break;
        case VisibilityNotify:
            m_bObscured = event.xvisibility.state == VisibilityFullyObscured;
            break;
        case ConfigureNotify:
            if (event.xconfigure.window == DefaultRootWindow(m_d))
                OnScreenChange();
            else if (event.xconfigure.window == own)
                OnConfigure(event.xconfigure);
            break;
        case Expose:
            if (event.xexpose.window == own)
                m_pPresenter->ShowWholeNext();
            break;
        case ButtonPress:
            OnButtonPress(event.xbutton);
            break;
        case MotionNotify:
            if (m_bDragging)
                MoveTo(m_dragX + event.xmotion.x_root - m_dragRootX, m_dragY + event.xmotion.y_root - m_dragRootY);
            break;
        case ButtonRelease:
            OnButtonRelease(event.xbutton);
            break;
        case KeyPress:
            OnKey(event.xkey);
            break;
        case ClientMessage:
            OnClientMessage(event.xclient);
            break;
        case PropertyNotify:
            if (RequestsWaiting(m_d, event, own)) {
                for (const OrnamentRequest& request : TakeRequests(m_d, own))
                    m_choices.Apply(request, m_pScene->State());
            }
            break;
        case SelectionClear:
            // Another has taken the ornament's place on this display: this one goes.
            m_bDone = m_bDone || event.xselectionclear.selection == PlaceAtom(m_d);
            break;
        default:
            if (m_bFixes && event.type == m_fixesEvent + XFixesSelectionNotify)
                m_bOutlineStale = true;  // a compositor came or went
            break;
        }
    }

    void OnConfigure(const XConfigureEvent& configure)
    {
        // Where it really stands: a window manager may place it elsewhere than asked, and a
        // frame round it gives coordinates of its own, so the root is asked.
        m_window.QueryPlace(m_place.x, m_place.y);
        if (configure.width != m_place.width || configure.height != m_place.height) {
            m_place.width = configure.width;
            m_place.height = configure.height;
            m_pScene->OnSize(m_place.width, m_place.height);
            m_bOutlineStale = true;
        }
    }

    void OnButtonPress(const XButtonEvent& button)
    {
        if (button.window != m_window.Id())
            return;
        if (button.button == Button1) {
            // Clicked, it takes the keys.
            m_window.TakeFocus(button.time);
            m_bDragging = !m_choices.Kept().locked;
            m_dragRootX = button.x_root;
            m_dragRootY = button.y_root;
            m_dragX = m_place.x;
            m_dragY = m_place.y;
        }
    }

    void OnButtonRelease(const XButtonEvent& button)
    {
        if (button.button == Button1 && m_bDragging) {
            m_bDragging = false;
            // Only a drag is the user's own place.
            if (m_bMoved) {
                WriteSettings(kKeptGroup, {{kKeptX, std::to_string(m_place.x)}, {kKeptY, std::to_string(m_place.y)}});
                m_bMoved = false;
            }
        } else if (button.button == Button3 && button.window == m_window.Id()) {
            // On the release: the press's own grab of the pointer is over, and the menu takes it.
            OpenMenu(button.x_root, button.y_root);
        }
    }

    void OnKey(XKeyEvent& key)
    {
        if (XLookupKeysym(&key, 0) == XK_Escape)
            m_bDone = true;
        else if (m_choices.Key(SceneKeyCode(key), m_pScene->State()))
            m_bOutlineStale = true;
    }

    void OnClientMessage(const XClientMessageEvent& message)
    {
        if (message.message_type != XInternAtom(m_d, "WM_PROTOCOLS", False))
            return;
        const auto protocol = static_cast<Atom>(message.data.l[0]);
        if (protocol == XInternAtom(m_d, "WM_DELETE_WINDOW", False))
            m_bDone = true;
        else if (protocol == XInternAtom(m_d, "WM_TAKE_FOCUS", False))
            m_window.TakeFocus(static_cast<Time>(message.data.l[1]));
    }

    // The screen or its monitors changed: off every monitor now, it comes back onto the
    // nearest, and the place the user chose stays kept for when the monitor comes back.
    void OnScreenChange()
    {
        m_monitors = Monitors(m_d);
        m_screen = Screen(m_d);
        if (!SeenOnAMonitor(m_monitors, m_place)) {
            const PlaceRect moved = OntoNearestMonitor(m_monitors, m_place);
            MoveTo(moved.x, moved.y);
            m_bMoved = false;
        }
    }

    void MoveTo(int x, int y)
    {
        if (x == m_place.x && y == m_place.y)
            return;
        m_place.x = std::clamp(x, -kMostPlace, kMostPlace);
        m_place.y = std::clamp(y, -kMostPlace, kMostPlace);
        m_bMoved = true;
        m_window.Move(m_place.x, m_place.y);
    }

    void SetSide(int side) override
    {
        m_side = side;
        const int width = Scaled(side);
        PlaceRect resized = {m_place.x + (m_place.width - width) / 2, m_place.y + (m_place.height - width) / 2, width,
                             width};
        resized = OntoNearestMonitor(m_monitors, resized);
        m_window.Resize(width, width);
        MoveTo(resized.x, resized.y);
        m_bMoved = false;
    }

    void OpenMenu(int x, int y)
    {
        const OrnamentMenuState shown = m_choices.MenuState(m_pScene->State(), m_side);
        std::string error;
        // The wreath goes on while the menu is open; it closes when the ornament is taken down.
        const OrnamentChoice choice = ShowOrnamentMenu(
            shown, x, y,
            [](void* self) {
                auto* ornament = static_cast<COrnament*>(self);
                ornament->Turn();
                return !ornament->m_bDone && CEndSignals::Caught() == 0;
            },
            this, error);
        // The toolkit, once started, has handlers of its own for X's errors.
        KeepOwnErrorHandlers(m_d);
        if (!error.empty())
            std::fprintf(stderr, "lumetta: the ornament's menu cannot open: %s\n", error.c_str());
        m_choices.Choose(choice, m_pScene->State(), m_side);
    }

    void SetAbove(bool above) override { m_window.SetAbove(above); }

    void TakeGeometry(const Geometry& geometry) override
    {
        if (geometry.width > 0) {
            m_side = static_cast<int>(std::lround(geometry.width / m_scale));
            m_window.Resize(geometry.width, geometry.height);
        }
        if (geometry.placed) {
            const int width = geometry.width > 0 ? geometry.width : m_place.width;
            const int height = geometry.height > 0 ? geometry.height : m_place.height;
            const PlaceRect place = OntoNearestMonitor(m_monitors, GeometryPlace(geometry, m_screen, width, height));
            MoveTo(place.x, place.y);
        }
        m_bMoved = false;
    }

    void TakeDown() override { m_bDone = true; }

    Display* const m_d;
    const OrnamentOptions& m_options;
    CArgbWindow m_window;
    std::unique_ptr<CFramePresenter> m_pPresenter;
    const double m_scale;
    COrnamentChoices m_choices;
    CScene* m_pScene = nullptr;
    std::unique_ptr<CPatternCycle> m_cycle;
    CFrameClock m_clock;
    CGlErrorCheck m_glErrors;
    CFrameClock::Clock::time_point m_nextBlankCheck = CFrameClock::Clock::now();
    std::vector<PlaceRect> m_monitors;
    PlaceRect m_screen, m_place;
    int m_side = kDefaultOrnamentSide;  // at scale 1
    std::vector<OutlineRow> m_outline;
    int m_randrEvent = -1, m_fixesEvent = 0;
    bool m_bFixes = false;
    bool m_bMapped = false, m_bObscured = false, m_bBlanked = false, m_bOutlineStale = true;
    bool m_bDragging = false, m_bMoved = false, m_bDone = false;
    int m_dragRootX = 0, m_dragRootY = 0, m_dragX = 0, m_dragY = 0;
};

}  // namespace

namespace {

// The ornament as an X11 window; notWayland says why it is not a layer surface of a Wayland
// compositor, when one was looked for.
int RunX11Ornament(const OrnamentOptions& options, const std::string& installedFolder, const CEndSignals& endSignals,
                   const std::string& notWayland)
{
    const DisplayPtr display = OpenDisplayToTheEnd(OnXError);
    if (!display) {
        if (options.way == OrnamentWay::X11)
            return Fail("cannot open the X display");
        if (notWayland.empty())
            return Fail("cannot open the display: the ornament hangs on a Wayland desktop that offers layer "
                        "surfaces, or on an X11 one");
        return Fail("cannot open the display: " + notWayland + ", and no X display (Xwayland) answers either");
    }
    Display* d = display.get();
    int shapeEvent = 0, shapeError = 0;
    if (!XShapeQueryExtension(d, &shapeEvent, &shapeError))
        return Fail("this display has no SHAPE extension, so clicks could not pass through the ornament");
    if (const HangingOrnament hanging = FindHanging(d); hanging.window != 0 || options.stop) {
        if (hanging.window == 0)
            return Fail("no ornament hangs on this desktop");
        return TellHanging(d, hanging, options);
    }

    auto scene = std::make_unique<CScene>();
    scene->SetTransparent(true);
    scene->SetFrameDrawing(FrameDrawing::Cached);
    scene->OnCreate(installedFolder);
    COrnament ornament(d, options);
    HangingOrnament other;
    if (const std::string error = ornament.Make(other); !error.empty())
        return Fail(error);
    if (other.window != 0) {
        // Started at the same moment as another, which hangs now.
        return TellHanging(d, other, options);
    }
    ornament.Run(*scene, endSignals);
    return 0;
}

}  // namespace

int RunOrnament(const OrnamentOptions& options, const std::string& installedFolder)
{
    // Ended with a signal at any time, the start included, it goes quietly.
    const CEndSignals endSignals;
    const WaylandDesktop desktop = options.way == OrnamentWay::X11 ? WaylandDesktop{} : FindWaylandDesktop();
    const WayChosen chosen = ChooseOrnamentWay(options.way, desktop);
    if (!chosen.failure.empty())
        return Fail(chosen.failure);
    std::string notWayland = chosen.notWayland;
    if (chosen.way == OrnamentWay::Wayland) {
        const int status = RunWaylandOrnament(options, installedFolder, desktop.display, endSignals);
        if (status != kHangOnX11)
            return status;
        notWayland = "it cannot be drawn on the Wayland compositor";
    }
    // A Wayland desktop's own way was not to be had: Xwayland's, quietly.
    return RunX11Ornament(options, installedFolder, endSignals, desktop.display.empty() ? "" : notWayland);
}
