// The rectangles a frame drawn over the still parts is made of: where it changed, as the tiles
// a window is given, and as the few regions drawn again. Plain arithmetic, no GL.
#pragma once

#include "core/rect.h"

#include <vector>

// A rectangle of the framebuffer in pixels, from its bottom left corner as GL counts them.
using PixelRect = Rect;

// The side of the square tiles in which the changed parts of a frame are brought to a window.
inline constexpr int kFrameTile = 32;

// The tiles of a width x height frame that any of rects touches, as few rectangles: each run of
// touched tiles along a row of tiles, joined with the same run in the rows above it, clipped to
// the frame; from the bottom.
std::vector<PixelRect> TilesTouched(const std::vector<PixelRect>& rects, int width, int height);

// Rectangles, as few as is worth it, that cover every one of rects and overlap none of each
// other: any two that overlap are joined into the rectangle round both, and so are two whose
// joined rectangle is no more than slack pixels larger than the pair.
std::vector<PixelRect> DisjointRegions(std::vector<PixelRect> rects, int slack);

// Whether a and b share a pixel.
bool Overlap(const PixelRect& a, const PixelRect& b);
