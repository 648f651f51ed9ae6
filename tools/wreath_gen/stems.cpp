// Five apple stems: slightly curved woody stalks rising out of the apples' dimples, each with
// a cut end on top and a point buried in the apple below.
#include "ornament_apple.h"
#include "checks.h"
#include "wreath_gen.h"

#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace {

const char* const kMesh = "stems";
constexpr double kPi = std::numbers::pi;

constexpr int kSides = 11;  // facets round the stalk
constexpr int kRings = 5;
// The stalk's side is made of five lengthwise strips, each with vertices of its own along its
// edges, so that the strips' normals can differ there and the stalk shows faint ridges.
constexpr std::array<int, 6> kStripStart = {0, 2, 4, 6, 8, 11};
constexpr int kRingVertices = kSides + 5;
constexpr int kStemVertices = kRings * kRingVertices + kSides + 2;  // side, cut end, foot
constexpr int kStemTriangles = 261;
constexpr int kDrawnTriangles = 2 * kSides * (kRings - 1) + 2 * kSides;

// Stems in storage order: the apple each stands on (its index in the apples' order) and the
// way it leans, in radians from +x towards the viewer.
struct StemPlace {
    int apple;
    double lean;
};
constexpr std::array<StemPlace, 5> kStems = {{
    {2, 3.6},    // top right: to the left and a little back
    {3, 1.66},   // right: towards the viewer
    {1, -0.35},  // bottom right: to the right and a little back
    {4, kPi},    // left: to the left
    {0, 0.55},   // bottom left: to the right and forward
}};

// The stems' chosen reach; the first, second and fourth stems meet it (see BuildStems).
constexpr double kLeastX = -6.6218, kGreatestX = 5.0396, kLeastZ = 1.7841, kGreatestZ = 2.1191;

// One stem, standing at the origin and leaning towards +x, before it is placed.
struct StemShape {
    std::vector<Vec3> vertices, normals;
    std::vector<std::array<int, 3>> triangles;
};

StemShape MakeStem()
{
    constexpr double kLean = 0.19, kRise = 0.552, kFootDepth = 0.03;
    auto spine = [&](double t) { return Vec3{kLean * t * t, kFootDepth + kRise * t, 0.0}; };
    auto tangent = [&](double t) { return Normalized({2.0 * kLean * t, kRise, 0.0}); };
    // Thick at the foot, slimmer in the middle, swelling a little to the cut end.
    auto radius = [](double t) { return 0.0275 + 0.009 * (1 - t) * (1 - t) + 0.007 * std::pow(t, 6); };

    StemShape s;
    for (int i = 0; i < kRings; ++i) {
        const double t = static_cast<double>(i) / (kRings - 1);
        const Vec3 c = spine(t), T = tangent(t);
        const Vec3 N = {T.y, -T.x, 0.0}, B = {0.0, 0.0, 1.0};
        const double h = 1e-5;
        const double slope = (radius(std::min(1.0, t + h)) - radius(std::max(0.0, t - h))) /
                             Length(spine(std::min(1.0, t + h)) - spine(std::max(0.0, t - h)));
        for (int q = 0; q + 1 < static_cast<int>(kStripStart.size()); ++q) {
            const double mid = kPi * (kStripStart[q] + kStripStart[q + 1]) / kSides;
            for (int j = kStripStart[q]; j <= kStripStart[q + 1]; ++j) {
                const double a = 2.0 * kPi * j / kSides;
                // Each strip's normals lean a quarter of the way towards its middle.
                const double an = a + 0.25 * (mid - a);
                s.vertices.push_back(c + radius(t) * (std::cos(a) * N + std::sin(a) * B));
                s.normals.push_back(Normalized(std::cos(an) * N + std::sin(an) * B - slope * T));
            }
        }
    }
    // The cut end: its own ring facing along the stalk, and a centre raised a hair.
    const int cutRing = static_cast<int>(s.vertices.size());
    const Vec3 top = spine(1.0), topT = tangent(1.0);
    for (int j = 0; j < kSides; ++j) {
        const double a = 2.0 * kPi * j / kSides;
        s.vertices.push_back(top + radius(1.0) *
                                       (std::cos(a) * Vec3{topT.y, -topT.x, 0.0} + std::sin(a) * Vec3{0.0, 0.0, 1.0}));
        s.normals.push_back(topT);
    }
    const int cutCentre = static_cast<int>(s.vertices.size());
    s.vertices.push_back(top + 0.004 * topT);
    s.normals.push_back(topT);
    const int foot = static_cast<int>(s.vertices.size());
    s.vertices.push_back({0.0, 0.0, 0.0});
    s.normals.push_back({0.0, -1.0, 0.0});

    // Vertex of ring i at facet corner j (0 ... kSides), taken from the strip that owns facet j.
    auto corner = [](int i, int j, int facet) {
        int q = 0;
        while (kStripStart[q + 1] <= facet)
            ++q;
        return i * kRingVertices + kStripStart[q] + q + (j - kStripStart[q]);
    };
    for (int i = 0; i + 1 < kRings; ++i)
        for (int f = 0; f < kSides; ++f) {
            const int a0 = corner(i, f, f), a1 = corner(i, f + 1, f);
            const int b0 = corner(i + 1, f, f), b1 = corner(i + 1, f + 1, f);
            s.triangles.push_back({a0, b1, a1});
            s.triangles.push_back({a0, b0, b1});
        }
    for (int j = 0; j < kSides; ++j) {
        s.triangles.push_back({cutRing + j, cutCentre, cutRing + (j + 1) % kSides});
        s.triangles.push_back({foot, corner(0, j, j), corner(0, j + 1, j)});
    }
    // The stem's block holds more triangles than the stalk needs: the rest repeat the buried
    // foot as two of their corners, so they have no area and draw nothing.
    for (int k = 0; static_cast<int>(s.triangles.size()) < kStemTriangles; ++k)
        s.triangles.push_back({foot, foot, k % kRingVertices});
    return s;
}

}  // namespace

Mesh BuildStems()
{
    static_assert(kStemVertices == 93 && kDrawnTriangles == 110);
    const StemShape shape = MakeStem();
    Require(static_cast<int>(shape.triangles.size()) == kStemTriangles, kMesh, "261 triangles a stem");

    // Each stem stands in the dimple of its apple: on the axis, its foot buried below the
    // dimple's bottom (the apple's top pole).
    const Mesh apples = BuildApples();
    Mesh m;
    for (const StemPlace& place : kStems) {
        const Vec3 pole = apples.vertices[place.apple * kAppleVertices];
        const double footY = kApplePlaces[place.apple].y + kStemFoot;
        Require(footY < pole.y - 0.01, kMesh, "a stem's foot is not buried in its apple");
        const int base = static_cast<int>(m.vertices.size());
        const Vec3 axis = {0.0, 1.0, 0.0};
        for (std::size_t v = 0; v < shape.vertices.size(); ++v) {
            const Vec3 p = Rotated(shape.vertices[v], axis, -place.lean);
            m.vertices.push_back({pole.x + p.x, footY + p.y, pole.z + p.z});
            m.normals.push_back(Normalized(Rotated(shape.normals[v], axis, -place.lean)));
        }
        for (const auto& t : shape.triangles)
            m.triangles.push_back({base + t[0], base + t[1], base + t[2]});
        // Exactly 0.6 high: the cut end's highest corner on the chosen top.
        const Box box = BoxOf(m.vertices, base, kStemVertices);
        const double stretch = kStemHeight / (box.hi.y - footY);
        Require(std::fabs(stretch - 1.0) < 0.05, kMesh, "a stem is far from its chosen height");
        for (int v = base; v < base + kStemVertices; ++v)
            m.vertices[v].y = footY + (m.vertices[v].y - footY) * stretch;
    }

    // The outermost stems stand a hair off their apple's axis so that the reach of all five
    // is exactly the chosen one.
    auto shift = [&](int stem, double dx, double dz) {
        for (int v = stem * kStemVertices; v < (stem + 1) * kStemVertices; ++v)
            m.vertices[v] = m.vertices[v] + Vec3{dx, 0.0, dz};
        Require(std::hypot(dx, dz) < 0.015, kMesh, "stem " + std::to_string(stem) + " strays from its dimple");
    };
    auto box = [&](int stem) { return BoxOf(m.vertices, stem * kStemVertices, kStemVertices); };
    shift(3, kLeastX - box(3).lo.x, 0.0);
    shift(1, kGreatestX - box(1).hi.x, kGreatestZ - box(1).hi.z);
    shift(0, 0.0, kLeastZ - box(0).lo.z);

    Require(m.vertices.size() == 465 && m.triangles.size() == 1305, kMesh, "465 vertices, 1305 triangles");
    CheckBox(kMesh, BoxOf(m.vertices), {kLeastX, -5.7, kLeastZ}, {kGreatestX, 5.9, kGreatestZ}, kBoundTolerance);
    for (int stem = 0; stem < 5; ++stem) {
        const Box b = box(stem);
        const double foot = kApplePlaces[kStems[stem].apple].y + kStemFoot;
        CheckNear(kMesh, "a stem's foot", b.lo.y, foot, kBoundTolerance);
        CheckNear(kMesh, "a stem's top", b.hi.y, foot + kStemHeight, kBoundTolerance);
        Require(b.hi.x - b.lo.x <= 0.26 && b.hi.z - b.lo.z <= 0.26, kMesh, "a stem is wider than 0.26");
    }
    CheckSmooth(kMesh, m);
    return m;
}
