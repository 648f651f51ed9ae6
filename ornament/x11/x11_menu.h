// The X11 ornament's menu, drawn by GTK 3, which lives in a module loaded the first time the
// menu opens: an ornament hangs all day, most often without its menu ever being opened, and
// then without the toolkit.
#pragma once

#include "ornament/menu.h"

#include <string>

// The module's entry point: pops the menu up at (x, y) on the root window and returns 0, or
// -1 with error filled in when it cannot be shown. Once the menu is gone, closed(choice, data)
// is called from the program's main loop (an OrnamentChoice), and never before the entry
// returns.
using OrnamentMenuClosed = void (*)(int choice, void* data);
using OrnamentMenuEntry = int (*)(const OrnamentMenuState* state, int x, int y, OrnamentMenuClosed closed, void* data,
                                  char* error, unsigned errorSize);
inline constexpr char kOrnamentMenuModuleFile[] = "lumetta-ornament-menu.so";
inline constexpr char kOrnamentMenuEntryName[] = "LumettaOrnamentMenu";

// Pops the menu up as above through the module. Returns an empty string, or why it cannot.
std::string PopUpX11Menu(const OrnamentMenuState& state, int x, int y, OrnamentMenuClosed closed, void* data);
