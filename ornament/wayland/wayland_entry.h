// The ornament on a Wayland desktop's own layer surface is a module of its own, loaded only to
// hang it there: it brings GTK 3 and gtk-layer-shell, which the X11 ornament loads only when
// its menu first opens and the other ways never.
#pragma once

#include "ornament/ornament.h"

// The module's entry: hangs the ornament until it is taken down, and returns the exit status;
// or kHangOnX11, having said why in one line, when it cannot draw here and the X11 way may.
using WaylandOrnamentEntry = int (*)(const OrnamentStart& start);
inline constexpr int kHangOnX11 = -1;

inline constexpr char kWaylandOrnamentModuleFile[] = "lumetta-ornament-wayland.so";
inline constexpr char kWaylandOrnamentEntryName[] = "LumettaHangOnWayland";

// In the program, with the desktop's place taken (start.claim): loads the module and hangs the
// ornament on the Wayland desktop. Returns the exit status, or kHangOnX11 when the module
// cannot be had and start.options asked for no particular way.
int HangOnWayland(const OrnamentStart& start);
