#include "view/frame_regions.h"

#include <algorithm>
#include <cstddef>

namespace {

// The rectangle round both.
PixelRect Joined(const PixelRect& a, const PixelRect& b)
{
    const int x = std::min(a.x, b.x), y = std::min(a.y, b.y);
    return {x, y, std::max(a.x + a.width, b.x + b.width) - x, std::max(a.y + a.height, b.y + b.height) - y};
}

long Area(const PixelRect& r)
{
    return static_cast<long>(r.width) * r.height;
}

}  // namespace

bool Overlap(const PixelRect& a, const PixelRect& b)
{
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

std::vector<PixelRect> TilesTouched(const std::vector<PixelRect>& rects, int width, int height)
{
    std::vector<PixelRect> tiles;
    if (width <= 0 || height <= 0)
        return tiles;
    const int columns = (width + kFrameTile - 1) / kFrameTile;
    const int rows = (height + kFrameTile - 1) / kFrameTile;
    std::vector<char> touched(static_cast<std::size_t>(columns) * rows, 0);
    for (const PixelRect& r : rects) {
        const int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
        const int x1 = std::min(r.x + r.width, width), y1 = std::min(r.y + r.height, height);
        if (x1 <= x0 || y1 <= y0)
            continue;
        for (int row = y0 / kFrameTile; row <= (y1 - 1) / kFrameTile; ++row)
            for (int column = x0 / kFrameTile; column <= (x1 - 1) / kFrameTile; ++column)
                touched[static_cast<std::size_t>(row) * columns + column] = 1;
    }
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns;) {
            if (!touched[static_cast<std::size_t>(row) * columns + column]) {
                ++column;
                continue;
            }
            const int start = column;
            while (column < columns && touched[static_cast<std::size_t>(row) * columns + column])
                ++column;
            const int x = start * kFrameTile, y = row * kFrameTile;
            const PixelRect run{x, y, std::min(column * kFrameTile, width) - x, std::min(y + kFrameTile, height) - y};
            // A run under one of the same columns in the row below joins it: fewer, taller
            // rectangles, each a copy of its own.
            const auto below = std::find_if(tiles.begin(), tiles.end(), [&](const PixelRect& t) {
                return t.x == run.x && t.width == run.width && t.y + t.height == run.y;
            });
            if (below != tiles.end())
                below->height += run.height;
            else
                tiles.push_back(run);
        }
    }
    return tiles;
}

std::vector<PixelRect> DisjointRegions(std::vector<PixelRect> rects, int slack)
{
    std::erase_if(rects, [](const PixelRect& r) { return r.width <= 0 || r.height <= 0; });
    // Joining two may make the pair overlap a third: round again until none is joined.
    for (bool joined = true; joined;) {
        joined = false;
        for (std::size_t i = 0; i < rects.size() && !joined; ++i) {
            for (std::size_t j = i + 1; j < rects.size() && !joined; ++j) {
                const PixelRect both = Joined(rects[i], rects[j]);
                if (Overlap(rects[i], rects[j]) || Area(both) <= Area(rects[i]) + Area(rects[j]) + slack) {
                    rects[i] = both;
                    rects.erase(rects.begin() + static_cast<std::ptrdiff_t>(j));
                    joined = true;
                }
            }
        }
    }
    return rects;
}
