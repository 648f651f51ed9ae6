// The red bow over the top of the ring: two long tails, two loops, the knot and the tie
// behind it. Every piece is a ribbon swept along a curve and cut into patches of 5 x 5
// vertices (4 x 4 quads); neighbouring patches of a piece repeat their shared row exactly.
#include "checks.h"
#include "wreath_gen.h"

#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace {

const char* const kMesh = "bow";
constexpr double kPi = std::numbers::pi;
constexpr int kAcross = 5;     // vertices across a ribbon (and across a patch)
constexpr int kPatchRows = 4;  // quads along a patch

using Row = std::array<Vec3, kAcross>;

// A smooth curve through control points (Catmull-Rom, ends held by their neighbours).
class Curve {
public:
    explicit Curve(std::vector<Vec3> points) : m_p(std::move(points)) {}

    Vec3 At(double u) const
    {
        const auto [i, t] = Segment(u);
        const Vec3 p0 = P(i - 1), p1 = P(i), p2 = P(i + 1), p3 = P(i + 2);
        const double t2 = t * t, t3 = t2 * t;
        return 0.5 * ((2.0 * p1) + t * (p2 - p0) + t2 * (2.0 * p0 - 5.0 * p1 + 4.0 * p2 - p3) +
                      t3 * (3.0 * p1 - p0 - 3.0 * p2 + p3));
    }

    Vec3 Tangent(double u) const
    {
        const double h = 1e-5;
        return Normalized(At(std::min(1.0, u + h)) - At(std::max(0.0, u - h)));
    }

private:
    std::pair<int, double> Segment(double u) const
    {
        const int n = static_cast<int>(m_p.size()) - 1;
        const double s = std::clamp(u, 0.0, 1.0) * n;
        const int i = std::min(static_cast<int>(s), n - 1);
        return {i, s - i};
    }
    Vec3 P(int i) const
    {
        const int n = static_cast<int>(m_p.size());
        if (i < 0)
            return 2.0 * m_p[0] - m_p[1];
        if (i >= n)
            return 2.0 * m_p[n - 1] - m_p[n - 2];
        return m_p[i];
    }

    std::vector<Vec3> m_p;
};

// One row across a ribbon: centre, direction across, half width and how far the middle
// bows out along the ribbon's face normal (a cupped ribbon catches the light in bands).
Row RibbonRow(Vec3 centre, Vec3 tangent, Vec3 across, double halfWidth, double cup)
{
    const Vec3 face = Normalized(Cross(tangent, across));
    Row row;
    for (int c = 0; c < kAcross; ++c) {
        const double s = (c - 2) / 2.0;
        row[c] = centre + (s * halfWidth) * across + (cup * halfWidth * (1.0 - s * s)) * face;
    }
    return row;
}

Vec3 MirrorX(Vec3 v)
{
    return {-v.x, v.y, v.z};
}

// A tail hanging from the knot: down and out past the bell's shoulder, curling forward at
// the end, which is cut in a swallow-tail notch. side is -1 for the left tail, +1 for the right.
struct TailShape {
    std::vector<Vec3> path;  // drawn as the left tail; the right one mirrors it
    double twist;            // radians the ribbon turns about its length at mid-tail
};

std::vector<Row> Tail(const TailShape& shape, int side)
{
    std::vector<Vec3> points = shape.path;
    if (side > 0)
        for (Vec3& p : points)
            p = MirrorX(p);
    const Curve curve(points);
    constexpr int kRows = 8 * kPatchRows + 1;
    std::vector<Row> rows(kRows);
    for (int r = 0; r < kRows; ++r) {
        const double u = static_cast<double>(r) / (kRows - 1);
        Row row;
        for (int c = 0; c < kAcross; ++c) {
            const double s = (c - 2) / 2.0;
            // The notch: the middle of the ribbon ends short of its edges.
            const double uc = u * (1.0 - 0.07 * (1.0 - std::fabs(s)));
            const Vec3 t = curve.Tangent(uc);
            const Vec3 flat = Normalized(Cross({0.0, 0.0, 1.0}, t));
            const double turn = side * shape.twist * std::sin(kPi * uc) * std::sin(kPi * uc);
            const Vec3 across = Rotated(flat, t, turn);
            const double half = 0.2 + 0.11 * std::sqrt(uc);
            const Vec3 face = Normalized(Cross(t, across));
            row[c] = curve.At(uc) + (s * half) * across + (0.12 * half * (1.0 - s * s)) * face;
        }
        rows[r] = row;
    }
    return rows;
}

// A loop: a ribbon leaving the knot along the front, turning round at its far end and coming
// back behind itself, a teardrop seen from above. Its plane leans back so the inside of the
// far layer shows above the near one. side is -1 for the left loop, +1 for the right.
struct LoopShape {
    double reach;  // how far the loop goes out from the knot
    double depth;  // how far the layers stand apart
    double lean;   // radians the loop's plane leans back
    double rise;   // radians the loop points up from the horizontal
};

std::vector<Row> Loop(const LoopShape& shape, int side, Vec3 neck)
{
    const Vec3 out = {side * std::cos(shape.rise), std::sin(shape.rise), 0.0};
    const Vec3 up = {-side * std::sin(shape.rise), std::cos(shape.rise), 0.0};
    const Vec3 toward = Normalized(std::cos(shape.lean) * Vec3{0.0, 0.0, 1.0} - std::sin(shape.lean) * up);
    constexpr int kRows = 3 * kPatchRows + 1;
    std::vector<Row> rows(kRows);
    auto centre = [&](double a) {
        const double along = 0.5 * (1.0 - std::cos(a));
        return neck + (shape.reach * along) * out + (shape.depth * std::sin(a) * (0.35 + 0.65 * along)) * toward;
    };
    for (int r = 0; r + 1 < kRows; ++r) {
        const double a = 2.0 * kPi * r / (kRows - 1);
        const double along = 0.5 * (1.0 - std::cos(a));
        const Vec3 tangent = Normalized(centre(a + 1e-5) - centre(a - 1e-5));
        const Vec3 across = Normalized(Cross(out, toward));
        // Gathered narrow into the knot, full width at the far end.
        const double half = 0.12 + 0.52 * std::pow(std::sin(0.5 * kPi * along), 0.9);
        Row row = RibbonRow(centre(a), tangent, across, half, 0.10);
        // The far end is rounded: the ribbon's edges turn back before its middle does.
        for (int c = 0; c < kAcross; ++c) {
            const double s = (c - 2) / 2.0;
            row[c] = row[c] - (0.2 * shape.reach * std::pow(along, 3) * s * s) * out;
        }
        rows[r] = row;
    }
    rows[kRows - 1] = rows[0];  // both ends meet inside the knot
    return rows;
}

// The knot: a band wrapped round the gathered ribbons, a closed ring about the x axis whose
// middle swells out.
std::vector<Row> Knot(Vec3 centre, double halfHeight, double halfDepth, double halfWidth)
{
    constexpr int kRows = 4 * kPatchRows + 1;
    std::vector<Row> rows(kRows);
    for (int r = 0; r + 1 < kRows; ++r) {
        const double a = 2.0 * kPi * r / (kRows - 1);
        const Vec3 radial = {0.0, std::sin(a), std::cos(a)};
        const Vec3 c = centre + Vec3{0.0, halfHeight * std::sin(a), halfDepth * std::cos(a)};
        Row row;
        for (int k = 0; k < kAcross; ++k) {
            const double s = (k - 2) / 2.0;
            // Pinched at its edges where it grips the ribbons; a slight slant keeps it from
            // looking machined.
            const double swell = 1.0 - 0.25 * s * s;
            row[k] = centre + Vec3{s * halfWidth + 0.03 * std::sin(a), 0.0, 0.0} + swell * (c - centre) +
                     (0.07 * (1.0 - s * s)) * radial;
        }
        rows[r] = row;
    }
    rows[kRows - 1] = rows[0];
    return rows;
}

// The tie: a short strap from the back of the knot over the bell's crown down into the ring,
// holding the bow on the wreath.
std::vector<Row> Tie()
{
    const Curve curve({{0.47, 5.14, 1.82}, {0.32, 4.95, 1.5}, {0.15, 4.66, 1.2}, {0.02, 4.35, 1.0}});
    constexpr int kRows = 2 * kPatchRows + 1;
    std::vector<Row> rows(kRows);
    for (int r = 0; r < kRows; ++r) {
        const double u = static_cast<double>(r) / (kRows - 1);
        const Vec3 t = curve.Tangent(u);
        const Vec3 side = {1.0, 0.25, 0.0};
        const Vec3 across = Normalized(side - Dot(side, t) * t);
        rows[r] = RibbonRow(curve.At(u), t, across, 0.32, 0.1);
    }
    return rows;
}

// Stretches a piece along one axis so that it spans exactly lo ... hi. The shapes above are
// drawn to within a tenth of their chosen extents, so the stretch never shows.
void Fit(std::vector<Row>& rows, const std::string& piece, double Vec3::*axis, double lo, double hi)
{
    double least = 1e9, greatest = -1e9;
    for (const Row& row : rows)
        for (const Vec3& v : row)
            least = std::min(least, v.*axis), greatest = std::max(greatest, v.*axis);
    const double scale = (hi - lo) / (greatest - least);
    if (scale < 0.9 || scale > 1.1) {
        char text[160];
        std::snprintf(text, sizeof text, "%s spans %.3f ... %.3f, far from its chosen %.3f ... %.3f", piece.c_str(),
                      least, greatest, lo, hi);
        BuildFailure(kMesh, text);
    }
    for (Row& row : rows)
        for (Vec3& v : row)
            v.*axis = lo + (v.*axis - least) * scale;
}

void FitBox(std::vector<Row>& rows, const std::string& piece, double xlo, double xhi, double ylo, double yhi)
{
    Fit(rows, piece, &Vec3::x, xlo, xhi);
    Fit(rows, piece, &Vec3::y, ylo, yhi);
}

// Moves a piece in depth so that its nearest point lies at front.
void PlaceFront(std::vector<Row>& rows, double front)
{
    double nearest = -1e9;
    for (const Row& row : rows)
        for (const Vec3& v : row)
            nearest = std::max(nearest, v.z);
    for (Row& row : rows)
        for (Vec3& v : row)
            v.z += front - nearest;
}

// Cuts a ribbon of 4n + 1 rows into n patches. Quad corners run (next row, c),
// (next row, c + 1), (row, c + 1), (row, c).
void AddPatches(Mesh& m, const std::vector<Row>& rows)
{
    for (std::size_t first = 0; first + kPatchRows < rows.size(); first += kPatchRows) {
        const int base = static_cast<int>(m.vertices.size());
        for (int r = 0; r <= kPatchRows; ++r)
            for (int c = 0; c < kAcross; ++c)
                m.vertices.push_back(rows[first + r][c]);
        for (int r = 0; r < kPatchRows; ++r)
            for (int c = 0; c + 1 < kAcross; ++c) {
                const int row = base + r * kAcross + c, next = row + kAcross;
                m.quads.push_back({next, next + 1, row + 1, row});
            }
    }
}

// The pieces are told apart by their positions: no two may share one.
void CheckPiecesApart(const std::vector<const std::vector<Row>*>& pieces)
{
    auto same = [](Vec3 a, Vec3 b) {
        return AsStored(a.x) == AsStored(b.x) && AsStored(a.y) == AsStored(b.y) && AsStored(a.z) == AsStored(b.z);
    };
    for (std::size_t i = 0; i < pieces.size(); ++i)
        for (std::size_t j = i + 1; j < pieces.size(); ++j)
            for (const Row& a : *pieces[i])
                for (const Vec3& p : a)
                    for (const Row& b : *pieces[j])
                        for (const Vec3& q : b)
                            Require(!same(p, q), kMesh, "two pieces share a position");
}

// The bell hangs under the knot; no ribbon may pass through it.
void CheckClearOfBell(const Mesh& bow)
{
    const Mesh bell = BuildBell();
    const Vec3 crown = bell.vertices.back();
    std::vector<std::pair<double, double>> outline;  // (height, radius), every ring's front vertex
    for (std::size_t i = 0; i + 1 < bell.vertices.size(); i += 21)
        outline.push_back({bell.vertices[i].y, bell.vertices[i].z - crown.z});
    outline.push_back({crown.y, 0.0});
    for (const Vec3& v : bow.vertices) {
        if (v.y < outline.front().first || v.y > crown.y)
            continue;
        double radius = 0.0;
        for (std::size_t i = 0; i + 1 < outline.size(); ++i)
            if (v.y >= outline[i].first && v.y <= outline[i + 1].first) {
                const double span = outline[i + 1].first - outline[i].first;
                const double t = span > 0 ? (v.y - outline[i].first) / span : 0.0;
                radius = std::max(radius, outline[i].second + t * (outline[i + 1].second - outline[i].second));
            }
        if (std::hypot(v.x, v.z - crown.z) <= radius + 0.02) {
            char text[160];
            std::snprintf(text, sizeof text, "vertex %d at (%.3f, %.3f, %.3f) lies inside the bell",
                          static_cast<int>(&v - bow.vertices.data()), v.x, v.y, v.z);
            BuildFailure(kMesh, text);
        }
    }
}

}  // namespace

Mesh BuildBow()
{
    // The left tail as drawn; the right one mirrors it with a little more twist.
    const TailShape tail = {{{-0.05, 4.74, 2.55},
                             {-0.55, 4.42, 2.5},
                             {-1.15, 3.92, 2.28},
                             {-1.62, 3.2, 2.08},
                             {-1.88, 2.45, 2.1},
                             {-2.1, 1.8, 2.3},
                             {-2.38, 1.3, 2.52}},
                            0.75};
    TailShape rightTail = tail;
    rightTail.twist = 0.9;
    rightTail.path[3].x -= 0.04;
    rightTail.path[5].x += 0.05;

    std::vector<Row> leftTail = Tail(tail, -1), rightTailRows = Tail(rightTail, +1);
    std::vector<Row> leftLoop = Loop({2.4, 0.55, 1.0, -0.06}, -1, {0.02, 4.9, 2.0});
    std::vector<Row> rightLoop = Loop({2.38, 0.54, 0.98, -0.04}, +1, {-0.06, 4.9, 2.0});
    std::vector<Row> knot = Knot({0.03, 4.84, 2.6}, 0.38, 0.22, 0.42);
    std::vector<Row> tie = Tie();

    // The chosen extents of each piece.
    FitBox(leftTail, "the left tail", -2.80, -0.12, 1.15, 4.8);
    FitBox(rightTailRows, "the right tail", 0.15, 2.75, 1.15, 4.8);
    FitBox(leftLoop, "the left loop", -2.32, 0.0, 4.15, 5.4696);
    FitBox(rightLoop, "the right loop", -0.05, 2.29, 4.15, 5.4696);
    FitBox(knot, "the knot", -0.40, 0.45, 4.40, 5.27);
    FitBox(tie, "the tie", -0.31, 0.71, 4.32, 5.18);
    // The knot is the nearest part of the bow, the tie (which reaches back into the ring) the
    // farthest.
    PlaceFront(knot, 2.8483);
    Fit(tie, "the tie", &Vec3::z, 0.8931, 1.93);

    CheckPiecesApart({&leftTail, &rightTailRows, &leftLoop, &rightLoop, &knot, &tie});

    Mesh m;
    AddPatches(m, leftTail);
    AddPatches(m, rightTailRows);
    AddPatches(m, leftLoop);
    AddPatches(m, rightLoop);
    AddPatches(m, knot);
    AddPatches(m, tie);

    Require(m.vertices.size() == 700 && m.quads.size() == 448, kMesh, "700 vertices, 448 quads");
    CheckBox(kMesh, BoxOf(m.vertices), {-2.8, 1.15, 0.8931}, {2.75, 5.4696, 2.8483}, kBoundTolerance);
    for (const auto& q : m.quads) {
        const Vec3 a = m.vertices[q[0]], b = m.vertices[q[1]], c = m.vertices[q[2]];
        const double area = Length(Cross(b - a, c - b));
        Require(area > 1e-3 * Length(b - a) * Length(c - b), kMesh, "a quad's first three corners lie on a line");
    }
    CheckClearOfBell(m);
    return m;
}
