#include "bulbs/bulb_string.h"

#include "models/material.h"
#include "models/shape_cache.h"

#include <algorithm>
#include <cmath>
#include <iterator>

//                                   dx     dy     dz
// clang-format off
const GLfloat g_fBulbOffset[4][10][3] = {
    {
        { 0.5f,  6.0f,  1.5f},  // red 0, centre (0.5, 6.0, 1.5)
        { 5.5f, -2.3f,  0.0f},  // red 1, centre (5.3, 5.0, 1.5)
        {-3.2f, -0.4f,  0.0f},  // red 2, centre (4.4, 1.5, 1.5)
        { 1.5f, -1.5f,  0.0f},  // red 3, centre (8.2, -2.4, 1.5)
        {-5.1f,  0.2f,  0.0f},  // red 4, centre (2.7, -3.5, 1.5)
        {-5.5f, -1.2f,  0.0f},  // red 5, centre (-0.1, -7.6, 1.5)
        {-1.7f,  1.0f,  0.0f},  // red 6, centre (-1.5, -4.5, 1.5)
        {-2.5f, -1.8f,  0.0f},  // red 7, centre (-5.5, -4.5, 1.5)
        { 1.3f,  1.6f,  0.0f},  // red 8, centre (-5.7, -0.4, 1.5)
        {-2.5f,  3.0f,  0.0f},  // red 9, centre (-6.2, 4.7, 1.5)
    },
    {
        { 1.8f,  1.0f,  0.0f},  // blue 0, centre (2.3, 7.0, 1.5)
        {-2.2f, -1.6f,  0.0f},  // blue 1, centre (3.1, 3.4, 1.5)
        { 2.5f, -1.4f,  0.0f},  // blue 2, centre (6.9, 0.1, 1.5)
        {-4.5f,  0.2f,  0.0f},  // blue 3, centre (3.7, -2.2, 1.5)
        { 2.5f, -1.1f,  0.0f},  // blue 4, centre (5.2, -4.6, 1.5)
        { 1.0f,  3.0f,  0.0f},  // blue 5, centre (0.9, -4.6, 1.5)
        {-1.7f, -1.5f,  0.0f},  // blue 6, centre (-3.2, -6.0, 1.5)
        { 2.0f,  2.6f,  0.0f},  // blue 7, centre (-3.5, -1.9, 1.5)
        {-2.0f,  0.5f,  0.0f},  // blue 8, centre (-7.7, 0.1, 1.5)
        { 3.2f, -1.8f,  0.0f},  // blue 9, centre (-3.0, 2.9, 1.5)
    },
    {
        {-4.0f, -1.2f,  0.0f},  // green 0, centre (-1.7, 5.8, 1.5)
        { 2.3f, -1.0f,  0.0f},  // green 1, centre (5.4, 2.4, 1.5)
        { 1.5f, -0.5f,  0.0f},  // green 2, centre (8.4, -0.4, 1.5)
        { 1.8f, -0.2f,  0.0f},  // green 3, centre (5.5, -2.4, 1.5)
        { 1.5f, -0.3f,  0.0f},  // green 4, centre (6.7, -4.9, 1.5)
        {-2.0f, -1.5f,  0.0f},  // green 5, centre (-1.1, -6.1, 1.5)
        {-1.5f,  0.5f,  0.0f},  // green 6, centre (-4.7, -5.5, 1.5)
        {-1.3f,  0.4f,  0.0f},  // green 7, centre (-4.8, -1.5, 1.5)
        { 0.5f,  3.0f,  0.0f},  // green 8, centre (-7.2, 3.1, 1.5)
        { 0.3f,  1.2f,  0.0f},  // green 9, centre (-2.7, 4.1, 1.5)
    },
    {
        { 1.5f,  1.5f,  0.0f},  // yellow 0, centre (-0.2, 7.3, 1.5)
        { 2.2f, -0.5f,  0.0f},  // yellow 1, centre (7.6, 1.9, 1.5)
        {-1.7f, -0.5f,  0.0f},  // yellow 2, centre (6.7, -0.9, 1.5)
        { 2.3f, -1.3f,  0.0f},  // yellow 3, centre (7.8, -3.7, 1.5)
        {-1.3f, -1.5f,  0.0f},  // yellow 4, centre (5.4, -6.4, 1.5)
        { 1.3f,  0.6f,  0.0f},  // yellow 5, centre (0.2, -5.5, 1.5)
        { 1.7f,  2.8f,  0.0f},  // yellow 6, centre (-3.0, -2.7, 1.5)
        {-2.2f, -0.5f,  0.0f},  // yellow 7, centre (-7.0, -2.0, 1.5)
        { 3.5f, -1.4f,  0.0f},  // yellow 8, centre (-3.7, 1.7, 1.5)
        {-1.4f,  2.6f,  0.0f},  // yellow 9, centre (-4.1, 6.7, 1.5)
    },
};
// clang-format on

namespace {

enum BulbColour { kRed, kBlue, kGreen, kYellow };

struct HaloColours {
    GLfloat centre[4];
    GLfloat rim[4];
};

//                                  centre                      rim
const HaloColours kHaloColours[] = {
    {{1.0f, 0.4f, 0.4f, 0.6f}, {1.0f, 0.0f, 0.0f, 0.05f}},  // red
    {{0.5f, 0.5f, 1.0f, 0.7f}, {0.0f, 0.0f, 1.0f, 0.1f}},   // blue
    {{0.1f, 0.9f, 0.1f, 0.5f}, {0.0f, 0.7f, 0.0f, 0.05f}},  // green
    {{0.9f, 0.9f, 0.4f, 0.5f}, {0.8f, 0.8f, 0.0f, 0.05f}},  // yellow
};

// The star's rim at intensity 1, counter-clockwise seen from +z; the last point closes the fan.
// clang-format off
const GLfloat kHaloRim[][2] = {
    { 0.0f,   0.4f},   // short point, up
    {-0.8f,   0.8f},   // long point
    {-0.4f,   0.0f},   // short point, left
    {-0.55f, -0.55f},  // medium point
    { 0.0f,  -0.4f},   // short point, down
    { 0.8f,  -0.8f},   // long point
    { 0.4f,   0.0f},   // short point, right
    { 0.55f,  0.55f},  // medium point
    { 0.0f,   0.4f},   // back to the top
};
// clang-format on

// Dimmer bulbs have no halo at all.
constexpr float kHaloThreshold = 0.15f;

// A shell's front material. The diffuse colour is scale * v + offset and the emission
// scale * v, per red, green and blue; their alphas, and everything else, stay fixed.
struct ShellMaterial {
    GLfloat diffuseScale[3];
    GLfloat diffuseOffset[3];
    GLfloat diffuseAlpha;
    GLfloat specular[4];
    GLfloat ambient[4];
    GLfloat emissionScale[3];
    GLfloat emissionAlpha;
    GLfloat shininess;
};

// clang-format off
const ShellMaterial kBodyMaterial[][2] = {
    //   diffuse: times v       + offset               alpha specular                      ambient                       emission: times v      alpha shininess
    {
        {{ 0.8f,  0.5f,  0.5f}, { 0.0f,  0.0f,  0.0f}, 1.0f, { 1.0f,  0.7f,  0.7f,  1.0f}, { 0.0f,  0.0f,  0.0f,  1.0f}, { 0.5f,  0.2f,  0.2f}, 1.0f, 20.0f},  // red inner
        {{ 0.6f,  0.1f,  0.1f}, { 0.7f,  0.0f,  0.0f}, 0.3f, { 1.0f,  0.5f,  0.5f,  1.0f}, { 0.0f,  0.0f,  0.0f,  1.0f}, { 0.6f,  0.1f,  0.1f}, 1.0f, 10.0f},  // red outer
    },
    {
        {{ 0.7f,  0.7f,  0.9f}, { 0.0f,  0.0f,  0.0f}, 1.0f, { 0.7f,  1.0f,  1.0f,  1.0f}, { 0.0f,  0.0f,  0.0f,  1.0f}, { 0.3f,  0.3f,  0.8f}, 1.0f, 20.0f},  // blue inner
        {{ 0.1f,  0.1f,  0.8f}, { 0.0f,  0.0f,  0.7f}, 0.5f, { 0.7f,  0.7f,  1.0f,  1.0f}, { 0.0f,  0.0f,  0.0f,  1.0f}, { 0.1f,  0.1f,  0.6f}, 1.0f, 10.0f},  // blue outer
    },
    {
        {{ 0.9f,  1.0f,  0.9f}, { 0.0f,  0.0f,  0.0f}, 1.0f, { 0.7f,  1.0f,  0.7f,  1.0f}, { 0.0f,  0.0f,  0.0f,  1.0f}, { 0.1f,  0.4f,  0.1f}, 1.0f, 20.0f},  // green inner
        {{ 0.0f,  0.5f,  0.0f}, { 0.0f,  0.2f,  0.0f}, 0.5f, { 0.1f,  0.7f,  0.1f,  1.0f}, { 0.0f,  0.0f,  0.0f,  1.0f}, {0.05f,  0.1f, 0.05f}, 1.0f, 10.0f},  // green outer
    },
    {
        {{ 1.0f,  1.0f, 0.95f}, { 0.0f,  0.0f,  0.0f}, 1.0f, { 1.0f,  1.0f, 0.95f,  1.0f}, { 0.0f,  0.0f,  0.0f,  1.0f}, { 0.5f,  0.5f,  0.3f}, 1.0f, 20.0f},  // yellow inner
        {{ 0.5f,  0.5f,  0.0f}, { 0.2f,  0.2f,  0.0f}, 0.5f, { 0.5f,  0.5f,  0.1f,  1.0f}, { 0.0f,  0.0f,  0.0f,  1.0f}, { 0.1f,  0.1f, 0.05f}, 1.0f, 10.0f},  // yellow outer
    },
};
// clang-format on

// Cache keys: these single-precision radii widened to double, the same for every bulb, so
// the whole string shares two display lists.
constexpr float kInnerRadius = 0.11f;
constexpr float kOuterRadius = 0.23f;

void DrawHalo(const HaloColours& colours, float v)
{
    if (!(v > kHaloThreshold))
        return;
    glDisable(GL_LIGHTING);
    glBegin(GL_TRIANGLE_FAN);
    glColor4fv(colours.centre);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glColor4fv(colours.rim);
    for (const auto& p : kHaloRim)
        glVertex3f(p[0] * v, p[1] * v, 0.0f);
    glEnd();
    glEnable(GL_LIGHTING);
}

// Any intensity is taken as it is: above 1 the bulb glows brighter than full, below 0 its
// colours go negative, and GL gets both unclamped.
MaterialBlock ShellBlock(const ShellMaterial& m, float v)
{
    MaterialBlock block{GL_FRONT, {}, {}, {}, {}, m.shininess};
    for (int k = 0; k < 3; ++k) {
        block.diffuse[k] = m.diffuseScale[k] * v + m.diffuseOffset[k];
        block.emission[k] = m.emissionScale[k] * v;
    }
    block.diffuse[3] = m.diffuseAlpha;
    block.emission[3] = m.emissionAlpha;
    std::copy(std::begin(m.specular), std::end(m.specular), block.specular);
    std::copy(std::begin(m.ambient), std::end(m.ambient), block.ambient);
    return block;
}

// Only the front material is set: the back faces, seen through the translucent outer shell,
// keep whatever back material the wreath left in force.
void DrawBody(const ShellMaterial (&shells)[2], float v)
{
    const MaterialBlock inner = ShellBlock(shells[0], v);
    const MaterialBlock outer = ShellBlock(shells[1], v);
    glPushAttrib(GL_LIGHTING_BIT);
    ApplyMaterial(inner);
    ShapeIcosahedron(static_cast<double>(kInnerRadius));
    ApplyMaterial(outer);
    ShapeIcosahedron(static_cast<double>(kOuterRadius));
    glPopAttrib();
}

struct BulbDrawers {
    void (*halo)(float v);
    void (*body)(float v);
};

// In walk order within each bulb index.
const BulbDrawers kBulbDrawers[] = {
    {DrawRedHalo, DrawRedBulb},
    {DrawBlueHalo, DrawBlueBulb},
    {DrawGreenHalo, DrawGreenBulb},
    {DrawYellowHalo, DrawYellowBulb},
};

}  // namespace

// clang-format off
void DrawRedHalo(float v) { DrawHalo(kHaloColours[kRed], v); }
void DrawBlueHalo(float v) { DrawHalo(kHaloColours[kBlue], v); }
void DrawGreenHalo(float v) { DrawHalo(kHaloColours[kGreen], v); }
void DrawYellowHalo(float v) { DrawHalo(kHaloColours[kYellow], v); }

void DrawRedBulb(float v) { DrawBody(kBodyMaterial[kRed], v); }
void DrawBlueBulb(float v) { DrawBody(kBodyMaterial[kBlue], v); }
void DrawGreenBulb(float v) { DrawBody(kBodyMaterial[kGreen], v); }
void DrawYellowBulb(float v) { DrawBody(kBodyMaterial[kYellow], v); }
// clang-format on

BulbReach ReachOfBulb(float v)
{
    float across = kOuterRadius;
    if (v > kHaloThreshold) {
        for (const auto& p : kHaloRim)
            across = std::max({across, std::abs(p[0] * v), std::abs(p[1] * v)});
    }
    return {across, kOuterRadius};
}

void DrawBulbString(const SceneState& state)
{
    BulbSet all;
    for (auto& colour : all)
        colour.fill(true);
    DrawBulbString(state, all);
}

void DrawBulbString(const SceneState& state, const BulbSet& which)
{
    // One push for the whole walk: every step moves on from the bulb before it.
    glPushMatrix();
    for (int i = 0; i < 10; ++i) {
        const float v = state.m_fBulb[i];
        for (int c = 0; c < 4; ++c) {
            glTranslatef(g_fBulbOffset[c][i][0], g_fBulbOffset[c][i][1], g_fBulbOffset[c][i][2]);
            if (!which[c][i])
                continue;
            kBulbDrawers[c].halo(v);
            kBulbDrawers[c].body(v);
        }
    }
    glPopMatrix();
}
