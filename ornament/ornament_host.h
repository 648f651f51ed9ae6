// Lumetta as an ornament hung on the desktop: the wreath alone, in a window of its own with no
// frame and no backdrop, its bulbs blinking, and the desktop and its windows showing through
// wherever the wreath is not. An X11 window (Xwayland under a Wayland desktop) with a 32-bit
// visual and premultiplied alpha, as compositors take it; on every workspace, below ordinary
// windows (or above), out of the taskbar, pager and Alt+Tab, on a monitor. Clicks pass through
// but on the wreath, which a left-button drag moves and a right click opens its menu on; what
// the user chose is kept in the settings file for the next ornament.
#pragma once

#include "ornament/placement.h"
#include "view/scene_start.h"

#include <string>
#include <vector>

// The window system it hangs on: a layer surface of the Wayland compositor where it offers
// them, else an X11 window (Xwayland's on a Wayland desktop); or the one asked for.
enum class OrnamentWay {
    Desktop,  // as the desktop has it
    X11,      // --x11
    Wayland,  // --wayland
};

struct OrnamentOptions {
    bool stop = false;                   // --stop: take down the one that hangs
    bool above = false;                  // --above
    std::string geometryText;            // --geometry as given, or empty
    Geometry geometry;                   // --geometry read
    SceneStart start;                    // the scene options
    bool patternGiven = false;           // --pattern given, so that it wins over the kept pattern
    std::vector<std::string> notHanded;  // options given that an ornament that hangs cannot take
    OrnamentWay way = OrnamentWay::Desktop;
};

// Hangs the ornament until it is taken down: Esc while it has the focus, its menu's "Take
// down", lumetta --ornament --stop, the window manager's close, the window destroyed, SIGTERM,
// SIGINT or SIGHUP (not ignored at the start), or the X server going. With --stop, takes down
// the one that hangs instead. Returns the exit status: 0 when it ends so, when one hangs
// already on this display (it says so, and hands it the options given), or when --stop took
// one down; 1, with one line on stderr, when there is no display, no visual with an alpha
// channel for GL, nothing hangs for --stop, or the one that hangs does not answer; 2 when
// the one that hangs cannot take an option given. It needs no backdrop picture.
int RunOrnament(const OrnamentOptions& options, const std::string& installedFolder);
