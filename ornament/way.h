// Which window system the ornament hangs on. On a Wayland desktop whose compositor offers
// layer surfaces, it hangs on one of its own; elsewhere it is an X11 window, Xwayland's on a
// Wayland desktop (GNOME's has no layer surfaces); --x11 and --wayland say which.
#pragma once

#include "ornament/ornament_host.h"
#include "wayland/compositor.h"

#include <string>

struct WayChosen {
    OrnamentWay way = OrnamentWay::X11;  // X11 or Wayland
    std::string failure;                 // not empty: it cannot hang as asked, and this says why
    std::string notWayland;              // for X11 chosen on a Wayland desktop: why not natively, said if X fails too
};
// The way for asked (--x11, --wayland or neither), on desktop as found.
WayChosen ChooseOrnamentWay(OrnamentWay asked, const WaylandDesktop& desktop);
