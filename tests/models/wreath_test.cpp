// The wreath's composition: what each drawing group sends, in which material, where the
// sphere clusters stand, and the translucent apples over the flares.
#include "export/headless_render.h"
#include "view/gl_query.h"
#include "bulbs/patterns.h"
#include "models/material.h"
#include "models/mesh.h"
#include "models/shape_cache.h"
#include "tests/support/shape_hooks.h"
#include "models/wreath.h"
#include "models/wreath_tables.h"
#include "tests/support/gl_test.h"
#include "view/scene.h"

#include <GL/glu.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace {

// Mesa's llvmpipe crashes replaying a list of mixed primitives (a GLU sphere) in feedback
// mode, so while feedback is captured the shapes are drawn directly.
std::vector<FeedbackPolygon> CaptureWithSpheresUnrecorded(const std::function<void()>& draw)
{
    SetShapeCacheBypass(true);
    auto polygons = CaptureFeedback(draw);
    SetShapeCacheBypass(false);
    return polygons;
}

// Every shape request while alive: kind, radius and where the model-view matrix put it.
class ShapeRequestLog {
public:
    struct Request {
        int kind;
        double radius;
        GLfloat x, y, z;
    };
    ShapeRequestLog()
    {
        s_requests.clear();
        m_previous = SetShapeRequestObserver([](int kind, double radius) {
            GLfloat m[16];
            glGetFloatv(GL_MODELVIEW_MATRIX, m);
            s_requests.push_back({kind, radius, m[12], m[13], m[14]});
        });
    }
    ~ShapeRequestLog() { SetShapeRequestObserver(m_previous); }
    const std::vector<Request>& Requests() const { return s_requests; }

private:
    static inline std::vector<Request> s_requests;
    ShapeRequestObserver m_previous;
};

class WreathTest : public ::testing::Test {
protected:
    void SetUp() override { ResetGlToSceneBaseline(); }
    std::unique_ptr<SceneState> state = std::make_unique<SceneState>();
};

TEST_F(WreathTest, EachGroupLeavesMaterialMatrixAndStacksAsFound)
{
    // A marker material that none of the groups uses, on both faces.
    const GLfloat marker[4] = {0.11f, 0.22f, 0.33f, 0.44f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, marker);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, marker);
    glTranslatef(1.0f, 2.0f, -30.0f);
    ExpectLeavesGlStateAsFound([&] { DrawWreath(*state); });
    ExpectLeavesGlStateAsFound(DrawAppleStems);
    ExpectLeavesGlStateAsFound(DrawApples);
    glLoadIdentity();
}

// The four radii the wreath gives the shape cache: three single-precision constants widened
// to double, and the ball's exact 0.25.
const double kWreathRadii[] = {0.15000000596046448, 0.10000000149011612, 0.11999999731779099, 0.25};

TEST_F(WreathTest, SpheresReachTheCacheWithExactlyFourRadii)
{
    std::vector<double> radii;
    ShapeRequestLog::Request ball{};
    {
        ShapeRequestLog log;
        DrawWreath(*state);
        for (const auto& r : log.Requests())
            if (r.kind == SHAPE_SPHERE) {
                radii.push_back(r.radius);
                ball = r;
            }
    }
    ASSERT_EQ(radii.size(), 31u) << "30 cluster spheres and the bell's ball";
    for (double radius : radii)
        EXPECT_NE(std::find(std::begin(kWreathRadii), std::end(kWreathRadii), radius), std::end(kWreathRadii))
            << radius;
    EXPECT_EQ(radii.back(), 0.25) << "the ball comes after the clusters";
    // Catches a ball moved out of the bell's mouth.
    EXPECT_NEAR(ball.x, 0.0f, 1e-6f);
    EXPECT_NEAR(ball.y, 2.7f, 1e-6f);
    EXPECT_NEAR(ball.z, 2.0f, 1e-6f);

    // Replayed, not compiled again, on the next frame.
    const std::size_t lists = ShapeCacheLists(SHAPE_SPHERE).size();
    DrawWreath(*state);
    EXPECT_EQ(ShapeCacheLists(SHAPE_SPHERE).size(), lists);
    ExpectNoGlError();
}

TEST_F(WreathTest, ClusterSpheresStandWhereTheOffsetsAddUpToWithTheirRadii)
{
    ShapeRequestLog log;
    DrawSphereClusters();
    const auto& spheres = log.Requests();
    ASSERT_EQ(spheres.size(), 30u);

    const double bases[5][3] = {
        {4.5, 3.0, 1.2}, {6.0, -1.5, 1.2}, {-0.5, -5.5, 1.2}, {-4.2, -2.5, 1.3}, {-5.0, 2.0, 1.3}};
    // Every cluster's offsets add up to the same places from its base, but for the second
    // sphere, which clusters 3 and 5 lean the other way.
    const double fromBase[6][2] = {{0, 0}, {0.05, 0.4}, {0.4, 0.0}, {0.2, -0.4}, {-0.2, -0.5}, {-0.4, 0.0}};
    const double secondX[5] = {0.05, 0.05, -0.05, 0.05, -0.05};
    const float radiiA[6] = {0.15f, 0.1f, 0.12f, 0.1f, 0.12f, 0.1f},
                radiiB[6] = {0.15f, 0.12f, 0.1f, 0.12f, 0.1f, 0.12f};
    for (int c = 0; c < 5; ++c) {
        const float* radii = (c == 1 || c == 2) ? radiiB : radiiA;
        for (int s = 0; s < 6; ++s) {
            const auto& sphere = spheres[c * 6 + s];
            const double dx = s == 1 ? secondX[c] : fromBase[s][0];
            EXPECT_EQ(sphere.kind, SHAPE_SPHERE);
            EXPECT_EQ(sphere.radius, static_cast<double>(radii[s])) << "cluster " << c + 1 << " sphere " << s + 1;
            EXPECT_NEAR(sphere.x, bases[c][0] + dx, 1e-5) << "cluster " << c + 1 << " sphere " << s + 1;
            EXPECT_NEAR(sphere.y, bases[c][1] + fromBase[s][1], 1e-5) << "cluster " << c + 1 << " sphere " << s + 1;
            EXPECT_NEAR(sphere.z, bases[c][2], 1e-6) << "cluster " << c + 1 << " sphere " << s + 1;
        }
    }
}

TEST_F(WreathTest, GroupsSendTheirTablesFacesInFull)
{
    // Stems and apples: one triangle per table entry (degenerate stem triangles included).
    EXPECT_EQ(CaptureFeedback(DrawAppleStems).size(), static_cast<std::size_t>(kStemTriangles));
    EXPECT_EQ(CaptureFeedback(DrawApples).size(), static_cast<std::size_t>(kAppleTriangles));

    // The wreath: ring and bow quads (two feedback triangles each), flat pieces, stars and
    // bell triangles, 31 spheres, then the bulb string.
    const std::size_t sphere = CaptureWithSpheresUnrecorded([] { ShapeSphere(0.25); }).size();
    const std::size_t bulbs = CaptureWithSpheresUnrecorded([&] { DrawBulbs(*std::make_unique<SceneState>()); }).size();
    const std::size_t expected = 2 * (kRingQuads + kBowQuads) + kFlatTriangles + kStarTriangles + kBellTriangles +
                                 31 * sphere + bulbs;
    EXPECT_EQ(CaptureWithSpheresUnrecorded([&] { DrawWreath(*state); }).size(), expected);
}

// The wreath's seven materials, as each part must be lit.
//                               faces               diffuse                     specular                  ambient
//                               emission                  shininess
const MaterialBlock kRing = {GL_FRONT_AND_BACK,         {0.0f, 0.35f, 0.0f, 1.0f}, {0.5f, 0.7f, 0.5f, 1.0f},
                             {0.0f, 0.05f, 0.0f, 1.0f}, {0.0f, 0.0f, 0.0f, 1.0f},  150.0f};
const MaterialBlock kPale = {GL_FRONT_AND_BACK,        {0.7f, 0.7f, 0.6f, 1.0f}, {0.8f, 0.8f, 0.7f, 1.0f},
                             {0.0f, 0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 0.0f, 1.0f}, 80.0f};
const MaterialBlock kStarGold = {
    GL_FRONT, {0.7f, 0.7f, 0.2f, 1.0f}, {1.0f, 1.0f, 0.9f, 1.0f}, {0.0f, 0.0f, 0.0f, 1.0f}, {0.1f, 0.1f, 0.0f, 1.0f},
    10.0f};
const MaterialBlock kBellGold = {GL_FRONT_AND_BACK,        {0.5f, 0.5f, 0.05f, 1.0f}, {1.0f, 1.0f, 0.9f, 1.0f},
                                 {0.0f, 0.0f, 0.0f, 1.0f}, {0.1f, 0.1f, 0.0f, 1.0f},  20.0f};
const MaterialBlock kBowRed = {GL_FRONT_AND_BACK,        {0.7f, 0.2f, 0.2f, 1.0f}, {0.8f, 0.4f, 0.4f, 1.0f},
                               {0.0f, 0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 0.0f, 1.0f}, 80.0f};
const MaterialBlock kStemGreen = {
    GL_FRONT, {0.0f, 0.7f, 0.0f, 1.0f}, {0.8f, 1.0f, 0.8f, 1.0f}, {0.0f, 0.05f, 0.0f, 1.0f}, {0.0f, 0.0f, 0.0f, 1.0f},
    10.0f};
const MaterialBlock kAppleRed = {GL_FRONT_AND_BACK,           {0.7f, 0.2f, 0.2f, 0.55f}, {1.0f, 1.0f, 1.0f, 1.0f},
                                 {0.05f, 0.05f, 0.05f, 1.0f}, {0.3f, 0.1f, 0.1f, 1.0f},  30.0f};

// Catches a part drawn in another part's material, or a material's colour changed: under the
// scene's lights every corner the wreath sends is lit as its part's own table mesh is lit
// in the part's material above.
TEST_F(WreathTest, EachPartIsLitInItsOwnMaterial)
{
    const WreathTables& T = g_wreathTables;
    const struct {
        const char* name;
        std::optional<MaterialBlock> material;  // none: the bulbs set their own
        std::function<void()> draw;
    } parts[] = {
        {"ring", kRing, [&] { DrawFlatQuadMesh(T.ringVertices, T.ringQuads, kRingQuads); }},
        {"flat pieces", kPale, [&] { DrawFlatTriMesh(T.flatVertices, T.flatTriangles, kFlatTriangles); }},
        {"stars and clusters", kStarGold,
         [&] {
             DrawFlatTriMesh(T.starVertices, T.starTriangles, kStarTriangles);
             DrawSphereClusters();
         }},
        {"bell and ball", kBellGold,
         [&] {
             DrawSmoothTriMesh(T.bellNormals, T.bellNormalIndices, T.bellVertices, T.bellVertexIndices, kBellTriangles);
             ShapeSphere(0.25);
         }},
        {"bow", kBowRed, [&] { DrawFlatQuadMesh(T.bowVertices, T.bowQuads, kBowQuads); }},
        {"bulbs", std::nullopt, [] { DrawBulbs(*std::make_unique<SceneState>()); }},
        {"stems", kStemGreen,
         [&] {
             DrawSmoothTriMesh(T.stemNormals, T.stemNormalIndices, T.stemVertices, T.stemVertexIndices, kStemTriangles);
         }},
        {"apples", kAppleRed,
         [&] {
             DrawSmoothTriMesh(T.appleNormals, T.appleNormalIndices, T.appleVertices, T.appleVertexIndices,
                               kAppleTriangles);
         }},
    };
    const std::vector<FeedbackPolygon> sent = CaptureWithSpheresUnrecorded([&] {
        DrawWreath(*state);
        DrawAppleStems();
        DrawApples();
    });
    const auto sameColour = [](const FeedbackVertex& p, const FeedbackVertex& q) {
        return std::abs(p.r - q.r) < 1e-6f && std::abs(p.g - q.g) < 1e-6f && std::abs(p.b - q.b) < 1e-6f &&
               std::abs(p.a - q.a) < 1e-6f;
    };
    std::size_t at = 0;
    for (const auto& part : parts) {
        const std::vector<FeedbackPolygon> lit = CaptureWithSpheresUnrecorded(
            [&] { part.material ? DrawWithMaterial(*part.material, part.draw) : part.draw(); });
        int wrong = 0;
        for (const FeedbackPolygon& want : lit) {
            const FeedbackPolygon* got = at < sent.size() ? &sent[at++] : nullptr;
            for (std::size_t k = 0; k < want.size(); ++k)
                wrong += !got || got->size() != want.size() || !sameColour((*got)[k], want[k]);
        }
        EXPECT_EQ(wrong, 0) << "corners of the " << part.name << " lit otherwise";
    }
    EXPECT_EQ(at, sent.size());
}

TEST_F(WreathTest, FlaresShowThroughTheTranslucentApples)
{
    CScene scene;
    scene.OnCreate((std::filesystem::path(LUMETTA_SOURCE_DIR) / "assets").string());
    scene.OnCreateContext();
    scene.OnSize(500, 500);
    // A point of flare 1 inside its apple's outline, where the apple's front surface stands
    // in front of the flare's plane: turning the flare changes the pixel only if the apple,
    // drawn after it, lets it through.
    const auto [px, py] = PixelAtStartCamera(3.5 - 0.45, 5.0, 2.0);
    std::array<int, 3> seen[2];
    for (int turn = 0; turn < 2; ++turn) {
        scene.State().m_fFlareAngle = turn * 30.0f;
        scene.OnDraw();
        const std::vector<std::uint8_t> pixels = ReadPixels({0, 0, 500, 500}, 3);
        const std::uint8_t* c = &pixels[(static_cast<std::size_t>(py) * 500 + px) * 3];
        seen[turn] = {c[0], c[1], c[2]};
    }
    const int change = std::abs(seen[0][0] - seen[1][0]) + std::abs(seen[0][1] - seen[1][1]) +
                       std::abs(seen[0][2] - seen[1][2]);
    EXPECT_GT(change, 6) << "the flare behind the apple did not show: " << seen[0][0] << "," << seen[0][1] << ","
                         << seen[0][2];
}

// The bulbs come after the last of the wreath's material blocks: each bulb's shells find
// only their own attribute push, and the back material the frame had before the wreath.
TEST_F(WreathTest, BulbsAreDrawnOutsideEveryMaterialBlockOfTheWreath)
{
    const GLfloat marker[4] = {0.11f, 0.22f, 0.33f, 0.44f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, marker);
    GLint depthBefore;
    glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &depthBefore);

    static std::vector<std::pair<GLint, GLfloat>> s_shells;  // attribute depth, back diffuse red
    s_shells.clear();
    const ShapeRequestObserver previous = SetShapeRequestObserver([](int kind, double) {
        if (kind != SHAPE_ICOSAHEDRON)
            return;
        GLint depth;
        GLfloat back[4];
        glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &depth);
        glGetMaterialfv(GL_BACK, GL_DIFFUSE, back);
        s_shells.emplace_back(depth, back[0]);
    });
    DrawWreath(*state);
    SetShapeRequestObserver(previous);

    ASSERT_EQ(s_shells.size(), 80u);
    for (const auto& [depth, backRed] : s_shells) {
        EXPECT_EQ(depth, depthBefore + 1);
        EXPECT_EQ(backRed, marker[0]);
    }
}

}  // namespace
