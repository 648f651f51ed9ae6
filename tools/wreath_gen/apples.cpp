// Five translucent apples: closed surfaces of revolution about a vertical axis, with a deep
// dimple at the top where the stem stands and a shallow one underneath.
#include "ornament_apple.h"
#include "checks.h"
#include "wreath_gen.h"

#include <cmath>
#include <numbers>
#include <vector>

namespace {

const char* const kMesh = "apples";
constexpr double kPi = std::numbers::pi;

// The outline before scaling, from the top pole (s = 0) to the bottom pole (s = pi): an
// ellipse a little fuller above its middle, pulled down round the top pole into the stem's
// dimple and pushed up round the bottom pole.
struct Outline {
    double r, y;
};

Outline Shape(double s)
{
    const double r = std::sin(s) * (1.0 + 0.05 * std::cos(s));
    const double t = s / 0.52, b = (kPi - s) / 0.5;
    const double y = 0.7 * std::cos(s) - 0.46 * std::exp(-t * t) + 0.18 * std::exp(-b * b);
    return {r, y};
}

// Parameters of kAppleRings + 2 points (poles included) at equal steps of outline length.
std::vector<double> RingParameters()
{
    constexpr int kSteps = 4000;
    std::vector<double> length(kSteps + 1, 0.0);
    for (int i = 1; i <= kSteps; ++i) {
        const Outline a = Shape(kPi * (i - 1) / kSteps), b = Shape(kPi * i / kSteps);
        length[i] = length[i - 1] + std::hypot(b.r - a.r, b.y - a.y);
    }
    std::vector<double> s;
    int i = 0;
    for (int k = 0; k <= kAppleRings + 1; ++k) {
        const double want = length[kSteps] * k / (kAppleRings + 1);
        while (i < kSteps && length[i + 1] < want)
            ++i;
        const double f = i < kSteps ? (want - length[i]) / (length[i + 1] - length[i]) : 0.0;
        s.push_back(kPi * (i + f) / kSteps);
    }
    s.front() = 0.0;
    s.back() = kPi;
    return s;
}

}  // namespace

Mesh BuildApples()
{
    // As with the bell, an odd ring with one vertex in front reaches its full radius in front
    // and cos(pi / 21) of it behind; that fixes radius and axis from the chosen depth.
    const double backShare = std::cos(kPi / kAppleAround);
    const double radius = (kAppleFrontZ - kAppleBackZ) / (1.0 + backShare);
    const double axisZ = kAppleFrontZ - radius;
    const double widest = radius * std::sin(2.0 * kPi * 5 / kAppleAround);
    const double stretchX = kAppleHalfWidth / widest;
    Require(std::fabs(stretchX - 1.0) < 1e-4, kMesh, "the body is too far from round");

    // Scale the sampled outline so that its widest ring has that radius and its rings span
    // exactly the chosen heights.
    const std::vector<double> s = RingParameters();
    double rMax = 0, yMax = -1e9, yMin = 1e9;
    for (double si : s) {
        const Outline o = Shape(si);
        rMax = std::max(rMax, o.r);
        yMax = std::max(yMax, o.y);
        yMin = std::min(yMin, o.y);
    }
    const double kr = radius / rMax, ky = (kAppleTop - kAppleBottom) / (yMax - yMin);
    const double y0 = kAppleTop - ky * yMax;

    Mesh m;
    for (const ApplePlace& place : kApplePlaces) {
        const int base = static_cast<int>(m.vertices.size());
        for (std::size_t k = 0; k < s.size(); ++k) {
            const Outline o = Shape(s[k]);
            const double h = 1e-6;
            const Outline o1 = Shape(std::min(kPi, s[k] + h)), o0 = Shape(std::max(0.0, s[k] - h));
            // Outward normal of the scaled outline, which runs downwards with s.
            const double dr = kr * (o1.r - o0.r), dy = ky * (o1.y - o0.y);
            const double len = std::hypot(dr, dy);
            const double nr = -dy / len, ny = dr / len;
            const double y = place.y + y0 + ky * o.y;
            const bool pole = k == 0 || k + 1 == s.size();
            const int around = pole ? 1 : kAppleAround;
            for (int j = 0; j < around; ++j) {
                const double a = 2.0 * kPi * j / kAppleAround;
                const double r = pole ? 0.0 : kr * o.r;
                m.vertices.push_back({place.x + stretchX * r * std::sin(a), y, axisZ + r * std::cos(a)});
                m.normals.push_back(pole ? Vec3{0.0, k == 0 ? 1.0 : -1.0, 0.0}
                                         : Normalized({nr * std::sin(a) / stretchX, ny, nr * std::cos(a)}));
            }
        }
        // Rings are numbered downwards: ring i starts at base + 1 + i * kAppleAround.
        const int top = base, bottom = base + kAppleVertices - 1;
        auto ring = [&](int i, int j) { return base + 1 + i * kAppleAround + (j % kAppleAround); };
        for (int j = 0; j < kAppleAround; ++j)
            m.triangles.push_back({ring(0, j), ring(0, j + 1), top});
        for (int i = 0; i + 1 < kAppleRings; ++i)
            for (int j = 0; j < kAppleAround; ++j) {
                m.triangles.push_back({ring(i + 1, j), ring(i + 1, j + 1), ring(i, j + 1)});
                m.triangles.push_back({ring(i + 1, j), ring(i, j + 1), ring(i, j)});
            }
        for (int j = 0; j < kAppleAround; ++j)
            m.triangles.push_back({bottom, ring(kAppleRings - 1, j + 1), ring(kAppleRings - 1, j)});
    }

    Require(m.vertices.size() == 1375 && m.triangles.size() == 2730, kMesh, "1375 vertices, 2730 triangles");
    CheckBox(kMesh, BoxOf(m.vertices), {-7.0348, -6.4948, 1.2705}, {5.6348, 5.5669, 2.5366}, kBoundTolerance);
    for (std::size_t a = 0; a < kApplePlaces.size(); ++a) {
        const Box box = BoxOf(m.vertices, a * kAppleVertices, kAppleVertices);
        const ApplePlace p = kApplePlaces[a];
        CheckBox(kMesh, box, {p.x - kAppleHalfWidth, p.y + kAppleBottom, kAppleBackZ},
                 {p.x + kAppleHalfWidth, p.y + kAppleTop, kAppleFrontZ}, kBoundTolerance);
        // The dimple: its bottom (the top pole) lies well below the rim, above the stem's foot.
        const double dimple = m.vertices[a * kAppleVertices].y - p.y;
        Require(dimple > kStemFoot + 0.02 && dimple < kAppleTop - 0.15, kMesh, "the dimple is out of place");
    }
    CheckSmooth(kMesh, m);
    return m;
}
