// What the command line asks of the ornament, whichever window system it hangs on.
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
