// The wreath's outline in a frame of the ornament: the pixels it covers at least half
// (kHalfCovered). They take the clicks, and on a desktop with no compositor to show the
// alpha they are the part of the window that is shown.
#pragma once

#include "core/rect.h"

#include <cstdint>
#include <vector>

// One run of covered pixels in a row, counted from the top left.
struct OutlineRow {
    int x = 0, y = 0, width = 0;
    bool operator==(const OutlineRow&) const = default;
};

// The covered runs of width x height RGBA pixels as GL reads them (rows bottom-up), from the
// top row down and left to right.
std::vector<OutlineRow> CoveredRows(const std::uint8_t* rgba, int width, int height);

// A rectangle of an outline, from the top left.
using OutlineRect = Rect;
// The outline's rows, in pixels of a frame drawn scale to a pixel of the surface, as
// rectangles of the surface's pixels that cover every one of them: runs rounded outwards,
// those that stand one under another alike made one, and no more than most of them (the
// rows taken a few at a time, each band as wide as its widest runs, where that is what it
// takes). A compositor is sent one request a rectangle.
std::vector<OutlineRect> OutlineRects(const std::vector<OutlineRow>& rows, int scale, std::size_t most);
