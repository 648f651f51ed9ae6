#include "ornament/wayland/layer_surface.h"

#include "view/gl_query.h"
#include "wayland/scene_keys.h"

#include <GL/gl.h>
#include <gdk/gdkwayland.h>
#include <gtk-layer-shell.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {

// The most rectangles the outline is sent as: a compositor reads a burst of requests from a
// buffer of its own, and one that fills closes the connection.
constexpr std::size_t kMostOutlineRects = 1024;

}  // namespace

bool CLayerSurface::OnDemandKeys()
{
    return gtk_layer_get_protocol_version() >= 4;
}

CLayerSurface::CLayerSurface(COrnamentEvents& events, CHeadlessContext& context) : m_events(events), m_context(context)
{
}

CLayerSurface::~CLayerSurface()
{
    if (m_menuClick)
        gdk_event_free(m_menuClick);
    if (m_menu)
        gtk_widget_destroy(m_menu);
    Close();
}

std::string CLayerSurface::Connect()
{
    GdkDisplay* display = gdk_display_get_default();
    m_link = std::make_unique<CCompositorLink>(gdk_wayland_display_get_wl_display(display),
                                               static_cast<CCompositorLink::PointerEvents&>(*this));
    if (!m_link->Shm() || !m_link->Subcompositor())
        return "the Wayland compositor offers no shared memory or subsurfaces for the ornament's frames";
    m_frames = std::make_unique<CFrameSurface>(gdk_wayland_display_get_wl_compositor(display), m_link->Subcompositor(),
                                               m_link->Shm());
    g_signal_connect(display, "monitor-added", G_CALLBACK(+[](GdkDisplay*, GdkMonitor* monitor, gpointer self) {
                         static_cast<CLayerSurface*>(self)->Watch(monitor);
                         static_cast<CLayerSurface*>(self)->m_events.OnMonitorsChanged();
                     }),
                     this);
    g_signal_connect(display, "monitor-removed", G_CALLBACK(+[](GdkDisplay*, GdkMonitor*, gpointer self) {
                         static_cast<CLayerSurface*>(self)->m_events.OnMonitorsChanged();
                     }),
                     this);
    for (int i = 0; i < gdk_display_get_n_monitors(display); ++i)
        Watch(gdk_display_get_monitor(display, i));
    return {};
}

void CLayerSurface::Close()
{
    if (!m_window)
        return;
    GdkDisplay* display = gdk_display_get_default();
    g_signal_handlers_disconnect_by_data(display, this);
    for (int i = 0; i < gdk_display_get_n_monitors(display); ++i)
        g_signal_handlers_disconnect_by_data(gdk_display_get_monitor(display, i), this);
    gtk_widget_destroy(std::exchange(m_window, nullptr));
    gdk_display_flush(display);
}

void CLayerSurface::Watch(GdkMonitor* monitor)
{
    // An output's size comes after the output itself: until it does, it is not one to hang on.
    g_signal_connect(monitor, "notify::geometry", G_CALLBACK(+[](GdkMonitor*, GParamSpec*, gpointer self) {
                         static_cast<CLayerSurface*>(self)->m_events.OnMonitorsChanged();
                     }),
                     this);
}

std::vector<CLayerSurface::Output> CLayerSurface::Outputs()
{
    m_link->Forget();
    std::vector<Output> outputs;
    GdkDisplay* display = gdk_display_get_default();
    for (int i = 0; i < gdk_display_get_n_monitors(display); ++i) {
        Output output;
        output.monitor = gdk_display_get_monitor(display, i);
        GdkRectangle r;
        gdk_monitor_get_geometry(output.monitor, &r);
        if (r.width <= 0 || r.height <= 0)
            continue;
        output.name = m_link->NameOf(output.monitor);
        output.rect = {r.x, r.y, r.width, r.height};
        outputs.push_back(output);
    }
    return outputs;
}

std::vector<Monitor> CLayerSurface::Monitors()
{
    m_outputs = Outputs();
    std::vector<Monitor> monitors;
    for (const Output& output : m_outputs)
        monitors.push_back({output.rect, output.name});
    return monitors;
}

std::string CLayerSurface::Show(const PlaceRect& place, bool above)
{
    m_place = place;
    MakeWindow(above);
    PutAt(place);
    gtk_widget_show_all(m_window);
    SizeFrames();
    return {};
}

void CLayerSurface::MakeWindow(bool above)
{
    m_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(m_window);
    gtk_window_set_title(window, "Lumetta");
    gtk_widget_set_app_paintable(m_window, TRUE);
    if (GdkVisual* alpha = gdk_screen_get_rgba_visual(gtk_widget_get_screen(m_window)))
        gtk_widget_set_visual(m_window, alpha);
    gtk_layer_init_for_window(window);
    gtk_layer_set_namespace(window, "lumetta-ornament");
    gtk_layer_set_layer(window, above ? GTK_LAYER_SHELL_LAYER_TOP : GTK_LAYER_SHELL_LAYER_BOTTOM);
    gtk_layer_set_anchor(window, GTK_LAYER_SHELL_EDGE_TOP, TRUE);
    gtk_layer_set_anchor(window, GTK_LAYER_SHELL_EDGE_LEFT, TRUE);
    // Placed from the output's own edges, not from what a panel leaves free of it.
    gtk_layer_set_exclusive_zone(window, -1);
    // Keys once clicked, as the compositor gives them, and taken back as the pointer leaves
    // (layer_input.cpp); before layer surfaces could ask for them so, it would have to be all
    // of them all the time, so none.
    m_bAbove = above;
    gtk_layer_set_keyboard_mode(window, OnDemandKeys() && !above ? GTK_LAYER_SHELL_KEYBOARD_MODE_ON_DEMAND
                                                                 : GTK_LAYER_SHELL_KEYBOARD_MODE_NONE);
    m_area = gtk_drawing_area_new();
    gtk_widget_set_size_request(m_area, m_place.width, m_place.height);
    gtk_widget_add_events(m_area, GDK_BUTTON_PRESS_MASK);
    gtk_container_add(GTK_CONTAINER(m_window), m_area);
    ConnectWindow();
}

void CLayerSurface::ConnectWindow()
{
    // GTK's own surface is clear: the frames are shown over it.
    g_signal_connect(m_area, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t* cr, gpointer) -> gboolean {
                         cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
                         cairo_paint(cr);
                         return TRUE;
                     }),
                     nullptr);
    g_signal_connect(m_area, "button-press-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEventButton* event, gpointer self) -> gboolean {
                         auto* surface = static_cast<CLayerSurface*>(self);
                         if (event->type == GDK_BUTTON_PRESS && event->button == 3) {
                             if (surface->m_menuClick)
                                 gdk_event_free(surface->m_menuClick);
                             surface->m_menuClick = gdk_event_copy(reinterpret_cast<GdkEvent*>(event));
                             surface->m_events.OnMenuAsked(event->time);
                         }
                         return TRUE;
                     }),
                     this);
    g_signal_connect(m_window, "key-press-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEventKey* event, gpointer self) -> gboolean {
                         static_cast<CLayerSurface*>(self)->m_events.OnKey(SceneKeyOfKeysym(event->keyval,
                                                                                            event->hardware_keycode),
                                                                           event->keyval == GDK_KEY_Escape);
                         return TRUE;
                     }),
                     this);
    // The compositor closed the surface: for its output's going, or to be rid of it. Which, is
    // told once all it said meanwhile has been heard, outside its own event.
    g_signal_connect(m_window, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                         auto* surface = static_cast<CLayerSurface*>(self);
                         surface->m_closing.push_back(surface->m_surfaces);
                         g_idle_add(
                             [](gpointer self) -> gboolean {
                                 auto* surface = static_cast<CLayerSurface*>(self);
                                 const int closed = surface->m_closing.front();
                                 surface->m_closing.erase(surface->m_closing.begin());
                                 surface->OnClosed(closed);
                                 return G_SOURCE_REMOVE;
                             },
                             self);
                         return TRUE;
                     }),
                     this);
    g_signal_connect(m_window, "notify::scale-factor", G_CALLBACK(+[](GObject*, GParamSpec*, gpointer self) {
                         static_cast<CLayerSurface*>(self)->SizeFrames();
                     }),
                     this);
    // Its frames go over GTK's surface, made anew as the window is shown again; nothing takes a
    // click until the first frame gives the outline.
    g_signal_connect_after(m_window, "map", G_CALLBACK(+[](GtkWidget* window, gpointer self) {
                               auto* surface = static_cast<CLayerSurface*>(self);
                               surface->m_frames->Attach(
                                   gdk_wayland_window_get_wl_surface(gtk_widget_get_window(window)));
                               surface->SetOutline({});
                               surface->m_events.OnExposed();
                               surface->m_events.OnCompositorChanged();
                           }),
                           this);
}

// Puts the surface at place in the layout, on the output it is most on; onto another output, or
// after the compositor closed it, the surface is made anew there.
void CLayerSurface::PutAt(const PlaceRect& place)
{
    if (m_outputs.empty())
        return;
    std::vector<PlaceRect> rects;
    for (const Output& output : m_outputs)
        rects.push_back(output.rect);
    const Output& on = m_outputs[static_cast<std::size_t>(MonitorOf(rects, place))];
    const bool resized = place.width != m_place.width || place.height != m_place.height;
    m_place = place;
    GtkWindow* window = GTK_WINDOW(m_window);
    const bool shown = gtk_widget_get_mapped(m_window) || m_bClosed;
    const bool moving = on.monitor != m_outputMonitor;
    const bool remake = shown && (moving || m_bClosed);
    m_outputMonitor = on.monitor;
    if (remake) {
        gtk_widget_hide(m_window);
        ++m_surfaces;
        m_bClosed = false;
    }
    if (moving)
        gtk_layer_set_monitor(window, on.monitor);
    gtk_layer_set_margin(window, GTK_LAYER_SHELL_EDGE_LEFT, place.x - on.rect.x);
    gtk_layer_set_margin(window, GTK_LAYER_SHELL_EDGE_TOP, place.y - on.rect.y);
    if (resized) {
        gtk_widget_set_size_request(m_area, place.width, place.height);
        gtk_window_resize(window, place.width, place.height);
        if (shown)
            SizeFrames();
    }
    if (remake)
        gtk_widget_show_all(m_window);
    if (shown)
        CommitPlace();
}

void CLayerSurface::SetAbove(bool above)
{
    m_bAbove = above;
    gtk_layer_set_layer(GTK_WINDOW(m_window), above ? GTK_LAYER_SHELL_LAYER_TOP : GTK_LAYER_SHELL_LAYER_BOTTOM);
    ReleaseKeys();
}

wl_surface* CLayerSurface::Own() const
{
    GdkWindow* window = m_window ? gtk_widget_get_window(m_window) : nullptr;
    return window ? gdk_wayland_window_get_wl_surface(window) : nullptr;
}

// The margins and the keys take effect with the surface's next commit, which is made now
// rather than with the next frame's: GTK commits only as it draws, and it draws the clear
// surface once.
void CLayerSurface::CommitPlace()
{
    if (wl_surface* surface = Own()) {
        wl_surface_commit(surface);
        wl_display_flush(gdk_wayland_display_get_wl_display(gdk_display_get_default()));
    }
}

// The frames' size in the window's pixels, and the picture they are shown from.
void CLayerSurface::SizeFrames()
{
    m_scale = std::max(1, gtk_widget_get_scale_factor(m_window));
    const int width = m_place.width * m_scale, height = m_place.height * m_scale;
    if (!m_picture.empty() && width == m_frameWidth && height == m_frameHeight)
        return;
    if (!m_context.Resize(width, height))
        return m_events.Fail(m_context.Error());
    if (const std::string error = m_frames->Resize(width, height, m_scale); !error.empty())
        return m_events.Fail("cannot have the memory for the ornament's frames: " + error);
    m_frameWidth = width;
    m_frameHeight = height;
    m_picture.assign(static_cast<std::size_t>(width) * height, 0);
    m_events.OnFrameSize(width, height);
}

bool CLayerSurface::WantsFrame() const
{
    return m_window && m_frames->Ready() && !m_bClosed && gtk_widget_get_mapped(m_window);
}

// Of a frame drawn over the still parts kept, only the parts that changed are put, and so
// damaged; the pbuffer holds the whole of the last frame, its changed parts copied in.
void CLayerSurface::PutFrame(CScene& scene, bool whole)
{
    const FrameChange& change = scene.Change();
    const std::vector<PixelRect> parts = whole || change.whole ? std::vector<PixelRect>{scene.Bounds()} : change.parts;
    scene.PutFrame(parts);
    m_shown.clear();
    for (const PixelRect& part : parts) {
        const std::vector<std::uint8_t> rgba = ReadPixels(part, 4);
        // As Wayland keeps it: 32-bit premultiplied ARGB, rows from the top.
        const std::uint8_t* from = rgba.data();
        for (int y = part.y; y < part.y + part.height; ++y) {
            std::uint32_t* to = &m_picture[static_cast<std::size_t>(m_frameHeight - 1 - y) * m_frameWidth + part.x];
            for (int x = 0; x < part.width; ++x, from += 4)
                to[x] = std::uint32_t{from[3]} << 24 | std::uint32_t{from[0]} << 16 | std::uint32_t{from[1]} << 8 |
                        from[2];
        }
        m_shown.push_back({part.x, m_frameHeight - part.y - part.height, part.width, part.height});
    }
}

std::vector<std::uint8_t> CLayerSurface::ReadFrame(const CScene& scene)
{
    return ReadPixels(scene.Bounds(), 4);
}

// The outline as the region of GTK's surface that takes input, in its own (logical) pixels,
// set on the surface itself and committed.
void CLayerSurface::SetOutline(const std::vector<OutlineRow>& rows)
{
    wl_surface* surface = Own();
    if (!surface)
        return;
    wl_region* region = wl_compositor_create_region(gdk_wayland_display_get_wl_compositor(gdk_display_get_default()));
    for (const OutlineRect& r : OutlineRects(rows, m_scale, kMostOutlineRects))
        wl_region_add(region, r.x, r.y, r.width, r.height);
    wl_surface_set_input_region(surface, region);
    wl_region_destroy(region);
    CommitPlace();
}
