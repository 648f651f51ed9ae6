// Small pale flowers in five sprays, flat in the plane z = 1.3 just above the greenery.
// Every corner lies on a grid of 0.025, so the shapes are laid out in whole grid steps.
#include "geometry.h"
#include "checks.h"
#include "ring_random.h"
#include "wreath_gen.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <set>
#include <utility>
#include <string>
#include <vector>

namespace {

constexpr double kStep = 0.025;
constexpr double kPlaneZ = 1.3;
constexpr int kSmallest = 11;  // 0.275 across, in grid steps
constexpr int kLargest = 18;   // 0.45 across
// The mesh's bounds in grid steps: -7.2 .. 7.475 and -7.7 .. 3.975.
constexpr int kMinX = -288, kMaxX = 299, kMinY = -308, kMaxY = 159;

struct Cell {
    int x = 0, y = 0;
};
Cell operator+(Cell a, Cell b)
{
    return {a.x + b.x, a.y + b.y};
}
Cell operator-(Cell a, Cell b)
{
    return {a.x - b.x, a.y - b.y};
}
bool operator==(Cell a, Cell b)
{
    return a.x == b.x && a.y == b.y;
}

Cell Snap(double x, double y)
{
    return {static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y))};
}

// Three kinds of flower, each a few overlapping triangles:
//  - floret (4 triangles, 6 corners): five pointed petals from a heart that sits on the line
//    between two petals, which lets four triangles cover the whole star;
//  - blossom (5 triangles, 7 corners): the same five petals as five triangles, each from a
//    heart to two petals apart; the last from a second heart a step aside;
//  - bud (3 triangles, 5 corners): a slender closed bud.
enum class Kind { Floret, Blossom, Bud };

struct Flower {
    Kind kind;
    std::vector<Cell> corners;  // relative to the flower's place
    std::vector<std::array<int, 3>> triangles;
    Cell place;
};

// Twice the signed area of a, b, c in grid steps: positive when counter-clockwise.
long Turn(Cell a, Cell b, Cell c)
{
    return long(b.x - a.x) * (c.y - b.y) - long(b.y - a.y) * (c.x - b.x);
}

struct Extent {
    int width, height;
    double diameter;
};
Extent Measure(const std::vector<Cell>& corners)
{
    int x0 = 1 << 20, x1 = -(1 << 20), y0 = 1 << 20, y1 = -(1 << 20);
    double d = 0;
    for (Cell a : corners) {
        x0 = std::min(x0, a.x), x1 = std::max(x1, a.x), y0 = std::min(y0, a.y), y1 = std::max(y1, a.y);
        for (Cell b : corners)
            d = std::max(d, std::hypot(a.x - b.x, a.y - b.y));
    }
    return {x1 - x0, y1 - y0, d};
}

// Seen from the viewer every triangle runs clockwise. Corners that meet or a triangle too
// thin to keep its turn spoil the flower: its corners come back empty.
Flower Settled(Flower f)
{
    for (auto& t : f.triangles) {
        const long turn = Turn(f.corners[t[0]], f.corners[t[1]], f.corners[t[2]]);
        if (std::labs(turn) < 4)
            return {f.kind, {}, {}, {}};
        if (turn > 0)
            std::swap(t[1], t[2]);
    }
    for (std::size_t i = 0; i < f.corners.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (f.corners[i] == f.corners[j])
                return {f.kind, {}, {}, {}};
    return f;
}

Cell Midpoint(Cell a, Cell b)
{
    return Snap((a.x + b.x) / 2.0, (a.y + b.y) / 2.0);
}

// Five petal tips on the grid, the first at angle degrees, the others 72 degrees on.
std::vector<Cell> Tips(double radius, double angle, const double jitter[5])
{
    std::vector<Cell> tips;
    for (int k = 0; k < 5; ++k) {
        const double a = Radians(angle + 72.0 * k + jitter[k]);
        tips.push_back(Snap(radius * std::cos(a), radius * std::sin(a)));
    }
    return tips;
}

// The floret's heart lies on the line between the two petals beside the first; from there
// four triangles to pairs of petals two apart cover the star.
Flower Floret(const std::vector<Cell>& tips)
{
    Flower f{Kind::Floret, {Midpoint(tips[1], tips[4])}, {{0, 1, 3}, {0, 1, 4}, {0, 2, 4}, {0, 3, 5}}, {}};
    f.corners.insert(f.corners.end(), tips.begin(), tips.end());
    return Settled(f);
}

// A flower of the kind, about radius steps from heart to petal tip, turned to angle degrees.
// Fails (empty corners) when the rounding to the grid spoils it.
Flower MakeFlower(Kind kind, double radius, double angle, const double jitter[5])
{
    const std::vector<Cell> tips = Tips(radius, angle, jitter);
    if (kind == Kind::Floret)
        return Floret(tips);
    if (kind == Kind::Blossom) {
        const double a = Radians(angle + 36.0);
        Flower f{Kind::Blossom, {{0, 0}}, {{0, 1, 3}, {0, 2, 4}, {0, 3, 5}, {0, 4, 1}, {6, 5, 2}}, {}};
        f.corners.insert(f.corners.end(), tips.begin(), tips.end());
        f.corners.push_back(Snap(1.2 * std::cos(a), 1.2 * std::sin(a)));
        return Settled(f);
    }
    // The bud: slender, its point, two shoulders and a blunt base, fanned from the point.
    const double u = Radians(angle), c = std::cos(u), s = std::sin(u);
    const double shape[5][2] = {{1.0, 0.0}, {0.05, 0.3}, {-0.75, 0.14}, {-0.75, -0.14}, {0.05, -0.3}};
    Flower f{Kind::Bud, {}, {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}}, {}};
    for (const auto& p : shape)
        f.corners.push_back(Snap(radius * (p[0] * c - p[1] * s), radius * (p[0] * s + p[1] * c)));
    return Settled(f);
}

bool SizeFits(const Flower& f)
{
    const Extent e = Measure(f.corners);
    return e.width >= kSmallest && e.height >= kSmallest && e.width <= kLargest && e.height <= kLargest &&
           e.diameter <= kLargest + 1e-9;
}

// A flower of the kind whose size lies within the allowed range, turned at random.
Flower RandomFlower(Kind kind, SplitMix64& rng)
{
    for (;;) {
        const double radius = kind == Kind::Bud ? rng.Between(7.5, 9.8) : rng.Between(6.2, 9.2);
        const double angle = rng.Between(0.0, 360.0);
        double jitter[5];
        for (double& j : jitter)
            j = rng.Between(-6.0, 6.0);
        Flower f = MakeFlower(kind, radius, angle, jitter);
        if (!f.corners.empty() && SizeFits(f))
            return f;
    }
}

// Where one cluster stands and how its flowers spread: the spray is stretched along
// its own direction, and one flower may be pushed to an outer bound of the mesh.
struct ClusterPlan {
    double cx, cy;     // centre, scene units
    double spread;     // radius of the spray, grid steps
    double stretch;    // length over width
    double direction;  // degrees
    int boundAxis;     // -1: none; 0: x; 1: y
    int boundSide;     // -1: the minimum; +1: the maximum
    int boundCell;     // the bound, in grid steps
};

// clang-format off
const ClusterPlan kClusters[5] = {
    {-4.31, 3.04, 30.0, 1.35, 100.0, 1, +1, kMaxY},  // its highest petal tops the mesh
    {6.29, 1.69, 31.0, 1.40, 75.0, -1, 0, 0},
    {6.59, -3.11, 29.0, 1.30, 20.0, 0, +1, kMaxX},   // the rightmost
    {0.99, -6.71, 34.0, 1.45, 170.0, 1, -1, kMinY},  // the lowest
    {-5.91, -2.76, 40.0, 1.70, 195.0, 0, -1, kMinX}, // the leftmost
};
// clang-format on

int Coord(Cell c, int axis)
{
    return axis == 0 ? c.x : c.y;
}
Cell Along(int axis, int amount)
{
    return axis == 0 ? Cell{amount, 0} : Cell{0, amount};
}

// The cluster's centre two ways: the mean of all its corners, and the mean of its flowers'
// own centres. Both in grid steps.
void Centres(const std::vector<Flower>& flowers, double all[2], double each[2])
{
    all[0] = all[1] = each[0] = each[1] = 0;
    int n = 0;
    for (const Flower& f : flowers) {
        double fx = 0, fy = 0;
        for (Cell c : f.corners) {
            const Cell p = c + f.place;
            all[0] += p.x, all[1] += p.y, fx += p.x, fy += p.y;
            ++n;
        }
        each[0] += fx / f.corners.size(), each[1] += fy / f.corners.size();
    }
    all[0] /= n, all[1] /= n;
    each[0] /= flowers.size(), each[1] /= flowers.size();
}

// The flower's farthest corner along an axis toward one side (-1 or +1), in grid steps.
int Extreme(const Flower& f, int axis, int side)
{
    int best = side > 0 ? -(1 << 20) : (1 << 20);
    for (Cell c : f.corners) {
        const int v = Coord(c + f.place, axis);
        best = side > 0 ? std::max(best, v) : std::min(best, v);
    }
    return best;
}

// Where the other ornaments near the sprays stand, in scene units: the flowers keep their
// corners out of these discs, so that none lies on a star, cuts through a gold berry or
// through the bottom of an apple.
struct Disc {
    double x, y, r;
};
std::vector<Disc> KeepOut()
{
    std::vector<Disc> discs;
    for (const auto& star :
         {std::array<double, 2>{-3.4463, 5.2}, {-4.4963, -0.25}, {-2.2463, -6.25}, {4.3037, -3.9}, {5.7537, 3.75}})
        discs.push_back({star[0], star[1], 0.98});
    for (const auto& apple :
         {std::array<double, 2>{-3.2, -4.064}, {2.9, -5.964}, {3.5, 5.036}, {5.0, -0.564}, {-6.4, 1.558}})
        discs.push_back({apple[0], apple[1], 0.3});
    // The berries: six to a cluster, each placed from the one before.
    const double bases[5][2] = {{4.5, 3.0}, {6.0, -1.5}, {-0.5, -5.5}, {-4.2, -2.5}, {-5.0, 2.0}};
    for (int c = 0; c < 5; ++c) {
        const double first = (c == 2 || c == 4) ? -0.05 : 0.05, second = (c == 2 || c == 4) ? 0.45 : 0.35;
        const double steps[6][2] = {{0, 0}, {first, 0.4}, {second, -0.4}, {-0.2, -0.4}, {-0.4, -0.1}, {-0.2, 0.5}};
        double x = bases[c][0], y = bases[c][1];
        for (const auto& step : steps) {
            x += step[0], y += step[1];
            discs.push_back({x, y, 0.2});
        }
    }
    return discs;
}

// A flower too near another, sharing a corner with one (which would join the two into one
// piece), or over the outer bounds of the mesh.
bool Crowded(const std::vector<Flower>& flowers, std::size_t which)
{
    static const std::vector<Disc> keepOut = KeepOut();
    const Flower& f = flowers[which];
    if (Extreme(f, 0, -1) < kMinX || Extreme(f, 0, +1) > kMaxX || Extreme(f, 1, -1) < kMinY ||
        Extreme(f, 1, +1) > kMaxY)
        return true;
    for (Cell c : f.corners)
        for (const Disc& d : keepOut)
            if (std::hypot((c + f.place).x * kStep - d.x, (c + f.place).y * kStep - d.y) < d.r)
                return true;
    for (std::size_t j = 0; j < flowers.size(); ++j) {
        if (j == which)
            continue;
        const Flower& g = flowers[j];
        if (std::hypot(g.place.x - f.place.x, g.place.y - f.place.y) < 10.0)
            return true;
        for (Cell a : f.corners)
            for (Cell b : g.corners)
                if (a + f.place == b + g.place)
                    return true;
    }
    return false;
}

std::vector<Flower> BuildCluster(const ClusterPlan& plan, bool smallest, bool largest, SplitMix64& rng)
{
    // Eight florets, three blossoms and a bud, set on a stretched sunflower spiral.
    const Kind kinds[12] = {Kind::Blossom, Kind::Floret, Kind::Floret, Kind::Bud,     Kind::Floret, Kind::Blossom,
                            Kind::Floret,  Kind::Floret, Kind::Floret, Kind::Blossom, Kind::Floret, Kind::Floret};
    std::vector<Flower> flowers;
    const double dir = Radians(plan.direction);
    const double target[2] = {plan.cx / kStep, plan.cy / kStep};
    for (int i = 0; i < 12; ++i) {
        Flower f = RandomFlower(kinds[i], rng);
        if (smallest && i == 4)  // exactly 0.275 across both ways
            f = Floret({{0, 6}, {-5, 2}, {-3, -5}, {4, -5}, {6, 2}});
        if (largest && i == 1)  // 0.45 across, from petal tip to petal tip
            f = Floret({{0, 9}, {-9, 3}, {-5, -7}, {5, -7}, {9, 3}});
        // On a stretched sunflower spiral, jittered, until it stands clear of the ones before.
        flowers.push_back(f);
        for (int tries = 0;; ++tries) {
            Require(tries < 500, "flat pieces: no room for a flower");
            const double r = plan.spread * std::sqrt((i + 0.5) / 12.0) * rng.Between(0.85, 1.15);
            const double a = Radians(137.50776 * i) + rng.Between(-0.35, 0.35);
            const double u = r * std::cos(a) * std::sqrt(plan.stretch), v = r * std::sin(a) / std::sqrt(plan.stretch);
            flowers[i].place = Snap(target[0] + u * std::cos(dir) - v * std::sin(dir),
                                    target[1] + u * std::sin(dir) + v * std::cos(dir));
            if (!Crowded(flowers, i))
                break;
        }
    }
    // The flower farthest toward the cluster's bound is pushed out to it exactly.
    int pinned = -1;
    if (plan.boundAxis >= 0) {
        int best = 0;
        for (int i = 0; i < 12; ++i) {
            const int e = Extreme(flowers[i], plan.boundAxis, plan.boundSide);
            if (pinned < 0 || e * plan.boundSide > best * plan.boundSide)
                pinned = i, best = e;
        }
        Require(std::abs(plan.boundCell - best) <= 20, "flat pieces: a cluster falls far short of its bound");
        flowers[pinned].place = flowers[pinned].place + Along(plan.boundAxis, plan.boundCell - best);
        Require(!Crowded(flowers, pinned), "flat pieces: the flower on a bound runs into another ornament");
    }
    // Nudge the other flowers a step at a time until both centres sit on the cluster's place.
    auto miss = [&] {
        double all[2], each[2];
        Centres(flowers, all, each);
        double worst = 0;
        for (int k = 0; k < 2; ++k)
            worst = std::max({worst, std::fabs(all[k] - target[k]), std::fabs(each[k] - target[k])});
        return worst;
    };
    auto cost = [&] {
        double all[2], each[2];
        Centres(flowers, all, each);
        double sum = 0;
        for (int k = 0; k < 2; ++k)
            sum += (all[k] - target[k]) * (all[k] - target[k]) + (each[k] - target[k]) * (each[k] - target[k]);
        return sum;
    };
    for (int round = 0; round < 400 && miss() > 0.12; ++round) {
        double best = cost();
        int bestFlower = -1;
        Cell bestMove;
        for (int i = 0; i < 12; ++i) {
            if (i == pinned)
                continue;
            for (Cell move : {Cell{1, 0}, Cell{-1, 0}, Cell{0, 1}, Cell{0, -1}}) {
                flowers[i].place = flowers[i].place + move;
                const double c = cost();
                if (c < best - 1e-12 && !Crowded(flowers, i))
                    best = c, bestFlower = i, bestMove = move;
                flowers[i].place = flowers[i].place - move;
            }
        }
        if (bestFlower >= 0) {
            flowers[bestFlower].place = flowers[bestFlower].place + bestMove;
            continue;
        }
        // No single step helps: one flower a step out and another a step in shifts the two
        // centres against each other, since flowers of different kinds weigh differently.
        int bestOther = -1;
        for (int i = 0; i < 12; ++i)
            for (int j = 0; j < 12; ++j) {
                if (i == pinned || j == pinned || i == j)
                    continue;
                for (Cell move : {Cell{1, 0}, Cell{0, 1}}) {
                    flowers[i].place = flowers[i].place + move;
                    flowers[j].place = flowers[j].place - move;
                    const double c = cost();
                    if (c < best - 1e-12 && !Crowded(flowers, i) && !Crowded(flowers, j))
                        best = c, bestFlower = i, bestOther = j, bestMove = move;
                    flowers[i].place = flowers[i].place - move;
                    flowers[j].place = flowers[j].place + move;
                }
            }
        if (bestFlower < 0)
            break;
        flowers[bestFlower].place = flowers[bestFlower].place + bestMove;
        flowers[bestOther].place = flowers[bestOther].place - bestMove;
    }
    Require(miss() <= 0.12, "flat pieces: a cluster's centre is off its place");
    return flowers;
}

void CheckFlatPieces(const std::vector<Flower>& flowers, const Mesh& m)
{
    int kinds[3] = {};
    std::set<std::pair<int, int>> corners;
    int smallest = kLargest, largest = kSmallest;
    for (const Flower& f : flowers) {
        ++kinds[static_cast<int>(f.kind)];
        const Extent e = Measure(f.corners);
        Require(SizeFits(f), "flat pieces: a flower is too small or too large");
        smallest = std::min(smallest, std::max(e.width, e.height));
        largest = std::max(largest, std::max(e.width, e.height));
        for (Cell c : f.corners)
            Require(corners.insert({c.x + f.place.x, c.y + f.place.y}).second,
                    "flat pieces: two flowers share a corner");
    }
    Require(flowers.size() == 60 && kinds[0] == 40 && kinds[1] == 15 && kinds[2] == 5,
            "flat pieces: not forty florets, fifteen blossoms and five buds");
    Require(smallest == kSmallest && largest == kLargest, "flat pieces: the sizes do not reach both ends");
    Vec3 lo{1e9, 1e9, 1e9}, hi{-1e9, -1e9, -1e9};
    for (const Vec3& v0 : m.vertices) {
        const Vec3 v = AsFloat(v0);
        lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
        hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
    }
    Require(RoundsTo(lo.x, kMinX * kStep) && RoundsTo(hi.x, kMaxX * kStep) && RoundsTo(lo.y, kMinY * kStep) &&
                RoundsTo(hi.y, kMaxY * kStep) && lo.z == hi.z && RoundsTo(lo.z, kPlaneZ),
            "flat pieces: bounds are x " + std::to_string(lo.x) + " .. " + std::to_string(hi.x) + ", y " +
                std::to_string(lo.y) + " .. " + std::to_string(hi.y));
    for (const auto& t : m.triangles) {
        Require(WindingZ(m.vertices[t[0]], m.vertices[t[1]], m.vertices[t[2]]) < 0.0,
                "flat pieces: a triangle faces the viewer");
        Require(CornerSine(m.vertices[t[0]], m.vertices[t[1]], m.vertices[t[2]]) > 0.01,
                "flat pieces: a triangle's corners are nearly in line");
    }
}

}  // namespace

Mesh BuildFlatPieces()
{
    SplitMix64 rng(0x5EED'F10E'0001ull);
    Mesh m;
    std::vector<Flower> all;
    for (int c = 0; c < 5; ++c) {
        // The first spray holds the smallest flower, the third the largest.
        const std::vector<Flower> flowers = BuildCluster(kClusters[c], c == 0, c == 2, rng);
        all.insert(all.end(), flowers.begin(), flowers.end());
        for (const Flower& f : flowers) {
            const int base = static_cast<int>(m.vertices.size());
            for (Cell corner : f.corners) {
                const Cell p = corner + f.place;
                m.vertices.push_back({p.x * kStep, p.y * kStep, kPlaneZ});
            }
            for (const auto& t : f.triangles)
                m.triangles.push_back({base + t[0], base + t[1], base + t[2]});
        }
    }
    CheckFlatPieces(all, m);
    return m;
}
