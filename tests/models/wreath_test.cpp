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

#include <cmath>
#include <functional>
#include <memory>

namespace {

// Mesa's llvmpipe crashes replaying a list of mixed primitives (a GLU sphere) in feedback
// mode, so while feedback is captured the spheres are drawn directly, unrecorded.
class SpheresUnrecorded {
public:
    SpheresUnrecorded() : m_previous(SetShapeListAllocator([](GLsizei) -> GLuint { return 0; })) {}
    ~SpheresUnrecorded() { SetShapeListAllocator(m_previous); }

private:
    ShapeListAllocator m_previous;
};

std::vector<FeedbackPolygon> CaptureWithSpheresUnrecorded(const std::function<void()>& draw)
{
    SpheresUnrecorded unrecorded;
    return CaptureFeedback(draw);
}

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
    // Which of the four keys the cache held before: the process-wide cache may have met
    // some of them in earlier tests.
    int missing = 0;
    for (double radius : kWreathRadii)
        missing += LookupShapeList(SHAPE_SPHERE, &radius, 1) == 0;
    const std::size_t before = ShapeCacheLists(SHAPE_SPHERE).size();

    DrawWreath(*state);
    for (double radius : kWreathRadii)
        EXPECT_NE(LookupShapeList(SHAPE_SPHERE, &radius, 1), 0u) << radius;
    EXPECT_EQ(ShapeCacheLists(SHAPE_SPHERE).size(), before + missing) << "a radius other than the four";

    DrawWreath(*state);
    EXPECT_EQ(ShapeCacheLists(SHAPE_SPHERE).size(), before + missing) << "a second frame must only replay";
    const double doubleKey = 0.15;
    EXPECT_EQ(LookupShapeList(SHAPE_SPHERE, &doubleKey, 1), 0u) << "0.15 as a double is not the wreath's key";
    ExpectNoGlError();
}

// The centre of each sphere the clusters draw, found as the mean of its polygons' corners.
std::vector<std::array<double, 3>> SphereCentres(const std::vector<FeedbackPolygon>& polygons, std::size_t perSphere)
{
    std::vector<std::array<double, 3>> centres;
    for (std::size_t first = 0; first + perSphere <= polygons.size(); first += perSphere) {
        std::array<double, 3> sum{};
        std::size_t n = 0;
        for (std::size_t p = first; p < first + perSphere; ++p)
            for (const FeedbackVertex& v : polygons[p]) {
                sum[0] += v.x;
                sum[1] += v.y;
                sum[2] += v.z;
                ++n;
            }
        centres.push_back({sum[0] / n, sum[1] / n, sum[2] / n});
    }
    return centres;
}

TEST_F(WreathTest, ClusterSpheresStandWhereTheOffsetsAddUpTo)
{
    const std::size_t perSphere = CaptureWithSpheresUnrecorded([] { ShapeSphere(0.15000000596046448); }).size();
    ASSERT_GT(perSphere, 0u);
    const auto centres = SphereCentres(CaptureWithSpheresUnrecorded(DrawSphereClusters), perSphere);
    ASSERT_EQ(centres.size(), 30u);

    const double bases[5][3] = {{4.5, 3.0, 1.2}, {6.0, -1.5, 1.2}, {-0.5, -5.5, 1.2}, {-4.2, -2.5, 1.3}, {-5.0, 2.0, 1.3}};
    // Every cluster's offsets add up to the same places from its base.
    const double fromBase[6][2] = {{0, 0}, {0.05, 0.4}, {0.4, 0.0}, {0.2, -0.4}, {-0.2, -0.5}, {-0.4, 0.0}};
    const double secondX[5] = {0.05, 0.05, -0.05, 0.05, -0.05};  // clusters 3 and 5 lean the other way
    for (int c = 0; c < 5; ++c) {
        for (int s = 0; s < 6; ++s) {
            const auto& centre = centres[c * 6 + s];
            const double dx = s == 1 ? secondX[c] : fromBase[s][0];
            EXPECT_NEAR(centre[0], bases[c][0] + dx, 2e-3) << "cluster " << c + 1 << " sphere " << s + 1;
            EXPECT_NEAR(centre[1], bases[c][1] + fromBase[s][1], 2e-3) << "cluster " << c + 1 << " sphere " << s + 1;
            EXPECT_NEAR(centre[2], bases[c][2], 2e-3) << "cluster " << c + 1 << " sphere " << s + 1;
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
