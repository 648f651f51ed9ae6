// The ornaments' tables as the program holds them (floats): bell, bow, apples and stems, their
// chosen counts, bounds and shapes, and that each is wound and lit the way it is drawn.
#include "models/wreath_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <map>
#include <numeric>
#include <set>
#include <span>
#include <utility>
#include <vector>

namespace {

const WreathTables& T = g_wreathTables;

// Bounds are chosen to four decimals; sizes and places to fewer, each checked to its last digit.
constexpr double kFourDecimals = 0.00005;
constexpr double kThreeDecimals = 0.0005;
constexpr double kTwoDecimals = 0.005;

struct V {
    double x, y, z;
};
V At(const MeshVertex& v)
{
    return {v[0], v[1], v[2]};
}
V operator-(V a, V b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
V operator+(V a, V b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
V Cross(V a, V b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Dot(V a, V b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
double Length(V a)
{
    return std::sqrt(Dot(a, a));
}

struct Box {
    V lo{1e9, 1e9, 1e9}, hi{-1e9, -1e9, -1e9};
    void Add(V p)
    {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
};

Box BoxOf(std::span<const MeshVertex> vertices)
{
    Box box;
    for (const MeshVertex& v : vertices)
        box.Add(At(v));
    return box;
}

void ExpectBox(const Box& box, V lo, V hi, double tolerance, const std::string& what)
{
    EXPECT_NEAR(box.lo.x, lo.x, tolerance) << what << ": least x";
    EXPECT_NEAR(box.hi.x, hi.x, tolerance) << what << ": greatest x";
    EXPECT_NEAR(box.lo.y, lo.y, tolerance) << what << ": least y";
    EXPECT_NEAR(box.hi.y, hi.y, tolerance) << what << ": greatest y";
    EXPECT_NEAR(box.lo.z, lo.z, tolerance) << what << ": least z";
    EXPECT_NEAR(box.hi.z, hi.z, tolerance) << what << ": greatest z";
}

bool RepeatsACorner(const MeshTriangle& t)
{
    return t[0] == t[1] || t[1] == t[2] || t[0] == t[2];
}

// A smooth mesh's triangles must run counter-clockwise about the side their normals face:
// with two-sided lighting a triangle wound the other way is lit as a back face (the stems'
// front-only material then shows the default grey) and with its normals turned inside out.
void ExpectWoundWithTheirNormals(std::span<const MeshVertex> vertices, std::span<const MeshVertex> normals,
                                 std::span<const MeshTriangle> triangles, const char* mesh)
{
    int against = 0;
    for (const MeshTriangle& t : triangles) {
        if (RepeatsACorner(t))
            continue;
        const V a = At(vertices[t[0]]), b = At(vertices[t[1]]), c = At(vertices[t[2]]);
        const V n = At(normals[t[0]]) + At(normals[t[1]]) + At(normals[t[2]]);
        if (Dot(Cross(b - a, c - b), n) <= 0.0)
            ++against;
    }
    EXPECT_EQ(against, 0) << mesh << ": triangles wound against their normals";
}

// Joins vertices at equal positions: the id of each vertex's position.
std::vector<int> PositionIds(std::span<const MeshVertex> vertices)
{
    std::map<std::array<float, 3>, int> ids;
    std::vector<int> result;
    for (const MeshVertex& v : vertices)
        result.push_back(
            ids.emplace(std::array<float, 3>{v[0], v[1], v[2]}, static_cast<int>(ids.size())).first->second);
    return result;
}

class Components {
public:
    explicit Components(std::size_t n) : m_parent(n) { std::iota(m_parent.begin(), m_parent.end(), 0); }
    int Find(int i) { return m_parent[i] == i ? i : m_parent[i] = Find(m_parent[i]); }
    void Join(int a, int b) { m_parent[Find(a)] = Find(b); }

private:
    std::vector<int> m_parent;
};

// ---------------------------------------------------------------------------------------
// Bell

constexpr double kAxisZ = 1.89;  // the bell's axis stands at x = 0, z = 1.89

double FromBellAxis(V p)
{
    return std::hypot(p.x, p.z - kAxisZ);
}

TEST(OrnamentBellTest, MeetsItsBounds)
{
    ExpectBox(BoxOf({T.bellVertices, kBellVertices}), {-1.2918, 2.5684, 0.6046}, {1.2918, 4.6, 3.1809}, kFourDecimals,
              "bell");
}

// The three bands keep to their own vertices: lip 0-41 (42 triangles), body 42-83 (42),
// cap 84-168 (147). Catches triangles stitched across bands or bands of the wrong size.
TEST(OrnamentBellTest, ThreeBandsEachUseOnlyTheirOwnVertices)
{
    struct Band {
        const char* name;
        int firstVertex, vertices, firstTriangle, triangles;
    };
    const Band bands[] = {{"lip", 0, 42, 0, 42}, {"body", 42, 42, 42, 42}, {"cap", 84, 85, 84, 147}};
    for (const Band& band : bands) {
        std::set<int> used;
        for (int t = band.firstTriangle; t < band.firstTriangle + band.triangles; ++t)
            for (int k = 0; k < 3; ++k) {
                const int v = T.bellVertexIndices[t][k];
                EXPECT_GE(v, band.firstVertex) << band.name << " triangle " << t;
                EXPECT_LT(v, band.firstVertex + band.vertices) << band.name << " triangle " << t;
                used.insert(v);
            }
        EXPECT_EQ(used.size(), static_cast<std::size_t>(band.vertices)) << band.name;
    }
    EXPECT_EQ(bands[2].firstTriangle + bands[2].triangles, kBellTriangles);
}

// Each band runs between two chosen rings: the lip from radius 1.29 at y 2.568 to 1.05 at
// y 2.838, the body on to 0.53 at y 4.271; the cap closes it at y 4.6 on the axis.
TEST(OrnamentBellTest, BandsRunBetweenTheirRings)
{
    struct Ring {
        double y, radius;
    };
    auto expectRing = [](int first, Ring ring, const char* what) {
        for (int v = first; v < first + 21; ++v) {
            const V p = At(T.bellVertices[v]);
            EXPECT_NEAR(p.y, ring.y, kThreeDecimals) << what << " vertex " << v;
            EXPECT_NEAR(FromBellAxis(p), ring.radius, 0.01) << what << " vertex " << v;
        }
    };
    const Ring mouth{2.568, 1.29}, waist{2.838, 1.05}, shoulder{4.271, 0.53};
    expectRing(0, mouth, "lip, lower ring");
    expectRing(21, waist, "lip, upper ring");
    expectRing(42, waist, "body, lower ring");
    expectRing(63, shoulder, "body, upper ring");
    expectRing(84, shoulder, "cap, lower ring");
    // The rest of the cap rises over the shoulder, narrowing, to a single top on the axis.
    double lastY = shoulder.y, lastRadius = shoulder.radius;
    for (int first = 105; first < 168; first += 21) {
        const V p = At(T.bellVertices[first]);
        EXPECT_GT(p.y, lastY) << "cap ring at vertex " << first;
        EXPECT_LT(FromBellAxis(p), lastRadius) << "cap ring at vertex " << first;
        lastY = p.y;
        lastRadius = FromBellAxis(p);
    }
    const V top = At(T.bellVertices[168]);
    EXPECT_NEAR(top.y, 4.6, kFourDecimals);
    EXPECT_NEAR(FromBellAxis(top), 0.0, 0.01);
}

// Every vertex at a given height lies at the same distance from the axis x = 0, z = 1.89
// (within 0.01): catches a lopsided or off-centre bell.
TEST(OrnamentBellTest, IsRotationallySymmetricAboutItsAxis)
{
    std::map<float, std::pair<double, double>> rings;  // height: least and greatest distance
    for (int v = 0; v < kBellVertices; ++v) {
        const V p = At(T.bellVertices[v]);
        auto [it, added] = rings.emplace(static_cast<float>(p.y), std::pair{FromBellAxis(p), FromBellAxis(p)});
        it->second = {std::min(it->second.first, FromBellAxis(p)), std::max(it->second.second, FromBellAxis(p))};
    }
    EXPECT_EQ(rings.size(), 7u) << "six heights of rings (bands share theirs where they meet) and the top";
    for (const auto& [y, spread] : rings) {
        // Some radius lies within 0.01 of every vertex's distance.
        EXPECT_LE(spread.second - spread.first, 0.02) << "ring at y " << y;
        // Vertices about the ring face each other across the axis in x.
        double sumX = 0;
        for (int v = 0; v < kBellVertices; ++v)
            if (static_cast<float>(T.bellVertices[v][1]) == y)
                sumX += T.bellVertices[v][0];
        EXPECT_NEAR(sumX, 0.0, 1e-4) << "ring at y " << y;
    }
}

// Open at the bottom: joining the bands where they meet, the only edges with a face on one
// side are the 21 round the mouth, all at its height. Catches a closed bottom, a gap
// between bands or a hole in the cap.
TEST(OrnamentBellTest, IsOpenOnlyAtTheMouth)
{
    const std::vector<int> id = PositionIds({T.bellVertices, kBellVertices});
    std::map<std::pair<int, int>, int> edges;
    for (const MeshTriangle& t : T.bellVertexIndices)
        for (int k = 0; k < 3; ++k) {
            const int a = id[t[k]], b = id[t[(k + 1) % 3]];
            ++edges[{std::min(a, b), std::max(a, b)}];
        }
    std::vector<int> rim;
    for (const auto& [edge, faces] : edges) {
        EXPECT_LE(faces, 2);
        if (faces == 1)
            rim.push_back(edge.first);
    }
    EXPECT_EQ(rim.size(), 21u);
    std::vector<int> firstOf(id.size(), -1);
    for (int v = kBellVertices - 1; v >= 0; --v)
        firstOf[id[v]] = v;
    for (int p : rim)
        EXPECT_NEAR(T.bellVertices[firstOf[p]][1], 2.5684, kFourDecimals) << "an open edge away from the mouth";
}

// The ball the composition draws (radius 0.25 at (0, 2.7, 2)) hangs just inside the mouth:
// its centre between the mouth and the top of the lip, clear of the bell's wall.
TEST(OrnamentBellTest, BallHangsJustInsideTheMouth)
{
    const V ball{0.0, 2.7, 2.0};
    const double radius = 0.25;
    EXPECT_GT(ball.y, 2.5684);
    EXPECT_LT(ball.y, 2.838);
    // Narrowest the wall gets round the ball, against how far the ball reaches from the axis.
    double narrowest = 1e9;
    for (int v = 0; v < 42; ++v)
        narrowest = std::min(narrowest, FromBellAxis(At(T.bellVertices[v])));
    EXPECT_LT(FromBellAxis(ball) + radius, narrowest);
    for (int v = 0; v < kBellVertices; ++v)
        EXPECT_GT(Length(At(T.bellVertices[v]) - ball), radius) << "vertex " << v << " lies in the ball";
}

TEST(OrnamentBellTest, TrianglesAreWoundWithTheirNormalsFacingOut)
{
    ExpectWoundWithTheirNormals({T.bellVertices, kBellVertices}, {T.bellNormals, kBellVertices},
                                {T.bellVertexIndices, kBellTriangles}, "bell");
    // Outwards: away from the axis, or up at the top.
    for (int v = 0; v < kBellVertices; ++v) {
        const V p = At(T.bellVertices[v]), n = At(T.bellNormals[v]);
        EXPECT_GT(Dot(n, {p.x, 0.0, p.z - kAxisZ}) + n.y * (v == 168 ? 1 : 0), 0.0) << "normal " << v;
    }
}

// ---------------------------------------------------------------------------------------
// Bow

constexpr int kPatches = 28;

TEST(OrnamentBowTest, MeetsItsBounds)
{
    ExpectBox(BoxOf({T.bowVertices, kBowVertices}), {-2.8, 1.15, 0.8931}, {2.75, 5.4696, 2.8483}, kFourDecimals, "bow");
}

// Patch p owns vertices 25p ... 25p + 24 (5 x 5, row by row) and quads 16p ... 16p + 15; quad
// (row r, column c) has the corners (r + 1, c), (r + 1, c + 1), (r, c + 1), (r, c).
TEST(OrnamentBowTest, PatchesOfFiveByFiveWithTheirCornerOrder)
{
    static_assert(kPatches * 25 == kBowVertices && kPatches * 16 == kBowQuads);
    for (int p = 0; p < kPatches; ++p)
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                const MeshQuad& q = T.bowQuads[16 * p + 4 * r + c];
                const int row = 25 * p + 5 * r + c, next = row + 5;
                EXPECT_EQ(q[0], next) << "patch " << p << " quad " << r << ", " << c;
                EXPECT_EQ(q[1], next + 1) << "patch " << p << " quad " << r << ", " << c;
                EXPECT_EQ(q[2], row + 1) << "patch " << p << " quad " << r << ", " << c;
                EXPECT_EQ(q[3], row) << "patch " << p << " quad " << r << ", " << c;
            }
}

// The flat drawer lights each quad by its first three corners; coinciding or collinear ones
// would fall back to the (1, 1, 1) normal. Required well away from a line (sine above
// 0.001), so that float rounding cannot tip any of them over.
TEST(OrnamentBowTest, NoQuadHasCollinearFirstCorners)
{
    for (int f = 0; f < kBowQuads; ++f) {
        const MeshQuad& q = T.bowQuads[f];
        const V a = At(T.bowVertices[q[0]]), b = At(T.bowVertices[q[1]]), c = At(T.bowVertices[q[2]]);
        EXPECT_GT(Length(Cross(b - a, c - b)), 1e-3 * Length(b - a) * Length(c - b)) << "quad " << f;
    }
}

struct BowPiece {
    int quads = 0;
    Box box;
    std::set<int> patches;
};

// The bow's pieces, found by joining its patches where they share positions.
std::vector<BowPiece> BowPieces()
{
    const std::vector<int> id = PositionIds({T.bowVertices, kBowVertices});
    Components parts(*std::max_element(id.begin(), id.end()) + 1);
    for (const MeshQuad& q : T.bowQuads)
        for (int k = 1; k < 4; ++k)
            parts.Join(id[q[0]], id[q[k]]);
    std::map<int, BowPiece> pieces;
    for (int f = 0; f < kBowQuads; ++f) {
        BowPiece& piece = pieces[parts.Find(id[T.bowQuads[f][0]])];
        ++piece.quads;
        piece.patches.insert(f / 16);
        for (int k = 0; k < 4; ++k)
            piece.box.Add(At(T.bowVertices[T.bowQuads[f][k]]));
    }
    std::vector<BowPiece> result;
    for (auto& [root, piece] : pieces)
        result.push_back(piece);
    return result;
}

// Joined at equal positions the 28 patches make six pieces: two long tails (128 quads), two
// loops (48), the knot (64) and the tie behind it (32), each with its chosen extents.
TEST(OrnamentBowTest, PatchesJoinIntoTheSixPieces)
{
    struct ChosenPiece {
        const char* name;
        int quads;
        double xlo, xhi, ylo, yhi;
    };
    // clang-format off
    const ChosenPiece chosen[] = {
        {"left tail", 128, -2.80, -0.12, 1.15, 4.8},   {"right tail", 128, 0.15, 2.75, 1.15, 4.8},
        {"left loop", 48, -2.32, 0.0, 4.15, 5.47},     {"right loop", 48, -0.05, 2.29, 4.15, 5.47},
        {"knot", 64, -0.40, 0.45, 4.40, 5.27},         {"tie behind the knot", 32, -0.31, 0.71, 4.32, 5.18},
    };
    // clang-format on
    const std::vector<BowPiece> pieces = BowPieces();
    ASSERT_EQ(pieces.size(), 6u);
    for (const ChosenPiece& s : chosen) {
        const auto match = std::find_if(pieces.begin(), pieces.end(), [&](const BowPiece& p) {
            return p.quads == s.quads && std::fabs(p.box.lo.x - s.xlo) <= kTwoDecimals &&
                   std::fabs(p.box.hi.x - s.xhi) <= kTwoDecimals && std::fabs(p.box.lo.y - s.ylo) <= kTwoDecimals &&
                   std::fabs(p.box.hi.y - s.yhi) <= kTwoDecimals;
        });
        EXPECT_NE(match, pieces.end()) << "no piece of " << s.quads << " quads spans the " << s.name << "'s extents";
        if (match != pieces.end()) {
            EXPECT_EQ(match->patches.size(), static_cast<std::size_t>(s.quads / 16)) << s.name << " shares a patch";
        }
    }
}

// The tie lies behind the knot, between z 0.89 and 1.93.
TEST(OrnamentBowTest, TieLiesBehindTheKnot)
{
    const std::vector<BowPiece> pieces = BowPieces();
    const auto tie = std::find_if(pieces.begin(), pieces.end(), [](const BowPiece& p) { return p.quads == 32; });
    const auto knot = std::find_if(pieces.begin(), pieces.end(), [](const BowPiece& p) { return p.quads == 64; });
    ASSERT_NE(tie, pieces.end());
    ASSERT_NE(knot, pieces.end());
    EXPECT_NEAR(tie->box.lo.z, 0.89, kTwoDecimals);
    EXPECT_NEAR(tie->box.hi.z, 1.93, kTwoDecimals);
    EXPECT_LT(tie->box.hi.z, knot->box.lo.z);
}

// Mirror-like about x = 0: the right tail and loop reach as far as the left ones do, to within
// a tenth.
TEST(OrnamentBowTest, SidesMirrorEachOther)
{
    for (int quads : {128, 48}) {
        std::vector<Box> sides;
        for (const BowPiece& p : BowPieces())
            if (p.quads == quads)
                sides.push_back(p.box);
        ASSERT_EQ(sides.size(), 2u);
        std::sort(sides.begin(), sides.end(), [](const Box& a, const Box& b) { return a.lo.x < b.lo.x; });
        EXPECT_NEAR(sides[0].lo.x, -sides[1].hi.x, 0.1) << quads;
        EXPECT_NEAR(sides[0].hi.x, -sides[1].lo.x, 0.1) << quads;
        EXPECT_NEAR(sides[0].lo.y, sides[1].lo.y, 0.1) << quads;
        EXPECT_NEAR(sides[0].hi.y, sides[1].hi.y, 0.1) << quads;
    }
}

// ---------------------------------------------------------------------------------------
// Apples

constexpr int kApples = 5, kPerApple = 275, kTrianglesPerApple = 546;
// The bodies' centres (x, y), in storage order.
constexpr double kAppleCentres[kApples][2] = {
    {-3.2, -4.064}, {2.9, -5.964}, {3.5, 5.036}, {5.0, -0.564}, {-6.4, 1.558}};

std::span<const MeshVertex> AppleVertices(int a)
{
    return {T.appleVertices + a * kPerApple, kPerApple};
}

TEST(OrnamentAppleTest, MeetsTheirBounds)
{
    ExpectBox(BoxOf({T.appleVertices, kAppleVertices}), {-7.0348, -6.4948, 1.2705}, {5.6348, 5.5669, 2.5366},
              kFourDecimals, "apples");
}

// Each body keeps to its own block of 275 vertices and 546 triangles, and is closed: every
// edge has exactly two triangles, running along it in opposite directions. Catches a
// hole, a seam left open, a triangle reaching into another body or wound the other way.
TEST(OrnamentAppleTest, FiveClosedBodiesInTheirOwnBlocks)
{
    static_assert(kApples * kPerApple == kAppleVertices && kApples * kTrianglesPerApple == kAppleTriangles);
    for (int a = 0; a < kApples; ++a) {
        std::map<std::pair<int, int>, int> directed;
        std::set<int> used;
        for (int t = a * kTrianglesPerApple; t < (a + 1) * kTrianglesPerApple; ++t) {
            const MeshTriangle& tri = T.appleVertexIndices[t];
            EXPECT_FALSE(RepeatsACorner(tri)) << "apple " << a << " triangle " << t;
            for (int k = 0; k < 3; ++k) {
                EXPECT_GE(tri[k], a * kPerApple) << "apple " << a << " triangle " << t;
                EXPECT_LT(tri[k], (a + 1) * kPerApple) << "apple " << a << " triangle " << t;
                used.insert(tri[k]);
                ++directed[{tri[k], tri[(k + 1) % 3]}];
            }
        }
        EXPECT_EQ(used.size(), static_cast<std::size_t>(kPerApple)) << "apple " << a;
        for (const auto& [edge, count] : directed) {
            EXPECT_EQ(count, 1) << "apple " << a << " edge " << edge.first << "-" << edge.second;
            EXPECT_EQ(directed.count({edge.second, edge.first}), 1u)
                << "apple " << a << " edge " << edge.first << "-" << edge.second << " has one side open";
        }
        // A closed surface with the sphere's shape: V - E + F = 2.
        EXPECT_EQ(kPerApple - static_cast<int>(directed.size()) / 2 + kTrianglesPerApple, 2) << "apple " << a;
    }
}

// Every apple 1.27 wide, 1.062 high, 1.27 deep, z 1.271 ... 2.537, centred on its chosen
// place, in storage order.
TEST(OrnamentAppleTest, BodiesHaveTheirSizeAndPlaces)
{
    for (int a = 0; a < kApples; ++a) {
        const Box box = BoxOf(AppleVertices(a));
        EXPECT_NEAR(box.hi.x - box.lo.x, 1.27, kTwoDecimals) << "apple " << a << " width";
        EXPECT_NEAR(box.hi.y - box.lo.y, 1.062, kThreeDecimals) << "apple " << a << " height";
        EXPECT_NEAR(box.hi.z - box.lo.z, 1.27, kTwoDecimals) << "apple " << a << " depth";
        EXPECT_NEAR(box.lo.z, 1.2705, kFourDecimals) << "apple " << a;
        EXPECT_NEAR(box.hi.z, 2.5366, kFourDecimals) << "apple " << a;
        EXPECT_NEAR((box.lo.x + box.hi.x) / 2, kAppleCentres[a][0], kThreeDecimals) << "apple " << a << " centre";
        EXPECT_NEAR((box.lo.y + box.hi.y) / 2, kAppleCentres[a][1], kThreeDecimals) << "apple " << a << " centre";
    }
}

// Each flare of the frame (positions as the frame draws them, in the plane z = 2) stands
// inside one apple, within 0.1 of its centre: the flares are the apples' lights.
TEST(OrnamentAppleTest, EachFlareStandsInsideOneApple)
{
    const double flares[kApples][2] = {{3.5, 5.0}, {5.0, -0.5}, {2.9, -6.0}, {-3.3, -4.0}, {-6.5, 1.5}};
    std::set<int> lit;
    for (const auto& f : flares) {
        for (int a = 0; a < kApples; ++a) {
            const Box box = BoxOf(AppleVertices(a));
            const double cx = (box.lo.x + box.hi.x) / 2, cy = (box.lo.y + box.hi.y) / 2;
            if (std::fabs(cx - f[0]) <= 0.1 + 1e-9 && std::fabs(cy - f[1]) <= 0.1 + 1e-9) {
                lit.insert(a);
                EXPECT_LT(box.lo.z, 2.0);
                EXPECT_GT(box.hi.z, 2.0);
            }
        }
    }
    EXPECT_EQ(lit.size(), static_cast<std::size_t>(kApples));
}

// The top of each apple is a dimple: the surface on the apple's axis (x of its centre, z of
// its depth's middle) lies well below the rim round it.
TEST(OrnamentAppleTest, EachHasADimpleAtTheTop)
{
    for (int a = 0; a < kApples; ++a) {
        const Box box = BoxOf(AppleVertices(a));
        const double cx = (box.lo.x + box.hi.x) / 2, cz = (box.lo.z + box.hi.z) / 2;
        double onAxis = -1e9;
        for (const MeshVertex& v : AppleVertices(a))
            if (std::hypot(v[0] - cx, v[2] - cz) < 0.02 && v[1] > (box.lo.y + box.hi.y) / 2)
                onAxis = std::max(onAxis, static_cast<double>(v[1]));
        EXPECT_LT(onAxis, box.hi.y - 0.15) << "apple " << a << " has no dimple";
        EXPECT_GT(onAxis, (box.lo.y + box.hi.y) / 2) << "apple " << a;
    }
}

TEST(OrnamentAppleTest, TrianglesAreWoundWithTheirNormals)
{
    ExpectWoundWithTheirNormals({T.appleVertices, kAppleVertices}, {T.appleNormals, kAppleVertices},
                                {T.appleVertexIndices, kAppleTriangles}, "apples");
}

// ---------------------------------------------------------------------------------------
// Stems

constexpr int kStems = 5, kPerStem = 93, kTrianglesPerStem = 261;
// The stems' spans in y, in storage order, and the apple (storage index) each stands on.
constexpr double kStemSpans[kStems][2] = {{5.3, 5.9}, {-0.3, 0.3}, {-5.7, -5.1}, {1.822, 2.422}, {-3.8, -3.2}};
constexpr int kStemApple[kStems] = {2, 3, 1, 4, 0};

std::span<const MeshVertex> StemVertices(int s)
{
    return {T.stemVertices + s * kPerStem, kPerStem};
}

TEST(OrnamentStemTest, MeetTheirBounds)
{
    ExpectBox(BoxOf({T.stemVertices, kStemVertices}), {-6.6218, -5.7, 1.7841}, {5.0396, 5.9, 2.1191}, kFourDecimals,
              "stems");
}

// Each stem keeps to its own block of 93 vertices and 261 triangles; 151 of its triangles
// repeat a corner (755 in all), and the other 110 have area and use every vertex, so they
// are what shows.
TEST(OrnamentStemTest, FivePiecesInTheirOwnBlocksWith151RepeatedCornersEach)
{
    static_assert(kStems * kPerStem == kStemVertices && kStems * kTrianglesPerStem == kStemTriangles);
    int repeated = 0;
    for (int s = 0; s < kStems; ++s) {
        int here = 0;
        for (int t = s * kTrianglesPerStem; t < (s + 1) * kTrianglesPerStem; ++t) {
            const MeshTriangle& tri = T.stemVertexIndices[t];
            for (int k = 0; k < 3; ++k) {
                EXPECT_GE(tri[k], s * kPerStem) << "stem " << s << " triangle " << t;
                EXPECT_LT(tri[k], (s + 1) * kPerStem) << "stem " << s << " triangle " << t;
            }
            if (RepeatsACorner(tri)) {
                ++here;
                continue;
            }
            const V a = At(T.stemVertices[tri[0]]), b = At(T.stemVertices[tri[1]]), c = At(T.stemVertices[tri[2]]);
            EXPECT_GT(Length(Cross(b - a, c - a)), 0.0) << "stem " << s << " triangle " << t << " covers nothing";
        }
        EXPECT_EQ(here, 151) << "stem " << s;
        // Every vertex belongs to a triangle that shows, not only to ones that repeat a corner.
        std::set<int> shown;
        for (int t = s * kTrianglesPerStem; t < (s + 1) * kTrianglesPerStem; ++t)
            if (!RepeatsACorner(T.stemVertexIndices[t]))
                shown.insert(std::begin(T.stemVertexIndices[t]), std::end(T.stemVertexIndices[t]));
        EXPECT_EQ(shown.size(), static_cast<std::size_t>(kPerStem)) << "stem " << s;
        repeated += here;
    }
    EXPECT_EQ(repeated, 755);
}

// Exactly 0.6 high, at most 0.26 wide and deep, spanning the chosen heights in storage order.
TEST(OrnamentStemTest, HaveTheirSizeAndSpans)
{
    for (int s = 0; s < kStems; ++s) {
        const Box box = BoxOf(StemVertices(s));
        EXPECT_NEAR(box.hi.y - box.lo.y, 0.6, 1e-5) << "stem " << s;
        EXPECT_LE(box.hi.x - box.lo.x, 0.26) << "stem " << s;
        EXPECT_LE(box.hi.z - box.lo.z, 0.26) << "stem " << s;
        EXPECT_NEAR(box.lo.y, kStemSpans[s][0], kFourDecimals) << "stem " << s;
        EXPECT_NEAR(box.hi.y, kStemSpans[s][1], kFourDecimals) << "stem " << s;
    }
}

// Each stem stands in its apple's dimple: its foot is buried under the bottom of the dimple,
// near the apple's axis and above its middle, and it rises clear above the apple's top.
TEST(OrnamentStemTest, EachStandsInItsApplesDimple)
{
    for (int s = 0; s < kStems; ++s) {
        const Box apple = BoxOf(AppleVertices(kStemApple[s]));
        const double cx = (apple.lo.x + apple.hi.x) / 2, cz = (apple.lo.z + apple.hi.z) / 2;
        double dimple = -1e9;  // the apple's surface on its axis, at the top
        for (const MeshVertex& v : AppleVertices(kStemApple[s]))
            if (std::hypot(v[0] - cx, v[2] - cz) < 0.02 && v[1] > (apple.lo.y + apple.hi.y) / 2)
                dimple = std::max(dimple, static_cast<double>(v[1]));
        const auto stem = StemVertices(s);
        const auto foot = std::min_element(stem.begin(), stem.end(),
                                           [](const MeshVertex& a, const MeshVertex& b) { return a[1] < b[1]; });
        EXPECT_LT((*foot)[1], dimple) << "stem " << s << " floats above its dimple";
        EXPECT_GT((*foot)[1], (apple.lo.y + apple.hi.y) / 2) << "stem " << s;
        EXPECT_LT(std::hypot((*foot)[0] - cx, (*foot)[2] - cz), 0.02) << "stem " << s << " stands off the dimple";
        EXPECT_GT(BoxOf(stem).hi.y, apple.hi.y + 0.2) << "stem " << s;
    }
}

// The stems' material lights front faces only: a triangle wound against its normals would
// show the grey back material.
TEST(OrnamentStemTest, TrianglesAreWoundWithTheirNormals)
{
    ExpectWoundWithTheirNormals({T.stemVertices, kStemVertices}, {T.stemNormals, kStemVertices},
                                {T.stemVertexIndices, kStemTriangles}, "stems");
}

}  // namespace
