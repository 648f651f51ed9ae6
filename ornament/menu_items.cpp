#include "ornament/menu_items.h"

namespace {

// An item that says its choice when the user activates it. Its check mark is set before the
// handler is connected, and a radio item that is let go (as another of its group is chosen, or
// as the group's first is unset for the one that shows the pattern) says nothing: only a choice
// is a choice.
void Item(GtkWidget* menu, GtkWidget* item, OrnamentChoice* chosen, OrnamentChoice choice, bool sensitive = true)
{
    g_object_set_data(G_OBJECT(item), "choice", GINT_TO_POINTER(static_cast<int>(choice)));
    g_signal_connect(item, "activate", G_CALLBACK(+[](GtkMenuItem* activated, gpointer to) {
                         if (GTK_IS_RADIO_MENU_ITEM(activated) &&
                             !gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(activated)))
                             return;
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
    const char* labels[] = {"Blink pattern 1", "Blink pattern 2", "Blink pattern 3"};
    GtkWidget* patterns[3] = {};
    GSList* group = nullptr;
    for (int p = 0; p < 3; ++p) {
        patterns[p] = gtk_radio_menu_item_new_with_label(group, labels[p]);
        group = gtk_radio_menu_item_get_group(GTK_RADIO_MENU_ITEM(patterns[p]));
    }
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(patterns[state.pattern - 1]), TRUE);
    for (int p = 0; p < 3; ++p)
        Item(menu, patterns[p], chosen, static_cast<OrnamentChoice>(static_cast<int>(OrnamentChoice::Pattern1) + p));
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
