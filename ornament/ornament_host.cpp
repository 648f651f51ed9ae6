#include "ornament/ornament_host.h"

#include "os/end_signals.h"
#include "os/settings_file.h"
#include "view/gl_check.h"
#include "view/input.h"
#include "view/scene.h"
#include "x11/display.h"
#include "x11/frame_clock.h"
#include "x11/key_places.h"

#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrender.h>
#include <X11/extensions/dpms.h>
#include <X11/extensions/scrnsaver.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr char kSettingsGroup[] = "Ornament";
// The side of the window on a desktop of 96 dots an inch, before its scale.
constexpr int kDefaultSide = 360;
// How far the default place stands in from the screen's top right corner.
constexpr int kMargin = 48;
// A pixel at least half covered belongs to the wreath: it takes the clicks, and on a desktop
// with no compositor it is the part shown.
constexpr std::uint8_t kHalfCovered = 128;

// X errors come late and from anywhere; none of them is worth ending the ornament for.
int OnXError(Display*, XErrorEvent*)
{
    return 0;
}

int Fail(const std::string& line)
{
    std::fprintf(stderr, "lumetta: %s\n", line.c_str());
    return 1;
}

struct Atoms {
    explicit Atoms(Display* d, int screen)
    {
        const auto atom = [d](const char* name) { return XInternAtom(d, name, False); };
        state = atom("_NET_WM_STATE");
        below = atom("_NET_WM_STATE_BELOW");
        above = atom("_NET_WM_STATE_ABOVE");
        sticky = atom("_NET_WM_STATE_STICKY");
        skipTaskbar = atom("_NET_WM_STATE_SKIP_TASKBAR");
        skipPager = atom("_NET_WM_STATE_SKIP_PAGER");
        type = atom("_NET_WM_WINDOW_TYPE");
        typeNormal = atom("_NET_WM_WINDOW_TYPE_NORMAL");
        desktop = atom("_NET_WM_DESKTOP");
        pid = atom("_NET_WM_PID");
        name = atom("_NET_WM_NAME");
        userTime = atom("_NET_WM_USER_TIME");
        utf8 = atom("UTF8_STRING");
        motif = atom("_MOTIF_WM_HINTS");
        protocols = atom("WM_PROTOCOLS");
        deleteWindow = atom("WM_DELETE_WINDOW");
        compositor = atom(("_NET_WM_CM_S" + std::to_string(screen)).c_str());
        ornament = atom(("_LUMETTA_ORNAMENT_S" + std::to_string(screen)).c_str());
    }
    Atom state, below, above, sticky, skipTaskbar, skipPager, type, typeNormal, desktop, pid, name, userTime, utf8,
        motif, protocols, deleteWindow, compositor, ornament;
};

void SetCardinals(Display* d, Window w, Atom property, Atom type, const std::vector<long>& values)
{
    XChangeProperty(d, w, property, type, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(values.data()),
                    static_cast<int>(values.size()));
}

// The desktop's scale: GDK_SCALE when it says, else the resources' Xft.dpi against 96, else 1.
double DesktopScale(Display* d)
{
    if (const char* gdk = std::getenv("GDK_SCALE"); gdk && *gdk) {
        int scale = 0;
        const char* end = gdk + std::strlen(gdk);
        if (std::from_chars(gdk, end, scale).ptr == end && scale >= 1 && scale <= 8)
            return scale;
    }
    double scale = 1.0;
    XrmInitialize();
    if (const char* resources = XResourceManagerString(d)) {
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

// The pixels of a frame that a GL read of width x height RGBA rows (bottom-up) covers at
// least half, as rectangles one row high, top-down: the wreath's outline.
std::vector<XRectangle> CoveredRows(const std::vector<std::uint8_t>& rgba, int width, int height)
{
    std::vector<XRectangle> rows;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = &rgba[static_cast<std::size_t>(height - 1 - y) * width * 4];
        for (int x = 0; x < width;) {
            while (x < width && row[x * 4 + 3] < kHalfCovered)
                ++x;
            const int start = x;
            while (x < width && row[x * 4 + 3] >= kHalfCovered)
                ++x;
            if (x > start)
                rows.push_back(
                    {static_cast<short>(start), static_cast<short>(y), static_cast<unsigned short>(x - start), 1});
        }
    }
    return rows;
}

// The key code the scene takes for a key event: arrows (the keypad's too), letters whatever
// Shift says, the digit row's keys by their place; 0 for any other.
int SceneKeyCode(XKeyEvent& event)
{
    const KeySym plain = XLookupKeysym(&event, 0);
    switch (plain) {
    case XK_Left:
    case XK_KP_Left:
        return VK_LEFT;
    case XK_Up:
    case XK_KP_Up:
        return VK_UP;
    case XK_Right:
    case XK_KP_Right:
        return VK_RIGHT;
    case XK_Down:
    case XK_KP_Down:
        return VK_DOWN;
    default:
        break;
    }
    char typed[8] = {};
    KeySym symbol = 0;
    const int length = XLookupString(&event, typed, sizeof typed - 1, &symbol, nullptr);
    const int character = length == 1 ? static_cast<unsigned char>(typed[0]) : 0;
    if (character >= 'a' && character <= 'z')
        return character - 'a' + 'A';
    if (character >= 'A' && character <= 'Z')
        return character;
    // Ctrl with a letter types a control character: the letter is the key's own.
    if (plain >= XK_a && plain <= XK_z)
        return static_cast<int>(plain - XK_a) + 'A';
    return DigitRowKey(event.keycode, character);
}

// Whether the screen is blanked, or its saver is on, as X says: then nothing is drawn.
bool ScreenBlanked(Display* d)
{
    int event = 0, error = 0;
    if (DPMSQueryExtension(d, &event, &error) && DPMSCapable(d)) {
        CARD16 level = DPMSModeOn;
        BOOL enabled = False;
        if (DPMSInfo(d, &level, &enabled) && enabled && level != DPMSModeOn)
            return true;
    }
    if (XScreenSaverQueryExtension(d, &event, &error)) {
        XScreenSaverInfo* info = XScreenSaverAllocInfo();
        const bool on = info && XScreenSaverQueryInfo(d, DefaultRootWindow(d), info) && info->state == ScreenSaverOn;
        if (info)
            XFree(info);
        return on;
    }
    return false;
}

// The ornament's window and what it knows of its desktop.
class COrnament {
public:
    COrnament(Display* display, const OrnamentOptions& options)
        : m_d(display), m_screen(DefaultScreen(display)), m_root(RootWindow(display, m_screen)),
          m_atoms(display, m_screen), m_options(options)
    {
    }

    ~COrnament()
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
    COrnament(const COrnament&) = delete;
    COrnament& operator=(const COrnament&) = delete;

    // The process that hangs an ornament on this display already, or 0; -1 when one does and
    // does not say which.
    long Hanging() const
    {
        const Window owner = XGetSelectionOwner(m_d, m_atoms.ornament);
        if (owner == None)
            return 0;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, left = 0;
        unsigned char* data = nullptr;
        long pid = -1;
        if (XGetWindowProperty(m_d, owner, m_atoms.pid, 0, 1, False, XA_CARDINAL, &type, &format, &count, &left,
                               &data) == Success &&
            data && count == 1 && format == 32)
            pid = *reinterpret_cast<const long*>(data);
        if (data)
            XFree(data);
        return pid;
    }

    // Makes the window, not yet shown. Returns an empty string, or why it cannot be made.
    std::string Make()
    {
        GLXFBConfig config = nullptr;
        XVisualInfo visual{};
        if (!ChooseArgbConfig(m_d, m_screen, config, visual))
            return "this display has no visual with an alpha channel for OpenGL, so nothing can show through an "
                   "ornament";
        const double scale = DesktopScale(m_d);
        m_width = m_options.width > 0 ? m_options.width : static_cast<int>(std::lround(kDefaultSide * scale));
        m_height = m_options.height > 0 ? m_options.height : static_cast<int>(std::lround(kDefaultSide * scale));
        PlaceAtStart();

        m_colormap = XCreateColormap(m_d, m_root, visual.visual, AllocNone);
        XSetWindowAttributes attributes{};
        attributes.colormap = m_colormap;
        attributes.background_pixel = 0;  // nothing at all until the first frame
        attributes.border_pixel = 0;
        attributes.event_mask = StructureNotifyMask | ButtonPressMask | ButtonReleaseMask |
                                Button1MotionMask | KeyPressMask | VisibilityChangeMask;
        m_window = XCreateWindow(m_d, m_root, m_x, m_y, static_cast<unsigned>(m_width), static_cast<unsigned>(m_height),
                                 0, visual.depth, InputOutput, visual.visual,
                                 CWColormap | CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
        SetHints();
        // The screen's size, and the compositor coming and going.
        XSelectInput(m_d, m_root, StructureNotifyMask);
        int error = 0;
        m_bFixes = XFixesQueryExtension(m_d, &m_nFixesEvent, &error);
        if (m_bFixes)
            XFixesSelectSelectionInput(m_d, m_root, m_atoms.compositor,
                                       XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask |
                                           XFixesSelectionClientCloseNotifyMask);
        XSetSelectionOwner(m_d, m_atoms.ornament, m_window, CurrentTime);
        {
            // The driver's threads, started with the context, keep the end signals out: the
            // handler runs on this thread alone.
            const CHoldEndSignals hold;
            m_context = glXCreateNewContext(m_d, config, GLX_RGBA_TYPE, nullptr, True);
            if (m_context && !glXMakeCurrent(m_d, m_window, m_context))
                return "the window cannot take an OpenGL context";
        }
        if (!m_context)
            return "cannot make an OpenGL context for the window";
        return {};
    }

    // Shows the ornament and runs it until it is taken down.
    void Run(CScene& scene, const CEndSignals& endSignals)
    {
        scene.OnCreateContext();
        scene.OnSize(m_width, m_height);
        SceneState& state = scene.State();
        state.m_fDistance = kWholeWreathDistance;
        ApplySceneStart(state, m_options.start);
        CPatternCycle cycle(m_options.start);
        // Nothing of it shows, and no click stops at it, until the first frame gives its outline.
        XShapeCombineRectangles(m_d, m_window, ShapeBounding, 0, 0, nullptr, 0, ShapeSet, Unsorted);
        XShapeCombineRectangles(m_d, m_window, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
        XMapWindow(m_d, m_window);

        CGlErrorCheck glErrors;
        CFrameClock clock;
        auto nextBlankCheck = CFrameClock::Clock::now();
        while (!m_bDone && CEndSignals::Caught() == 0) {
            while (!m_bDone && XPending(m_d) > 0) {
                XEvent event;
                XNextEvent(m_d, &event);
                Handle(event, scene);
            }
            if (m_bDone)
                break;
            if (CFrameClock::Clock::now() >= nextBlankCheck) {
                m_bBlanked = ScreenBlanked(m_d);
                nextBlankCheck = CFrameClock::Clock::now() + std::chrono::seconds(1);
            }
            if (clock.Due()) {
                // Hidden, covered whole or on a blanked screen, it only keeps its time; but an
                // outline still to be found is drawn for (an ornament with none covers nothing,
                // and X says it is hidden).
                if (m_bMapped && (!m_bObscured || m_bShapeStale) && !m_bBlanked) {
                    scene.OnDraw();
                    if (m_bShapeStale)
                        FollowOutline();
                    glXSwapBuffers(m_d, m_window);
                    glErrors.Check("while drawing a frame");
                    cycle.AfterFrame(state);
                }
                clock.Drawn();
            }
            clock.Wait(m_d, endSignals.WakeDescriptor());
        }
        SavePlace();
        scene.OnDestroyContext();
    }

private:
    // The place: --geometry's, or the one kept from last time when it is on the screen, or the
    // top right corner.
    void PlaceAtStart()
    {
        const int screenWidth = DisplayWidth(m_d, m_screen), screenHeight = DisplayHeight(m_d, m_screen);
        m_x = screenWidth - m_width - kMargin;
        m_y = kMargin;
        if (m_options.placed) {
            m_x = m_options.x < 0 ? screenWidth - m_width + m_options.x + 1 : m_options.x;
            m_y = m_options.y < 0 ? screenHeight - m_height + m_options.y + 1 : m_options.y;
            return;
        }
        const auto kept = ReadSettings(kSettingsGroup);
        const auto x = kept.find("X"), y = kept.find("Y");
        if (x == kept.end() || y == kept.end())
            return;
        int keptX = 0, keptY = 0;
        const auto number = [](const std::string& text, int& value) {
            return std::from_chars(text.data(), text.data() + text.size(), value).ptr == text.data() + text.size();
        };
        if (number(x->second, keptX) && number(y->second, keptY) && OnScreen(keptX, keptY)) {
            m_x = keptX;
            m_y = keptY;
        }
    }

    // Whether enough of a window at (x, y) is on the screen to be seen and taken hold of.
    bool OnScreen(int x, int y) const
    {
        const int screenWidth = DisplayWidth(m_d, m_screen), screenHeight = DisplayHeight(m_d, m_screen);
        const int seenWidth = std::min(x + m_width, screenWidth) - std::max(x, 0);
        const int seenHeight = std::min(y + m_height, screenHeight) - std::max(y, 0);
        return seenWidth >= m_width / 4 && seenHeight >= m_height / 4;
    }

    void SavePlace()
    {
        if (!m_bMoved)
            return;
        WriteSettings(kSettingsGroup, {{"X", std::to_string(m_x)}, {"Y", std::to_string(m_y)}});
        m_bMoved = false;
    }

    // What the window managers are told, before the window is shown. A normal window with
    // states rather than a dock or desktop window: GNOME, KDE and Xfce keep a desktop window
    // under their own desktop's icons and give a dock a place of its own, while all of them,
    // and the simple managers that know EWMH, honour these states on a normal one. The Motif
    // hint takes the frame away on those that know no other way.
    void SetHints()
    {
        XStoreName(m_d, m_window, "Lumetta");
        const std::string name = "Lumetta";
        XChangeProperty(m_d, m_window, m_atoms.name, m_atoms.utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(name.data()), static_cast<int>(name.size()));
        char className[] = "lumetta", classClass[] = "Lumetta";
        XClassHint classHint{className, classClass};
        XSetClassHint(m_d, m_window, &classHint);
        // Focus only when clicked: it asks for input, but the user time of 0 tells the
        // manager not to give it the focus as it appears.
        XWMHints hints{};
        hints.flags = InputHint | StateHint;
        hints.input = True;
        hints.initial_state = NormalState;
        XSetWMHints(m_d, m_window, &hints);
        SetCardinals(m_d, m_window, m_atoms.userTime, XA_CARDINAL, {0});
        // Its own place and size, which it keeps.
        XSizeHints size{};
        size.flags = USPosition | PPosition | PMinSize | PMaxSize;
        size.x = m_x;
        size.y = m_y;
        size.min_width = size.max_width = m_width;
        size.min_height = size.max_height = m_height;
        XSetWMNormalHints(m_d, m_window, &size);
        SetCardinals(m_d, m_window, m_atoms.pid, XA_CARDINAL, {static_cast<long>(::getpid())});
        SetCardinals(m_d, m_window, m_atoms.type, XA_ATOM, {static_cast<long>(m_atoms.typeNormal)});
        SetCardinals(m_d, m_window, m_atoms.state, XA_ATOM,
                     {static_cast<long>(m_options.above ? m_atoms.above : m_atoms.below),
                      static_cast<long>(m_atoms.sticky), static_cast<long>(m_atoms.skipTaskbar),
                      static_cast<long>(m_atoms.skipPager)});
        // On every workspace.
        SetCardinals(m_d, m_window, m_atoms.desktop, XA_CARDINAL, {0xFFFFFFFFL});
        // Motif: flags say the decorations are given, and there are none.
        SetCardinals(m_d, m_window, m_atoms.motif, m_atoms.motif, {2, 0, 0, 0, 0});
        Atom protocols[] = {m_atoms.deleteWindow};
        XSetWMProtocols(m_d, m_window, protocols, 1);
    }

    bool CompositorRunning() const { return XGetSelectionOwner(m_d, m_atoms.compositor) != None; }

    // Reads the frame just drawn: clicks pass through everywhere but on the wreath, and with
    // no compositor to show the alpha, the window is the wreath's outline alone.
    void FollowOutline()
    {
        std::vector<std::uint8_t> rgba(static_cast<std::size_t>(m_width) * m_height * 4);
        glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
        glPushAttrib(GL_PIXEL_MODE_BIT);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, m_width, m_height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        glPopAttrib();
        glPopClientAttrib();
        std::vector<XRectangle> rows = CoveredRows(rgba, m_width, m_height);
        XShapeCombineRectangles(m_d, m_window, ShapeInput, 0, 0, rows.data(), static_cast<int>(rows.size()), ShapeSet,
                                Unsorted);
        if (CompositorRunning())
            XShapeCombineMask(m_d, m_window, ShapeBounding, 0, 0, None, ShapeSet);
        else
            XShapeCombineRectangles(m_d, m_window, ShapeBounding, 0, 0, rows.data(), static_cast<int>(rows.size()),
                                    ShapeSet, Unsorted);
        m_bShapeStale = false;
    }

    void Handle(const XEvent& event, CScene& scene)
    {
        switch (event.type) {
        case MapNotify:
            m_bMapped = event.xmap.window == m_window ? true : m_bMapped;
            break;
        case UnmapNotify:
            m_bMapped = event.xunmap.window == m_window ? false : m_bMapped;
            break;
        case VisibilityNotify:
            m_bObscured = event.xvisibility.state == VisibilityFullyObscured;
            break;
        case ConfigureNotify:
            if (event.xconfigure.window == m_root) {
                KeepOnScreen();
            } else if (event.xconfigure.window == m_window &&
                       (event.xconfigure.width != m_width || event.xconfigure.height != m_height)) {
                m_width = event.xconfigure.width;
                m_height = event.xconfigure.height;
                scene.OnSize(m_width, m_height);
                m_bShapeStale = true;
            }
            break;
        case ButtonPress:
            if (event.xbutton.button == Button1) {
                m_bDragging = true;
                m_dragRootX = event.xbutton.x_root;
                m_dragRootY = event.xbutton.y_root;
                m_dragX = m_x;
                m_dragY = m_y;
            }
            break;
        case MotionNotify:
            if (m_bDragging)
                MoveTo(m_dragX + event.xmotion.x_root - m_dragRootX, m_dragY + event.xmotion.y_root - m_dragRootY);
            break;
        case ButtonRelease:
            if (event.xbutton.button == Button1 && m_bDragging) {
                m_bDragging = false;
                SavePlace();
            }
            break;
        case KeyPress: {
            XKeyEvent key = event.xkey;
            if (XLookupKeysym(&key, 0) == XK_Escape) {
                m_bDone = true;
                break;
            }
            const int code = SceneKeyCode(key);
            // R puts the camera back where the ornament starts, the whole wreath in view.
            if (code == 'R') {
                ::OnViewReset(scene.State());
                scene.State().m_fDistance = kWholeWreathDistance;
            } else if (code != 0) {
                ::OnKeyDown(scene.State(), code);
            }
            break;
        }
        case ClientMessage:
            if (static_cast<Atom>(event.xclient.data.l[0]) == m_atoms.deleteWindow)
                m_bDone = true;
            break;
        case SelectionClear:
            // Another has taken the ornament's place on this display: this one goes.
            if (event.xselectionclear.selection == m_atoms.ornament)
                m_bDone = true;
            break;
        default:
            if (m_bFixes && event.type == m_nFixesEvent + XFixesSelectionNotify)
                m_bShapeStale = true;  // a compositor came or went
            break;
        }
    }

    void MoveTo(int x, int y)
    {
        if (x == m_x && y == m_y)
            return;
        m_x = x;
        m_y = y;
        m_bMoved = true;
        XMoveWindow(m_d, m_window, m_x, m_y);
    }

    // After the screen's size changed: an ornament left off it comes back to its default place.
    void KeepOnScreen()
    {
        if (OnScreen(m_x, m_y))
            return;
        MoveTo(DisplayWidth(m_d, m_screen) - m_width - kMargin, kMargin);
    }

    Display* const m_d;
    const int m_screen;
    const Window m_root;
    const Atoms m_atoms;
    const OrnamentOptions& m_options;
    Colormap m_colormap = 0;
    Window m_window = 0;
    GLXContext m_context = nullptr;
    int m_width = 0, m_height = 0, m_x = 0, m_y = 0;
    bool m_bFixes = false;
    int m_nFixesEvent = 0;
    bool m_bMapped = false, m_bObscured = false, m_bBlanked = false, m_bShapeStale = true;
    bool m_bDragging = false, m_bMoved = false, m_bDone = false;
    int m_dragRootX = 0, m_dragRootY = 0, m_dragX = 0, m_dragY = 0;
};

}  // namespace

bool ReadGeometry(const std::string& text, OrnamentOptions& options)
{
    int x = 0, y = 0;
    unsigned width = 0, height = 0;
    const int given = XParseGeometry(text.c_str(), &x, &y, &width, &height);
    // Nothing but a geometry, and a size with both sides.
    const bool sized = (given & WidthValue) && (given & HeightValue);
    const bool placed = (given & XValue) && (given & YValue);
    if ((!sized && !placed) || ((given & WidthValue) != 0) != ((given & HeightValue) != 0) ||
        ((given & XValue) != 0) != ((given & YValue) != 0) ||
        (sized && (width < 16 || width > 8192 || height < 16 || height > 8192)))
        return false;
    if (sized) {
        options.width = static_cast<int>(width);
        options.height = static_cast<int>(height);
    }
    if (placed) {
        options.placed = true;
        // X writes a place from the right or bottom edge with a minus sign: -0 is that edge.
        options.x = (given & XNegative) ? x - 1 : x;
        options.y = (given & YNegative) ? y - 1 : y;
    }
    return true;
}

int RunOrnament(const OrnamentOptions& options, const std::string& installedFolder)
{
    // Ended with a signal at any time, the start included, it goes quietly.
    const CEndSignals endSignals;
    const DisplayPtr display = OpenDisplayToTheEnd(OnXError);
    if (!display)
        return Fail("cannot open the display; the ornament hangs on an X11 desktop, or Xwayland's");
    Display* d = display.get();
    int shapeEvent = 0, shapeError = 0;
    if (!XShapeQueryExtension(d, &shapeEvent, &shapeError))
        return Fail("this display has no SHAPE extension, so clicks could not pass through the ornament");

    auto scene = std::make_unique<CScene>();
    scene->SetTransparent(true);
    scene->OnCreate(installedFolder);
    COrnament ornament(d, options);
    if (const long hanging = ornament.Hanging(); hanging != 0) {
        const std::string who = hanging > 0 ? " (process " + std::to_string(hanging) + ")" : "";
        std::fprintf(stderr,
                     "lumetta: an ornament hangs on this desktop already%s; take it down with Esc while it has "
                     "the focus, or with kill%s\n",
                     who.c_str(), hanging > 0 ? (" " + std::to_string(hanging)).c_str() : "");
        return 0;
    }
    if (const std::string error = ornament.Make(); !error.empty())
        return Fail(error);
    ornament.Run(*scene, endSignals);
    return 0;
}
