// The greenery, the pale flowers and the gold stars as the program holds them: their pieces,
// bounds, windings and shapes, checked over the built float tables.
#include "models/mesh.h"
#include "models/wreath_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numbers>
#include <numeric>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace {

const WreathTables& T = g_wreathTables;

using Position = std::array<float, 3>;
Position At(const MeshVertex& v)
{
    return {v[0], v[1], v[2]};
}

double Radius(const float* v)
{
    return std::hypot(double(v[0]), double(v[1]));
}

// The z of the face normal the program lights the face with: positive when the first three
// corners run counter-clockwise seen from the viewer.
float FacingZ(const MeshVertex* vertices, const std::int32_t* face)
{
    return ComputeFaceNormal(vertices[face[0]], vertices[face[1]], vertices[face[2]])[2];
}

// The sine of the angle at the second corner: 0 for corners that meet or lie in a line.
double CornerSine(const float* a, const float* b, const float* c)
{
    double d1[3], d2[3];
    for (int k = 0; k < 3; ++k)
        d1[k] = double(b[k]) - a[k], d2[k] = double(c[k]) - b[k];
    const double n[3] = {d1[1] * d2[2] - d1[2] * d2[1], d1[2] * d2[0] - d1[0] * d2[2], d1[0] * d2[1] - d1[1] * d2[0]};
    const double l1 = std::hypot(d1[0], d1[1], d1[2]), l2 = std::hypot(d2[0], d2[1], d2[2]);
    return l1 * l2 == 0.0 ? 0.0 : std::hypot(n[0], n[1], n[2]) / (l1 * l2);
}

struct Bounds {
    double lo[3] = {1e9, 1e9, 1e9}, hi[3] = {-1e9, -1e9, -1e9};
};
Bounds BoundsOf(std::span<const MeshVertex> vertices)
{
    Bounds b;
    for (const MeshVertex& v : vertices)
        for (int k = 0; k < 3; ++k)
            b.lo[k] = std::min(b.lo[k], double(v[k])), b.hi[k] = std::max(b.hi[k], double(v[k]));
    return b;
}

// Expects the bounds to be the chosen ones at four decimals.
void ExpectBounds(const Bounds& b, const std::array<double, 6>& want, const std::string& mesh)
{
    const char* names[] = {"x", "y", "z"};
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(b.lo[k], want[2 * k], 0.00005) << mesh << " lowest " << names[k];
        EXPECT_NEAR(b.hi[k], want[2 * k + 1], 0.00005) << mesh << " highest " << names[k];
    }
}

// The pieces of a mesh: faces joined wherever they share a position. Each piece lists its
// faces and the vertices they use, in storage order.
struct Piece {
    std::vector<int> faces, vertices;
};
template <std::size_t N>
std::vector<Piece> PiecesOf(std::span<const MeshVertex> vertices, std::span<const std::int32_t[N]> faces)
{
    std::map<Position, int> positionId;
    std::vector<int> idOfVertex(vertices.size());
    for (std::size_t v = 0; v < vertices.size(); ++v)
        idOfVertex[v] = positionId.emplace(At(vertices[v]), static_cast<int>(positionId.size())).first->second;
    std::vector<int> parent(positionId.size());
    std::iota(parent.begin(), parent.end(), 0);
    auto find = [&](int i) {
        while (parent[i] != i)
            i = parent[i] = parent[parent[i]];
        return i;
    };
    for (const auto& f : faces)
        for (std::size_t k = 1; k < N; ++k)
            parent[find(idOfVertex[f[k]])] = find(idOfVertex[f[0]]);
    std::map<int, Piece> pieces;  // by root, in order of first face
    std::vector<int> order;
    for (std::size_t i = 0; i < faces.size(); ++i) {
        const int root = find(idOfVertex[faces[i][0]]);
        if (!pieces.count(root))
            order.push_back(root);
        pieces[root].faces.push_back(static_cast<int>(i));
    }
    for (std::size_t v = 0; v < vertices.size(); ++v)
        pieces[find(idOfVertex[v])].vertices.push_back(static_cast<int>(v));
    std::vector<Piece> result;
    for (int root : order)
        result.push_back(pieces[root]);
    return result;
}

std::set<Position> PositionsOf(std::span<const MeshVertex> vertices, const std::vector<int>& which)
{
    std::set<Position> s;
    for (int v : which)
        s.insert(At(vertices[v]));
    return s;
}

// ---------------------------------------------------------------------------------------
// The ring

std::span<const MeshVertex> RingVertices()
{
    return {T.ringVertices, kRingVertices};
}
std::span<const MeshQuad> RingQuads()
{
    return {T.ringQuads, kRingQuads};
}

constexpr int kSprigs = 168, kSprigQuads = 34, kSprigVertices = 136;

TEST(RingTablesTest, EveryQuadHasFourVerticesOfItsOwn)
{
    // A vertex shared by two quads, or one no quad uses, would miscount the pieces' blocks.
    std::vector<int> uses(kRingVertices);
    for (const MeshQuad& q : RingQuads())
        for (int k = 0; k < 4; ++k)
            ++uses.at(q[k]);
    EXPECT_EQ(std::count(uses.begin(), uses.end(), 1), kRingVertices);
}

TEST(RingTablesTest, BoundsAreTheChosenOnes)
{
    ExpectBounds(BoundsOf(RingVertices()), {-10.1418, 10.8539, -9.7499, 8.7236, 0.0885, 1.6954}, "ring");
}

TEST(RingTablesTest, SprigsAreSeparatePiecesStoredBlockByBlock)
{
    // Joining equal positions must give back exactly the 168 blocks of 34 quads and 136
    // vertices; a position shared between two sprigs would merge them.
    const std::vector<Piece> pieces = PiecesOf<4>(RingVertices(), RingQuads());
    ASSERT_EQ(pieces.size(), static_cast<std::size_t>(kSprigs));
    for (int n = 0; n < kSprigs; ++n) {
        const Piece& p = pieces[n];
        ASSERT_EQ(p.faces.size(), static_cast<std::size_t>(kSprigQuads)) << "sprig " << n;
        ASSERT_EQ(p.vertices.size(), static_cast<std::size_t>(kSprigVertices)) << "sprig " << n;
        EXPECT_EQ(p.faces.front(), kSprigQuads * n) << "sprig " << n << " is not stored in its own block";
        EXPECT_EQ(p.faces.back(), kSprigQuads * n + kSprigQuads - 1) << "sprig " << n;
        EXPECT_EQ(p.vertices.front(), kSprigVertices * n) << "sprig " << n;
        EXPECT_EQ(p.vertices.back(), kSprigVertices * n + kSprigVertices - 1) << "sprig " << n;
    }
}

TEST(RingTablesTest, EachSprigIsTwoRibbonsOfSeventeenQuadsAlongOneMidrib)
{
    // Each block's quads are stored ribbon by ribbon. The two ribbons share the 18 positions
    // of the midrib and nothing else, each has 18 positions of its own along its outer edge,
    // and each is a strip: every quad shares one rung with the next and has two midrib corners.
    const auto vertices = RingVertices();
    for (int n = 0; n < kSprigs; ++n) {
        std::set<Position> ribbon[2];
        for (int r = 0; r < 2; ++r)
            for (int i = 0; i < 17; ++i) {
                const MeshQuad& q = T.ringQuads[kSprigQuads * n + 17 * r + i];
                for (int k = 0; k < 4; ++k)
                    ribbon[r].insert(At(vertices[q[k]]));
            }
        std::set<Position> midrib, all = ribbon[0];
        all.insert(ribbon[1].begin(), ribbon[1].end());
        for (const Position& p : ribbon[0])
            if (ribbon[1].count(p))
                midrib.insert(p);
        ASSERT_EQ(all.size(), 54u) << "sprig " << n;
        ASSERT_EQ(midrib.size(), 18u) << "sprig " << n;
        ASSERT_EQ(ribbon[0].size() - midrib.size(), 18u) << "sprig " << n;
        ASSERT_EQ(ribbon[1].size() - midrib.size(), 18u) << "sprig " << n;
        for (int r = 0; r < 2; ++r)
            for (int i = 0; i < 17; ++i) {
                const MeshQuad& q = T.ringQuads[kSprigQuads * n + 17 * r + i];
                std::set<Position> corners;
                int onMidrib = 0;
                for (int k = 0; k < 4; ++k) {
                    corners.insert(At(vertices[q[k]]));
                    onMidrib += midrib.count(At(vertices[q[k]])) ? 1 : 0;
                }
                ASSERT_EQ(corners.size(), 4u) << "sprig " << n << " quad " << 17 * r + i;
                ASSERT_EQ(onMidrib, 2) << "sprig " << n << " quad " << 17 * r + i;
                if (i == 16)
                    continue;
                const MeshQuad& next = T.ringQuads[kSprigQuads * n + 17 * r + i + 1];
                int shared = 0;
                for (int k = 0; k < 4; ++k)
                    shared += corners.count(At(vertices[next[k]])) ? 1 : 0;
                ASSERT_EQ(shared, 2) << "sprig " << n << " quad " << 17 * r + i;
            }
    }
}

TEST(RingTablesTest, EveryVertexLiesWithinTheRingsRadii)
{
    double lo = 1e9, hi = 0;
    for (const MeshVertex& v : RingVertices())
        lo = std::min(lo, Radius(v)), hi = std::max(hi, Radius(v));
    EXPECT_NEAR(lo, 2.141, 0.0005);
    EXPECT_NEAR(hi, 10.858, 0.0005);
}

TEST(RingTablesTest, SprigCentresLieBetweenTheirRadiiHoweverReckoned)
{
    // The centre of a sprig as the mean of its vertices, the mean of its distinct positions or
    // the middle of its extent: all from 3.37 to 10.0 from the axis, reaching both.
    const auto vertices = RingVertices();
    for (int way = 0; way < 3; ++way) {
        double lo = 1e9, hi = 0;
        for (int n = 0; n < kSprigs; ++n) {
            double c[2] = {0, 0};
            if (way == 0) {
                for (int v = kSprigVertices * n; v < kSprigVertices * (n + 1); ++v)
                    c[0] += vertices[v][0] / kSprigVertices, c[1] += vertices[v][1] / kSprigVertices;
            } else {
                std::vector<int> block(kSprigVertices);
                std::iota(block.begin(), block.end(), kSprigVertices * n);
                const std::set<Position> positions = PositionsOf(vertices, block);
                double x0 = 1e9, x1 = -1e9, y0 = 1e9, y1 = -1e9;
                for (const Position& p : positions) {
                    c[0] += p[0] / positions.size(), c[1] += p[1] / positions.size();
                    x0 = std::min(x0, double(p[0])), x1 = std::max(x1, double(p[0]));
                    y0 = std::min(y0, double(p[1])), y1 = std::max(y1, double(p[1]));
                }
                if (way == 2)
                    c[0] = (x0 + x1) / 2, c[1] = (y0 + y1) / 2;
            }
            const double r = std::hypot(c[0], c[1]);
            lo = std::min(lo, r), hi = std::max(hi, r);
        }
        EXPECT_GE(lo, 3.365) << "reckoning " << way;
        EXPECT_LT(lo, 3.375) << "reckoning " << way;
        EXPECT_GE(hi, 9.995) << "reckoning " << way;
        EXPECT_LE(hi, 10.0) << "reckoning " << way;
    }
}

TEST(RingTablesTest, QuadsFaceTheViewerInTheirNumbers)
{
    // 3019 counter-clockwise and 2693 clockwise as the program's own face normal has them;
    // none edge-on, where a rounding could tip it either way.
    int counterClockwise = 0, clockwise = 0;
    for (const MeshQuad& q : RingQuads()) {
        const float z = FacingZ(T.ringVertices, q);
        EXPECT_GT(std::fabs(z), 0.001f);
        (z > 0 ? counterClockwise : clockwise) += 1;
    }
    EXPECT_EQ(counterClockwise, 3019);
    EXPECT_EQ(clockwise, 2693);
}

TEST(RingTablesTest, NoQuadsFirstCornersMeetOrLieInALine)
{
    for (int i = 0; i < kRingQuads; ++i) {
        const MeshQuad& q = T.ringQuads[i];
        ASSERT_GT(CornerSine(T.ringVertices[q[0]], T.ringVertices[q[1]], T.ringVertices[q[2]]), 0.001) << "quad " << i;
    }
}

TEST(RingTablesTest, GreeneryCoversTheBandWithoutGaps)
{
    // Seen from the viewer, the quads cover the middle of the band, 4 to 8 from the axis,
    // all but a few hundredths of it: a sparse ring shows the backdrop through its middle.
    constexpr double cell = 0.1;
    constexpr int side = 230;
    std::vector<char> covered(side * side, 0);
    auto mark = [&](const float* a, const float* b, const float* c) {
        const double area = (double(b[0]) - a[0]) * (double(c[1]) - a[1]) -
                            (double(b[1]) - a[1]) * (double(c[0]) - a[0]);
        if (area == 0)
            return;
        const int x0 = std::max(0, int((std::min({a[0], b[0], c[0]}) + 11.5) / cell));
        const int x1 = std::min(side - 1, int((std::max({a[0], b[0], c[0]}) + 11.5) / cell));
        const int y0 = std::max(0, int((std::min({a[1], b[1], c[1]}) + 11.5) / cell));
        const int y1 = std::min(side - 1, int((std::max({a[1], b[1], c[1]}) + 11.5) / cell));
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                const double px = (x + 0.5) * cell - 11.5, py = (y + 0.5) * cell - 11.5;
                auto edge = [&](const float* p, const float* q) {
                    return ((double(q[0]) - p[0]) * (py - p[1]) - (double(q[1]) - p[1]) * (px - p[0])) / area;
                };
                if (edge(a, b) >= 0 && edge(b, c) >= 0 && edge(c, a) >= 0)
                    covered[y * side + x] = 1;
            }
    };
    for (const MeshQuad& q : RingQuads()) {
        mark(T.ringVertices[q[0]], T.ringVertices[q[1]], T.ringVertices[q[2]]);
        mark(T.ringVertices[q[0]], T.ringVertices[q[2]], T.ringVertices[q[3]]);
    }
    int inBand = 0, bare = 0;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const double r = std::hypot((x + 0.5) * cell - 11.5, (y + 0.5) * cell - 11.5);
            if (r < 4.0 || r > 8.0)
                continue;
            ++inBand;
            bare += covered[y * side + x] ? 0 : 1;
        }
    EXPECT_LT(double(bare) / inBand, 0.04);
}

// ---------------------------------------------------------------------------------------
// The flat pieces

std::span<const MeshVertex> FlatVertices()
{
    return {T.flatVertices, kFlatVertices};
}
std::span<const MeshTriangle> FlatTriangles()
{
    return {T.flatTriangles, kFlatTriangles};
}

const double kClusterCentres[5][2] = {{-4.31, 3.04}, {6.29, 1.69}, {6.59, -3.11}, {0.99, -6.71}, {-5.91, -2.76}};

TEST(FlatPieceTablesTest, BoundsAreTheChosenOnes)
{
    ExpectBounds(BoundsOf(FlatVertices()), {-7.2, 7.475, -7.7, 3.975, 1.3, 1.3}, "flat pieces");
}

TEST(FlatPieceTablesTest, CornersLieOnTheGridInThePlane)
{
    for (const MeshVertex& v : FlatVertices()) {
        EXPECT_EQ(v[2], 1.3f);
        for (int k = 0; k < 2; ++k) {
            const double steps = v[k] / 0.025;
            EXPECT_NEAR(steps, std::round(steps), 1e-4) << v[0] << ", " << v[1];
        }
    }
}

TEST(FlatPieceTablesTest, SixtyPiecesOfThreeSizes)
{
    // Forty of 4 triangles on 6 vertices, fifteen of 5 on 7, five of 3 on 5.
    const std::vector<Piece> pieces = PiecesOf<3>(FlatVertices(), FlatTriangles());
    ASSERT_EQ(pieces.size(), 60u);
    std::map<std::pair<std::size_t, std::size_t>, int> kinds;
    for (const Piece& p : pieces)
        ++kinds[{p.faces.size(), p.vertices.size()}];
    EXPECT_EQ(kinds[std::make_pair(std::size_t(4), std::size_t(6))], 40);
    EXPECT_EQ(kinds[std::make_pair(std::size_t(5), std::size_t(7))], 15);
    EXPECT_EQ(kinds[std::make_pair(std::size_t(3), std::size_t(5))], 5);
}

// The extent of a piece: its width and height.
std::pair<double, double> Extent(const Piece& p)
{
    double x0 = 1e9, x1 = -1e9, y0 = 1e9, y1 = -1e9;
    for (int i : p.vertices) {
        x0 = std::min(x0, double(T.flatVertices[i][0])), x1 = std::max(x1, double(T.flatVertices[i][0]));
        y0 = std::min(y0, double(T.flatVertices[i][1])), y1 = std::max(y1, double(T.flatVertices[i][1]));
    }
    return {x1 - x0, y1 - y0};
}

TEST(FlatPieceTablesTest, PiecesAreFromAQuarterToNearlyHalfAUnitAcross)
{
    // Each piece 0.275 to 0.45 across both ways; the smallest and the largest reach the ends.
    double smallest = 1e9, largest = 0;
    for (const Piece& p : PiecesOf<3>(FlatVertices(), FlatTriangles())) {
        const auto [w, h] = Extent(p);
        EXPECT_GE(std::min(w, h), 0.275 - 1e-5);
        EXPECT_LE(std::max(w, h), 0.45 + 1e-5);
        smallest = std::min(smallest, std::max(w, h)), largest = std::max(largest, std::max(w, h));
    }
    EXPECT_NEAR(smallest, 0.275, 1e-5);
    EXPECT_NEAR(largest, 0.45, 1e-5);
}

TEST(FlatPieceTablesTest, FiveClustersOfTwelveAroundTheirPlaces)
{
    // Each piece belongs to the nearest of the five places; twelve to each, and the mean of a
    // cluster's corners, like the mean of its pieces' own centres, is the place (2 decimals).
    int members[5] = {};
    double corners[5][3] = {}, centres[5][2] = {};
    for (const Piece& p : PiecesOf<3>(FlatVertices(), FlatTriangles())) {
        double c[2] = {0, 0};
        for (int i : p.vertices)
            c[0] += T.flatVertices[i][0] / p.vertices.size(), c[1] += T.flatVertices[i][1] / p.vertices.size();
        int nearest = 0;
        for (int k = 1; k < 5; ++k)
            if (std::hypot(c[0] - kClusterCentres[k][0], c[1] - kClusterCentres[k][1]) <
                std::hypot(c[0] - kClusterCentres[nearest][0], c[1] - kClusterCentres[nearest][1]))
                nearest = k;
        EXPECT_LT(std::hypot(c[0] - kClusterCentres[nearest][0], c[1] - kClusterCentres[nearest][1]), 1.3);
        ++members[nearest];
        centres[nearest][0] += c[0], centres[nearest][1] += c[1];
        for (int i : p.vertices)
            corners[nearest][0] += T.flatVertices[i][0], corners[nearest][1] += T.flatVertices[i][1],
                ++corners[nearest][2];
    }
    for (int k = 0; k < 5; ++k) {
        ASSERT_EQ(members[k], 12) << "cluster " << k;
        EXPECT_NEAR(corners[k][0] / corners[k][2], kClusterCentres[k][0], 0.005) << "cluster " << k;
        EXPECT_NEAR(corners[k][1] / corners[k][2], kClusterCentres[k][1], 0.005) << "cluster " << k;
        EXPECT_NEAR(centres[k][0] / 12, kClusterCentres[k][0], 0.005) << "cluster " << k;
        EXPECT_NEAR(centres[k][1] / 12, kClusterCentres[k][1], 0.005) << "cluster " << k;
    }
}

TEST(FlatPieceTablesTest, EveryTriangleFacesAwayFromTheViewer)
{
    for (int i = 0; i < kFlatTriangles; ++i) {
        const MeshTriangle& t = T.flatTriangles[i];
        const auto n = ComputeFaceNormal(T.flatVertices[t[0]], T.flatVertices[t[1]], T.flatVertices[t[2]]);
        EXPECT_EQ(n[0], 0.0f) << "triangle " << i;
        EXPECT_EQ(n[1], 0.0f) << "triangle " << i;
        EXPECT_EQ(n[2], -1.0f) << "triangle " << i;
        EXPECT_GT(CornerSine(T.flatVertices[t[0]], T.flatVertices[t[1]], T.flatVertices[t[2]]), 0.01)
            << "triangle " << i;
    }
}

// ---------------------------------------------------------------------------------------
// The stars

const double kStarCentres[5][3] = {
    {-3.4463, 5.2, 1.6}, {-4.4963, -0.25, 1.5}, {-2.2463, -6.25, 1.4}, {4.3037, -3.9, 1.5}, {5.7537, 3.75, 1.6}};

// Rim point j (0 to 11) of star s: the first stored once at block vertex 1, the others at
// block vertex 2j.
const float* Rim(int s, int j)
{
    return T.starVertices[25 * s + (j == 0 ? 1 : 2 * j)];
}

TEST(StarTablesTest, BoundsAreTheChosenOnes)
{
    ExpectBounds(BoundsOf({T.starVertices, kStarVertices}), {-5.3053, 6.5553, -7.1687, 6.0969, 1.025, 1.6}, "stars");
}

TEST(StarTablesTest, EachStarIsAFanFromItsCentreOverRimPointsStoredTwice)
{
    // Facet k of a star is (block vertex 2k + 1, block vertex 2k + 2, centre); vertices 2k + 2
    // and 2k + 3 are one point, and vertex 24 repeats vertex 1, so the fan closes.
    for (int s = 0; s < 5; ++s) {
        const int base = 25 * s;
        for (int k = 0; k < 12; ++k) {
            const MeshTriangle& t = T.starTriangles[12 * s + k];
            EXPECT_EQ(t[0], base + 2 * k + 1) << "star " << s << " facet " << k;
            EXPECT_EQ(t[1], base + 2 * k + 2) << "star " << s << " facet " << k;
            EXPECT_EQ(t[2], base) << "star " << s << " facet " << k;
        }
        for (int k = 0; k < 11; ++k)
            EXPECT_EQ(At(T.starVertices[base + 2 * k + 2]), At(T.starVertices[base + 2 * k + 3])) << "star " << s;
        EXPECT_EQ(At(T.starVertices[base + 24]), At(T.starVertices[base + 1])) << "star " << s;
        const std::set<Position> rim = [&] {
            std::set<Position> r;
            for (int v = 1; v < 25; ++v)
                r.insert(At(T.starVertices[base + v]));
            return r;
        }();
        EXPECT_EQ(rim.size(), 12u) << "star " << s;
    }
}

TEST(StarTablesTest, CentresStandAtTheirPlacesRaisedAboveAFlatRim)
{
    for (int s = 0; s < 5; ++s) {
        const float* c = T.starVertices[25 * s];
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(c[k], kStarCentres[s][k], 0.00005) << "star " << s;
        for (int v = 1; v < 25; ++v)
            EXPECT_NEAR(T.starVertices[25 * s + v][2], c[2] - 0.375, 1e-6) << "star " << s << " vertex " << v;
    }
}

TEST(StarTablesTest, SixTipsBetweenSixInnerCornersTheFirstTipOnTop)
{
    // Going round counter-clockwise from the top tip, the rim alternates tips 0.90 to 0.93 from
    // the centre with inner corners 0.43 to 0.45 from it (measured across the rim's plane).
    double tipLo = 1e9, tipHi = 0, innerLo = 1e9, innerHi = 0;
    for (int s = 0; s < 5; ++s) {
        const float* c = T.starVertices[25 * s];
        double turned = 0, last = 0;
        for (int j = 0; j < 12; ++j) {
            const double dx = Rim(s, j)[0] - c[0], dy = Rim(s, j)[1] - c[1];
            const double r = std::hypot(dx, dy), a = std::atan2(dy, dx);
            if (j % 2 == 0)
                tipLo = std::min(tipLo, r), tipHi = std::max(tipHi, r);
            else
                innerLo = std::min(innerLo, r), innerHi = std::max(innerHi, r);
            if (j == 0) {
                EXPECT_GT(dy, 0.0) << "star " << s;
                EXPECT_LT(std::fabs(dx), 0.05) << "star " << s << ": the first tip is not on top";
            } else {
                const double step = std::remainder(a - last, 2 * std::numbers::pi);
                EXPECT_GT(step, 0.3) << "star " << s << " rim point " << j;
                EXPECT_LT(step, 0.8) << "star " << s << " rim point " << j;
                turned += step;
            }
            last = a;
        }
        EXPECT_NEAR(turned + std::remainder(std::atan2(Rim(s, 0)[1] - c[1], Rim(s, 0)[0] - c[0]) - last,
                                            2 * std::numbers::pi),
                    2 * std::numbers::pi, 1e-5)
            << "star " << s << " does not go round once";
    }
    EXPECT_NEAR(tipLo, 0.90, 0.005);
    EXPECT_NEAR(tipHi, 0.93, 0.005);
    EXPECT_NEAR(innerLo, 0.43, 0.005);
    EXPECT_NEAR(innerHi, 0.45, 0.005);
}

TEST(StarTablesTest, EveryFacetFacesTheViewer)
{
    for (int i = 0; i < kStarTriangles; ++i) {
        EXPECT_GT(FacingZ(T.starVertices, T.starTriangles[i]), 0.1f) << "facet " << i;
        const MeshTriangle& t = T.starTriangles[i];
        EXPECT_GT(CornerSine(T.starVertices[t[0]], T.starVertices[t[1]], T.starVertices[t[2]]), 0.01) << "facet " << i;
    }
}

TEST(StarTablesTest, FirstFacetIsTheChosenOne)
{
    const MeshTriangle& t = T.starTriangles[0];
    const double want[3][3] = {{-3.45, 6.0969, 1.225}, {-3.6289, 5.5938, 1.225}, {-3.4463, 5.2, 1.6}};
    for (int k = 0; k < 3; ++k)
        for (int axis = 0; axis < 3; ++axis)
            EXPECT_NEAR(T.starVertices[t[k]][axis], want[k][axis], 0.00005) << "corner " << k;
}

// ---------------------------------------------------------------------------------------
// Together

TEST(RingTablesTest, GreeneryStaysUnderTheOrnamentsThatRestOnIt)
{
    // No sprig rises through a flower (at 1.3) within a flower cluster, or through a star's
    // middle above its rim: the ornaments would show greenery poking through them.
    for (const MeshVertex& v : RingVertices()) {
        for (const auto& c : kClusterCentres) {
            if (std::hypot(v[0] - c[0], v[1] - c[1]) < 1.1) {
                ASSERT_LT(v[2], 1.3f) << v[0] << ", " << v[1];
            }
        }
        for (const auto& c : kStarCentres) {
            if (std::hypot(v[0] - c[0], v[1] - c[1]) < 0.45) {
                ASSERT_LT(v[2], c[2] - 0.375) << v[0] << ", " << v[1];
            }
        }
    }
}

}  // namespace
