// The ornament's own menu, opened by a right click on the wreath: what it offers and what its
// items show. Each surface pops it up in its own way (menu_items.h builds it in GTK 3).
#pragma once

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
