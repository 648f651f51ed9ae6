// The gold bell: a surface of revolution about a vertical axis, open at the bottom, in three
// bands with vertices of their own: the flared lip, the body and the domed cap.
#include "checks.h"
#include "wreath_gen.h"

#include <cmath>
#include <numbers>
#include <vector>

namespace {

const char* const kMesh = "bell";

constexpr int kAround = 21;  // vertices per ring; one of them faces the viewer

// The chosen outline: where the bands meet and the outermost reach of the mouth.
constexpr double kMouthY = 2.5684;
constexpr double kLipTopY = 2.838, kLipTopRadius = 1.05;
constexpr double kBodyTopY = 4.271, kBodyTopRadius = 0.53;
constexpr double kCrownY = 4.6;
constexpr double kMouthMaxX = 1.2918, kMouthFrontZ = 3.1809, kMouthBackZ = 0.6046;

struct ProfilePoint {
    double r, y;    // distance from the axis, height
    double dr, dy;  // direction of the outline, going up
};

// One ring of the surface: kAround vertices at equal angles from the front (+z), each with the
// outward normal of the outline at that height.
void AddRing(Mesh& m, const ProfilePoint& p, double axisZ)
{
    const double len = std::hypot(p.dr, p.dy);
    const double nr = p.dy / len, ny = -p.dr / len;
    for (int k = 0; k < kAround; ++k) {
        const double a = 2.0 * std::numbers::pi * k / kAround;
        m.vertices.push_back({p.r * std::sin(a), p.y, axisZ + p.r * std::cos(a)});
        m.normals.push_back(Normalized({nr * std::sin(a), ny, nr * std::cos(a)}));
    }
}

// Triangles between two rings, counter-clockwise seen from outside.
void AddBand(Mesh& m, int lower, int upper)
{
    for (int k = 0; k < kAround; ++k) {
        const int k1 = (k + 1) % kAround;
        m.triangles.push_back({lower + k, lower + k1, upper + k1});
        m.triangles.push_back({lower + k, upper + k1, upper + k});
    }
}

}  // namespace

Mesh BuildBell()
{
    // With an odd number of vertices per ring and one facing the viewer, the mouth reaches
    // its full radius in front and cos(pi / 21) of it behind; that fixes radius and axis.
    const double backShare = std::cos(std::numbers::pi / kAround);
    const double mouthRadius = (kMouthFrontZ - kMouthBackZ) / (1.0 + backShare);
    const double axisZ = kMouthFrontZ - mouthRadius;

    // The outline from the mouth up. The lip flares out more steeply than the body narrows, and
    // the cap rounds the shoulder into a flat crown (a quadratic curve tangent to the body).
    const Vec3 bodyDir = Normalized({kBodyTopRadius - kLipTopRadius, kBodyTopY - kLipTopY, 0.0});
    const Vec3 lipDir = Normalized({kLipTopRadius - mouthRadius, kLipTopY - kMouthY, 0.0});
    const Vec3 flareDir = Normalized({-1.2, 1.0, 0.0});
    const Vec3 waistDir = Normalized(lipDir + bodyDir);
    const double toCrown = (kCrownY - kBodyTopY) / bodyDir.y;
    const double ctrlR = kBodyTopRadius + toCrown * bodyDir.x;
    auto cap = [&](double t) {
        const double u = 1.0 - t;
        const double r = u * u * kBodyTopRadius + 2 * u * t * ctrlR;
        const double y = u * u * kBodyTopY + (2 * u * t + t * t) * kCrownY;
        const double dr = 2 * u * (ctrlR - kBodyTopRadius) + 2 * t * (0.0 - ctrlR);
        const double dy = 2 * u * (kCrownY - kBodyTopY);
        return ProfilePoint{r, y, dr, dy};
    };

    Mesh m;
    // Lip: mouth ring and waist ring.
    AddRing(m, {mouthRadius, kMouthY, flareDir.x, flareDir.y}, axisZ);
    AddRing(m, {kLipTopRadius, kLipTopY, waistDir.x, waistDir.y}, axisZ);
    AddBand(m, 0, kAround);
    // Body: from the waist to the shoulder; normals continue the lip's, so no seam shows.
    AddRing(m, {kLipTopRadius, kLipTopY, waistDir.x, waistDir.y}, axisZ);
    AddRing(m, {kBodyTopRadius, kBodyTopY, bodyDir.x, bodyDir.y}, axisZ);
    AddBand(m, 2 * kAround, 3 * kAround);
    // Cap: four rings over the shoulder, then a fan to the top of the crown.
    const int capFirst = 4 * kAround;
    for (int i = 0; i < 4; ++i)
        AddRing(m, cap(i / 4.0), axisZ);
    for (int i = 0; i < 3; ++i)
        AddBand(m, capFirst + i * kAround, capFirst + (i + 1) * kAround);
    const int crown = static_cast<int>(m.vertices.size());
    m.vertices.push_back({0.0, kCrownY, axisZ});
    m.normals.push_back({0.0, 1.0, 0.0});
    for (int k = 0; k < kAround; ++k)
        m.triangles.push_back({capFirst + 3 * kAround + k, capFirst + 3 * kAround + (k + 1) % kAround, crown});

    // The ring's widest vertices stand at 5/21 of a turn from the front, just short of the
    // full radius; a stretch of a few millionths in x puts them exactly on the chosen bound.
    const double widest = mouthRadius * std::sin(2.0 * std::numbers::pi * 5 / kAround);
    const double stretch = kMouthMaxX / widest;
    Require(std::fabs(stretch - 1.0) < 1e-4, kMesh, "the mouth is too far from round");
    for (Vec3& v : m.vertices)
        v.x *= stretch;
    for (Vec3& n : m.normals)
        n = Normalized({n.x / stretch, n.y, n.z});

    Require(m.vertices.size() == 169 && m.triangles.size() == 231, kMesh, "169 vertices, 231 triangles");
    CheckBox(kMesh, BoxOf(m.vertices), {-kMouthMaxX, kMouthY, kMouthBackZ}, {kMouthMaxX, kCrownY, kMouthFrontZ},
             kBoundTolerance);
    CheckSmooth(kMesh, m);
    return m;
}
