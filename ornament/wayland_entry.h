// The ornament on a Wayland desktop's own layer surface is a module of its own, loaded only to
// hang it there: it brings GTK 3 and gtk-layer-shell, which the X11 ornament loads only when
// its menu first opens and the other ways never.
#pragma once

#include "ornament/ornament_host.h"
#include "ornament/runtime_control.h"
#include "os/end_signals.h"

#include <string>

struct WaylandOrnamentStart {
    const OrnamentOptions* options = nullptr;
    std::string installedFolder;
    CRuntimeClaim* claim = nullptr;  // the desktop's one place, taken; held by the caller to the end
    int wakeDescriptor = -1;         // readable once an end signal is caught
    int (*caught)() = nullptr;       // the end signal caught, or 0
};
// Hangs the ornament until it is taken down, and returns the exit status; or kHangOnX11, having
// said why in one line, when it cannot draw here and the X11 way may.
using WaylandOrnamentEntry = int (*)(const WaylandOrnamentStart& start);
inline constexpr int kHangOnX11 = -1;

inline constexpr char kWaylandOrnamentModuleFile[] = "lumetta-ornament-wayland.so";
inline constexpr char kWaylandOrnamentEntryName[] = "LumettaHangOnWayland";

// In the program, with the end signals caught: hangs the ornament on the Wayland desktop
// display names, or tells the one that hangs there, as RunOrnament says. Returns the exit
// status, or kHangOnX11.
int RunWaylandOrnament(const OrnamentOptions& options, const std::string& installedFolder, const std::string& display,
                       const CEndSignals& endSignals);
