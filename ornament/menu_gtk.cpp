// The ornament's menu in GTK 3, built as the module that ornament/menu.h loads.
#include "ornament/menu.h"
#include "ornament/menu_items.h"

#include <gdk/gdk.h>
#include <gtk/gtk.h>

#include <cstdio>

namespace {

struct Run {
    GMainLoop* loop = nullptr;
    OrnamentChoice choice = OrnamentChoice::Nothing;
    OrnamentMenuTick tick = nullptr;
    GtkWidget* menu = nullptr;
    void* data = nullptr;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) int LumettaOrnamentMenu(const OrnamentMenuState* state, int x, int y,
                                                                          OrnamentMenuTick tick, void* data,
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
    Run run;
    run.tick = tick;
    run.data = data;
    GtkWidget* menu = NewOrnamentMenu(*state, &run.choice);
    run.menu = menu;

    run.loop = g_main_loop_new(nullptr, FALSE);
    // An item's activation comes after the menu's end, in the same turn of the loop.
    g_signal_connect(menu, "deactivate",
                     G_CALLBACK(+[](GtkMenuShell*, gpointer r) { g_main_loop_quit(static_cast<Run*>(r)->loop); }),
                     &run);
    const guint ticking = g_timeout_add(
        50,
        +[](gpointer r) -> gboolean {
            auto* running = static_cast<Run*>(r);
            if (!running->tick(running->data))
                gtk_menu_shell_deactivate(GTK_MENU_SHELL(running->menu));
            return G_SOURCE_CONTINUE;
        },
        &run);
    gtk_widget_show_all(menu);
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
    gtk_menu_popup_at_rect(GTK_MENU(menu), root, &at, GDK_GRAVITY_NORTH_WEST, GDK_GRAVITY_NORTH_WEST, click);
    gdk_event_free(click);
    if (gtk_widget_get_visible(menu))
        g_main_loop_run(run.loop);
    g_source_remove(ticking);
    gtk_widget_destroy(menu);
    // The menu's window goes from the screen now, not at the next time GTK runs.
    while (gtk_events_pending())
        gtk_main_iteration_do(FALSE);
    g_main_loop_unref(run.loop);
    return static_cast<int>(run.choice);
}
