#include "ornament/outline.h"

#include "view/scene.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <utility>

namespace {

// Runs of a row of the surface, left to right, none touching another.
using Runs = std::vector<std::pair<int, int>>;  // from, to (past the end)

Runs Joined(Runs runs)
{
    std::sort(runs.begin(), runs.end());
    Runs joined;
    for (const auto& run : runs) {
        if (!joined.empty() && run.first <= joined.back().second)
            joined.back().second = std::max(joined.back().second, run.second);
        else
            joined.push_back(run);
    }
    return joined;
}

// Each band of band rows as one row of its runs joined, then bands alike one under another
// made one rectangle.
std::vector<OutlineRect> Rects(const std::map<int, Runs>& rows, int band)
{
    std::map<int, Runs> bands;
    for (const auto& [y, runs] : rows) {
        Runs& joined = bands[y / band];
        joined.insert(joined.end(), runs.begin(), runs.end());
    }
    std::vector<OutlineRect> done, open;
    int last = -2;
    for (auto& [b, runs] : bands) {
        const Runs joined = Joined(std::move(runs));
        std::vector<OutlineRect> next;
        for (const auto& run : joined) {
            const int from = run.first, to = run.second;
            const auto same = std::find_if(open.begin(), open.end(),
                                           [&](const OutlineRect& r) { return r.x == from && r.x + r.width == to; });
            if (b == last + 1 && same != open.end()) {
                same->height += band;
                next.push_back(*same);
                open.erase(same);
            } else {
                next.push_back({from, b * band, to - from, band});
            }
        }
        done.insert(done.end(), open.begin(), open.end());
        open = std::move(next);
        last = b;
    }
    done.insert(done.end(), open.begin(), open.end());
    return done;
}

}  // namespace

std::vector<OutlineRow> CoveredRows(const std::uint8_t* rgba, int width, int height)
{
    std::vector<OutlineRow> rows;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = rgba + static_cast<std::size_t>(height - 1 - y) * width * 4;
        for (int x = 0; x < width;) {
            while (x < width && row[x * 4 + 3] < kHalfCovered)
                ++x;
            const int start = x;
            while (x < width && row[x * 4 + 3] >= kHalfCovered)
                ++x;
            if (x > start)
                rows.push_back({start, y, x - start});
        }
    }
    return rows;
}

std::vector<OutlineRect> OutlineRects(const std::vector<OutlineRow>& rows, int scale, std::size_t most)
{
    if (rows.empty())
        return {};
    std::map<int, Runs> surfaceRows;
    int bottom = 0;
    for (const OutlineRow& row : rows) {
        surfaceRows[row.y / scale].emplace_back(row.x / scale, (row.x + row.width + scale - 1) / scale);
        bottom = std::max(bottom, row.y / scale + 1);
    }
    for (auto& [y, runs] : surfaceRows)
        runs = Joined(std::move(runs));
    for (int band = 1;; band *= 2) {
        std::vector<OutlineRect> rects = Rects(surfaceRows, band);
        if (rects.size() <= most || band >= bottom) {
            // The last band may reach below the frame: cut to it.
            for (OutlineRect& r : rects)
                r.height = std::min(r.height, bottom - r.y);
            if (rects.size() > most) {
                OutlineRect all = rects.front();
                for (const OutlineRect& r : rects) {
                    const int right = std::max(all.x + all.width, r.x + r.width);
                    all.x = std::min(all.x, r.x);
                    all.width = right - all.x;
                }
                all.y = 0;
                all.height = bottom;
                return {all};
            }
            return rects;
        }
    }
}
