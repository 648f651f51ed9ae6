// The mesh drawers: the face-normal rule, what each drawer sends to GL, and what it leaves.
#include "models/mesh.h"
#include "tests/support/gl_test.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

using Normal = std::array<float, 3>;

Normal CurrentNormal()
{
    GLfloat n[4];
    glGetFloatv(GL_CURRENT_NORMAL, n);
    return {n[0], n[1], n[2]};
}

// The red a corner gets under WithLightAlongZ for normal n.
float LitRed(const Normal& n)
{
    const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    return std::max(0.0f, n[2] / length);
}

// All corners of the polygons, in the order they reached the rasteriser.
std::vector<FeedbackVertex> Corners(const std::vector<FeedbackPolygon>& polygons)
{
    std::vector<FeedbackVertex> corners;
    for (const FeedbackPolygon& p : polygons)
        corners.insert(corners.end(), p.begin(), p.end());
    return corners;
}

void ExpectAt(const FeedbackVertex& v, const MeshVertex& expected, const char* what)
{
    EXPECT_NEAR(v.x, expected[0], 1e-4f) << what;
    EXPECT_NEAR(v.y, expected[1], 1e-4f) << what;
    EXPECT_NEAR(v.z, expected[2], 1e-4f) << what;
}

// Sets a current normal that no face in these tests has, so a drawer that sends a face's
// normal after its corners lights that face with this one instead.
void SetStrayNormal()
{
    glNormal3f(0.0f, 1.0f, 0.0f);
}

// --- ComputeFaceNormal ---

TEST(ComputeFaceNormalTest, FacesTheSideWhereTheCornersRunCounterClockwise)
{
    const float o[3] = {0.0f, 0.0f, 0.0f}, x[3] = {1.0f, 0.0f, 0.0f}, xy[3] = {1.0f, 1.0f, 0.0f};
    EXPECT_EQ(ComputeFaceNormal(o, x, xy), (Normal{0.0f, 0.0f, 1.0f}));
    EXPECT_EQ(ComputeFaceNormal(o, xy, x), (Normal{0.0f, 0.0f, -1.0f})) << "reversed corners face the other way";
    EXPECT_EQ(ComputeFaceNormal(x, xy, o), (Normal{0.0f, 0.0f, 1.0f})) << "any corner may come first";
}

TEST(ComputeFaceNormalTest, IsUnitLengthAndPerpendicularWhateverTheFaceSize)
{
    // The plane x/2 + y/3 + z/4 = 1 has the normal (1/2, 1/3, 1/4), that is (6, 4, 3) / sqrt(61).
    const double s = std::sqrt(61.0);
    for (float scale : {1e-3f, 1.0f, 1e3f}) {
        const float a[3] = {2.0f * scale, 0.0f, 0.0f}, b[3] = {0.0f, 3.0f * scale, 0.0f},
                    c[3] = {0.0f, 0.0f, 4.0f * scale};
        const Normal n = ComputeFaceNormal(a, b, c);
        EXPECT_NEAR(n[0], 6.0 / s, 1e-6) << "scale " << scale;
        EXPECT_NEAR(n[1], 4.0 / s, 1e-6) << "scale " << scale;
        EXPECT_NEAR(n[2], 3.0 / s, 1e-6) << "scale " << scale;
    }
}

TEST(ComputeFaceNormalTest, FaceWithoutAreaGetsTheUnscaledDiagonal)
{
    const float a[3] = {0.5f, -1.0f, 2.0f}, b[3] = {1.5f, 0.0f, 3.0f}, c[3] = {3.5f, 2.0f, 5.0f};  // on one line
    const Normal diagonal = {1.0f, 1.0f, 1.0f};
    EXPECT_EQ(ComputeFaceNormal(a, b, c), diagonal) << "collinear corners";
    EXPECT_EQ(ComputeFaceNormal(a, a, c), diagonal) << "first and second corner equal";
    EXPECT_EQ(ComputeFaceNormal(a, c, c), diagonal) << "second and third corner equal";
    EXPECT_EQ(ComputeFaceNormal(c, a, c), diagonal) << "first and third corner equal";
    EXPECT_EQ(ComputeFaceNormal(b, b, b), diagonal) << "all three equal";
}

// --- DrawFlatTriMesh ---

class FlatTriMeshTest : public ::testing::Test {
protected:
    void SetUp() override { ResetGlToSceneBaseline(); }

    // A face towards +z, the same corners reversed, a face tilted back from +z and a face
    // with two equal corners; stored out of vertex order.
    const MeshVertex vertices[5] = {
        {1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 0.0f}, {0.0f, 4.0f, 3.0f}, {2.0f, 2.0f, 2.0f},
    };
    const MeshTriangle triangles[4] = {{1, 0, 2}, {1, 2, 0}, {1, 0, 3}, {4, 4, 2}};
};

TEST_F(FlatTriMeshTest, SendsEachFaceCornersInStoredOrder)
{
    const std::vector<FeedbackPolygon> polygons = CaptureFeedback([&] { DrawFlatTriMesh(vertices, triangles, 3); });
    ASSERT_EQ(polygons.size(), 3u);
    for (int f = 0; f < 3; ++f) {
        ASSERT_EQ(polygons[f].size(), 3u) << "face " << f;
        for (int k = 0; k < 3; ++k)
            ExpectAt(polygons[f][k], vertices[triangles[f][k]], ("face " + std::to_string(f)).c_str());
    }
}

TEST_F(FlatTriMeshTest, EachFaceIsLitByItsOwnNormalSentBeforeItsCorners)
{
    const std::vector<FeedbackPolygon> polygons = CaptureFeedback([&] {
        WithLightAlongZ([&] {
            SetStrayNormal();
            DrawFlatTriMesh(vertices, triangles, 4);
        });
    });
    ASSERT_EQ(polygons.size(), 4u);
    // The tilted face climbs 3 in z over 4 in y, so its normal is (0, -3, 4) / 5.
    const float red[4] = {1.0f, 0.0f, 0.8f, LitRed({1.0f, 1.0f, 1.0f})};
    for (int f = 0; f < 4; ++f) {
        for (const FeedbackVertex& v : polygons[f])
            EXPECT_NEAR(v.r, red[f], 1e-3f) << "face " << f;
    }
}

TEST_F(FlatTriMeshTest, LeavesTheLastFaceNormalCurrent)
{
    DrawFlatTriMesh(vertices, triangles, 1);
    EXPECT_EQ(CurrentNormal(), (Normal{0.0f, 0.0f, 1.0f})) << "counter-clockwise from +z";
    DrawFlatTriMesh(vertices, triangles, 2);
    EXPECT_EQ(CurrentNormal(), (Normal{0.0f, 0.0f, -1.0f})) << "reversed";
    DrawFlatTriMesh(vertices, triangles, 4);
    EXPECT_EQ(CurrentNormal(), (Normal{1.0f, 1.0f, 1.0f})) << "two equal corners";
}

TEST_F(FlatTriMeshTest, CountOfZeroDrawsNothingAndKeepsTheNormal)
{
    glNormal3f(0.6f, 0.0f, 0.8f);
    EXPECT_TRUE(CaptureFeedback([&] { DrawFlatTriMesh(vertices, triangles, 0); }).empty());
    EXPECT_EQ(CurrentNormal(), (Normal{0.6f, 0.0f, 0.8f}));
    ExpectNoGlError("after an empty mesh");
}

TEST_F(FlatTriMeshTest, LeavesGlStateAsFound)
{
    ExpectLeavesGlStateAsFound([&] { DrawFlatTriMesh(vertices, triangles, 4); });
    ExpectLeavesGlStateAsFound([&] { DrawFlatTriMesh(vertices, triangles, 0); });
}

// --- DrawFlatQuadMesh ---

class FlatQuadMeshTest : public ::testing::Test {
protected:
    void SetUp() override { ResetGlToSceneBaseline(); }

    // Quad 0 has its fourth corner lifted off the plane of the first three; quad 1 is the
    // unit square facing -z, stored from another corner.
    const MeshVertex vertices[5] = {
        {0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 0.0f}, {0.0f, 1.0f, 2.0f}, {0.0f, 1.0f, 0.0f},
    };
    const MeshQuad quads[2] = {{0, 1, 2, 3}, {2, 1, 0, 4}};
};

TEST_F(FlatQuadMeshTest, QuadIsLitByTheNormalOfItsFirstThreeCornersAlone)
{
    DrawFlatQuadMesh(vertices, quads, 1);
    EXPECT_EQ(CurrentNormal(), (Normal{0.0f, 0.0f, 1.0f}));

    const std::vector<FeedbackVertex> corners = Corners(CaptureFeedback([&] {
        WithLightAlongZ([&] {
            SetStrayNormal();
            DrawFlatQuadMesh(vertices, quads, 1);
        });
    }));
    ASSERT_FALSE(corners.empty());
    for (const FeedbackVertex& v : corners)
        EXPECT_NEAR(v.r, 1.0f, 1e-3f) << "corner at " << v.x << ", " << v.y << ", " << v.z;
}

// Catches a quad drawn as a bow tie (corners a, b, d, c): each quad's corners reach the
// rasteriser in their stored order, lit by the quad's own normal.
TEST_F(FlatQuadMeshTest, SendsEachQuadsCornersInStoredOrderWithItsOwnNormal)
{
    const std::vector<FeedbackPolygon> sent =
        JoinQuads(CaptureFeedback([&] { WithLightAlongZ([&] { DrawFlatQuadMesh(vertices, quads, 2); }); }));
    ASSERT_EQ(sent.size(), 2u);
    const float red[2] = {1.0f, 0.0f};
    for (int q = 0; q < 2; ++q) {
        for (int k = 0; k < 4; ++k) {
            const std::string where = "quad " + std::to_string(q) + " corner " + std::to_string(k);
            ExpectAt(sent[q][k], vertices[quads[q][k]], where.c_str());
            EXPECT_NEAR(sent[q][k].r, red[q], 1e-3f) << where;
        }
    }
}

TEST_F(FlatQuadMeshTest, CountOfZeroDrawsNothingAndLeavesGlStateAsFound)
{
    glNormal3f(0.6f, 0.0f, 0.8f);
    EXPECT_TRUE(CaptureFeedback([&] { DrawFlatQuadMesh(vertices, quads, 0); }).empty());
    EXPECT_EQ(CurrentNormal(), (Normal{0.6f, 0.0f, 0.8f}));
    ExpectLeavesGlStateAsFound([&] { DrawFlatQuadMesh(vertices, quads, 0); });
    ExpectLeavesGlStateAsFound([&] { DrawFlatQuadMesh(vertices, quads, 2); });
}

// --- DrawSmoothTriMesh ---

class SmoothTriMeshTest : public ::testing::Test {
protected:
    void SetUp() override { ResetGlToSceneBaseline(); }

    // Four normals whose z (and so the red they light) tells them apart.
    const MeshVertex normals[4] = {{0.0f, 0.0f, 1.0f}, {0.0f, 0.6f, 0.8f}, {0.8f, 0.0f, 0.6f}, {1.0f, 0.0f, 0.0f}};
    const MeshVertex vertices[4] = {{0.0f, 0.0f, 0.0f}, {2.0f, 0.0f, 0.0f}, {0.0f, 2.0f, 0.0f}, {2.0f, 2.0f, 1.0f}};
    const MeshTriangle vertexIndices[2] = {{0, 1, 2}, {2, 1, 3}};
    // Deliberately unlike the vertex indices: a drawer that used those would light otherwise.
    const MeshTriangle normalIndices[2] = {{3, 0, 2}, {1, 2, 0}};
};

TEST_F(SmoothTriMeshTest, EachCornerTakesTheNormalItsOwnNormalIndexNames)
{
    const std::vector<FeedbackPolygon> polygons = CaptureFeedback([&] {
        WithLightAlongZ([&] {
            SetStrayNormal();
            DrawSmoothTriMesh(normals, normalIndices, vertices, vertexIndices, 2);
        });
    });
    ASSERT_EQ(polygons.size(), 2u);
    for (int t = 0; t < 2; ++t) {
        ASSERT_EQ(polygons[t].size(), 3u);
        for (int k = 0; k < 3; ++k) {
            const std::string where = "triangle " + std::to_string(t) + " corner " + std::to_string(k);
            ExpectAt(polygons[t][k], vertices[vertexIndices[t][k]], where.c_str());
            const MeshVertex& n = normals[normalIndices[t][k]];
            EXPECT_NEAR(polygons[t][k].r, LitRed({n[0], n[1], n[2]}), 1e-3f) << where;
        }
    }
    DrawSmoothTriMesh(normals, normalIndices, vertices, vertexIndices, 2);
    EXPECT_EQ(CurrentNormal(), (Normal{0.0f, 0.0f, 1.0f})) << "the last corner's normal stays current";
}

TEST_F(SmoothTriMeshTest, CountOfZeroDrawsNothingAndLeavesGlStateAsFound)
{
    glNormal3f(0.6f, 0.0f, 0.8f);
    const auto drawNone = [&] { DrawSmoothTriMesh(normals, normalIndices, vertices, vertexIndices, 0); };
    EXPECT_TRUE(CaptureFeedback(drawNone).empty());
    EXPECT_EQ(CurrentNormal(), (Normal{0.6f, 0.0f, 0.8f}));
    ExpectLeavesGlStateAsFound(drawNone);
    ExpectLeavesGlStateAsFound([&] { DrawSmoothTriMesh(normals, normalIndices, vertices, vertexIndices, 2); });
}

}  // namespace
