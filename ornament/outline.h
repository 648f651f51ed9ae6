// The wreath's outline in a frame of the ornament: the pixels it covers at least half
// (kHalfCovered). They take the clicks, and on a desktop with no compositor to show the
// alpha they are the part of the window that is shown.
#pragma once

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

// The samples a pixel the ornament draws with at width x height: where a compositor shows its
// alpha, four, so that its edges blend into what is behind it; one where the window is cut to
// its outline instead, whose edge is a pixel's either way, and for more than a million pixels
// (1024 x 1024), where four samples of the kept and the drawn frame would hold more than 64
// MiB all day.
int OrnamentSamples(bool composited, int width, int height);
