// The ornament on a Wayland desktop's own terms, built as the module that wayland_entry.h
// loads: a layer surface of the compositor (GTK 3 with gtk-layer-shell) in the bottom layer,
// above the wallpaper and under the windows, or in the top one; on one output, reserving no
// room on it. Its frames are drawn in a GL context with no window (os/headless_context.h) and
// shown on a surface of their own over it (wayland_frames.h), only the parts that changed;
// the pixels the wreath covers at least half take the clicks, as on X11. A left-button drag moves it by the layer
// surface's margins, a right click opens its menu as a popup of the surface, and a click gives
// it the keys.
#include "ornament/choices.h"
#include "ornament/menu_items.h"
#include "ornament/outline.h"
#include "ornament/wayland_entry.h"
#include "ornament/wayland_frames.h"
#include "ornament/wayland_link.h"
#include "os/end_signals.h"
#include "os/headless_context.h"
#include "os/settings_file.h"
#include "view/gl_check.h"
#include "view/scene.h"
#include "wayland/scene_keys.h"

#include <GL/gl.h>
#include <gdk/gdkwayland.h>
#include <glib-unix.h>
#include <gtk-layer-shell.h>
#include <gtk/gtk.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// How far the default place stands in from the first output's top right corner.
constexpr int kMargin = 48;

int Fail(const std::string& line, int status = 1)
{
    std::fprintf(stderr, "lumetta: %s\n", line.c_str());
    return status;
}

// GDK ends the process with status 1 when the compositor goes, after saying so in one of
// these: the ornament ends quietly instead, as it does when the X server goes.
GLogWriterOutput OnLog(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer data)
{
    static const char* const kCompositorGone[] = {
        "Error reading events from display",
        "Error flushing display",
        "dispatching to Wayland display",
        "Lost connection to Wayland compositor",
    };
    for (gsize i = 0; i < count; ++i) {
        if (std::strcmp(fields[i].key, "MESSAGE") != 0 || fields[i].length != -1)
            continue;
        const auto* message = static_cast<const char*>(fields[i].value);
        for (const char* gone : kCompositorGone) {
            if (std::strstr(message, gone))
                ::_exit(0);
        }
    }
    return g_log_writer_default(level, fields, count, data);
}

struct Output {
    GdkMonitor* monitor = nullptr;
    std::string name;
    PlaceRect rect;  // in the compositor's layout, logical pixels
};

class CWaylandOrnament final : private COrnamentWindow, private CCompositorLink::PointerEvents {
public:
    CWaylandOrnament(const WaylandOrnamentStart& start, CScene& scene, CHeadlessContext& context)
        : m_start(start), m_options(*start.options), m_scene(scene), m_context(context), m_choices(m_options, *this)
    {
    }
    ~CWaylandOrnament() override
    {
        if (m_menu)
            gtk_widget_destroy(m_menu);
        if (m_window)
            gtk_widget_destroy(m_window);
        for (const guint source : m_sources)
            g_source_remove(source);
    }
    CWaylandOrnament(const CWaylandOrnament&) = delete;
    CWaylandOrnament& operator=(const CWaylandOrnament&) = delete;

    // Hangs it until it is taken down. Returns the exit status.
    int Run()
    {
        GdkDisplay* display = gdk_display_get_default();
        m_link = std::make_unique<CCompositorLink>(gdk_wayland_display_get_wl_display(display),
                                                   static_cast<CCompositorLink::PointerEvents&>(*this));
        if (!m_link->Shm() || !m_link->Subcompositor())
            return Fail("the Wayland compositor offers no shared memory or subsurfaces for the ornament's frames");
        m_frames = std::make_unique<CFrameSurface>(gdk_wayland_display_get_wl_compositor(display),
                                                   m_link->Subcompositor(), m_link->Shm());
        m_outputs = Outputs();
        if (m_outputs.empty())
            return Fail("the Wayland compositor has no output to hang the ornament on");
        const SceneStart start = m_choices.Start();
        m_side = m_choices.Kept().side;
        int width = m_side, height = m_side;
        if (m_options.geometry.width > 0) {
            width = m_options.geometry.width;
            height = m_options.geometry.height;
            m_side = width;
        }
        m_place = StartPlace(width, height);
        MakeWindow();

        SceneState& state = m_scene.State();
        m_scene.OnCreateContext();
        state.m_fDistance = kWholeWreathDistance;
        ApplySceneStart(state, start);
        m_cycle = std::make_unique<CPatternCycle>(start);
        if (!SizeFrames())
            return 1;

        m_loop = g_main_loop_new(nullptr, FALSE);
        m_sources.push_back(g_timeout_add(kFrameMilliseconds, &CWaylandOrnament::OnClock, this));
        m_sources.push_back(g_unix_fd_add(m_start.wakeDescriptor, G_IO_IN, &CWaylandOrnament::OnEndSignal, this));
        m_sources.push_back(
            g_unix_fd_add(m_start.claim->ListenDescriptor(), G_IO_IN, &CWaylandOrnament::OnRequests, this));
        g_signal_connect(display, "monitor-added", G_CALLBACK(+[](GdkDisplay*, GdkMonitor* monitor, gpointer self) {
                             static_cast<CWaylandOrnament*>(self)->Watch(monitor);
                             static_cast<CWaylandOrnament*>(self)->OnOutputsChanged();
                         }),
                         this);
        g_signal_connect(display, "monitor-removed", G_CALLBACK(+[](GdkDisplay*, GdkMonitor*, gpointer self) {
                             static_cast<CWaylandOrnament*>(self)->OnOutputsChanged();
                         }),
                         this);
        for (int i = 0; i < gdk_display_get_n_monitors(display); ++i)
            Watch(gdk_display_get_monitor(display, i));
        gtk_widget_show_all(m_window);
        if (m_start.caught() == 0)
            g_main_loop_run(m_loop);
        g_main_loop_unref(m_loop);
        m_loop = nullptr;
        m_scene.OnDestroyContext();
        g_signal_handlers_disconnect_by_data(display, this);
        for (const Output& output : m_outputs)
            g_signal_handlers_disconnect_by_data(output.monitor, this);
        // The surface goes before whoever waits for the ornament to go is told.
        gtk_widget_destroy(m_window);
        m_window = nullptr;
        gdk_display_flush(display);
        return 0;
    }

private:
    // --- Outputs and places ---

    std::vector<Output> Outputs()
    {
        std::vector<Output> outputs;
        GdkDisplay* display = gdk_display_get_default();
        for (int i = 0; i < gdk_display_get_n_monitors(display); ++i) {
            Output output;
            output.monitor = gdk_display_get_monitor(display, i);
            output.name = m_link->NameOf(output.monitor);
            GdkRectangle r;
            gdk_monitor_get_geometry(output.monitor, &r);
            output.rect = {r.x, r.y, r.width, r.height};
            outputs.push_back(output);
        }
        return outputs;
    }

    std::vector<PlaceRect> Rects() const
    {
        std::vector<PlaceRect> rects;
        for (const Output& output : m_outputs)
            rects.push_back(output.rect);
        return rects;
    }

    // The whole layout: what --geometry's places count from.
    PlaceRect Layout() const
    {
        PlaceRect all = m_outputs.front().rect;
        for (const Output& output : m_outputs) {
            const int right = std::max(all.x + all.width, output.rect.x + output.rect.width);
            const int bottom = std::max(all.y + all.height, output.rect.y + output.rect.height);
            all.x = std::min(all.x, output.rect.x);
            all.y = std::min(all.y, output.rect.y);
            all.width = right - all.x;
            all.height = bottom - all.y;
        }
        return all;
    }

    // The output place is most on.
    const Output& OutputOf(const PlaceRect& place) const
    {
        const auto overlap = [&](const PlaceRect& r) {
            const long width = std::min(place.x + place.width, r.x + r.width) - std::max(place.x, r.x);
            const long height = std::min(place.y + place.height, r.y + r.height) - std::max(place.y, r.y);
            return width > 0 && height > 0 ? width * height : 0L;
        };
        return *std::max_element(m_outputs.begin(), m_outputs.end(),
                                 [&](const Output& a, const Output& b) { return overlap(a.rect) < overlap(b.rect); });
    }

    const Output* Named(const std::string& name) const
    {
        const auto found =
            std::find_if(m_outputs.begin(), m_outputs.end(), [&](const Output& o) { return o.name == name; });
        return found == m_outputs.end() ? nullptr : &*found;
    }

    // --geometry's place in the layout, moved onto an output when it is on none; else the kept
    // place on its output, when that output is here and a quarter of it is on it; else the
    // default, at the top right of the first output.
    PlaceRect StartPlace(int width, int height) const
    {
        const std::vector<PlaceRect> rects = Rects();
        if (m_options.geometry.placed) {
            bool moved = false;
            const PlaceRect place = AskedPlace(m_options.geometry, rects, Layout(), width, height, moved);
            if (moved)
                std::fprintf(stderr, "lumetta: --geometry %s is on no output; the ornament hangs at +%d+%d instead\n",
                             m_options.geometryText.c_str(), place.x, place.y);
            return place;
        }
        const OrnamentKept& kept = m_choices.Kept();
        if (const Output* on = Named(kept.output)) {
            const PlaceRect place = {on->rect.x + kept.outputX, on->rect.y + kept.outputY, width, height};
            if (SeenOnAMonitor({on->rect}, place))
                return place;
        }
        return DefaultPlace(rects, Layout(), width, height, kMargin);
    }

    void Watch(GdkMonitor* monitor)
    {
        g_signal_connect(monitor, "notify::geometry", G_CALLBACK(+[](GdkMonitor*, GParamSpec*, gpointer self) {
                             static_cast<CWaylandOrnament*>(self)->OnOutputsChanged();
                         }),
                         this);
    }

    // Outputs came, went or changed: it keeps its place on its output, which may have moved in
    // the layout; off it now, or with its output gone, it comes onto the nearest, and the place
    // the user chose stays kept for when its output comes back.
    void OnOutputsChanged()
    {
        m_link->Forget();
        m_outputs = Outputs();
        if (m_outputs.empty())
            return;
        const Output* on = Named(m_outputName);
        if (on) {
            m_place.x += on->rect.x - m_outputOrigin.x;
            m_place.y += on->rect.y - m_outputOrigin.y;
            m_outputOrigin = {on->rect.x, on->rect.y, 0, 0};
        }
        if (on && SeenOnAMonitor({on->rect}, m_place) && !m_bClosed) {
            m_outputMonitor = on->monitor;
            return;
        }
        const PlaceRect moved = OntoNearestMonitor(on ? std::vector<PlaceRect>{on->rect} : Rects(), m_place);
        PutAt(moved, true);
        m_bMoved = false;
    }

    // --- The window ---

    void MakeWindow()
    {
        m_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        GtkWindow* window = GTK_WINDOW(m_window);
        gtk_window_set_title(window, "Lumetta");
        gtk_widget_set_app_paintable(m_window, TRUE);
        if (GdkVisual* alpha = gdk_screen_get_rgba_visual(gtk_widget_get_screen(m_window)))
            gtk_widget_set_visual(m_window, alpha);
        gtk_layer_init_for_window(window);
        gtk_layer_set_namespace(window, "lumetta-ornament");
        gtk_layer_set_layer(window, m_choices.Kept().above ? GTK_LAYER_SHELL_LAYER_TOP : GTK_LAYER_SHELL_LAYER_BOTTOM);
        gtk_layer_set_anchor(window, GTK_LAYER_SHELL_EDGE_TOP, TRUE);
        gtk_layer_set_anchor(window, GTK_LAYER_SHELL_EDGE_LEFT, TRUE);
        gtk_layer_set_exclusive_zone(window, 0);
        // Keys once clicked, as the compositor gives them; before layer surfaces could ask for
        // them so, it would have to be all of them all the time, so none.
        gtk_layer_set_keyboard_mode(window, gtk_layer_get_protocol_version() >= 4
                                                ? GTK_LAYER_SHELL_KEYBOARD_MODE_ON_DEMAND
                                                : GTK_LAYER_SHELL_KEYBOARD_MODE_NONE);
        PutAt(m_place, false);
        m_area = gtk_drawing_area_new();
        gtk_widget_set_size_request(m_area, m_place.width, m_place.height);
        gtk_widget_add_events(m_area, GDK_BUTTON_PRESS_MASK);
        gtk_container_add(GTK_CONTAINER(m_window), m_area);
        g_signal_connect(m_area, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t* cr, gpointer self) -> gboolean {
                             static_cast<CWaylandOrnament*>(self)->OnPaint(cr);
                             return TRUE;
                         }),
                         this);
        g_signal_connect(m_area, "button-press-event",
                         G_CALLBACK(+[](GtkWidget*, GdkEventButton* event, gpointer self) -> gboolean {
                             static_cast<CWaylandOrnament*>(self)->OnButtonPress(event);
                             return TRUE;
                         }),
                         this);
        g_signal_connect(m_window, "key-press-event",
                         G_CALLBACK(+[](GtkWidget*, GdkEventKey* event, gpointer self) -> gboolean {
                             static_cast<CWaylandOrnament*>(self)->OnKey(event);
                             return TRUE;
                         }),
                         this);
        // The compositor closed the surface: for its output's going, or to be rid of it. Which,
        // is told once all it said meanwhile has been heard, outside its own event.
        g_signal_connect(m_window, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                             auto* ornament = static_cast<CWaylandOrnament*>(self);
                             ornament->m_closing.push_back(ornament->m_surfaces);
                             g_idle_add(
                                 [](gpointer self) -> gboolean {
                                     auto* ornament = static_cast<CWaylandOrnament*>(self);
                                     const int surface = ornament->m_closing.front();
                                     ornament->m_closing.erase(ornament->m_closing.begin());
                                     ornament->OnClosed(surface);
                                     return G_SOURCE_REMOVE;
                                 },
                                 self);
                             return TRUE;
                         }),
                         this);
        g_signal_connect(m_window, "notify::scale-factor", G_CALLBACK(+[](GObject*, GParamSpec*, gpointer self) {
                             auto* ornament = static_cast<CWaylandOrnament*>(self);
                             ornament->SizeFrames();
                         }),
                         this);
        // Its frames go over GTK's surface, made anew as the window is shown again; nothing takes
        // a click until the first frame gives the outline.
        g_signal_connect_after(m_window, "map", G_CALLBACK(+[](GtkWidget* window, gpointer self) {
                                   auto* ornament = static_cast<CWaylandOrnament*>(self);
                                   ornament->m_frames->Attach(
                                       gdk_wayland_window_get_wl_surface(gtk_widget_get_window(window)));
                                   ornament->m_bWholeNext = true;
                                   ornament->SetOutline();
                               }),
                               this);
    }

    // Puts the surface at place in the layout, on the output it is most on; onto another
    // output, the surface is made anew there.
    void PutAt(const PlaceRect& place, bool shown)
    {
        const Output& on = OutputOf(place);
        m_place = place;
        GtkWindow* window = GTK_WINDOW(m_window);
        const bool moving = on.monitor != m_outputMonitor;
        // A surface the compositor closed, or one on another output, is made anew.
        const bool remake = shown && (moving || m_bClosed);
        m_outputMonitor = on.monitor;
        m_outputName = on.name;
        m_outputOrigin = {on.rect.x, on.rect.y, 0, 0};
        if (remake) {
            gtk_widget_hide(m_window);
            ++m_surfaces;
            m_bClosed = false;
            // A new surface takes clicks where it is told to anew.
            m_bOutlineStale = true;
        }
        if (moving)
            gtk_layer_set_monitor(window, on.monitor);
        gtk_layer_set_margin(window, GTK_LAYER_SHELL_EDGE_LEFT, place.x - on.rect.x);
        gtk_layer_set_margin(window, GTK_LAYER_SHELL_EDGE_TOP, place.y - on.rect.y);
        if (remake)
            gtk_widget_show_all(m_window);
        if (shown)
            CommitPlace();
    }

    // The margins take effect with the surface's next commit, which is made now rather than
    // with the next frame's.
    void CommitPlace()
    {
        GdkWindow* window = gtk_widget_get_window(m_window);
        if (wl_surface* surface = window ? gdk_wayland_window_get_wl_surface(window) : nullptr) {
            wl_surface_commit(surface);
            wl_display_flush(gdk_wayland_display_get_wl_display(gdk_display_get_default()));
        }
    }

    // The outline's rows, in pixels of the frame, as the region of GTK's surface that takes
    // input, in its own (logical) pixels; set on the surface itself and committed, since GTK
    // commits only as it draws, and it draws the clear surface once.
    void SetOutline()
    {
        GdkWindow* window = gtk_widget_get_window(m_window);
        wl_surface* surface = window ? gdk_wayland_window_get_wl_surface(window) : nullptr;
        if (!surface)
            return;
        wl_region* region =
            wl_compositor_create_region(gdk_wayland_display_get_wl_compositor(gdk_display_get_default()));
        for (const OutlineRow& row : m_outline)
            wl_region_add(region, row.x / m_scale, row.y / m_scale,
                          (row.x + row.width + m_scale - 1) / m_scale - row.x / m_scale, 1);
        wl_surface_set_input_region(surface, region);
        wl_region_destroy(region);
        CommitPlace();
    }

    // The frames' size in the window's pixels, and the picture they are shown from. Says why
    // not, when they cannot be had.
    bool SizeFrames()
    {
        m_scale = std::max(1, gtk_widget_get_scale_factor(m_window));
        const int width = m_place.width * m_scale, height = m_place.height * m_scale;
        if (!m_picture.empty() && width == m_frameWidth && height == m_frameHeight)
            return true;
        if (!m_context.Resize(width, height)) {
            Fail(m_context.Error());
            return false;
        }
        if (!m_frames->Resize(width, height, m_scale)) {
            Fail(std::string("cannot have the memory for the ornament's frames: ") + std::strerror(errno));
            return false;
        }
        m_frameWidth = width;
        m_frameHeight = height;
        m_scene.OnSize(width, height);
        m_scene.SetSamples(OrnamentSamples(true, width, height));
        m_picture.assign(static_cast<std::size_t>(width) * height, 0);
        m_bOutlineStale = true;
        m_bWholeNext = true;
        return true;
    }

    // --- Frames ---

    static gboolean OnClock(gpointer self)
    {
        static_cast<CWaylandOrnament*>(self)->DrawFrame();
        return G_SOURCE_CONTINUE;
    }

    // A frame, when the compositor asked for one: while it asks for none (the surface hidden,
    // its output off), none is drawn. Of a frame drawn over the still parts kept, only the
    // tiles that changed are shown, and so damaged.
    void DrawFrame()
    {
        if (!m_frames->Ready() || m_start.caught() != 0)
            return;
        m_scene.OnDraw();
        const FrameChange& change = m_scene.Change();
        const std::vector<FrameRect> parts = m_bWholeNext || change.whole ? std::vector<FrameRect>{m_scene.Bounds()}
                                                                          : change.parts;
        // The pbuffer holds the whole of the last frame, its changed parts copied in.
        m_scene.CopyToDefaultFramebuffer(parts);
        std::vector<BufferRect> shown;
        for (const FrameRect& part : parts) {
            CopyToPicture(ReadPixels(part), part);
            shown.push_back({part.x, m_frameHeight - part.y - part.height, part.width, part.height});
        }
        m_frames->Show(m_picture.data(), shown);
        // The flares' tips reach past the apples as they turn.
        if (m_bOutlineStale || m_scene.State().m_bFlareSpin)
            FollowOutline(ReadPixels(m_scene.Bounds()));
        m_glErrors.Check("while drawing a frame");
        m_cycle->AfterFrame(m_scene.State());
        m_bWholeNext = false;
    }

    // part of the pbuffer, RGBA rows from the bottom, as GL reads them.
    static std::vector<std::uint8_t> ReadPixels(const FrameRect& part)
    {
        std::vector<std::uint8_t> rgba(static_cast<std::size_t>(part.width) * part.height * 4);
        glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(part.x, part.y, part.width, part.height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        glPopClientAttrib();
        return rgba;
    }

    // part's pixels, RGBA rows from the bottom, into the picture the frames are shown from, as
    // Wayland keeps it: 32-bit premultiplied ARGB, rows from the top.
    void CopyToPicture(const std::vector<std::uint8_t>& rgba, const FrameRect& part)
    {
        const std::uint8_t* from = rgba.data();
        for (int y = part.y; y < part.y + part.height; ++y) {
            std::uint32_t* to = &m_picture[static_cast<std::size_t>(m_frameHeight - 1 - y) * m_frameWidth + part.x];
            for (int x = 0; x < part.width; ++x, from += 4)
                to[x] = std::uint32_t{from[3]} << 24 | std::uint32_t{from[0]} << 16 | std::uint32_t{from[1]} << 8 |
                        from[2];
        }
    }

    void FollowOutline(const std::vector<std::uint8_t>& rgba)
    {
        std::vector<OutlineRow> rows = CoveredRows(rgba.data(), m_frameWidth, m_frameHeight);
        if (m_bOutlineStale || rows != m_outline) {
            m_outline = std::move(rows);
            SetOutline();
        }
        m_bOutlineStale = false;
    }

    // GTK's own surface is clear: the frames are shown over it.
    static void OnPaint(cairo_t* cr)
    {
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
    }

    // --- Input ---

    void OnButtonPress(const GdkEventButton* event)
    {
        if (event->type != GDK_BUTTON_PRESS)
            return;
        if (event->button == 3)
            OpenMenu(event);
    }

    // A left-button drag on the surface moves it: as the pointer moves where the compositor
    // says how far it does, else once, where the button is let go.
    void OnPointerButton(wl_surface* surface, double x, double y, bool pressed) override
    {
        GdkWindow* window = gtk_widget_get_window(m_window);
        if (pressed) {
            m_bDragging = window && surface == gdk_wayland_window_get_wl_surface(window) && !m_choices.Kept().locked;
            m_dragFrom = m_place;
            m_pressX = x;
            m_pressY = y;
            m_movedX = m_movedY = 0;
            return;
        }
        if (!m_bDragging)
            return;
        m_bDragging = false;
        if (!m_link->FollowsMoves())
            DragTo(x - m_pressX, y - m_pressY);
        // Only a drag is the user's own place.
        if (m_bMoved) {
            WriteSettings(kKeptGroup, {{kKeptOutput, m_outputName},
                                       {kKeptOutputX, std::to_string(m_place.x - m_outputOrigin.x)},
                                       {kKeptOutputY, std::to_string(m_place.y - m_outputOrigin.y)}});
            m_bMoved = false;
        }
    }

    void OnPointerMoved(double dx, double dy) override
    {
        if (!m_bDragging)
            return;
        m_movedX += dx;
        m_movedY += dy;
        DragTo(m_movedX, m_movedY);
    }

    // Where the drag has taken it: moved by dx, dy from where it was pressed.
    void DragTo(double dx, double dy)
    {
        PlaceRect to = m_dragFrom;
        to.x = std::clamp(m_dragFrom.x + static_cast<int>(std::lround(dx)), -kMostPlace, kMostPlace);
        to.y = std::clamp(m_dragFrom.y + static_cast<int>(std::lround(dy)), -kMostPlace, kMostPlace);
        if (to.x == m_place.x && to.y == m_place.y)
            return;
        PutAt(to, true);
        m_bMoved = true;
    }

    void OnKey(const GdkEventKey* event)
    {
        if (event->keyval == GDK_KEY_Escape)
            TakeDown();
        else if (m_choices.Key(SceneKeyOfKeysym(event->keyval, event->hardware_keycode), m_scene.State()))
            m_bOutlineStale = true;
    }

    void OpenMenu(const GdkEventButton* event)
    {
        if (m_menu)
            gtk_widget_destroy(m_menu);
        m_chosen = OrnamentChoice::Nothing;
        m_menu = NewOrnamentMenu(m_choices.MenuState(m_scene.State(), m_side), &m_chosen);
        gtk_menu_attach_to_widget(GTK_MENU(m_menu), m_area, nullptr);
        // An item's activation comes after the menu's end, in the same turn of the loop.
        g_signal_connect(m_menu, "deactivate", G_CALLBACK(+[](GtkMenuShell*, gpointer self) {
                             g_idle_add(
                                 [](gpointer self) -> gboolean {
                                     auto* ornament = static_cast<CWaylandOrnament*>(self);
                                     ornament->m_choices.Choose(std::exchange(ornament->m_chosen,
                                                                              OrnamentChoice::Nothing),
                                                                ornament->m_scene.State(), ornament->m_side);
                                     return G_SOURCE_REMOVE;
                                 },
                                 self);
                         }),
                         this);
        gtk_widget_show_all(m_menu);
        gtk_menu_popup_at_pointer(GTK_MENU(m_menu), reinterpret_cast<const GdkEvent*>(event));
    }

    // --- What others ask ---

    static gboolean OnEndSignal(gint, GIOCondition, gpointer self)
    {
        static_cast<CWaylandOrnament*>(self)->TakeDown();
        return G_SOURCE_CONTINUE;
    }

    static gboolean OnRequests(gint, GIOCondition, gpointer self)
    {
        auto* ornament = static_cast<CWaylandOrnament*>(self);
        for (const OrnamentRequest& request : ornament->m_start.claim->TakeRequests())
            ornament->m_choices.Apply(request, ornament->m_scene.State());
        return G_SOURCE_CONTINUE;
    }

    // Closed for its output's going, the ornament comes onto another; closed otherwise, it is
    // taken down.
    // With no output left, it waits for one. surface says which of the surfaces it has had
    // was closed: one made anew since is another's business.
    void OnClosed(int surface)
    {
        gdk_display_sync(gdk_display_get_default());
        if (surface != m_surfaces)
            return;
        m_link->Forget();
        m_outputs = Outputs();
        if (m_outputs.empty()) {
            m_bClosed = true;
            gtk_widget_hide(m_window);
            return;
        }
        if (!Named(m_outputName)) {
            m_bClosed = true;
            OnOutputsChanged();
            return;
        }
        TakeDown();
    }

    // --- COrnamentWindow ---

    void SetAbove(bool above) override
    {
        gtk_layer_set_layer(GTK_WINDOW(m_window), above ? GTK_LAYER_SHELL_LAYER_TOP : GTK_LAYER_SHELL_LAYER_BOTTOM);
    }

    void SetSide(int side) override
    {
        m_side = side;
        Resize(side, side);
    }

    void TakeGeometry(const Geometry& geometry) override
    {
        if (geometry.width > 0) {
            m_side = geometry.width;
            Resize(geometry.width, geometry.height);
        }
        if (geometry.placed) {
            const PlaceRect place =
                OntoNearestMonitor(Rects(), GeometryPlace(geometry, Layout(), m_place.width, m_place.height));
            PutAt(place, true);
        }
        m_bMoved = false;
    }

    void TakeDown() override
    {
        if (m_loop)
            g_main_loop_quit(m_loop);
    }

    // A new size, about the same centre, on the output.
    void Resize(int width, int height)
    {
        PlaceRect resized = {m_place.x + (m_place.width - width) / 2, m_place.y + (m_place.height - height) / 2, width,
                             height};
        resized = OntoNearestMonitor({OutputOf(m_place).rect}, resized);
        gtk_widget_set_size_request(m_area, width, height);
        gtk_window_resize(GTK_WINDOW(m_window), width, height);
        m_place.width = width;
        m_place.height = height;
        PutAt(resized, true);
        SizeFrames();
        m_bMoved = false;
    }

    const WaylandOrnamentStart& m_start;
    const OrnamentOptions& m_options;
    CScene& m_scene;
    CHeadlessContext& m_context;
    COrnamentChoices m_choices;
    std::unique_ptr<CPatternCycle> m_cycle;
    CGlErrorCheck m_glErrors;
    std::unique_ptr<CCompositorLink> m_link;
    std::vector<Output> m_outputs;
    GMainLoop* m_loop = nullptr;
    std::vector<guint> m_sources;
    GtkWidget* m_window = nullptr;
    GtkWidget* m_area = nullptr;
    GtkWidget* m_menu = nullptr;
    OrnamentChoice m_chosen = OrnamentChoice::Nothing;
    std::unique_ptr<CFrameSurface> m_frames;
    std::vector<std::uint32_t> m_picture;  // the last frame, rows from the top
    int m_scale = 1, m_frameWidth = 0, m_frameHeight = 0;
    int m_side = kDefaultOrnamentSide;  // in logical pixels
    PlaceRect m_place;                  // in the layout, as asked
    PlaceRect m_dragFrom;               // where a drag started
    GdkMonitor* m_outputMonitor = nullptr;
    std::string m_outputName;
    PlaceRect m_outputOrigin;
    std::vector<OutlineRow> m_outline;
    bool m_bOutlineStale = true, m_bWholeNext = true;
    bool m_bDragging = false, m_bMoved = false;
    bool m_bClosed = false;      // the compositor closed the surface, which is to be made anew
    int m_surfaces = 0;          // surfaces made anew so far
    std::vector<int> m_closing;  // which of them the compositor closed, to be looked at
    double m_pressX = 0, m_pressY = 0, m_movedX = 0, m_movedY = 0;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) int LumettaHangOnWayland(const WaylandOrnamentStart& start)
{
    auto scene = std::make_unique<CScene>();
    scene->SetTransparent(true);
    scene->SetFrameDrawing(FrameDrawing::Cached);
    scene->OnCreate(start.installedFolder);
    std::unique_ptr<CHeadlessContext> context;
    {
        // The GL driver and the toolkit start their threads here: they keep the end signals out.
        const CHoldEndSignals hold;
        // llvmpipe's rasteriser threads cost more than they save for a few tiles at a time, as
        // for the X11 ornament; the user's own LP_NUM_THREADS wins.
        (void)::setenv("LP_NUM_THREADS", "0", 0);
        context = std::make_unique<CHeadlessContext>(kDefaultOrnamentSide, kDefaultOrnamentSide);
        if (!context->Ok()) {
            std::fprintf(stderr, "lumetta: cannot draw the ornament on Wayland: %s; it hangs through X11\n",
                         context->Error().c_str());
            return kHangOnX11;
        }
        g_log_set_writer_func(OnLog, nullptr, nullptr);
        gdk_set_allowed_backends("wayland");
        if (!gtk_init_check(nullptr, nullptr))
            return Fail("GTK cannot connect to the Wayland compositor");
    }
    if (!gtk_layer_is_supported())
        return Fail("the Wayland compositor offers no layer surfaces");
    CWaylandOrnament ornament(start, *scene, *context);
    return ornament.Run();
}
