// The Wayland compositor that WAYLAND_DISPLAY names, as the ways of showing the scene look at
// it before choosing how to show it: whether it answers, and whether it offers layer surfaces
// (zwlr_layer_shell_v1), on which a client hangs something on the desktop itself.
#pragma once

#include <string>

struct WaylandDesktop {
    std::string display;      // WAYLAND_DISPLAY, or empty when it is unset or empty
    bool answers = false;     // a compositor took the connection and answered
    bool layerShell = false;  // and offers layer surfaces
    bool silent = false;      // a compositor took the connection but did not answer in time
};

// Connects to the compositor WAYLAND_DISPLAY names, asks what it offers, and lets it go; waits
// for the answer up to limitMs, or until wakeDescriptor (when given) becomes readable. Does
// nothing when the variable is unset.
WaylandDesktop FindWaylandDesktop(int limitMs, int wakeDescriptor = -1);
