#include "view/frame.h"

#include "bulbs/bulb_string.h"
#include "bulbs/patterns.h"
#include "models/wreath.h"
#include "view/panel.h"

#include "core/gl_api.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

struct Vec3 {
    GLfloat x, y, z;
};

// Each flare turns about its own centre, one in front of each apple.
const Vec3 kFlarePositions[] = {
    {3.5f, 5.0f, 0.0f},    // flare 1
    {5.0f, -0.5f, 0.0f},   // flare 2
    {2.9f, -6.0f, 0.0f},   // flare 3
    {-3.3f, -4.0f, 0.0f},  // flare 4
    {-6.5f, 1.5f, 0.0f},   // flare 5
};

// A six-pointed star in the plane z = 2: six points at about radius 2 between six inner
// corners at radius 1.2. The last rim vertex closes the fan on the first.
// clang-format off
const Vec3 kFlareRim[] = {
    {0.0f, 2.0f, 2.0f},   {-0.6f, 1.04f, 2.0f}, {-1.7f, 1.0f, 2.0f},  {-1.2f, 0.0f, 2.0f},
    {-1.7f, -1.0f, 2.0f}, {-0.6f, -1.04f, 2.0f}, {0.0f, -2.0f, 2.0f}, {0.6f, -1.04f, 2.0f},
    {1.7f, -1.0f, 2.0f},  {1.2f, 0.0f, 2.0f},   {1.7f, 1.0f, 2.0f},   {0.6f, 1.04f, 2.0f},
    {0.0f, 2.0f, 2.0f},
};
// clang-format on

void DrawFlareFan()
{
    glBegin(GL_TRIANGLE_FAN);
    glColor4f(1.0f, 0.5f, 0.6f, 1.0f);
    glVertex3f(0.0f, 0.0f, 2.0f);
    glColor4f(0.9f, 0.0f, 0.0f, 0.1f);
    for (const Vec3& v : kFlareRim)
        glVertex3f(v.x, v.y, v.z);
    glEnd();
}

// While spinning, 2 degrees a frame; 360 is kept for one frame and 362 becomes 2.
void StepFlareAngle(SceneState& state)
{
    if (state.m_bFlareSpin != 1)
        return;
    state.m_fFlareAngle += 2.0f;
    if (state.m_fFlareAngle > 360.0f)
        state.m_fFlareAngle -= 360.0f;
}

}  // namespace

const std::array<FlareSweep, 5>& FlareSweeps()
{
    static const auto sweeps = [] {
        std::array<FlareSweep, 5> all{};
        static_assert(std::size(kFlarePositions) == all.size());
        for (std::size_t i = 0; i < all.size(); ++i) {
            const Vec3& p = kFlarePositions[i];
            float reach = 0.0f;
            for (const Vec3& v : kFlareRim)
                reach = std::max(reach, std::hypot(v.x, v.y));
            all[i] = {p.x, p.y, p.z + kFlareRim[0].z, reach};
        }
        return all;
    }();
    return sweeps;
}

void SetSpotLight(const SceneState& state)
{
    glLightfv(GL_LIGHT1, GL_DIFFUSE, state.m_fSpotDiffuse.data());
    glLightfv(GL_LIGHT1, GL_AMBIENT, state.m_fSpotAmbient.data());
    glLightfv(GL_LIGHT1, GL_SPECULAR, state.m_fSpotSpecular.data());
    glLightf(GL_LIGHT1, GL_SPOT_CUTOFF, state.m_fSpotCutoff);
    glLightf(GL_LIGHT1, GL_SPOT_EXPONENT, 0.7f);
    glLightfv(GL_LIGHT1, GL_POSITION, state.m_fSpotPosition.data());
    glLightfv(GL_LIGHT1, GL_SPOT_DIRECTION, state.m_fSpotDirection.data());
}

void DrawFlares(SceneState& state)
{
    FlareSet all;
    all.fill(true);
    DrawFlares(state.m_fFlareAngle, all);
    StepFlareAngle(state);
}

void DrawFlares(float angle, const FlareSet& which)
{
    glDisable(GL_LIGHTING);
    for (std::size_t i = 0; i < which.size(); ++i) {
        if (!which[i])
            continue;
        const Vec3& p = kFlarePositions[i];
        glPushMatrix();
        glTranslatef(p.x, p.y, p.z);
        glRotatef(angle, 0.0f, 0.0f, 1.0f);
        DrawFlareFan();
        glPopMatrix();
    }
    glEnable(GL_LIGHTING);
}

MovingParts MovingParts::All()
{
    MovingParts all;
    for (auto& colour : all.bulbs)
        colour.fill(true);
    all.stems.fill(true);
    all.flares.fill(true);
    all.apples.fill(true);
    return all;
}

void DrawMovingParts(const SceneState& state, const MovingParts& parts)
{
    DrawBulbString(state, parts.bulbs);
    DrawAppleStemsOf(parts.stems);
    DrawFlares(state.m_fFlareAngle, parts.flares);
    DrawApplesOf(parts.apples);
}

void AdvanceFrameUnseen(SceneState& state)
{
    AdvanceBulbs(state);
    StepFlareAngle(state);
}

void PlaceCamera(const SceneState& state)
{
    glTranslatef(0.0f, 0.0f, -state.m_fDistance);
    glRotatef(state.m_fAngle, 0.0f, 1.0f, 0.0f);
}

void RenderFrame(SceneState& state, Backdrop backdrop)
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glPushMatrix();
    PlaceCamera(state);
    // Given after the camera, so the spot light stands in scene coordinates and turns with the scene.
    SetSpotLight(state);

    if (backdrop == Backdrop::Panel)
        DrawPanel();
    DrawWreath(state);
    DrawAppleStems();
    DrawFlares(state);
    // Last, so the flares show through the translucent apples.
    DrawApples();

    glPopMatrix();
    glFinish();
}

void RenderStillParts(const SceneState& state, Backdrop backdrop)
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glPushMatrix();
    PlaceCamera(state);
    SetSpotLight(state);
    if (backdrop == Backdrop::Panel)
        DrawPanel();
    DrawOpaqueWreath();
    glPopMatrix();
}

void RenderMovingParts(SceneState& state)
{
    glPushMatrix();
    PlaceCamera(state);
    SetSpotLight(state);
    DrawMovingParts(state, MovingParts::All());
    glPopMatrix();
    AdvanceFrameUnseen(state);
    glFinish();
}
