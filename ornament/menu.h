// The ornament's own menu, opened by a right click on the wreath and drawn by GTK 3, which
// lives in a module loaded the first time the menu opens: an ornament hangs all day, most
// often without its menu ever being opened, and then without the toolkit.
#pragma once

#include <string>

// What the menu offers.
enum class OrnamentChoice {
    Nothing,  // closed without a choice
    Pattern1,
    Pattern2,
    Pattern3,
    Flares,
    Smaller,
    Larger,
    KeepAbove,
    Locked,
    AtLogin,
    TakeDown,
};

// What its check marks and items show.
struct OrnamentMenuState {
    int pattern = 1;
    bool spin = false;
    bool canShrink = true, canGrow = true;
    bool above = false, locked = false, atLogin = false;
};

// The module's entry point: opens the menu at (x, y) on the root window, runs tick(data)
// every 50 ms while it is open (the menu closes when it returns false), and returns the
// choice made (an OrnamentChoice), or -1 with error filled in when it cannot be shown.
using OrnamentMenuTick = bool (*)(void* data);
using OrnamentMenuEntry = int (*)(const OrnamentMenuState* state, int x, int y, OrnamentMenuTick tick, void* data,
                                  char* error, unsigned errorSize);
inline constexpr char kOrnamentMenuModuleFile[] = "lumetta-ornament-menu.so";
inline constexpr char kOrnamentMenuEntryName[] = "LumettaOrnamentMenu";

// Opens the menu as above through the module. Nothing, with error said, when it cannot.
OrnamentChoice ShowOrnamentMenu(const OrnamentMenuState& state, int x, int y, OrnamentMenuTick tick, void* data,
                                std::string& error);
