// The Wayland ornament's input: the pointer as the compositor tells it, the keys and the menu,
// and the compositor closing its surface.
#include "ornament/menu_items.h"
#include "ornament/wayland/layer_surface.h"

#include <gdk/gdkwayland.h>
#include <gtk-layer-shell.h>

#include <algorithm>
#include <utility>

// sway gives the keys to a top-layer surface that may take them on a click whenever it
// arranges its layers, and keeps giving them to one that had them: so at rest the ornament
// asks for keys only in the bottom layer, where a click gives them; above, only once clicked.
// As the pointer leaves, it asks for none, which takes them back.
void CLayerSurface::TakeKeys(unsigned long)
{
    if (!OnDemandKeys() || !m_window || !m_bAbove)
        return;
    gtk_layer_set_keyboard_mode(GTK_WINDOW(m_window), GTK_LAYER_SHELL_KEYBOARD_MODE_ON_DEMAND);
    CommitPlace();
}

void CLayerSurface::ReleaseKeys()
{
    if (!OnDemandKeys() || !m_window)
        return;
    gtk_layer_set_keyboard_mode(GTK_WINDOW(m_window), GTK_LAYER_SHELL_KEYBOARD_MODE_NONE);
    CommitPlace();
    if (!m_bAbove) {
        gtk_layer_set_keyboard_mode(GTK_WINDOW(m_window), GTK_LAYER_SHELL_KEYBOARD_MODE_ON_DEMAND);
        CommitPlace();
    }
}

std::string CLayerSurface::PopUpMenu(const OrnamentMenuState& state)
{
    if (!m_menuClick)
        return "no click to open it at";
    if (m_menu)
        gtk_widget_destroy(m_menu);
    m_chosen = OrnamentChoice::Nothing;
    m_menu = NewOrnamentMenu(state, &m_chosen);
    gtk_menu_attach_to_widget(GTK_MENU(m_menu), m_area, nullptr);
    // An item's activation comes after the menu's end, in the same turn of the loop.
    g_signal_connect(m_menu, "deactivate", G_CALLBACK(+[](GtkMenuShell*, gpointer self) {
                         g_idle_add(
                             [](gpointer self) -> gboolean {
                                 auto* surface = static_cast<CLayerSurface*>(self);
                                 surface->m_events.OnMenuClosed(
                                     std::exchange(surface->m_chosen, OrnamentChoice::Nothing));
                                 return G_SOURCE_REMOVE;
                             },
                             self);
                     }),
                     this);
    gtk_widget_show_all(m_menu);
    gtk_menu_popup_at_pointer(GTK_MENU(m_menu), m_menuClick);
    return {};
}

// Closed for its output's going, the ornament comes onto another, or waits for one when none
// is left; closed otherwise, it is taken down. surface says which of the surfaces it has had
// was closed: one made anew since is another's business.
void CLayerSurface::OnClosed(int surface)
{
    gdk_display_sync(gdk_display_get_default());
    if (surface != m_surfaces)
        return;
    const std::vector<Output> outputs = Outputs();
    const bool outputGone =
        std::none_of(outputs.begin(), outputs.end(), [&](const Output& o) { return o.monitor == m_outputMonitor; });
    if (!outputGone)
        return m_events.TakeDown();
    m_bClosed = true;
    if (outputs.empty())
        gtk_widget_hide(m_window);
    else
        m_events.OnMonitorsChanged();
}

// --- The pointer, as the compositor tells it ---

void CLayerSurface::OnPointerButton(wl_surface* surface, double x, double y, bool pressed)
{
    if (pressed) {
        if (surface != Own())
            return;
        m_bPressed = true;
        m_pressX = x;
        m_pressY = y;
        m_movedX = m_movedY = 0;
        m_events.OnPress(0);
        return;
    }
    if (!std::exchange(m_bPressed, false))
        return;
    // Where the compositor does not say how far the pointer moves, the drag is taken once,
    // where the button is let go, on the surface that has not moved meanwhile.
    if (!m_link->FollowsMoves())
        m_events.OnDrag(x - m_pressX, y - m_pressY);
    m_events.OnRelease();
}

void CLayerSurface::OnPointerMoved(double dx, double dy)
{
    if (!m_bPressed)
        return;
    m_movedX += dx;
    m_movedY += dy;
    m_events.OnDrag(m_movedX, m_movedY);
}

void CLayerSurface::OnPointerOver(wl_surface* surface, bool over)
{
    if (surface && surface == Own())
        m_events.OnPointerOver(over);
}
