// The shape cache: which requests share a list, what the shapes look like, and the fatal paths.
// The cache lives as long as the process and other tests fill it too, so every test uses
// radii of its own and measures what its own requests changed. Sphere lists are never
// replayed in feedback mode: Mesa 22.3's llvmpipe crashes doing that.
#include "models/shape_cache.h"
#include "tests/support/shape_hooks.h"
#include "os/headless_context.h"
#include "export/headless_render.h"
#include "view/gl_query.h"
#include "tests/support/gl_test.h"
#include "view/scene.h"
#include "core/scene_host.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

using Vec3 = std::array<double, 3>;

struct ShapeKind {
    int kind;
    void (*draw)(double radius);
    const char* name;
};
const ShapeKind kShapes[] = {
    {SHAPE_SPHERE, ShapeSphere, "sphere"},
    {SHAPE_ICOSAHEDRON, ShapeIcosahedron, "icosahedron"},
};

GLuint Lookup(int kind, double radius)
{
    return LookupShapeList(kind, &radius, 1);
}

std::size_t EntryCount(int kind)
{
    return ShapeCacheLists(kind).size();
}

// Every display-list name in use. Names are handed out from 1 upwards and a test process
// never comes near the bound.
int CountDisplayLists()
{
    int count = 0;
    for (GLuint name = 1; name <= (1u << 16); ++name)
        count += glIsList(name) ? 1 : 0;
    return count;
}

// Replaces the cache's list allocator for the life of the object, counting its calls.
int g_nListRequests = 0;
GLuint CountingGenLists(GLsizei range)
{
    ++g_nListRequests;
    return glGenLists(range);
}
GLuint NoListToGive(GLsizei)
{
    ++g_nListRequests;
    return 0;
}
class ListAllocatorScope {
public:
    explicit ListAllocatorScope(ShapeListAllocator allocate) : m_previous(SetShapeListAllocator(allocate))
    {
        g_nListRequests = 0;
    }
    ~ListAllocatorScope() { SetShapeListAllocator(m_previous); }

private:
    ShapeListAllocator m_previous;
};

Vec3 At(const FeedbackVertex& v)
{
    return {v.x, v.y, v.z};
}
Vec3 Sub(const Vec3& a, const Vec3& b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
Vec3 Cross(const Vec3& u, const Vec3& v)
{
    return {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
}
double Dot(const Vec3& u, const Vec3& v)
{
    return u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
}
double Length(const Vec3& v)
{
    return std::sqrt(Dot(v, v));
}

// What a person would see of draw: a 64 x 64 picture of the square of half-width extent
// about the origin, looking along -z, lit as the scene is.
constexpr int kPictureSize = 64;
std::vector<GLubyte> Picture(double extent, const std::function<void()>& draw)
{
    const OrthoView view(extent, kPictureSize);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    draw();
    std::vector<GLubyte> pixels(kPictureSize * kPictureSize * 3);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kPictureSize, kPictureSize, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    glPopClientAttrib();
    return pixels;
}

// Pixels unlike the corner, which the shapes here never reach.
int CoveredPixels(const std::vector<GLubyte>& picture)
{
    int covered = 0;
    for (std::size_t i = 0; i < picture.size(); i += 3)
        covered += std::equal(picture.begin() + i, picture.begin() + i + 3, picture.begin()) ? 0 : 1;
    return covered;
}

class ShapeCacheTest : public ::testing::Test {
protected:
    void SetUp() override { ResetGlToSceneBaseline(); }
};

// --- Which requests share a list ---

TEST_F(ShapeCacheTest, FirstRequestDrawsWhileRecordingAndRepeatsReplayTheSameList)
{
    const double radius = 0.3711;
    for (const ShapeKind& shape : kShapes) {
        ASSERT_EQ(Lookup(shape.kind, radius), 0u) << "radius taken by another test";
        const std::size_t before = EntryCount(shape.kind);

        const std::vector<GLubyte> first = Picture(1.5 * radius, [&] { shape.draw(radius); });
        EXPECT_GT(CoveredPixels(first), 0) << shape.name << ": the first request must draw as well as record";
        const GLuint list = Lookup(shape.kind, radius);
        ASSERT_NE(list, 0u) << shape.name;
        EXPECT_TRUE(glIsList(list)) << shape.name;
        EXPECT_EQ(EntryCount(shape.kind), before + 1) << shape.name;
        EXPECT_EQ(ShapeCacheLists(shape.kind).front(), list) << shape.name;

        const std::vector<GLubyte> second = Picture(1.5 * radius, [&] { shape.draw(radius); });
        EXPECT_EQ(EntryCount(shape.kind), before + 1) << shape.name << ": the second request must replay";
        EXPECT_EQ(Lookup(shape.kind, radius), list) << shape.name;
        EXPECT_TRUE(second == first) << shape.name << ": the replay must look like the first drawing";
    }
}

TEST_F(ShapeCacheTest, SphereAndIcosahedronOfOneRadiusAreSeparateEntries)
{
    const double radius = 0.4219;
    const std::size_t spheres = EntryCount(SHAPE_SPHERE);
    const std::size_t icosahedra = EntryCount(SHAPE_ICOSAHEDRON);
    ShapeSphere(radius);
    ShapeIcosahedron(radius);
    EXPECT_EQ(EntryCount(SHAPE_SPHERE), spheres + 1);
    EXPECT_EQ(EntryCount(SHAPE_ICOSAHEDRON), icosahedra + 1);
    const GLuint sphere = Lookup(SHAPE_SPHERE, radius);
    const GLuint icosahedron = Lookup(SHAPE_ICOSAHEDRON, radius);
    ASSERT_NE(sphere, 0u);
    ASSERT_NE(icosahedron, 0u);
    EXPECT_NE(sphere, icosahedron);

    // Each kind replays its own list.
    EXPECT_EQ(CaptureFeedback([&] { ShapeIcosahedron(radius); }).size(), 20u);
    EXPECT_FALSE(Picture(1.5 * radius, [&] { ShapeSphere(radius); }) ==
                 Picture(1.5 * radius, [&] { ShapeIcosahedron(radius); }));
}

TEST_F(ShapeCacheTest, RadiiAreComparedExactlySoAWidenedFloatIsAnotherKey)
{
    // The wreath's own test asks for a sphere of 0.15 as a key it has never seen, so the
    // spheres here take another radius; both kinds share one comparison.
    const struct {
        ShapeKind shape;
        double asDouble;
        float asFloat;
    } cases[] = {
        {kShapes[1], 0.15, 0.15f},
        {kShapes[0], 0.35, 0.35f},
    };
    for (const auto& [shape, asDouble, asFloat] : cases) {
        const double keys[] = {asDouble, static_cast<double>(asFloat)};
        ASSERT_NE(keys[0], keys[1]);
        // Count only the keys not yet present: other tests may have asked for them.
        std::size_t missing = 0;
        for (double key : keys)
            missing += Lookup(shape.kind, key) == 0 ? 1 : 0;
        const std::size_t before = EntryCount(shape.kind);
        for (int repeat = 0; repeat < 3; ++repeat) {
            for (double key : keys)
                shape.draw(key);
        }
        EXPECT_EQ(EntryCount(shape.kind), before + missing) << shape.name;
        const GLuint doubleList = Lookup(shape.kind, keys[0]);
        const GLuint floatList = Lookup(shape.kind, keys[1]);
        EXPECT_NE(doubleList, 0u) << shape.name;
        EXPECT_NE(floatList, 0u) << shape.name;
        EXPECT_NE(doubleList, floatList) << shape.name << ": " << asDouble << " and its float must not share a list";
    }
}

TEST_F(ShapeCacheTest, NewestEntryOfAKindIsFoundFirst)
{
    // Two entries with one key can only come from AddShapeList itself; kind 7 is unused.
    const int kind = 7;
    const double radius = 0.5813;
    const GLuint older = AddShapeList(kind, &radius, 1);
    const GLuint newer = AddShapeList(kind, &radius, 1);
    ASSERT_NE(older, 0u);
    ASSERT_NE(newer, 0u);
    EXPECT_EQ(LookupShapeList(kind, &radius, 1), newer);
    const std::vector<GLuint> lists = ShapeCacheLists(kind);
    ASSERT_GE(lists.size(), 2u);
    EXPECT_EQ(lists[0], newer);
    EXPECT_EQ(lists[1], older);

    // Through the public entries: the shape asked for last heads its chain.
    ShapeSphere(0.5821);
    ShapeSphere(0.5829);
    const std::vector<GLuint> spheres = ShapeCacheLists(SHAPE_SPHERE);
    ASSERT_GE(spheres.size(), 2u);
    EXPECT_EQ(spheres[0], Lookup(SHAPE_SPHERE, 0.5829));
    EXPECT_EQ(spheres[1], Lookup(SHAPE_SPHERE, 0.5821));
}

TEST_F(ShapeCacheTest, KindsOutsideTheChainTableHaveNoLists)
{
    EXPECT_TRUE(ShapeCacheLists(-1).empty());
    EXPECT_TRUE(ShapeCacheLists(kShapeKinds).empty());
}

// --- Nothing grows from frame to frame ---

TEST_F(ShapeCacheTest, ThousandsOfRepeatedRequestsReserveNoNewLists)
{
    const double radius = 0.6637;
    ShapeSphere(radius);
    ShapeIcosahedron(radius);
    const int lists = CountDisplayLists();
    const std::size_t spheres = EntryCount(SHAPE_SPHERE);
    const std::size_t icosahedra = EntryCount(SHAPE_ICOSAHEDRON);
    {
        ListAllocatorScope counting(CountingGenLists);
        for (int i = 0; i < 2000; ++i) {
            ShapeSphere(radius);
            ShapeIcosahedron(radius);
        }
        EXPECT_EQ(g_nListRequests, 0);
    }
    EXPECT_EQ(CountDisplayLists(), lists);
    EXPECT_EQ(EntryCount(SHAPE_SPHERE), spheres);
    EXPECT_EQ(EntryCount(SHAPE_ICOSAHEDRON), icosahedra);
    ExpectNoGlError();
}

TEST_F(ShapeCacheTest, SceneFramesAfterTheFirstReserveNoNewLists)
{
    CScene scene;
    scene.OnCreateContext();
    scene.OnSize(64, 64);
    scene.OnDraw();
    ASSERT_FALSE(ShapeCacheLists(SHAPE_SPHERE).empty()) << "a frame with no cached shapes proves nothing";
    const int lists = CountDisplayLists();
    {
        ListAllocatorScope counting(CountingGenLists);
        // The wreath alone asks for 31 spheres a frame: well over a thousand requests.
        for (int frame = 0; frame < 40; ++frame)
            scene.OnDraw();
        EXPECT_EQ(g_nListRequests, 0);
    }
    EXPECT_EQ(CountDisplayLists(), lists);
    ResetGlToSceneBaseline();
}

// Catches list names kept past their context: the next context would replay names it never
// made, and the spheres and bulb shells would vanish from its pictures.
TEST_F(ShapeCacheTest, ASecondContextAfterTheFirstDrawsTheSamePicture)
{
    ReleaseShapeCache();
    constexpr int kSide = 160;
    std::vector<std::uint8_t> pictures[2];
    for (auto& picture : pictures) {
        CHeadlessContext context(kSide, kSide);
        ASSERT_TRUE(context.Ok()) << context.Error();
        CScene scene;
        scene.OnCreateContext();
        scene.OnSize(kSide, kSide);
        scene.OnDraw();
        picture = ReadPixels({0, 0, kSide, kSide}, 3);
        EXPECT_FALSE(ShapeCacheLists(SHAPE_SPHERE).empty());
        scene.OnDestroyContext();
        EXPECT_TRUE(ShapeCacheLists(SHAPE_SPHERE).empty());
        EXPECT_TRUE(ShapeCacheLists(SHAPE_ICOSAHEDRON).empty());
    }
    MakeGlTestContextCurrent();
    ResetGlToSceneBaseline();
    EXPECT_TRUE(pictures[0] == pictures[1]) << "the second context's picture differs from the first's";
}

TEST_F(ShapeCacheTest, WithoutAListTheShapeIsDrawnDirectlyAndNothingIsKept)
{
    const double radius = 0.7477;
    for (const ShapeKind& shape : kShapes) {
        ASSERT_EQ(Lookup(shape.kind, radius), 0u) << "radius taken by another test";
        const std::size_t before = EntryCount(shape.kind);
        const int lists = CountDisplayLists();
        std::size_t once = 0, hundred = 0;
        {
            ListAllocatorScope none(NoListToGive);
            once = CaptureFeedback([&] { shape.draw(radius); }).size();
            ExpectLeavesGlStateAsFound([&] {
                hundred = CaptureFeedback([&] {
                              for (int i = 0; i < 100; ++i)
                                  shape.draw(radius);
                          }).size();
            });
            EXPECT_EQ(g_nListRequests, 101) << shape.name << ": every request may try again";
        }
        EXPECT_GT(once, 0u) << shape.name;
        EXPECT_EQ(hundred, 100 * once) << shape.name << ": every request draws";
        EXPECT_EQ(EntryCount(shape.kind), before) << shape.name;
        EXPECT_EQ(Lookup(shape.kind, radius), 0u) << shape.name;
        EXPECT_EQ(CountDisplayLists(), lists) << shape.name;

        // Once lists can be had again the shape is cached as usual.
        shape.draw(radius);
        EXPECT_NE(Lookup(shape.kind, radius), 0u) << shape.name;
        EXPECT_EQ(EntryCount(shape.kind), before + 1) << shape.name;
    }
}

// --- What is drawn ---

TEST_F(ShapeCacheTest, ShapesLeaveGlStateAsFoundWhenRecordedAndWhenReplayed)
{
    const double radius = 0.6173;
    for (const ShapeKind& shape : kShapes) {
        ExpectLeavesGlStateAsFound([&] { shape.draw(radius); });
        ExpectLeavesGlStateAsFound([&] { shape.draw(radius); });
        GLint listUnderConstruction = -1;
        glGetIntegerv(GL_LIST_INDEX, &listUnderConstruction);
        EXPECT_EQ(listUnderConstruction, 0) << shape.name << ": the list must be closed";
    }
}

// The icosahedron's twelve vertices by number, on the unit sphere.
const double X = 0.5257311121191336, Z = 0.8506508083520399;
const Vec3 kVertices[12] = {
    {-X, 0, Z},   // vertex 0
    {X, 0, Z},    // vertex 1
    {-X, 0, -Z},  // vertex 2
    {X, 0, -Z},   // vertex 3
    {0, Z, X},    // vertex 4
    {0, Z, -X},   // vertex 5
    {0, -Z, X},   // vertex 6
    {0, -Z, -X},  // vertex 7
    {Z, X, 0},    // vertex 8
    {-Z, X, 0},   // vertex 9
    {Z, -X, 0},   // vertex 10
    {-Z, -X, 0},  // vertex 11
};

TEST_F(ShapeCacheTest, IcosahedronFacesRunCounterClockwiseFromOutsideAndAreLitFromOutside)
{
    const double radius = 3.0;
    const std::vector<FeedbackPolygon> faces =
        CaptureFeedback([&] { WithLightAlongZ([&] { ShapeIcosahedron(radius); }); });
    ASSERT_EQ(faces.size(), 20u);
    for (std::size_t f = 0; f < faces.size(); ++f) {
        ASSERT_EQ(faces[f].size(), 3u) << "face " << f;
        const Vec3 p0 = At(faces[f][0]), p1 = At(faces[f][1]), p2 = At(faces[f][2]);
        for (const Vec3& p : {p0, p1, p2})
            EXPECT_NEAR(Length(p), radius, 1e-4) << "face " << f << ": corners on the circumscribed sphere";
        const Vec3 centroid = {(p0[0] + p1[0] + p2[0]) / 3, (p0[1] + p1[1] + p2[1]) / 3, (p0[2] + p1[2] + p2[2]) / 3};
        const Vec3 facing = Cross(Sub(p1, p0), Sub(p2, p0));
        // Counter-clockwise seen from outside: the corners' own normal leaves the centre.
        EXPECT_GT(Dot(facing, centroid), 0.0) << "face " << f;
        // A flat face lit by its outward normal: all corners alike, as bright as it faces +z.
        const double red = std::max(0.0, facing[2] / Length(facing));
        for (const FeedbackVertex& v : faces[f])
            EXPECT_NEAR(v.r, red, 1e-3) << "face " << f;
    }

    ShapeIcosahedron(radius);
    GLfloat n[4];
    glGetFloatv(GL_CURRENT_NORMAL, n);
    const Vec3 lastFaceOut = Cross(Sub(At(faces[19][1]), At(faces[19][0])), Sub(At(faces[19][2]), At(faces[19][0])));
    EXPECT_NEAR(Length({n[0], n[1], n[2]}), 1.0, 1e-6) << "the replayed list leaves a unit normal current";
    EXPECT_GT(Dot({n[0], n[1], n[2]}, lastFaceOut), 0.99 * Length(lastFaceOut));
}

TEST_F(ShapeCacheTest, IcosahedronIsDrawnFaceByFaceInItsTableOrder)
{
    // Faces as numbered in the table (a, b, c); each is drawn a, c, b.
    const int kFaces[20][3] = {
        {0, 4, 1},   // face 0
        {0, 9, 4},   // face 1
        {9, 5, 4},   // face 2
        {4, 5, 8},   // face 3
        {4, 8, 1},   // face 4
        {8, 10, 1},  // face 5
        {8, 3, 10},  // face 6
        {5, 3, 8},   // face 7
        {5, 2, 3},   // face 8
        {2, 7, 3},   // face 9
        {7, 10, 3},  // face 10
        {7, 6, 10},  // face 11
        {7, 11, 6},  // face 12
        {11, 0, 6},  // face 13
        {0, 1, 6},   // face 14
        {6, 1, 10},  // face 15
        {9, 0, 11},  // face 16
        {9, 11, 2},  // face 17
        {9, 2, 5},   // face 18
        {7, 2, 11},  // face 19
    };
    const double radius = 2.5;
    const std::vector<FeedbackPolygon> faces = CaptureFeedback([&] { ShapeIcosahedron(radius); });
    ASSERT_EQ(faces.size(), 20u);
    for (int f = 0; f < 20; ++f) {
        ASSERT_EQ(faces[f].size(), 3u);
        const int drawn[3] = {kFaces[f][0], kFaces[f][2], kFaces[f][1]};
        for (int k = 0; k < 3; ++k) {
            const Vec3& v = kVertices[drawn[k]];
            const Vec3 expected = {radius * v[0], radius * v[1], radius * v[2]};
            EXPECT_LT(Length(Sub(At(faces[f][k]), expected)), 1e-4)
                << "face " << f << " corner " << k << " should be vertex " << drawn[k];
        }
    }
}

TEST_F(ShapeCacheTest, SphereIsSmoothWithSixteenSlicesAndSixteenStacks)
{
    // Drawn without a list: this Mesa crashes replaying a sphere's list in feedback mode.
    const double radius = 6.5;
    const ListAllocatorScope none(NoListToGive);
    const std::vector<FeedbackPolygon> polygons =
        CaptureFeedback([&] { WithLightAlongZ([&] { ShapeSphere(radius); }); });
    std::vector<Vec3> distinct;
    for (const FeedbackPolygon& p : polygons) {
        for (const FeedbackVertex& v : p) {
            const Vec3 at = At(v);
            EXPECT_NEAR(Length(at), radius, 1e-3);
            // Smooth: each corner is lit by the sphere's own normal there, not by its face's.
            EXPECT_NEAR(v.r, std::max(0.0, at[2] / Length(at)), 2e-3)
                << "corner at " << at[0] << ", " << at[1] << ", " << at[2];
            const auto same = [&](const Vec3& d) { return Length(Sub(d, at)) < 1e-3; };
            if (std::none_of(distinct.begin(), distinct.end(), same))
                distinct.push_back(at);
        }
    }
    // Sixteen meridians cross fifteen rings between the stacks, plus the two poles.
    EXPECT_EQ(distinct.size(), 16u * 15 + 2);
}

TEST_F(ShapeCacheTest, SphereOfRadiusZeroIsRecordedAndReplayed)
{
    const std::size_t missing = Lookup(SHAPE_SPHERE, 0.0) == 0 ? 1 : 0;
    const std::size_t before = EntryCount(SHAPE_SPHERE);
    ExpectLeavesGlStateAsFound([] { ShapeSphere(0.0); });
    ExpectLeavesGlStateAsFound([] { ShapeSphere(0.0); });
    EXPECT_EQ(EntryCount(SHAPE_SPHERE), before + missing);
    const GLuint list = Lookup(SHAPE_SPHERE, 0.0);
    ASSERT_NE(list, 0u);
    EXPECT_TRUE(glIsList(list));
}

// --- Fatal paths ---

// Writes what the message box would show; a fatal shape error must not take the view down.
class CRecordingHost : public CSceneHost {
public:
    void ShowMessage(const std::string& text, const std::string& caption, MessageOwner owner) override
    {
        std::fprintf(stderr, "[%s|%s|%s]\n", caption.c_str(), owner == MessageOwner::Focus ? "focus" : "view",
                     text.c_str());
    }
    void DestroyView() override { std::_Exit(2); }
};

void* NoMemory(std::size_t)
{
    return nullptr;
}

using ShapeCacheDeathTest = ShapeCacheTest;

TEST_F(ShapeCacheDeathTest, IcosahedronOfRadiusZeroEndsWithTheNormalizeMessage)
{
    EXPECT_EXIT(
        {
            CRecordingHost host;
            SetSceneHost(&host);
            ShapeIcosahedron(0.0);
        },
        ::testing::ExitedWithCode(1), "\\[Error\\|focus\\|normalize: zero length vector\\]");
}

TEST_F(ShapeCacheDeathTest, IcosahedronOfRadiusZeroReportsOnStderrWithoutAHost)
{
    EXPECT_EXIT(ShapeIcosahedron(0.0), ::testing::ExitedWithCode(1), "normalize: zero length vector");
}

TEST_F(ShapeCacheDeathTest, MemoryThatCannotBeHadEndsWithAClearMessage)
{
    for (const ShapeKind& shape : kShapes) {
        EXPECT_EXIT(
            {
                CRecordingHost host;
                SetSceneHost(&host);
                SetShapeMemoryAllocator(NoMemory);
                shape.draw(0.8111);
            },
            ::testing::ExitedWithCode(1), "\\[Error\\|focus\\|shape cache: out of memory\\]")
            << shape.name;
    }
}

}  // namespace
