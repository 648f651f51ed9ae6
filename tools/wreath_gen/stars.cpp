// Five raised gold stars with six points. Each is a fan of twelve facets from a centre
// raised above a flat rim, so the spot light picks out the facets like pressed metal.
#include "geometry.h"
#include "checks.h"
#include "wreath_gen.h"

#include <algorithm>
#include <string>

namespace {

constexpr double kRise = 0.375;  // centre above the rim

// One rim point, from the star's centre: either polar (degrees counter-clockwise from +x,
// radius) or an exact offset where the point sets a bound of the mesh.
struct RimPoint {
    double angle, radius;
    double dx = 0.0, dy = 0.0;
    bool exact = false;
};
constexpr RimPoint Polar(double angle, double radius)
{
    return {angle, radius};
}
constexpr RimPoint Exact(double dx, double dy)
{
    return {0.0, 0.0, dx, dy, true};
}

struct Star {
    Vec3 centre;
    RimPoint rim[12];  // tip, inner corner, tip, ... counter-clockwise from the top tip
};

// Hand-set, slightly uneven stars; the exact points are the top tip and first corner of the
// first star, the leftmost tip of the second, the lowest of the third, the rightmost of the fifth.
// clang-format off
const Star kStars[5] = {
    {{-3.4463, 5.2, 1.6},
     {Exact(-0.0037, 0.8969), Exact(-0.1826, 0.3938), Polar(150.5, 0.915), Polar(179.0, 0.440),
      Polar(211.0, 0.925), Polar(240.5, 0.437), Polar(269.5, 0.910), Polar(300.0, 0.445),
      Polar(330.5, 0.920), Polar(1.0, 0.440), Polar(30.5, 0.905), Polar(61.0, 0.436)}},
    {{-4.4963, -0.25, 1.5},
     {Polar(89.0, 0.920), Polar(119.0, 0.443), Polar(149.5, 0.910), Polar(179.5, 0.438),
      Exact(-0.8090, -0.4381), Polar(239.0, 0.440), Polar(270.5, 0.915), Polar(299.5, 0.446),
      Polar(329.5, 0.930), Polar(0.5, 0.435), Polar(29.5, 0.912), Polar(59.5, 0.442)}},
    {{-2.2463, -6.25, 1.4},
     {Polar(90.5, 0.908), Polar(120.5, 0.450), Polar(150.0, 0.920), Polar(181.0, 0.440),
      Polar(210.5, 0.912), Polar(240.0, 0.436), Exact(0.0120, -0.9187), Polar(300.5, 0.441),
      Polar(330.0, 0.925), Polar(0.0, 0.444), Polar(30.5, 0.903), Polar(60.0, 0.438)}},
    {{4.3037, -3.9, 1.5},
     {Polar(91.0, 0.917), Polar(121.0, 0.439), Polar(150.5, 0.906), Polar(180.0, 0.447),
      Polar(209.5, 0.921), Polar(239.5, 0.434), Polar(270.0, 0.914), Polar(300.0, 0.443),
      Polar(331.0, 0.908), Polar(0.5, 0.440), Polar(30.0, 0.923), Polar(60.5, 0.437)}},
    {{5.7537, 3.75, 1.6},
     {Polar(89.5, 0.911), Polar(119.5, 0.441), Polar(150.0, 0.919), Polar(180.5, 0.436),
      Polar(210.0, 0.907), Polar(240.5, 0.445), Polar(269.5, 0.920), Polar(299.5, 0.438),
      Exact(0.8016, -0.4412), Polar(0.0, 0.443), Polar(30.5, 0.902), Polar(60.0, 0.440)}},
};
// clang-format on

Vec3 RimPosition(const Star& star, const RimPoint& p)
{
    const double dx = p.exact ? p.dx : p.radius * std::cos(Radians(p.angle));
    const double dy = p.exact ? p.dy : p.radius * std::sin(Radians(p.angle));
    return {star.centre.x + dx, star.centre.y + dy, star.centre.z - kRise};
}

void CheckStars(const Mesh& m)
{
    double tipMin = 1e9, tipMax = 0, innerMin = 1e9, innerMax = 0;
    Vec3 lo{1e9, 1e9, 1e9}, hi{-1e9, -1e9, -1e9};
    for (int s = 0; s < 5; ++s) {
        const Vec3 c = AsFloat(m.vertices[25 * s]);
        for (int k = 0; k < 12; ++k) {
            const Vec3 p = AsFloat(m.vertices[25 * s + 1 + 2 * k]);
            const double r = std::hypot(p.x - c.x, p.y - c.y);
            if (k % 2 == 0)
                tipMin = std::min(tipMin, r), tipMax = std::max(tipMax, r);
            else
                innerMin = std::min(innerMin, r), innerMax = std::max(innerMax, r);
            const auto& t = m.triangles[12 * s + k];
            Require(WindingZ(m.vertices[t[0]], m.vertices[t[1]], m.vertices[t[2]]) > 0.0,
                    "stars: star " + std::to_string(s) + " facet " + std::to_string(k) + " faces away");
        }
        for (int v = 0; v < 25; ++v) {
            const Vec3 p = AsFloat(m.vertices[25 * s + v]);
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
        }
    }
    Require(RoundsTo(tipMin, 0.90, 0.005) && RoundsTo(tipMax, 0.93, 0.005), "stars: tip radii off");
    Require(RoundsTo(innerMin, 0.43, 0.005) && RoundsTo(innerMax, 0.45, 0.005), "stars: corner radii off");
    Require(RoundsTo(lo.x, -5.3053) && RoundsTo(hi.x, 6.5553) && RoundsTo(lo.y, -7.1687) && RoundsTo(hi.y, 6.0969) &&
                RoundsTo(lo.z, 1.025) && RoundsTo(hi.z, 1.6),
            "stars: bounds off");
}

}  // namespace

Mesh BuildStars()
{
    Mesh m;
    for (const Star& star : kStars) {
        const int base = static_cast<int>(m.vertices.size());
        m.vertices.push_back(star.centre);
        // Each rim point is stored twice, the first one once more at the end, so that facet
        // k reads its two rim corners from block vertices 2k + 1 and 2k + 2.
        const Vec3 first = RimPosition(star, star.rim[0]);
        m.vertices.push_back(first);
        for (int k = 1; k < 12; ++k) {
            const Vec3 p = RimPosition(star, star.rim[k]);
            m.vertices.push_back(p);
            m.vertices.push_back(p);
        }
        m.vertices.push_back(first);
        // Rim counter-clockwise, then the raised centre: every facet faces the viewer.
        for (int k = 0; k < 12; ++k)
            m.triangles.push_back({base + 2 * k + 1, base + 2 * k + 2, base});
    }
    CheckStars(m);
    return m;
}
