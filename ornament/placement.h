// Where the ornament hangs: on the monitors as the X server has them, which may be of
// different sizes with gaps between them where nothing is seen. Plain values only, no display.
#pragma once

#include <map>
#include <string>
#include <vector>

// A rectangle on the root window, in pixels.
struct PlaceRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const PlaceRect&) const = default;
};

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
// window moved onto the monitor nearest to its centre: as little as it takes to be whole on
// it, or its top left corner at the monitor's when it is larger. Unmoved without monitors.
PlaceRect OntoNearestMonitor(const std::vector<PlaceRect>& monitors, const PlaceRect& window);
// The default place of a window of width x height: margin in from the top right corner of
// the first monitor (the primary), or of the screen when there is no monitor.
PlaceRect DefaultPlace(const std::vector<PlaceRect>& monitors, const PlaceRect& screen, int width, int height,
                       int margin);
// Where a window of width x height goes for geometry, on the screen (its edges are what
// -X and -Y count from).
PlaceRect GeometryPlace(const Geometry& geometry, const PlaceRect& screen, int width, int height);
// The same, brought onto the nearest monitor when no quarter of it is on one; moved says
// whether it was, for the caller to say so.
PlaceRect AskedPlace(const Geometry& geometry, const std::vector<PlaceRect>& monitors, const PlaceRect& screen,
                     int width, int height, bool& moved);

// The ornament's sides at scale 1, from smallest to largest, that its menu steps through.
inline constexpr int kOrnamentSides[] = {240, 360, 480, 600};
inline constexpr int kDefaultOrnamentSide = 360;
// The side after side, one step larger or smaller; side itself at either end.
int NextSide(int side, bool larger);

// What the ornament keeps from one run to the next, in its group of the settings file: its
// place (only ever saved after a drag), side at scale 1, pattern, flares, above or below, and
// whether it is locked in place. An X11 window's place is on the root window; a Wayland layer
// surface's, the output it is on (by its name) and its place from that output's top left.
struct OrnamentKept {
    bool placed = false;
    int x = 0, y = 0;
    std::string output;  // empty: no place kept on Wayland
    int outputX = 0, outputY = 0;
    int side = kDefaultOrnamentSide;
    int pattern = 1;
    bool spin = false, above = false, locked = false;
};
// The kept values read from the group's keys: a value that is missing, not a number, or out
// of its range (a place beyond 32767, a side outside 16 to 8192, a pattern other than 1 to 3,
// a flag other than 0 or 1) is taken as not kept, and its default used.
OrnamentKept ReadKept(const std::map<std::string, std::string>& values);
// The keys under which each is kept.
inline constexpr char kKeptGroup[] = "Ornament";
inline constexpr char kKeptX[] = "X", kKeptY[] = "Y", kKeptSide[] = "Side", kKeptPattern[] = "Pattern",
                      kKeptSpin[] = "Spin", kKeptAbove[] = "Above", kKeptLocked[] = "Locked", kKeptOutput[] = "Output",
                      kKeptOutputX[] = "OutputX", kKeptOutputY[] = "OutputY";
