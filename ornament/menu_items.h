// The ornament's menu as GTK 3 builds it, for the modules that show it: its items, checked as
// the ornament is.
#pragma once

#include "ornament/menu.h"

#include <gtk/gtk.h>

// A new menu, not yet shown, for state; the item activated writes its choice to *chosen,
// which must outlive the menu.
GtkWidget* NewOrnamentMenu(const OrnamentMenuState& state, OrnamentChoice* chosen);
