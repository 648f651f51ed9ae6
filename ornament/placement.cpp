#include "ornament/placement.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>

namespace {

constexpr int kLeastSide = 16, kMostSide = 8192;

// Reads digits at text[at] into value, as far as they go; false when there are none or the
// number passes most.
bool ReadNumber(const std::string& text, std::size_t& at, long most, long& value)
{
    const std::size_t start = at;
    value = 0;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
        value = value * 10 + (text[at] - '0');
        if (value > most)
            return false;
        ++at;
    }
    return at > start;
}

std::int64_t Overlap(const PlaceRect& a, const PlaceRect& b)
{
    const std::int64_t width = std::min<std::int64_t>(std::int64_t{a.x} + a.width, std::int64_t{b.x} + b.width) -
                               std::max<std::int64_t>(a.x, b.x);
    const std::int64_t height = std::min<std::int64_t>(std::int64_t{a.y} + a.height, std::int64_t{b.y} + b.height) -
                                std::max<std::int64_t>(a.y, b.y);
    return width > 0 && height > 0 ? width * height : 0;
}

// How far apart a point and a rectangle are, squared; 0 inside it.
std::int64_t Distance2(std::int64_t x, std::int64_t y, const PlaceRect& r)
{
    const std::int64_t dx = x < r.x ? r.x - x : x > std::int64_t{r.x} + r.width ? x - r.x - r.width : 0;
    const std::int64_t dy = y < r.y ? r.y - y : y > std::int64_t{r.y} + r.height ? y - r.y - r.height : 0;
    return dx * dx + dy * dy;
}

// value moved as little as it takes for [value, value + size) to lie in [low, low + room),
// or to low when it is longer.
int Within(std::int64_t value, int size, int low, int room)
{
    const std::int64_t high = std::int64_t{low} + room - size;
    return static_cast<int>(high < low ? low : std::clamp<std::int64_t>(value, low, high));
}

}  // namespace

std::string ReadGeometry(const std::string& text, Geometry& geometry)
{
    Geometry read;
    std::size_t at = text.size() > 0 && text[0] == '=' ? 1 : 0;
    long width = 0, height = 0;
    if (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
        if (!ReadNumber(text, at, kMostSide, width) || at >= text.size() || (text[at] != 'x' && text[at] != 'X') ||
            !ReadNumber(text, ++at, kMostSide, height) || width < kLeastSide || height < kLeastSide)
            return "each side is 16 to 8192";
        read.width = static_cast<int>(width);
        read.height = static_cast<int>(height);
    }
    if (at < text.size()) {
        long x = 0, y = 0;
        if (text[at] != '+' && text[at] != '-')
            return "it is not WxH+X+Y";
        read.fromRight = text[at++] == '-';
        if (!ReadNumber(text, at, kMostPlace, x) || at >= text.size() || (text[at] != '+' && text[at] != '-'))
            return at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) ? "a place is at most 32767"
                                                                                          : "it is not WxH+X+Y";
        read.fromBottom = text[at++] == '-';
        if (!ReadNumber(text, at, kMostPlace, y))
            return at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) ? "a place is at most 32767"
                                                                                          : "it is not WxH+X+Y";
        if (at != text.size())
            return "it is not WxH+X+Y";
        read.placed = true;
        read.x = static_cast<int>(x);
        read.y = static_cast<int>(y);
    }
    if (read.width == 0 && !read.placed)
        return "it is not WxH+X+Y";
    geometry = read;
    return {};
}

bool SeenOnAMonitor(const std::vector<PlaceRect>& monitors, const PlaceRect& window)
{
    const std::int64_t area = std::int64_t{window.width} * window.height;
    return std::any_of(monitors.begin(), monitors.end(),
                       [&](const PlaceRect& m) { return 4 * Overlap(window, m) >= area; });
}

PlaceRect OntoNearestMonitor(const std::vector<PlaceRect>& monitors, const PlaceRect& window)
{
    if (monitors.empty())
        return window;
    const std::int64_t cx = std::int64_t{window.x} + window.width / 2, cy = std::int64_t{window.y} + window.height / 2;
    const PlaceRect& nearest = *std::min_element(monitors.begin(), monitors.end(), [&](const auto& a, const auto& b) {
        return Distance2(cx, cy, a) < Distance2(cx, cy, b);
    });
    PlaceRect moved = window;
    moved.x = Within(window.x, window.width, nearest.x, nearest.width);
    moved.y = Within(window.y, window.height, nearest.y, nearest.height);
    return moved;
}

PlaceRect DefaultPlace(const std::vector<PlaceRect>& monitors, const PlaceRect& screen, int width, int height,
                       int margin)
{
    const PlaceRect& on = monitors.empty() ? screen : monitors.front();
    PlaceRect place{on.x + on.width - width - margin, on.y + margin, width, height};
    return OntoNearestMonitor({on}, place);
}

PlaceRect GeometryPlace(const Geometry& geometry, const PlaceRect& screen, int width, int height)
{
    const std::int64_t x = geometry.fromRight ? std::int64_t{screen.x} + screen.width - width - geometry.x
                                              : std::int64_t{screen.x} + geometry.x;
    const std::int64_t y = geometry.fromBottom ? std::int64_t{screen.y} + screen.height - height - geometry.y
                                               : std::int64_t{screen.y} + geometry.y;
    const auto fit = [](std::int64_t v) {
        return static_cast<int>(std::clamp<std::int64_t>(v, -kMostPlace - kMostSide, kMostPlace));
    };
    return {fit(x), fit(y), width, height};
}

std::vector<PlaceRect> RectsOf(const std::vector<Monitor>& monitors)
{
    std::vector<PlaceRect> rects;
    rects.reserve(monitors.size());
    for (const Monitor& monitor : monitors)
        rects.push_back(monitor.rect);
    return rects;
}

PlaceRect LayoutOf(const std::vector<PlaceRect>& monitors)
{
    if (monitors.empty())
        return {};
    PlaceRect all = monitors.front();
    for (const PlaceRect& m : monitors) {
        const int right = std::max(all.x + all.width, m.x + m.width);
        const int bottom = std::max(all.y + all.height, m.y + m.height);
        all.x = std::min(all.x, m.x);
        all.y = std::min(all.y, m.y);
        all.width = right - all.x;
        all.height = bottom - all.y;
    }
    return all;
}

int MonitorOf(const std::vector<PlaceRect>& monitors, const PlaceRect& window)
{
    int best = -1;
    std::int64_t most = 0;
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        if (const std::int64_t overlap = Overlap(window, monitors[i]); overlap > most) {
            most = overlap;
            best = static_cast<int>(i);
        }
    }
    if (best >= 0 || monitors.empty())
        return best;
    const std::int64_t cx = std::int64_t{window.x} + window.width / 2, cy = std::int64_t{window.y} + window.height / 2;
    const auto nearest = std::min_element(monitors.begin(), monitors.end(), [&](const auto& a, const auto& b) {
        return Distance2(cx, cy, a) < Distance2(cx, cy, b);
    });
    return static_cast<int>(nearest - monitors.begin());
}

PlaceRect OntoItsMonitor(const std::vector<PlaceRect>& monitors, const PlaceRect& window)
{
    const int on = MonitorOf(monitors, window);
    return on < 0 ? window : OntoNearestMonitor({monitors[static_cast<std::size_t>(on)]}, window);
}

bool FitOnMonitor(const PlaceRect& monitor, int& width, int& height)
{
    if (monitor.width <= 0 || monitor.height <= 0 || (width <= monitor.width && height <= monitor.height))
        return false;
    // The smaller of the two shares, in whole pixels, never below the least side.
    const double share =
        std::min(static_cast<double>(monitor.width) / width, static_cast<double>(monitor.height) / height);
    width = std::max(kLeastSide, static_cast<int>(width * share));
    height = std::max(kLeastSide, static_cast<int>(height * share));
    return true;
}

PlaceRect StartPlace(const Geometry& geometry, const OrnamentKept& kept, const std::vector<Monitor>& monitors,
                     int width, int height, int margin, bool& moved)
{
    const std::vector<PlaceRect> rects = RectsOf(monitors);
    const PlaceRect layout = LayoutOf(rects);
    moved = false;
    if (geometry.placed) {
        const PlaceRect asked = GeometryPlace(geometry, layout, width, height);
        moved = !SeenOnAMonitor(rects, asked);
        return moved ? OntoNearestMonitor(rects, asked) : asked;
    }
    for (const Monitor& m : monitors) {
        const PlaceRect place = {m.rect.x + kept.outputX, m.rect.y + kept.outputY, width, height};
        if (!kept.output.empty() && m.name == kept.output && SeenOnAMonitor({m.rect}, place))
            return place;
    }
    if (const PlaceRect place = {kept.x, kept.y, width, height}; kept.placed && SeenOnAMonitor(rects, place))
        return place;
    return DefaultPlace(rects, layout, width, height, margin);
}
