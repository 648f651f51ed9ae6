// The wreath's composition: what each drawing group sends, in which material, where the
// sphere clusters stand, and the translucent apples over the flares.
#include "app/headless_render.h"
#include "bulbs/patterns.h"
#include "models/shape_cache.h"
#include "models/shape_cache_internal.h"
#include "models/wreath.h"
#include "models/wreath_tables.h"
#include "tests/support/gl_test.h"
#include "tests/support/process.h"
#include "view/frame.h"
#include "view/scene.h"

#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

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
    {
        ShapeRequestLog log;
        DrawWreath(*state);
        for (const auto& r : log.Requests())
            if (r.kind == SHAPE_SPHERE)
                radii.push_back(r.radius);
    }
    ASSERT_EQ(radii.size(), 31u) << "30 cluster spheres and the bell's ball";
    for (double radius : radii)
        EXPECT_NE(std::find(std::begin(kWreathRadii), std::end(kWreathRadii), radius), std::end(kWreathRadii))
            << radius;
    EXPECT_EQ(radii.back(), 0.25) << "the ball comes after the clusters";

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

    const double bases[5][3] = {{4.5, 3.0, 1.2}, {6.0, -1.5, 1.2}, {-0.5, -5.5, 1.2}, {-4.2, -2.5, 1.3}, {-5.0, 2.0, 1.3}};
    // Every cluster's offsets add up to the same places from its base, but for the second
    // sphere, which clusters 3 and 5 lean the other way.
    const double fromBase[6][2] = {{0, 0}, {0.05, 0.4}, {0.4, 0.0}, {0.2, -0.4}, {-0.2, -0.5}, {-0.4, 0.0}};
    const double secondX[5] = {0.05, 0.05, -0.05, 0.05, -0.05};
    const float radiiA[6] = {0.15f, 0.1f, 0.12f, 0.1f, 0.12f, 0.1f}, radiiB[6] = {0.15f, 0.12f, 0.1f, 0.12f, 0.1f, 0.12f};
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

TEST_F(WreathTest, FlaresShowThroughTheTranslucentApples)
{
    CScene scene;
    {
        ScopedCurrentDir inside(std::filesystem::path(LUMETTA_SOURCE_DIR) / "assets");
        scene.OnCreate();
    }
    scene.OnCreateContext();
    scene.OnSize(500, 500);
    scene.OnDraw();
    const std::vector<std::uint8_t> withApples = ReadPixelsRgb(500, 500);

    // The apple over flare 1, seen where the flare's pink centre is: pinker than the apple
    // a little to the side of the flare's points, where only the apple and the panel show.
    GLdouble model[16], proj[16], wx, wy, wz;
    GLint viewport[4];
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, -27.0f);
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glPopMatrix();
    glGetDoublev(GL_PROJECTION_MATRIX, proj);
    glGetIntegerv(GL_VIEWPORT, viewport);
    gluProject(3.5, 5.0, 2.5, model, proj, viewport, &wx, &wy, &wz);
    const std::uint8_t* centre = &withApples[(static_cast<int>(wy) * 500 + static_cast<int>(wx)) * 3];
    EXPECT_GT(centre[1], 60) << "the flare's pink must show through the red apple";
    EXPECT_GT(centre[0], 150);
}

}  // namespace
