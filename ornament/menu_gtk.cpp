// The ornament's menu in GTK 3, built as the module that ornament/menu.h loads.
#include "ornament/menu.h"

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

// An item that says its choice when it is activated.
GtkWidget* Item(GtkWidget* menu, GtkWidget* item, Run& run, OrnamentChoice choice, bool sensitive = true)
{
    g_object_set_data(G_OBJECT(item), "choice", GINT_TO_POINTER(static_cast<int>(choice)));
    g_signal_connect(item, "activate", G_CALLBACK(+[](GtkMenuItem* activated, gpointer r) {
                         static_cast<Run*>(r)->choice = static_cast<OrnamentChoice>(
                             GPOINTER_TO_INT(g_object_get_data(G_OBJECT(activated), "choice")));
                     }),
                     &run);
    gtk_widget_set_sensitive(item, sensitive);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    return item;
}

GtkWidget* Check(const char* label, bool active)
{
    GtkWidget* item = gtk_check_menu_item_new_with_label(label);
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), active);
    return item;
}

void Separator(GtkWidget* menu)
{
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), gtk_separator_menu_item_new());
}

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
            std::snprintf(error, errorSize, "GTK cannot open the display");
            return -1;
        }
        s_bStarted = true;
    }
    Run run;
    run.tick = tick;
    run.data = data;
    GtkWidget* menu = gtk_menu_new();
    run.menu = menu;
    GSList* patterns = nullptr;
    const char* labels[] = {"Blink pattern 1", "Blink pattern 2", "Blink pattern 3"};
    for (int p = 1; p <= 3; ++p) {
        GtkWidget* item = gtk_radio_menu_item_new_with_label(patterns, labels[p - 1]);
        patterns = gtk_radio_menu_item_get_group(GTK_RADIO_MENU_ITEM(item));
        gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), state->pattern == p);
        Item(menu, item, run, static_cast<OrnamentChoice>(static_cast<int>(OrnamentChoice::Pattern1) + p - 1));
    }
    Item(menu, Check("Flares turning", state->spin), run, OrnamentChoice::Flares);
    Separator(menu);
    Item(menu, gtk_menu_item_new_with_label("Smaller"), run, OrnamentChoice::Smaller, state->canShrink);
    Item(menu, gtk_menu_item_new_with_label("Larger"), run, OrnamentChoice::Larger, state->canGrow);
    Item(menu, Check("Keep above other windows", state->above), run, OrnamentChoice::KeepAbove);
    Item(menu, Check("Lock in place", state->locked), run, OrnamentChoice::Locked);
    Item(menu, Check("Start at login", state->atLogin), run, OrnamentChoice::AtLogin);
    Separator(menu);
    Item(menu, gtk_menu_item_new_with_label("Take down"), run, OrnamentChoice::TakeDown);

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
