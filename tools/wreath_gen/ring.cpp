// The evergreen ring: 168 fir sprigs laid round the z axis like shingles, all pointing the
// same way round: a row along the hole, a row along the rim and the rest wherever the
// greenery is thinnest. Each sprig is a midrib of 18 points with a ribbon of 17 quads on
// either side; the ribbons' outer edges zigzag between needle tips and the needles' roots,
// and the two sides are folded along the midrib.
#include "geometry.h"
#include "checks.h"
#include "ring_random.h"
#include "wreath_gen.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr int kPieces = 168;
constexpr int kSegments = 17;            // quads along each ribbon
constexpr int kPoints = kSegments + 1;   // points along the midrib and along each edge
constexpr int kPositions = 3 * kPoints;  // midrib, left edge, right edge

// The bounds the ring fills, and the ones its pieces' centres keep to.
constexpr double kMinX = -10.1418, kMaxX = 10.8539, kMinY = -9.7499, kMaxY = 8.7236;
constexpr double kMinZ = 0.0885, kMaxZ = 1.6954;
constexpr double kMinRadius = 2.141, kMaxRadius = 10.858;
constexpr double kMinCentre = 3.3705, kMaxCentre = 9.9985;
constexpr int kCounterClockwise = 3019;

using Positions = std::array<Vec3, kPositions>;
int Mid(int i)
{
    return i;
}
int Left(int i)
{
    return kPoints + i;
}
int Right(int i)
{
    return 2 * kPoints + i;
}

// The quads of one sprig as position indices: the left ribbon, then the right, each from the
// stem to the tip. Both ribbons run counter-clockwise seen from the sprig's upper side.
std::array<std::array<int, 4>, 2 * kSegments> SprigQuads()
{
    std::array<std::array<int, 4>, 2 * kSegments> quads;
    for (int i = 0; i < kSegments; ++i) {
        quads[i] = {Mid(i), Mid(i + 1), Left(i + 1), Left(i)};
        quads[kSegments + i] = {Mid(i + 1), Mid(i), Right(i), Right(i + 1)};
    }
    return quads;
}

// How often each position is a quad corner: the weights of the vertex mean.
std::array<int, kPositions> CornerUses()
{
    std::array<int, kPositions> uses{};
    for (const auto& q : SprigQuads())
        for (int p : q)
            ++uses[p];
    return uses;
}

Vec3 VertexMean(const Positions& p)
{
    static const std::array<int, kPositions> uses = CornerUses();
    Vec3 sum;
    for (int i = 0; i < kPositions; ++i)
        sum = sum + uses[i] * p[i];
    return (1.0 / (4 * 2 * kSegments)) * sum;
}

// ---------------------------------------------------------------------------------------
// One sprig in its own frame: u along the midrib from the stem, v to its left, w up.

struct SprigShape {
    double length;  // stem to tip
    double needle;  // longest needle, midrib to needle tip
    double root;    // needle roots' distance from the midrib, as a part of the needle
    double fold;    // radians each side is turned up about the midrib (negative: down)
    double arch;    // midrib's rise in its middle
    double droop;   // tip's fall below the arch
    double bend;    // sideways sweep of the tip, to follow the ring
    double curl;    // needle tips' fall, per unit of needle length squared
    double twist;   // change of the fold from stem to tip
};

Positions LocalSprig(const SprigShape& s)
{
    Positions p;
    const double step = s.length / kSegments;
    auto midrib = [&](double t) {
        return Vec3{s.length * t, s.bend * t * t, s.arch * std::sin(std::numbers::pi * t) - s.droop * t * t * t};
    };
    for (int i = 0; i < kPoints; ++i) {
        const double t = double(i) / kSegments;
        const Vec3 m = midrib(t);
        const Vec3 ahead = Normalized(midrib(std::min(1.0, t + 0.01)) - midrib(std::max(0.0, t - 0.01)));
        const Vec3 side = Normalized(Vec3{-ahead.y, ahead.x, 0.0});
        const Vec3 up = Cross(ahead, side);
        // Needles are longest a third of the way up and shorten to the tip; the stem is bare.
        const double taper = (0.45 + 0.55 * std::sin(std::numbers::pi * std::min(1.0, 0.2 + 1.1 * t))) *
                             (1.0 - 0.3 * t);
        double reach, forward;
        if (i == 0) {
            reach = 0.035, forward = 0.0;  // the cut stem
        } else if (i % 2 == 1) {
            reach = s.needle * taper;  // a needle tip, leaning toward the sprig's tip
            forward = i == kSegments ? 0.45 * reach : std::min(0.85 * step, 0.3 * reach);
            if (i == kSegments)
                reach *= 0.55;
        } else {
            reach = 0.03 + s.root * s.needle * taper;  // between two needles
            forward = 0.0;
        }
        const double fall = s.curl * reach * reach;
        for (int sideSign : {+1, -1}) {
            const double fold = s.fold + s.twist * (t - 0.5);
            const Vec3 out = std::cos(fold) * sideSign * side + std::sin(fold) * up;
            p[sideSign > 0 ? Left(i) : Right(i)] = m + forward * ahead + reach * out - fall * up;
        }
        p[Mid(i)] = m;
    }
    return p;
}

// Where a sprig lies: its centre (the mean of its vertices) and its turns.
struct Placement {
    Vec3 centre;
    double heading;  // radians, direction of the tip in the xy plane
    double pitch;    // tip raised above the stem
    double roll;     // turned about its own midrib, left side up
};

Positions Place(const SprigShape& shape, const Placement& at)
{
    const Positions local = LocalSprig(shape);
    const Vec3 mean = VertexMean(local);
    const Vec3 z{0, 0, 1};
    const Vec3 flat{std::cos(at.heading), std::sin(at.heading), 0.0};
    const Vec3 u = std::cos(at.pitch) * flat + std::sin(at.pitch) * z;
    const Vec3 w0 = std::cos(at.pitch) * z - std::sin(at.pitch) * flat;
    const Vec3 v0 = Cross(w0, u);
    const Vec3 v = std::cos(at.roll) * v0 + std::sin(at.roll) * w0;
    const Vec3 w = std::cos(at.roll) * w0 - std::sin(at.roll) * v0;
    Positions world;
    for (int i = 0; i < kPositions; ++i) {
        const Vec3 d = local[i] - mean;
        world[i] = at.centre + d.x * u + d.y * v + d.z * w;
    }
    return world;
}

// ---------------------------------------------------------------------------------------
// The ring's outline. The outer edge is a smooth closed curve, wider than high (the bow
// takes the top), which the box of the bounds and the largest radius clip.

double OuterCurve(double angle)
{
    return 9.8675 + 0.36 * std::cos(angle) - 0.515 * std::sin(angle) + 0.6325 * std::cos(2 * angle);
}

double OuterLimit(double angle)
{
    const double c = std::cos(angle), s = std::sin(angle);
    double limit = std::min(OuterCurve(angle), kMaxRadius);
    if (c > 1e-9)
        limit = std::min(limit, kMaxX / c);
    if (c < -1e-9)
        limit = std::min(limit, kMinX / c);
    if (s > 1e-9)
        limit = std::min(limit, kMaxY / s);
    if (s < -1e-9)
        limit = std::min(limit, kMinY / s);
    return limit;
}

double Radius(Vec3 p)
{
    return std::hypot(p.x, p.y);
}
double Angle(Vec3 p)
{
    return std::atan2(p.y, p.x);
}

// How far the piece reaches beyond the outline (positive) or stays within it (negative),
// as the largest share of the outline's radius at each vertex's angle.
double OuterReach(const Positions& p)
{
    double reach = -1e9;
    for (const Vec3& v : p)
        reach = std::max(reach, Radius(v) / OuterLimit(Angle(v)) - 1.0);
    return reach;
}
double InnerRadius(const Positions& p)
{
    double r = 1e9;
    for (const Vec3& v : p)
        r = std::min(r, Radius(v));
    return r;
}

void Shift(Positions& p, Vec3 by)
{
    for (Vec3& v : p)
        v = v + by;
}

// ---------------------------------------------------------------------------------------
// The ornaments that sit on the greenery: where they stand (x, y), how far around them the
// sprigs are pressed down, and the height the sprigs stay below there.

struct Hollow {
    double x, y, radius, ceiling;
    double clear = 0.0, keepBelow = 0.0;  // where the ornament itself lies, and its underside
};

const Hollow kHollows[] = {
    // stars: their rims at 1.225, 1.125, 1.025, 1.125, 1.225
    {-3.4463, 5.2, 1.05, 1.10, 0.45, 1.225},
    {-4.4963, -0.25, 1.05, 1.00, 0.45, 1.125},
    {-2.2463, -6.25, 1.05, 0.90, 0.45, 1.025},
    {4.3037, -3.9, 1.05, 1.00, 0.45, 1.125},
    {5.7537, 3.75, 1.05, 1.10, 0.45, 1.225},
    // pale flowers at 1.3
    {-4.31, 3.04, 1.25, 1.08, 1.1, 1.3},
    {6.29, 1.69, 1.25, 1.08, 1.1, 1.3},
    {6.59, -3.11, 1.20, 1.08, 1.1, 1.3},
    {0.99, -6.71, 1.25, 1.08, 1.1, 1.3},
    {-5.91, -2.76, 1.45, 1.08, 1.1, 1.3},
    // sphere clusters, their middles
    {4.5, 3.0, 0.75, 1.10},
    {6.0, -1.5, 0.75, 1.10},
    {-0.5, -5.5, 0.75, 1.10},
    {-4.2, -2.5, 0.75, 1.15},
    {-5.0, 2.0, 0.75, 1.15},
    // apples, whose undersides are at 1.27
    {-3.2, -4.064, 0.8, 1.08, 0.6, 1.27},
    {2.9, -5.964, 0.8, 1.08, 0.6, 1.27},
    {3.5, 5.036, 0.8, 1.08, 0.6, 1.27},
    {5.0, -0.564, 0.8, 1.08, 0.6, 1.27},
    {-6.4, 1.558, 0.8, 1.08, 0.6, 1.27},
    // the bow and the bell at the top
    {0.0, 4.9, 2.9, 1.25},
    {-1.9, 2.9, 1.4, 1.25},
    {1.9, 2.9, 1.4, 1.25},
};

// How much the heights above the floor are kept at (x, y), for greenery that reaches up to
// top: inside a hollow just enough to stay below its ceiling, rising smoothly to all of it
// beyond the hollow's rim. Scaling rather than cutting keeps the sprigs' shapes.
constexpr double kFloor = 0.1;
double Keep(double x, double y, double top)
{
    double keep = 1.0;
    for (const Hollow& h : kHollows) {
        const double d = std::hypot(x - h.x, y - h.y);
        const double t = std::clamp((d - h.radius) / 0.9, 0.0, 1.0);
        const double inside = std::min(1.0, (h.ceiling - kFloor) / (top - kFloor));
        keep = std::min(keep, inside + (1.0 - inside) * t * t * (3 - 2 * t));
    }
    return keep;
}

// ---------------------------------------------------------------------------------------

struct Piece {
    int row;  // a RowTag
    SprigShape shape;
    Placement at;
    Positions p;
};

// The sprigs from the hole outward: their size and lie at five places across the band, and
// in between by interpolation.
struct Row {
    double across;  // 0 at the inner row's centres, 1 at the outer row's
    double length, needle;
    double heading;  // mean turn away from the ring's direction, outward positive
    double headingSpread;
    double lift;  // height of the stem end above the mound
};

// clang-format off
const Row kRows[5] = {
    {0.00, 3.2, 0.75, -0.40, 0.25, 0.00},
    {0.27, 4.0, 0.90, -0.15, 0.35, 0.10},
    {0.52, 4.4, 0.95, 0.05, 0.35, 0.15},
    {0.77, 4.5, 0.95, 0.18, 0.30, 0.05},
    {1.00, 3.7, 0.90, 0.12, 0.35, -0.10},
};
// clang-format on
constexpr int kInnerRow = 26, kOuterRow = 40;  // sprigs along the hole and along the rim
enum RowTag { kInner = 0, kBetween = 2, kOuter = 4 };

constexpr double kInnerCentres = 3.55;  // the inner row's centre radius
double OuterCentres(double angle)
{
    return OuterLimit(angle) - 1.15;
}

// The mound the sprigs lie on: low at the hole and at the rim, highest across the middle.
double Mound(double across)
{
    return 0.30 + 0.62 * std::pow(std::sin(std::numbers::pi * (0.08 + 0.84 * across)), 0.7);
}

SprigShape RandomShape(const Row& row, double scale, SplitMix64& rng)
{
    SprigShape s;
    s.length = row.length * scale * rng.Between(0.88, 1.12);
    s.needle = row.needle * std::sqrt(scale) * rng.Between(0.85, 1.12);
    s.root = rng.Between(0.45, 0.7);
    s.fold = rng.Sign() * rng.Between(0.2, 0.5);
    s.twist = rng.Between(-0.2, 0.2);
    s.arch = rng.Between(0.08, 0.22);
    s.droop = rng.Between(0.05, 0.3);
    s.bend = rng.Between(-0.15, 0.25);
    s.curl = rng.Between(0.0, 0.5);
    return s;
}

// The smallest share of a quad's normal that points along z: a quad nearly edge-on to the
// viewer could be counted as facing either way.
double LeastFacing(const Positions& p)
{
    double least = 1.0;
    for (const auto& q : SprigQuads()) {
        const Vec3 a = AsFloat(p[q[0]]), b = AsFloat(p[q[1]]), c = AsFloat(p[q[2]]);
        const Vec3 n = Cross(b - a, c - b);
        least = std::min(least, std::fabs(n.z) / Length(n));
    }
    return least;
}

// Places a piece, rolling it a little at a time until no quad is edge-on to the viewer.
void Refine(Piece& piece)
{
    for (int i = 0;; ++i) {
        Require(i < 100, "ring: a sprig stays edge-on to the viewer");
        piece.p = Place(piece.shape, piece.at);
        if (LeastFacing(piece.p) > 0.008)
            return;
        piece.shape.curl *= 0.9, piece.at.roll += 0.02;
    }
}

// The row table's values at a place across the band, between the rows' own places.
Row Across(double across)
{
    int k = 0;
    while (k < 3 && across > kRows[k + 1].across)
        ++k;
    const Row &a = kRows[k], &b = kRows[k + 1];
    const double t = std::clamp((across - a.across) / (b.across - a.across), 0.0, 1.0);
    auto mix = [t](double x, double y) { return x + t * (y - x); };
    return {across,
            mix(a.length, b.length),
            mix(a.needle, b.needle),
            mix(a.heading, b.heading),
            mix(a.headingSpread, b.headingSpread),
            mix(a.lift, b.lift)};
}

// Builds a piece at angle and place across the band (0: the inner row, 1: the outer).
Piece MakePiece(RowTag tag, double angle, double across, SplitMix64& rng)
{
    const Row row = Across(across);
    const double outer = OuterCentres(angle);
    const double radius = std::max(kInnerCentres + across * (outer - kInnerCentres), kMinCentre + 0.04);
    // Where the band is narrow (under the bow) the sprigs are smaller.
    const double scale = std::clamp((outer - kInnerCentres) / 5.6, 0.72, 1.05);
    Piece piece{tag, RandomShape(row, scale, rng), {}, {}};
    piece.at.centre = {radius * std::cos(angle), radius * std::sin(angle), Mound(across) + row.lift};
    // All sprigs point counter-clockwise round the ring, turned in or out a little.
    piece.at.heading = angle + std::numbers::pi / 2 - row.heading - rng.Between(-row.headingSpread, row.headingSpread);
    piece.at.pitch = rng.Between(0.12, 0.4);
    // Sprigs on the inner slope lean in, on the outer slope out.
    piece.at.roll = (across - 0.5) * 0.5 + rng.Between(-0.25, 0.25);
    Refine(piece);
    return piece;
}

// Moves a piece straight away from the axis (toward it for a negative distance).
void MoveOut(Piece& piece, double by)
{
    const Vec3 c = piece.at.centre;
    const double r = std::hypot(c.x, c.y);
    const Vec3 step{c.x / r * by, c.y / r * by, 0.0};
    Shift(piece.p, step);
    piece.at.centre = piece.at.centre + step;
}

// Pulls a piece toward the axis (or pushes it out) until it reaches the outline's share,
// its centre staying within the centres' bounds.
void FitOutside(Piece& piece, double share)
{
    for (int i = 0; i < 60; ++i) {
        const double over = OuterReach(piece.p) + share;
        if (std::fabs(over) < 1e-12)
            break;
        MoveOut(piece, -over * OuterLimit(Angle(piece.at.centre)) * 0.9);
    }
    const double r = Radius(piece.at.centre);
    if (r > kMaxCentre - 0.01)
        MoveOut(piece, kMaxCentre - 0.01 - r);
}

// Pushes a piece away from the axis until no vertex lies nearer than least.
void FitInside(Piece& piece, double least)
{
    for (int i = 0; i < 60 && InnerRadius(piece.p) < least; ++i)
        MoveOut(piece, (least - InnerRadius(piece.p)) * 1.05 + 1e-6);
}

// The index of the piece of the row nearest an angle, not yet taken for another bound.
int Nearest(const std::vector<Piece>& pieces, int row, double angle, std::set<int>& taken)
{
    int best = -1;
    double bestGap = 1e9;
    for (int i = 0; i < static_cast<int>(pieces.size()); ++i) {
        if (pieces[i].row != row || taken.count(i))
            continue;
        const double gap = std::fabs(std::remainder(Angle(pieces[i].at.centre) - angle, 2 * std::numbers::pi));
        if (gap < bestGap)
            bestGap = gap, best = i;
    }
    taken.insert(best);
    return best;
}

double Extreme(const Positions& p, double (*of)(Vec3), bool largest)
{
    double e = largest ? -1e9 : 1e9;
    for (const Vec3& v : p)
        e = largest ? std::max(e, of(v)) : std::min(e, of(v));
    return e;
}
double X(Vec3 v)
{
    return v.x;
}
double Y(Vec3 v)
{
    return v.y;
}

// Moves a piece along one axis until its extreme vertex lies on the bound exactly.
void PushTo(Piece& piece, double (*of)(Vec3), bool largest, double bound, Vec3 axis)
{
    const double by = bound - Extreme(piece.p, of, largest);
    Require(std::fabs(by) < 0.6, "ring: a bounding sprig lies far from its bound");
    Shift(piece.p, by * axis);
    piece.at.centre = piece.at.centre + by * axis;
}

// Turns a sprig about its centre until its innermost vertex lies on radius exactly.
void TurnInTo(Piece& piece, double radius)
{
    auto innerAt = [&](double heading) {
        Placement at = piece.at;
        at.heading = heading;
        return InnerRadius(Place(piece.shape, at));
    };
    // Turning the tip inward lowers the inner radius; bisect between the ring's direction and
    // a steep inward turn.
    const double along = Angle(piece.at.centre) + std::numbers::pi / 2;
    double lo = along, hi = along + 1.3;
    // A sprig too short to reach grows a little.
    for (int i = 0; i < 20 && innerAt(hi) >= radius; ++i)
        piece.shape.length *= 1.04;
    Require(innerAt(lo) > radius && innerAt(hi) < radius, "ring: the innermost sprig cannot reach its radius");
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        (innerAt(mid) > radius ? lo : hi) = mid;
    }
    piece.at.heading = lo;
    piece.p = Place(piece.shape, piece.at);
    // The last step of the bisection leaves the vertex a hair off; place it exactly.
    for (Vec3& v : piece.p) {
        const double r = Radius(v);
        if (std::fabs(r - radius) < 1e-6)
            v = Vec3{v.x * radius / r, v.y * radius / r, v.z};
    }
}

// Turns a sprig's tip outward until its outermost vertex lies at distance reach from the
// axis. Its centre moves along its own angle to where a slight outward turn would reach,
// but no farther out than most.
void ReachOut(Piece& piece, double most, double reach)
{
    const double angle = Angle(piece.at.centre);
    const double along = angle + std::numbers::pi / 2;
    auto outerAt = [&](double out) {
        Placement at = piece.at;
        at.heading = along - out;
        return Extreme(
            Place(piece.shape, at), [](Vec3 v) { return Radius(v); }, true);
    };
    const double overhang = outerAt(0.2) - Radius(piece.at.centre);
    const double centre = std::min(most, reach - overhang);
    piece.at.centre = {centre * std::cos(angle), centre * std::sin(angle), piece.at.centre.z};
    // Turned either way from lying along the ring the sprig reaches farther out, by its tip
    // or by its stem: start from the turn that reaches least. A sprig that reaches too far
    // even then is shortened.
    auto leastTurn = [&] {
        double best = 0.0;
        for (double out = -0.6; out <= 0.6; out += 0.01)
            if (outerAt(out) < outerAt(best))
                best = out;
        return best;
    };
    double lo = leastTurn(), hi = 1.1;
    for (int i = 0; outerAt(lo) >= reach; ++i) {
        Require(i < 40, "ring: a bounding sprig cannot reach its bound");
        piece.shape.length *= 0.96;
        lo = leastTurn();
    }
    Require(outerAt(hi) > reach, "ring: a bounding sprig cannot reach its bound");
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        (outerAt(mid) < reach ? lo : hi) = mid;
    }
    piece.at.heading = along - hi;
    piece.p = Place(piece.shape, piece.at);
}

// The nearest and farthest distance of a piece's centre from the axis, taking the centre as
// the mean of its vertices, the mean of its positions or the middle of its extent.
struct Centres;
Centres CentresOf(const Positions& p);
std::pair<double, double> CentreRadii(const Positions& p);

// Straightens a sprig, lays it along the ring at angle (0 or pi: where the ring runs up and
// down, so its extent is square to its midrib) and moves it until the nearest reckoning of its
// centre lies at radius. size scales the sprig.
void Centre(Piece& piece, double angle, double radius, double size)
{
    piece.shape.bend = 0.0;
    piece.shape.length *= size;
    piece.shape.needle *= size;
    piece.at.roll = 0.0;
    piece.at.heading = angle + std::numbers::pi / 2;
    piece.at.centre = {radius * std::cos(angle), radius * std::sin(angle), piece.at.centre.z};
    piece.p = Place(piece.shape, piece.at);
    for (int i = 0; i < 8; ++i) {
        const auto [lo, hi] = CentreRadii(piece.p);
        MoveOut(piece, angle == 0.0 ? radius - hi : radius - lo);
    }
}

// Swings a piece round the z axis.
void Swing(Piece& piece, double by)
{
    const double c = std::cos(by), s = std::sin(by);
    auto turn = [&](Vec3 v) { return Vec3{c * v.x - s * v.y, s * v.x + c * v.y, v.z}; };
    for (Vec3& v : piece.p)
        v = turn(v);
    piece.at.centre = turn(piece.at.centre);
    piece.at.heading += by;
}

// Every position of a piece the same as the vertex in its float form, keyed for lookups.
using Key = std::tuple<float, float, float>;
Key KeyOf(Vec3 v)
{
    return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

struct Centres {
    Vec3 vertexMean, positionMean, boxMiddle;
};
Centres CentresOf(const Positions& p)
{
    Vec3 lo{1e9, 1e9, 1e9}, hi{-1e9, -1e9, -1e9}, sum;
    Positions f;
    for (int i = 0; i < kPositions; ++i) {
        f[i] = AsFloat(p[i]);
        sum = sum + f[i];
        lo = {std::min(lo.x, f[i].x), std::min(lo.y, f[i].y), 0};
        hi = {std::max(hi.x, f[i].x), std::max(hi.y, f[i].y), 0};
    }
    return {VertexMean(f), (1.0 / kPositions) * sum, 0.5 * (lo + hi)};
}

std::pair<double, double> CentreRadii(const Positions& p)
{
    const Centres c = CentresOf(p);
    const double r[3] = {Radius(c.vertexMean), Radius(c.positionMean), Radius(c.boxMiddle)};
    return {std::min({r[0], r[1], r[2]}), std::max({r[0], r[1], r[2]})};
}

void CheckRing(const std::vector<Piece>& pieces)
{
    Vec3 lo{1e9, 1e9, 1e9}, hi{-1e9, -1e9, -1e9};
    double rMin = 1e9, rMax = 0, cMin = 1e9, cMax = 0;
    std::map<Key, int> owner;
    for (int n = 0; n < static_cast<int>(pieces.size()); ++n) {
        const Positions& p = pieces[n].p;
        std::set<Key> own;
        for (const Vec3& v0 : p) {
            const Vec3 v = AsFloat(v0);
            lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
            hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
            rMin = std::min(rMin, Radius(v)), rMax = std::max(rMax, Radius(v));
            own.insert(KeyOf(v0));
        }
        Require(own.size() == kPositions, "ring: piece " + std::to_string(n) + " has positions that meet");
        for (const Key& k : own) {
            const auto [at, fresh] = owner.emplace(k, n);
            if (!fresh)
                BuildFailure("ring: pieces " + std::to_string(at->second) + " and " + std::to_string(n) +
                             " share a position");
        }
        const Centres c = CentresOf(p);
        for (Vec3 centre : {c.vertexMean, c.positionMean, c.boxMiddle}) {
            cMin = std::min(cMin, Radius(centre)), cMax = std::max(cMax, Radius(centre));
        }
        for (const auto& q : SprigQuads())
            Require(CornerSine(p[q[0]], p[q[1]], p[q[2]]) > 0.01, "ring: a quad's first corners are nearly in line");
        Require(LeastFacing(p) > 0.004, "ring: a quad is nearly edge-on");
    }
    char text[400];
    std::snprintf(text, sizeof text,
                  "x %.5f .. %.5f, y %.5f .. %.5f, z %.5f .. %.5f, radius %.5f .. %.5f, centres %.5f .. %.5f", lo.x,
                  hi.x, lo.y, hi.y, lo.z, hi.z, rMin, rMax, cMin, cMax);
    Require(RoundsTo(lo.x, kMinX) && RoundsTo(hi.x, kMaxX) && RoundsTo(lo.y, kMinY) && RoundsTo(hi.y, kMaxY) &&
                RoundsTo(lo.z, kMinZ) && RoundsTo(hi.z, kMaxZ),
            std::string("ring: bounds are ") + text);
    Require(RoundsTo(rMin, kMinRadius, 0.0005) && RoundsTo(rMax, kMaxRadius, 0.0005),
            std::string("ring: radii off: ") + text);
    Require(RoundsTo(cMin, 3.37, 0.005) && RoundsTo(cMax, 10.0, 0.005) && cMin >= 3.37 - 0.004 && cMax <= 10.0,
            std::string("ring: centres off: ") + text);
}

// How many sprigs cover each small square of the ring's plane, seen from the viewer.
class Coverage {
public:
    static constexpr double kCell = 0.1, kHalf = 11.5;
    static constexpr int kSide = static_cast<int>(2 * kHalf / kCell);

    Coverage() : m_count(kSide * kSide, 0) {}

    void Add(const Positions& p)
    {
        ForCells(p, [&](int cell) { ++m_count[cell]; });
    }
    // How much a piece would add: squares of the band it covers that nothing covers yet
    // count fully, squares covered once a little.
    double Gain(const Positions& p) const
    {
        double gain = 0;
        ForCells(p, [&](int cell) {
            if (InBand(cell))
                gain += m_count[cell] == 0 ? 1.0 : m_count[cell] == 1 ? 0.5 : 0.0;
        });
        return gain;
    }

private:
    static Vec3 CellCentre(int cell)
    {
        return {(cell % kSide + 0.5) * kCell - kHalf, (cell / kSide + 0.5) * kCell - kHalf, 0.0};
    }
    static bool InBand(int cell)
    {
        const Vec3 c = CellCentre(cell);
        const double r = Radius(c);
        return r > 2.9 && r < OuterLimit(Angle(c)) - 0.35;
    }
    // Calls visit once for every square whose centre one of the piece's quads covers.
    template <class Visit>
    static void ForCells(const Positions& p, Visit&& visit)
    {
        std::set<int> cells;
        for (const auto& q : SprigQuads())
            for (const auto& t : {std::array<int, 3>{q[0], q[1], q[2]}, std::array<int, 3>{q[0], q[2], q[3]}}) {
                const Vec3 a = p[t[0]], b = p[t[1]], c = p[t[2]];
                const int x0 = std::max(0, static_cast<int>((std::min({a.x, b.x, c.x}) + kHalf) / kCell));
                const int x1 = std::min(kSide - 1, static_cast<int>((std::max({a.x, b.x, c.x}) + kHalf) / kCell));
                const int y0 = std::max(0, static_cast<int>((std::min({a.y, b.y, c.y}) + kHalf) / kCell));
                const int y1 = std::min(kSide - 1, static_cast<int>((std::max({a.y, b.y, c.y}) + kHalf) / kCell));
                const double area = Cross(b - a, c - a).z;
                if (area == 0.0)
                    continue;
                for (int y = y0; y <= y1; ++y)
                    for (int x = x0; x <= x1; ++x) {
                        const Vec3 m = CellCentre(y * kSide + x);
                        const double u = Cross(b - a, m - a).z / area, v = Cross(c - b, m - b).z / area,
                                     w = Cross(a - c, m - c).z / area;
                        if (u >= 0 && v >= 0 && w >= 0)
                            cells.insert(y * kSide + x);
                    }
            }
        for (int cell : cells)
            visit(cell);
    }

    std::vector<int> m_count;
};

// The sprigs where they grow: the inner and outer rows, then the rest where they cover most.
std::vector<Piece> Sow(SplitMix64& rng)
{
    std::vector<Piece> pieces;
    // The inner and outer rows evenly round the ring, so that the hole and the rim are even.
    for (RowTag tag : {kInner, kOuter}) {
        const double phase = rng.Unit();
        const int count = tag == kInner ? kInnerRow : kOuterRow;
        for (int j = 0; j < count; ++j) {
            const double angle = 2 * std::numbers::pi * (j + phase + rng.Between(-0.25, 0.25)) / count;
            const double across = tag == kInner ? rng.Between(0.0, 0.05) : 1.0 + rng.Between(-0.05, 0.0);
            pieces.push_back(MakePiece(tag, angle, across, rng));
        }
    }
    // The rest between them, each where it covers most of what is still bare (the best of a
    // few random tries), so that the backdrop does not show through the greenery.
    Coverage coverage;
    for (const Piece& p : pieces)
        coverage.Add(p.p);
    while (pieces.size() < kPieces) {
        double bestGain = -1;
        Piece best;
        for (int k = 0; k < 32; ++k) {
            const double angle = rng.Between(-std::numbers::pi, std::numbers::pi);
            const double across = 0.02 + 0.9 * std::sqrt(rng.Unit());
            Piece candidate = MakePiece(kBetween, angle, across, rng);
            const double gain = coverage.Gain(candidate.p);
            if (gain > bestGain)
                bestGain = gain, best = candidate;
        }
        coverage.Add(best.p);
        pieces.push_back(best);
    }
    // Some sprigs between the rows are folded deeply and twisted, so that part of one half
    // turns its underside up: the greenery looks alive, not pressed flat.
    for (Piece& p : pieces)
        if (p.row == kBetween && rng.Unit() < 0.15) {
            p.shape.fold = rng.Between(0.85, 1.15);
            p.shape.twist = rng.Between(-1.2, 1.2);
            Refine(p);
        }
    Require(pieces.size() == kPieces, "ring: wrong number of sprigs");
    return pieces;
}

// Fits the sprigs into the ring's bounds, sets the sprigs that touch the bounds onto them
// exactly, and gives the greenery its depth.
void Settle(std::vector<Piece>& pieces, SplitMix64& rng)
{
    // Every sprig inside the outline and clear of the hole, its centre within the centres'
    // bounds however it is reckoned; the outer row reaches out to the outline.
    for (Piece& piece : pieces) {
        if (piece.row == kOuter)
            FitOutside(piece, rng.Between(0.004, 0.05));
        else if (OuterReach(piece.p) > -0.02)
            FitOutside(piece, 0.02);
        FitInside(piece, kMinRadius + 0.03);
        for (int i = 0; i < 20; ++i) {
            const auto [lo, hi] = CentreRadii(piece.p);
            if (lo < kMinCentre + 0.005)
                MoveOut(piece, kMinCentre + 0.006 - lo);
            else if (hi > kMaxCentre - 0.004)
                MoveOut(piece, kMaxCentre - 0.005 - hi);
            else
                break;
        }
    }

    // The sprigs that set the bounds, each the one of its row nearest the place it touches:
    // turned out until its outermost vertex reaches the bound's distance from the axis, swung
    // round the axis to put that vertex where the bound is, then pushed onto it exactly.
    std::set<int> taken;
    struct Touch {
        double angle, distance;
        double (*of)(Vec3);
        bool largest;
        Vec3 axis;
    };
    // clang-format off
    const Touch touches[] = {
        {Radians(-0.3), kMaxX, X, true, {1, 0, 0}},
        {Radians(180.4), -kMinX, X, false, {1, 0, 0}},
        {Radians(88.0), kMaxY, Y, true, {0, 1, 0}},
        {Radians(-89.0), -kMinY, Y, false, {0, 1, 0}},
        {Radians(-11.0), kMaxRadius, nullptr, true, {}},
    };
    // clang-format on
    for (const Touch& t : touches) {
        Piece& p = pieces[Nearest(pieces, kOuter, t.angle, taken)];
        ReachOut(p, kMaxCentre - 0.02, t.distance);
        int far = 0;
        for (int i = 0; i < kPositions; ++i)
            if (Radius(p.p[i]) > Radius(p.p[far]))
                far = i;
        Swing(p, t.angle - Angle(p.p[far]));
        if (t.of)
            PushTo(p, t.of, t.largest, t.largest ? t.distance : -t.distance, t.axis);
    }
    // The sprigs whose centres lie farthest out and farthest in: straight, unrolled and along
    // the ring where it runs up and down, so that however their centres are reckoned (mean of
    // vertices or positions, middle of their extent) they lie at the same distance.
    Centre(pieces[Nearest(pieces, kOuter, 0.0, taken)], 0.0, kMaxCentre, 0.72);
    Centre(pieces[Nearest(pieces, kInner, std::numbers::pi, taken)], std::numbers::pi, kMinCentre, 1.0);
    {
        // The sprig reaching deepest into the hole, its tip turned in; its centre stands a
        // little out, as turning in pulls the middle of its extent inward.
        Piece& p = pieces[Nearest(pieces, kInner, Radians(20.0), taken)];
        MoveOut(p, 3.62 - Radius(p.at.centre));
        TurnInTo(p, kMinRadius);
    }

    // The heights are stretched to the ring's depth, then the greenery is pressed down under
    // the ornaments, then stretched again so that the ring's depth is exact.
    auto stretch = [&] {
        double z0 = 1e9, z1 = -1e9;
        for (const Piece& piece : pieces)
            for (const Vec3& v : piece.p)
                z0 = std::min(z0, v.z), z1 = std::max(z1, v.z);
        for (Piece& piece : pieces)
            for (Vec3& v : piece.p)
                v.z = kMinZ + (v.z - z0) * (kMaxZ - kMinZ) / (z1 - z0);
    };
    stretch();
    for (Piece& piece : pieces)
        for (Vec3& v : piece.p)
            v.z = kFloor + (v.z - kFloor) * Keep(v.x, v.y, kMaxZ);
    stretch();
    // Nothing of the greenery rises through the stars' middles, the flowers or the apples.
    for (const Hollow& h : kHollows) {
        if (h.keepBelow == 0.0)
            continue;
        for (const Piece& piece : pieces)
            for (const Vec3& v : piece.p)
                if (std::hypot(v.x - h.x, v.y - h.y) <= h.clear && v.z >= h.keepBelow)
                    BuildFailure("ring: a sprig rises to z = " + std::to_string(v.z) + " through the ornament at (" +
                                 std::to_string(h.x) + ", " + std::to_string(h.y) + ")");
    }
}

// How many quads of each sprig face the viewer, as its upper side lies now.
std::vector<int> Facing(const std::vector<Piece>& pieces)
{
    std::vector<int> facing(pieces.size());
    for (std::size_t i = 0; i < pieces.size(); ++i)
        for (const auto& q : SprigQuads())
            facing[i] += WindingZ(pieces[i].p[q[0]], pieces[i].p[q[1]], pieces[i].p[q[2]]) > 0.0;
    return facing;
}

// Which side of each sprig is up does not change how it looks: two-sided lighting turns the
// normal to the viewer either way. Chooses the sprigs to turn over so that the quads facing
// the viewer come to the ring's count; false when no choice does.
bool ChooseSides(const std::vector<int>& facing, SplitMix64& rng, std::vector<bool>& flipped)
{
    // reachable[i][n]: whether sprigs i.. can make n more.
    const int n = static_cast<int>(facing.size()), whole = 2 * kSegments;
    std::vector<std::vector<char>> reachable(n + 1, std::vector<char>(whole * n + 1, 0));
    reachable[n][0] = 1;
    for (int i = n - 1; i >= 0; --i)
        for (int sum = 0; sum <= whole * n; ++sum)
            for (int f : {facing[i], whole - facing[i]})
                if (sum >= f && reachable[i + 1][sum - f])
                    reachable[i][sum] = 1;
    if (!reachable[0][kCounterClockwise])
        return false;
    flipped.assign(n, false);
    int need = kCounterClockwise;
    for (int i = 0; i < n; ++i) {
        // Either side at random, as long as the count stays within reach.
        const bool preferFlip = rng.Unit() < 0.5;
        const int keep = facing[i], flip = whole - facing[i];
        const bool canKeep = need >= keep && reachable[i + 1][need - keep];
        const bool canFlip = need >= flip && reachable[i + 1][need - flip];
        flipped[i] = canFlip && (preferFlip || !canKeep);
        need -= flipped[i] ? flip : keep;
    }
    return need == 0;
}

}  // namespace

Mesh BuildRing()
{
    SplitMix64 rng(0x5EED'0F'F1'4ull);
    std::vector<Piece> sown = Sow(rng);
    std::vector<Piece> pieces = sown;
    SplitMix64 settleRng(0x5EED'5E77'1Eull), sideRng(0x5EED'51DEull);
    Settle(pieces, settleRng);
    std::vector<int> facing = Facing(pieces);
    std::vector<bool> flipped;
    if (!ChooseSides(facing, sideRng, flipped)) {
        // The sides cannot make the count (it is odd, for one, and turning a sprig over keeps
        // the parity of its share): retwist one deeply folded sprig until they can. Which of
        // its quads face the viewer depends on its outline in the plane alone, which settling
        // only moves and turns, so the new twist is tried on the sprig as sown.
        int fixer = 0;
        while (!(sown[fixer].row == kBetween && sown[fixer].shape.fold > 0.8))
            ++fixer;
        for (int k = 1;; ++k) {
            Require(k < 200, "ring: no choice of sides gives the count facing the viewer");
            Piece p = sown[fixer];
            p.shape.twist += 0.02 * ((k + 1) / 2) * (k % 2 ? 1 : -1);
            Refine(p);
            facing[fixer] = Facing({p})[0];
            SplitMix64 tryRng(0x5EED'51DEull);
            if (!ChooseSides(facing, tryRng, flipped))
                continue;
            sown[fixer] = p;
            break;
        }
        pieces = sown;
        SplitMix64 again(0x5EED'5E77'1Eull);
        Settle(pieces, again);
        facing = Facing(pieces);
        SplitMix64 sides(0x5EED'51DEull);
        Require(ChooseSides(facing, sides, flipped), "ring: no choice of sides gives the count facing the viewer");
    }
    CheckRing(pieces);

    Mesh m;
    for (int i = 0; i < kPieces; ++i)
        for (const auto& q0 : SprigQuads()) {
            // Flipping a quad reverses its first three corners, so its normal turns exactly.
            const std::array<int, 4> q = flipped[i] ? std::array<int, 4>{q0[2], q0[1], q0[0], q0[3]} : q0;
            const int base = static_cast<int>(m.vertices.size());
            for (int k : q)
                m.vertices.push_back(pieces[i].p[k]);
            m.quads.push_back({base, base + 1, base + 2, base + 3});
        }
    int counterClockwise = 0;
    for (const auto& q : m.quads)
        counterClockwise += WindingZ(m.vertices[q[0]], m.vertices[q[1]], m.vertices[q[2]]) > 0.0;
    Require(counterClockwise == kCounterClockwise,
            "ring: " + std::to_string(counterClockwise) + " quads face the viewer");
    return m;
}
