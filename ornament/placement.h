// Where the ornament hangs: on the monitors (X11) or outputs (Wayland) as the window system
// has them, which may be of different sizes with gaps between them where nothing is seen.
// Plain values only, no window system.
#pragma once

#include "core/rect.h"
#include "ornament/kept.h"

#include <string>
#include <vector>

// A rectangle in the desktop's layout, from its top left: pixels of an X11 root window, or a
// Wayland compositor's logical pixels.
using PlaceRect = Rect;

// A monitor or output, the name empty where the window system gives none.
struct Monitor {
    PlaceRect rect;
    std::string name;
    bool operator==(const Monitor&) const = default;
};
std::vector<PlaceRect> RectsOf(const std::vector<Monitor>& monitors);
// The rectangle round all of them: what --geometry's places count from.
PlaceRect LayoutOf(const std::vector<PlaceRect>& monitors);

// X keeps places and sizes in 16 bits: a place beyond this is refused.
inline constexpr int kMostPlace = 32767;

// A size and place as --geometry gives them: "WxH+X+Y", "WxH" or "+X+Y", signs as X programs
// take them (-0 is the right or bottom edge).
struct Geometry {
    int width = 0, height = 0;  // 0: not given
    bool placed = false;
    bool fromRight = false, fromBottom = false;  // x, y count from that edge, to the window's
    int x = 0, y = 0;
};
// Reads text into geometry. Returns an empty string, or why it is not one: not a geometry, a
// side outside 16 to 8192, or a place beyond 32767 either way.
std::string ReadGeometry(const std::string& text, Geometry& geometry);

// Whether enough of window is on one of the monitors to be seen and taken hold of: a quarter
// of it, on one monitor (a window across a gap between monitors of different heights may be
// mostly off both).
bool SeenOnAMonitor(const std::vector<PlaceRect>& monitors, const PlaceRect& window);
// The monitor that holds most of window, else (on none) the nearest to its centre; -1 when
// there are none.
int MonitorOf(const std::vector<PlaceRect>& monitors, const PlaceRect& window);
// window moved onto the monitor nearest to its centre: as little as it takes to be whole on
// it, or its top left corner at the monitor's when it is larger. Unmoved without monitors.
PlaceRect OntoNearestMonitor(const std::vector<PlaceRect>& monitors, const PlaceRect& window);
// window moved wholly onto the monitor that holds most of it (the nearest, on none).
PlaceRect OntoItsMonitor(const std::vector<PlaceRect>& monitors, const PlaceRect& window);
// The default place of a window of width x height: margin in from the top right corner of
// the first monitor (the primary), or of the screen when there is no monitor.
PlaceRect DefaultPlace(const std::vector<PlaceRect>& monitors, const PlaceRect& screen, int width, int height,
                       int margin);
// Where a window of width x height goes for geometry, on the screen (its edges are what
// -X and -Y count from).
PlaceRect GeometryPlace(const Geometry& geometry, const PlaceRect& screen, int width, int height);
// width x height made to fit monitor, keeping its shape. Returns whether it had to be.
bool FitOnMonitor(const PlaceRect& monitor, int& width, int& height);

// Where the ornament of width x height starts: --geometry's place (brought onto a monitor
// when no quarter of it is on one, with a line for said); else the place kept, on its named
// monitor or on the desktop, when a quarter of it is seen; else margin in from the first
// monitor's top right corner.
PlaceRect StartPlace(const Geometry& geometry, const OrnamentKept& kept, const std::vector<Monitor>& monitors,
                     int width, int height, int margin, bool& moved);
