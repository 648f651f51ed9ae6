// The scene's start values, fixed GL state, light 0 and projection.
#include "tests/support/gl_test.h"
#include "view/scene.h"

#include <cmath>

namespace {

TEST(SceneStateTest, NewSceneStartsAtTheStartCameraPatternAndSpotLight)
{
    const SceneState s{};
    EXPECT_EQ(s.m_fDistance, 27.0f);
    EXPECT_EQ(s.m_fAngle, 0.0f);
    EXPECT_EQ(s.m_ptLast.x, 0);
    EXPECT_EQ(s.m_ptLast.y, 0);
    EXPECT_EQ(s.m_bFlareSpin, 0);
    EXPECT_EQ(s.m_nPattern, 1);
    EXPECT_EQ(s.m_fFlareAngle, 0.0f);
    const std::array<float, 10> bulbs = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 0.2f, 1.0f, 1.0f, 1.0f, 0.8f};
    EXPECT_EQ(s.m_fBulb, bulbs);
    EXPECT_EQ(s.m_nSweepPhase, 1);
    EXPECT_EQ(s.m_nSweepIndex, 0);
    EXPECT_EQ(s.m_fSpotDiffuse, (std::array<float, 4>{0.4f, 0.4f, 0.4f, 1.0f}));
    EXPECT_EQ(s.m_fSpotAmbient, (std::array<float, 4>{0.3f, 0.3f, 0.3f, 1.0f}));
    EXPECT_EQ(s.m_fSpotSpecular, (std::array<float, 4>{0.4f, 0.4f, 0.4f, 1.0f}));
    EXPECT_EQ(s.m_fSpotPosition, (std::array<float, 4>{0.0f, 0.0f, 25.0f, 1.0f}));
    EXPECT_EQ(s.m_fSpotDirection, (std::array<float, 3>{0.0f, 0.0f, -1.0f}));
    EXPECT_EQ(s.m_fSpotCutoff, 28.0f);
}

class SceneGlTest : public ::testing::Test {
protected:
    void SetUp() override { ResetGlToSceneBaseline(); }
};

TEST_F(SceneGlTest, ContextSetUpEnablesLightsDepthNormalisationAndBlending)
{
    // Start from a context with everything the set-up must switch on switched off.
    for (GLenum cap : {GL_LIGHT0, GL_LIGHT1, GL_LIGHTING, GL_DEPTH_TEST, GL_NORMALIZE, GL_BLEND})
        glDisable(cap);
    glLightModelf(GL_LIGHT_MODEL_TWO_SIDE, 0.0f);
    glShadeModel(GL_FLAT);

    CScene scene;
    scene.OnCreateContext();
    ExpectNoGlError();

    for (GLenum cap : {GL_LIGHT0, GL_LIGHT1, GL_LIGHTING, GL_DEPTH_TEST, GL_NORMALIZE, GL_BLEND})
        EXPECT_TRUE(glIsEnabled(cap)) << "capability 0x" << std::hex << cap;
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    GLfloat clear[4], twoSide;
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[0], 0.0f);
    EXPECT_EQ(clear[1], 0.0f);
    EXPECT_EQ(clear[2], 0.2f);
    EXPECT_EQ(clear[3], 1.0f);
    glGetFloatv(GL_LIGHT_MODEL_TWO_SIDE, &twoSide);
    EXPECT_EQ(twoSide, 1.0f);
    GLint shade, polygonMode[2], blend[2];
    glGetIntegerv(GL_SHADE_MODEL, &shade);
    glGetIntegerv(GL_POLYGON_MODE, polygonMode);
    glGetIntegerv(GL_BLEND_SRC, &blend[0]);
    glGetIntegerv(GL_BLEND_DST, &blend[1]);
    EXPECT_EQ(shade, GL_SMOOTH);
    EXPECT_EQ(polygonMode[0], GL_FILL);
    EXPECT_EQ(polygonMode[1], GL_FILL);
    EXPECT_EQ(blend[0], GL_SRC_ALPHA);
    EXPECT_EQ(blend[1], GL_ONE_MINUS_SRC_ALPHA);
}

TEST_F(SceneGlTest, Light0IsDimWarmAndDirectionalAlongTheViewingAxis)
{
    CScene scene;
    scene.OnCreateContext();
    GLfloat diffuse[4], ambient[4], specular[4], position[4], cutoff;
    glGetLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glGetLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glGetLightfv(GL_LIGHT0, GL_SPECULAR, specular);
    glGetLightfv(GL_LIGHT0, GL_POSITION, position);
    glGetLightfv(GL_LIGHT0, GL_SPOT_CUTOFF, &cutoff);
    EXPECT_EQ(diffuse[0], 0.5f);
    EXPECT_EQ(diffuse[3], 1.0f);
    EXPECT_EQ(ambient[0], 0.1f);
    EXPECT_EQ(ambient[1], 0.05f);
    EXPECT_EQ(specular[0], 0.3f);
    EXPECT_EQ(specular[2], 0.2f);
    EXPECT_EQ(position[2], 1.0f);
    EXPECT_EQ(position[3], 0.0f) << "directional";
    EXPECT_EQ(cutoff, 180.0f);
}

// The aspect ratio is the x scale of the projection over its y scale.
double ProjectionAspect()
{
    GLdouble m[16];
    glGetDoublev(GL_PROJECTION_MATRIX, m);
    return m[5] / m[0];
}

TEST_F(SceneGlTest, ProjectionFollowsWidthOverHeightWith45DegreeVerticalField)
{
    CScene scene;
    for (auto [w, h] : {std::pair{500, 500}, {800, 400}, {300, 900}, {1, 2000}}) {
        scene.OnSize(w, h);
        // GL keeps the matrix in single precision.
        const double aspect = static_cast<double>(w) / h;
        EXPECT_NEAR(ProjectionAspect(), aspect, aspect * 1e-6) << w << " x " << h;
        GLdouble m[16];
        glGetDoublev(GL_PROJECTION_MATRIX, m);
        EXPECT_NEAR(m[5], 1.0 / std::tan(22.5 * M_PI / 180.0), 1e-6) << "45-degree vertical field";
        // Near 10 and far 70.
        EXPECT_NEAR(m[10], -(70.0 + 10.0) / (70.0 - 10.0), 1e-6);
        EXPECT_NEAR(m[14], -2.0 * 70.0 * 10.0 / (70.0 - 10.0), 1e-5);
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[2], w);
        EXPECT_EQ(viewport[3], h);
        GLint mode;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW);
    }
    ExpectNoGlError();
}

TEST_F(SceneGlTest, EmptyClientAreaDoesNotFaultAndDrawsWithoutError)
{
    CScene scene;
    scene.OnCreateContext();
    for (auto [w, h] : {std::pair{500, 0}, {0, 500}, {0, 0}, {-4, -4}}) {
        scene.OnSize(w, h);
        GLdouble m[16];
        glGetDoublev(GL_PROJECTION_MATRIX, m);
        for (double v : m)
            EXPECT_TRUE(std::isfinite(v)) << w << " x " << h;
        scene.OnDraw();
        ExpectNoGlError();
    }
}

}  // namespace
