#include "ornament/outline.h"

#include "view/scene.h"

#include <cstddef>

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

int OrnamentSamples(bool composited, int width, int height)
{
    constexpr long kMostSmoothedPixels = 1024L * 1024;
    return composited && static_cast<long>(width) * height <= kMostSmoothedPixels ? 4 : 1;
}
