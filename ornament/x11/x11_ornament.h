// The ornament as an X11 window, Xwayland's on a Wayland desktop: one to an X display, told
// by a selection of the X server's (x11_control.h).
#pragma once

#include "ornament/ornament.h"

#include <string>

// Hangs the ornament on the X display until it is taken down, or tells the one that hangs
// there, as RunOrnament says. notWayland says why it is not a layer surface of a Wayland
// compositor, when one was looked for and none is to be had. Returns the exit status.
int HangOnX11(const OrnamentStart& start, const std::string& notWayland);
