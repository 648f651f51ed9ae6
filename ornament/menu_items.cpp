#include "ornament/menu_items.h"

namespace {

// An item that says its choice when it is activated.
void Item(GtkWidget* menu, GtkWidget* item, OrnamentChoice* chosen, OrnamentChoice choice, bool sensitive = true)
{
    g_object_set_data(G_OBJECT(item), "choice", GINT_TO_POINTER(static_cast<int>(choice)));
    g_signal_connect(item, "activate", G_CALLBACK(+[](GtkMenuItem* activated, gpointer to) {
                         *static_cast<OrnamentChoice*>(to) = static_cast<OrnamentChoice>(
                             GPOINTER_TO_INT(g_object_get_data(G_OBJECT(activated), "choice")));
                     }),
                     chosen);
    gtk_widget_set_sensitive(item, sensitive);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
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

GtkWidget* NewOrnamentMenu(const OrnamentMenuState& state, OrnamentChoice* chosen)
{
    GtkWidget* menu = gtk_menu_new();
    GSList* patterns = nullptr;
    const char* labels[] = {"Blink pattern 1", "Blink pattern 2", "Blink pattern 3"};
    for (int p = 1; p <= 3; ++p) {
        GtkWidget* item = gtk_radio_menu_item_new_with_label(patterns, labels[p - 1]);
        patterns = gtk_radio_menu_item_get_group(GTK_RADIO_MENU_ITEM(item));
        gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), state.pattern == p);
        Item(menu, item, chosen, static_cast<OrnamentChoice>(static_cast<int>(OrnamentChoice::Pattern1) + p - 1));
    }
    Item(menu, Check("Flares turning", state.spin), chosen, OrnamentChoice::Flares);
    Separator(menu);
    Item(menu, gtk_menu_item_new_with_label("Smaller"), chosen, OrnamentChoice::Smaller, state.canShrink);
    Item(menu, gtk_menu_item_new_with_label("Larger"), chosen, OrnamentChoice::Larger, state.canGrow);
    Item(menu, Check("Keep above other windows", state.above), chosen, OrnamentChoice::KeepAbove);
    Item(menu, Check("Lock in place", state.locked), chosen, OrnamentChoice::Locked);
    Item(menu, Check("Start at login", state.atLogin), chosen, OrnamentChoice::AtLogin);
    Separator(menu);
    Item(menu, gtk_menu_item_new_with_label("Take down"), chosen, OrnamentChoice::TakeDown);
    return menu;
}
