#include "view/moving_parts.h"

#include "bulbs/bulb_string.h"
#include "models/wreath.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {

// How far beyond a part's projected corners its rectangle reaches: rasterising rounds to the
// pixel, and a lit edge may colour the pixel beside it.
constexpr int kMarginPixels = 2;

struct Point3 {
    float x, y, z;
};

// The forty bulb centres in the wreath's coordinates, [colour][index], walked as the string is.
const std::array<std::array<Point3, 10>, 4>& BulbCentres()
{
    static const auto centres = [] {
        std::array<std::array<Point3, 10>, 4> c{};
        Point3 at{0.0f, 0.0f, 0.0f};
        for (int i = 0; i < 10; ++i) {
            for (int colour = 0; colour < 4; ++colour) {
                at.x += g_fBulbOffset[colour][i][0];
                at.y += g_fBulbOffset[colour][i][1];
                at.z += g_fBulbOffset[colour][i][2];
                c[colour][i] = at;
            }
        }
        return c;
    }();
    return centres;
}

// The pixels that a box centred on c with half sides h covers in the viewport, with a margin;
// the whole viewport when a corner is not in front of the camera.
PixelRect ProjectedBox(const Point3& c, const Point3& h, const GLdouble mv[16], const GLdouble pr[16],
                       const GLint vp[4])
{
    double left = vp[0] + vp[2], bottom = vp[1] + vp[3], right = vp[0], top = vp[1];
    for (int corner = 0; corner < 8; ++corner) {
        const double in[4] = {c.x + ((corner & 1) ? h.x : -h.x), c.y + ((corner & 2) ? h.y : -h.y),
                              c.z + ((corner & 4) ? h.z : -h.z), 1.0};
        double eye[4], clip[4];
        for (int r = 0; r < 4; ++r)
            eye[r] = mv[r] * in[0] + mv[4 + r] * in[1] + mv[8 + r] * in[2] + mv[12 + r] * in[3];
        for (int r = 0; r < 4; ++r)
            clip[r] = pr[r] * eye[0] + pr[4 + r] * eye[1] + pr[8 + r] * eye[2] + pr[12 + r] * eye[3];
        if (!(clip[3] > 0.0))
            return {vp[0], vp[1], vp[2], vp[3]};
        const double x = vp[0] + (clip[0] / clip[3] + 1.0) * 0.5 * vp[2];
        const double y = vp[1] + (clip[1] / clip[3] + 1.0) * 0.5 * vp[3];
        left = std::min(left, x);
        right = std::max(right, x);
        bottom = std::min(bottom, y);
        top = std::max(top, y);
    }
    const int x0 = std::max(vp[0], static_cast<int>(std::floor(left)) - kMarginPixels);
    const int y0 = std::max(vp[1], static_cast<int>(std::floor(bottom)) - kMarginPixels);
    const int x1 = std::min(vp[0] + vp[2], static_cast<int>(std::ceil(right)) + kMarginPixels);
    const int y1 = std::min(vp[1] + vp[3], static_cast<int>(std::ceil(top)) + kMarginPixels);
    if (x1 <= x0 || y1 <= y0)
        return {};
    return {x0, y0, x1 - x0, y1 - y0};
}

Point3 CentreOf(const MeshBounds& b)
{
    return {(b.low[0] + b.high[0]) / 2, (b.low[1] + b.high[1]) / 2, (b.low[2] + b.high[2]) / 2};
}

Point3 HalfOf(const MeshBounds& b)
{
    return {(b.high[0] - b.low[0]) / 2, (b.high[1] - b.low[1]) / 2, (b.high[2] - b.low[2]) / 2};
}

}  // namespace

MovingPartRects WhereMovingPartsDraw(const MovingLooks& now, const GLdouble modelView[16],
                                     const GLdouble projection[16], const GLint viewport[4])
{
    static_assert(kApples == 5 && std::tuple_size_v<FlareSet> == 5, "five apples, each with a flare");
    MovingPartRects rects;
    const auto project = [&](const Point3& centre, const Point3& half) {
        return ProjectedBox(centre, half, modelView, projection, viewport);
    };
    for (std::size_t i = 0; i < now.bulbs.size(); ++i) {
        const BulbReach reach = ReachOfBulb(now.bulbs[i]);
        for (std::size_t c = 0; c < rects.bulbs.size(); ++c)
            rects.bulbs[c][i] = project(BulbCentres()[c][i], {reach.across, reach.across, reach.deep});
    }
    // The meshes never change: their boxes are found once.
    static const auto boxes = [] {
        std::array<std::array<MeshBounds, 2>, kApples> b{};
        for (int k = 0; k < kApples; ++k)
            b[k] = {AppleStemBounds(k), AppleBounds(k)};
        return b;
    }();
    for (int k = 0; k < kApples; ++k) {
        const auto& [stem, apple] = boxes[k];
        rects.stems[k] = project(CentreOf(stem), HalfOf(stem));
        rects.apples[k] = project(CentreOf(apple), HalfOf(apple));
    }
    for (std::size_t k = 0; k < rects.flares.size(); ++k) {
        const FlareSweep& f = FlareSweeps()[k];
        rects.flares[k] = project({f.x, f.y, f.z}, {f.reach, f.reach, 0.0f});
    }
    return rects;
}

MovingLooks LooksOf(const SceneState& state)
{
    return {state.m_fBulb, state.m_fFlareAngle};
}

std::vector<PixelRect> MovingPartsChanged(const MovingLooks& before, const MovingLooks& now,
                                          const GLdouble modelView[16], const GLdouble projection[16],
                                          const GLint viewport[4])
{
    std::vector<PixelRect> rects;
    const auto add = [&](const Point3& centre, const Point3& half) {
        if (const PixelRect r = ProjectedBox(centre, half, modelView, projection, viewport); r.width > 0)
            rects.push_back(r);
    };
    for (std::size_t i = 0; i < now.bulbs.size(); ++i) {
        // Exactly: a step that lands on the same value draws the same bulb.
        if (before.bulbs[i] == now.bulbs[i])
            continue;
        const BulbReach a = ReachOfBulb(before.bulbs[i]), b = ReachOfBulb(now.bulbs[i]);
        const float across = std::max(a.across, b.across), deep = std::max(a.deep, b.deep);
        for (const auto& colour : BulbCentres())
            add(colour[i], {across, across, deep});
    }
    // The apples over the flares change where the flares do.
    if (before.flareAngle != now.flareAngle) {
        for (const FlareSweep& f : FlareSweeps())
            add({f.x, f.y, f.z}, {f.reach, f.reach, 0.0f});
    }
    return rects;
}

MovingParts PartsWithin(const MovingPartRects& rects, const PixelRect& region)
{
    const auto touches = [&](const PixelRect& r) { return r.width > 0 && Overlap(r, region); };
    MovingParts parts;
    for (std::size_t c = 0; c < parts.bulbs.size(); ++c)
        for (std::size_t i = 0; i < parts.bulbs[c].size(); ++i)
            parts.bulbs[c][i] = touches(rects.bulbs[c][i]);
    for (std::size_t k = 0; k < parts.apples.size(); ++k) {
        parts.stems[k] = touches(rects.stems[k]);
        parts.apples[k] = touches(rects.apples[k]);
    }
    for (std::size_t k = 0; k < parts.flares.size(); ++k)
        parts.flares[k] = touches(rects.flares[k]);
    return parts;
}
