// The X11 ornament's menu in GTK 3, built as the module that x11_menu.h loads. The toolkit's
// events are dispatched by the ornament's own main loop, which is GLib's too.
#include "ornament/menu_items.h"
#include "ornament/x11/x11_menu.h"

#include <gdk/gdk.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <utility>

namespace {

struct Open {
    GtkWidget* menu = nullptr;
    OrnamentChoice choice = OrnamentChoice::Nothing;
    OrnamentMenuClosed closed = nullptr;
    void* data = nullptr;
    bool bEnding = false;
};

// After the menu's end; an item's activation comes after it, in the same turn of the loop.
gboolean Finish(gpointer opened)
{
    auto* open = static_cast<Open*>(opened);
    gtk_widget_destroy(open->menu);
    open->closed(static_cast<int>(open->choice), open->data);
    delete open;
    return G_SOURCE_REMOVE;
}

void End(Open* open)
{
    if (!std::exchange(open->bEnding, true))
        g_idle_add(Finish, open);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int LumettaOrnamentMenu(const OrnamentMenuState* state, int x, int y,
                                                                          OrnamentMenuClosed closed, void* data,
                                                                          char* error, unsigned errorSize)
{
    static bool s_bStarted = false;
    if (!s_bStarted) {
        // The ornament is an X11 window; its menu opens on the same display.
        gdk_set_allowed_backends("x11");
        if (!gtk_init_check(nullptr, nullptr)) {
            (void)std::snprintf(error, errorSize, "GTK cannot open the display");
            return -1;
        }
        s_bStarted = true;
    }
    auto* open = new Open{nullptr, OrnamentChoice::Nothing, closed, data, false};
    open->menu = NewOrnamentMenu(*state, &open->choice);
    g_signal_connect(open->menu, "deactivate",
                     G_CALLBACK(+[](GtkMenuShell*, gpointer opened) { End(static_cast<Open*>(opened)); }), open);
    gtk_widget_show_all(open->menu);
    // The click that opened it came to the ornament's own connection, not GTK's: the menu is
    // told of one on the pointer, whose grab it takes.
    GdkWindow* root = gdk_get_default_root_window();
    GdkEvent* click = gdk_event_new(GDK_BUTTON_RELEASE);
    click->button.window = GDK_WINDOW(g_object_ref(root));
    click->button.time = GDK_CURRENT_TIME;
    click->button.button = 3;
    click->button.x_root = x;
    click->button.y_root = y;
    gdk_event_set_device(click, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
    const GdkRectangle at = {x, y, 1, 1};
    gtk_menu_popup_at_rect(GTK_MENU(open->menu), root, &at, GDK_GRAVITY_NORTH_WEST, GDK_GRAVITY_NORTH_WEST, click);
    gdk_event_free(click);
    // A menu that could not take the pointer closes at once, having chosen nothing.
    if (!gtk_widget_get_visible(open->menu))
        End(open);
    return 0;
}
