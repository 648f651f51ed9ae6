// The program's way into the ornament: which window system it hangs on, the desktop's one
// place for it, and another lumetta's requests to the one that hangs.
#pragma once

#include "ornament/options.h"
#include "wayland/compositor.h"

#include <string>

// Hangs the ornament until it is taken down: Esc while it has the keys, its menu's "Take
// down", lumetta --ornament --stop, the window manager's close, its window destroyed,
// SIGTERM, SIGINT or SIGHUP (not ignored at the start), or the display or compositor going.
// With --stop, takes down the one that hangs instead. Returns the exit status: 0 when it ends
// so, when one hangs already on this desktop (it says so, and hands it the options given), or
// when --stop took one down; 1, with one line on stderr, when it cannot be shown or go on
// (no display, a compositor that does not answer or refuses it, no visual with an alpha
// channel, a runtime folder that is not the user's own), nothing hangs for --stop, or the one
// that hangs does not answer; 2 when the one that hangs cannot take an option given. It needs
// no backdrop picture.
int RunOrnament(const OrnamentOptions& options, const std::string& installedFolder);

struct WayChosen {
    OrnamentWay way = OrnamentWay::X11;  // X11 or Wayland
    std::string failure;                 // not empty: it cannot hang as asked, and this says why
    std::string notWayland;              // for X11 chosen on a Wayland desktop: why not natively, said if X fails too
};
// The way for asked (--x11, --wayland or neither), on desktop as found: natively where the
// compositor answers and offers layer surfaces, else X11; a compositor that takes the
// connection and does not answer is a failure either way.
WayChosen ChooseOrnamentWay(OrnamentWay asked, const WaylandDesktop& desktop);
