// Lumetta as an ornament hung on the desktop: the wreath alone, in a window of its own with no
// frame and no backdrop, its bulbs blinking, and the desktop and its windows showing through
// wherever the wreath is not. An X11 window (Xwayland under a Wayland desktop) with a 32-bit
// visual and premultiplied alpha, as compositors take it; on every workspace, below ordinary
// windows (or above), out of the taskbar, pager and Alt+Tab. Clicks pass through but on the
// wreath, which a left-button drag moves; its place is kept in the settings file.
#pragma once

#include "view/scene_start.h"

#include <string>

struct OrnamentOptions {
    bool above = false;  // above ordinary windows rather than below them
    // --geometry: a size (0: the default, scaled as the desktop is) and a place (else the
    // one kept from last time, or the default).
    int width = 0;
    int height = 0;
    bool placed = false;
    int x = 0;
    int y = 0;
    SceneStart start;
};

// Hangs the ornament until it is taken down: Esc while it has the focus, the window manager's
// close, SIGTERM, SIGINT or SIGHUP (not ignored at the start), or the X server going. Returns
// the exit status: 0 then, and when one hangs already on this display (it says so, and how to
// take it down); 1, with one line on stderr, when there is no display, or no visual with an
// alpha channel for GL. It needs no backdrop picture.
int RunOrnament(const OrnamentOptions& options, const std::string& installedFolder);

// Reads "WxH+X+Y", "WxH" or "+X+Y" (X's geometry, signs allowed for the place) into options.
// Returns false when text is none of them.
bool ReadGeometry(const std::string& text, OrnamentOptions& options);
