#include "bulbs/bulb_string.h"

#include "models/shape_cache.h"
#include "tests/support/shape_hooks.h"
#include "tests/support/gl_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

namespace {

using Rgba = std::array<GLfloat, 4>;

// Feedback maps window coordinates back to the scene: good to a few millionths here.
constexpr float kPositionTolerance = 1e-4f;
constexpr float kColourTolerance = 1e-5f;

// --- Looking at the shells ---

// What GL held when a body shell was drawn.
struct ShellRecord {
    double radius;
    Rgba diffuse, specular, ambient, emission;
    GLfloat shininess;
    std::vector<GLfloat> back;  // ambient, diffuse, specular, emission, shininess
    std::array<GLfloat, 3> origin;
};

std::vector<GLfloat> BackMaterial()
{
    std::vector<GLfloat> m;
    for (GLenum param : {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_EMISSION}) {
        GLfloat c[4];
        glGetMaterialfv(GL_BACK, param, c);
        m.insert(m.end(), c, c + 4);
    }
    GLfloat shininess;
    glGetMaterialfv(GL_BACK, GL_SHININESS, &shininess);
    m.push_back(shininess);
    return m;
}

std::vector<ShellRecord> g_shells;

void RecordShell(int kind, double radius)
{
    if (kind != SHAPE_ICOSAHEDRON)
        return;
    ShellRecord r{};
    r.radius = radius;
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, r.diffuse.data());
    glGetMaterialfv(GL_FRONT, GL_SPECULAR, r.specular.data());
    glGetMaterialfv(GL_FRONT, GL_AMBIENT, r.ambient.data());
    glGetMaterialfv(GL_FRONT, GL_EMISSION, r.emission.data());
    glGetMaterialfv(GL_FRONT, GL_SHININESS, &r.shininess);
    r.back = BackMaterial();
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    r.origin = {m[12], m[13], m[14]};
    g_shells.push_back(r);
}

// Watches the shells' requests to the shape cache for one scope.
class ShellRecording {
public:
    ShellRecording() : m_previous(SetShapeRequestObserver(RecordShell)) { g_shells.clear(); }
    ~ShellRecording() { SetShapeRequestObserver(m_previous); }
    ShellRecording(const ShellRecording&) = delete;
    ShellRecording& operator=(const ShellRecording&) = delete;

private:
    ShapeRequestObserver m_previous;
};

void ExpectRgbaNear(const Rgba& actual, const Rgba& expected, const char* what)
{
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(actual[k], expected[k], 1e-6f) << what << " component " << k;
}

// --- Looking at the halos ---

struct Point {
    float x, y, z;
};

bool Near(const FeedbackVertex& a, const FeedbackVertex& b)
{
    return std::fabs(a.x - b.x) < kPositionTolerance && std::fabs(a.y - b.y) < kPositionTolerance &&
           std::fabs(a.z - b.z) < kPositionTolerance;
}

// One halo fan as it reached the rasteriser.
struct Halo {
    FeedbackVertex centre;
    std::vector<FeedbackVertex> rim;  // distinct rim points, in fan order
    std::vector<FeedbackPolygon> triangles;
};

constexpr std::size_t kHaloTriangles = 8;

// Splits feedback into fans of eight triangles. The centre is the vertex that the first
// and third triangles of a fan share.
std::vector<Halo> Halos(const std::vector<FeedbackPolygon>& polygons)
{
    std::vector<Halo> halos;
    EXPECT_EQ(polygons.size() % kHaloTriangles, 0u) << "not whole fans of eight triangles";
    for (std::size_t first = 0; first + kHaloTriangles <= polygons.size(); first += kHaloTriangles) {
        Halo h;
        h.triangles.assign(polygons.begin() + first, polygons.begin() + first + kHaloTriangles);
        for (const FeedbackPolygon& t : h.triangles)
            EXPECT_EQ(t.size(), 3u);
        for (const FeedbackVertex& a : h.triangles[0])
            for (const FeedbackVertex& b : h.triangles[2])
                if (Near(a, b))
                    h.centre = a;
        for (const FeedbackPolygon& t : h.triangles) {
            for (const FeedbackVertex& v : t) {
                if (Near(v, h.centre))
                    continue;
                bool seen = false;
                for (const FeedbackVertex& r : h.rim)
                    seen = seen || Near(r, v);
                if (!seen)
                    h.rim.push_back(v);
            }
        }
        halos.push_back(h);
    }
    return halos;
}

// The halos of whatever draw sends, in order. Halo triangles are the ones with a nearly
// transparent rim vertex: the lit shells never come below an alpha of 0.3.
std::vector<Halo> CaptureHalos(const std::function<void()>& draw)
{
    std::vector<FeedbackPolygon> haloTriangles;
    for (const FeedbackPolygon& p : CaptureFeedback(draw))
        if (std::any_of(p.begin(), p.end(), [](const FeedbackVertex& v) { return v.a < 0.2f; }))
            haloTriangles.push_back(p);
    return Halos(haloTriangles);
}

using HaloDrawer = void (*)(float);
using BodyDrawer = void (*)(float);

struct Colour {
    const char* name;
    HaloDrawer halo;
    BodyDrawer body;
    Rgba haloCentre, haloRim;
};

// clang-format off
const Colour kColours[] = {
    //                                         halo centre                  halo rim
    {"red",    DrawRedHalo,    DrawRedBulb,    {1.0f, 0.4f, 0.4f, 0.6f}, {1.0f, 0.0f, 0.0f, 0.05f}},
    {"blue",   DrawBlueHalo,   DrawBlueBulb,   {0.5f, 0.5f, 1.0f, 0.7f}, {0.0f, 0.0f, 1.0f, 0.1f}},
    {"green",  DrawGreenHalo,  DrawGreenBulb,  {0.1f, 0.9f, 0.1f, 0.5f}, {0.0f, 0.7f, 0.0f, 0.05f}},
    {"yellow", DrawYellowHalo, DrawYellowBulb, {0.9f, 0.9f, 0.4f, 0.5f}, {0.8f, 0.8f, 0.0f, 0.05f}},
};
// clang-format on

void ExpectColourNear(const FeedbackVertex& v, const Rgba& c, const char* what)
{
    EXPECT_NEAR(v.r, c[0], kColourTolerance) << what;
    EXPECT_NEAR(v.g, c[1], kColourTolerance) << what;
    EXPECT_NEAR(v.b, c[2], kColourTolerance) << what;
    EXPECT_NEAR(v.a, c[3], kColourTolerance) << what;
}

class BulbTest : public ::testing::Test {
protected:
    void SetUp() override { ResetGlToSceneBaseline(); }
};

// --- Halos ---

// Catches a non-strict threshold, and one compared in double (0.15f lies above 0.15).
TEST_F(BulbTest, HaloOnlyAboveFifteenHundredths)
{
    const float justAbove = std::nextafter(0.15f, 1.0f);
    for (const Colour& c : kColours) {
        SCOPED_TRACE(c.name);
        for (float v : {0.15f, 0.0f, -0.2f, 0.1f})
            EXPECT_TRUE(CaptureFeedback([&] { c.halo(v); }).empty()) << "halo at " << v;
        EXPECT_EQ(CaptureFeedback([&] { c.halo(justAbove); }).size(), kHaloTriangles);
    }
}

// Catches a wrong colour pair, swapped centre and rim, or lighting left on (lit colours
// would differ from the vertex colours).
TEST_F(BulbTest, HaloShadesFromCentreColourToRimColour)
{
    for (const Colour& c : kColours) {
        SCOPED_TRACE(c.name);
        const std::vector<Halo> halos = Halos(CaptureFeedback([&] { c.halo(1.0f); }));
        ASSERT_EQ(halos.size(), 1u);
        ExpectColourNear(halos[0].centre, c.haloCentre, "centre");
        for (const FeedbackVertex& r : halos[0].rim)
            ExpectColourNear(r, c.haloRim, "rim");
    }
}

// Catches a star not scaled by the intensity (or clamped above 1), wrong points, or the
// wrong winding: seen from +z the fan turns counter-clockwise.
TEST_F(BulbTest, HaloStarScalesWithIntensity)
{
    // The eight points at intensity 1, counter-clockwise from the top.
    const float kStar[8][2] = {{0.0f, 0.4f},  {-0.8f, 0.8f}, {-0.4f, 0.0f}, {-0.55f, -0.55f},
                               {0.0f, -0.4f}, {0.8f, -0.8f}, {0.4f, 0.0f},  {0.55f, 0.55f}};
    for (float v : {1.2f, 0.5f}) {
        for (const Colour& c : kColours) {
            SCOPED_TRACE(::testing::Message() << c.name << " at " << v);
            const std::vector<Halo> halos = Halos(CaptureFeedback([&] { c.halo(v); }));
            ASSERT_EQ(halos.size(), 1u);
            const Halo& h = halos[0];
            EXPECT_NEAR(h.centre.x, 0.0f, kPositionTolerance);
            EXPECT_NEAR(h.centre.y, 0.0f, kPositionTolerance);
            EXPECT_NEAR(h.centre.z, 0.0f, kPositionTolerance);
            ASSERT_EQ(h.rim.size(), 8u);
            for (int k = 0; k < 8; ++k) {
                EXPECT_NEAR(h.rim[k].x, kStar[k][0] * v, kPositionTolerance) << "point " << k;
                EXPECT_NEAR(h.rim[k].y, kStar[k][1] * v, kPositionTolerance) << "point " << k;
                EXPECT_NEAR(h.rim[k].z, 0.0f, kPositionTolerance) << "point " << k;
            }
            for (const FeedbackPolygon& t : h.triangles) {
                const float area = (t[1].x - t[0].x) * (t[2].y - t[0].y) - (t[2].x - t[0].x) * (t[1].y - t[0].y);
                EXPECT_GT(area, 0.0f) << "clockwise triangle";
            }
        }
    }
    // The long points at 1.2, as a viewer measures the flare at a hand-over.
    const std::vector<Halo> flare = Halos(CaptureFeedback([] { DrawRedHalo(1.2f); }));
    ASSERT_EQ(flare.size(), 1u);
    EXPECT_NEAR(flare[0].rim[1].x, -0.96f, kPositionTolerance);
    EXPECT_NEAR(flare[0].rim[1].y, 0.96f, kPositionTolerance);
    EXPECT_NEAR(flare[0].rim[5].x, 0.96f, kPositionTolerance);
    EXPECT_NEAR(flare[0].rim[5].y, -0.96f, kPositionTolerance);
}

// Catches lighting left off after a halo, or switched off for a halo that is not drawn.
TEST_F(BulbTest, HaloLeavesLightingOnAndStateAsFound)
{
    for (const Colour& c : kColours) {
        SCOPED_TRACE(c.name);
        for (float v : {1.0f, 0.1f})
            ExpectLeavesGlStateAsFound([&] { c.halo(v); });
    }
}

// --- Bodies ---

struct BodyColours {
    Rgba innerDiffuse, innerEmission, outerDiffuse, outerEmission;
};

struct BodyCase {
    float v;
    BodyColours colour[4];  // red, blue, green, yellow
};

// The material table worked out at full, off, flaring and dipped intensities.
// clang-format off
const BodyCase kBodyCases[] = {
    //             inner diffuse                 inner emission                outer diffuse                 outer emission
    {0.0f, {
        {{0.0f, 0.0f, 0.0f, 1.0f},     {0.0f, 0.0f, 0.0f, 1.0f},     {0.7f, 0.0f, 0.0f, 0.3f},     {0.0f, 0.0f, 0.0f, 1.0f}},      // red
        {{0.0f, 0.0f, 0.0f, 1.0f},     {0.0f, 0.0f, 0.0f, 1.0f},     {0.0f, 0.0f, 0.7f, 0.5f},     {0.0f, 0.0f, 0.0f, 1.0f}},      // blue
        {{0.0f, 0.0f, 0.0f, 1.0f},     {0.0f, 0.0f, 0.0f, 1.0f},     {0.0f, 0.2f, 0.0f, 0.5f},     {0.0f, 0.0f, 0.0f, 1.0f}},      // green
        {{0.0f, 0.0f, 0.0f, 1.0f},     {0.0f, 0.0f, 0.0f, 1.0f},     {0.2f, 0.2f, 0.0f, 0.5f},     {0.0f, 0.0f, 0.0f, 1.0f}},      // yellow
    }},
    {1.0f, {
        {{0.8f, 0.5f, 0.5f, 1.0f},     {0.5f, 0.2f, 0.2f, 1.0f},     {1.3f, 0.1f, 0.1f, 0.3f},     {0.6f, 0.1f, 0.1f, 1.0f}},      // red
        {{0.7f, 0.7f, 0.9f, 1.0f},     {0.3f, 0.3f, 0.8f, 1.0f},     {0.1f, 0.1f, 1.5f, 0.5f},     {0.1f, 0.1f, 0.6f, 1.0f}},      // blue
        {{0.9f, 1.0f, 0.9f, 1.0f},     {0.1f, 0.4f, 0.1f, 1.0f},     {0.0f, 0.7f, 0.0f, 0.5f},     {0.05f, 0.1f, 0.05f, 1.0f}},    // green
        {{1.0f, 1.0f, 0.95f, 1.0f},    {0.5f, 0.5f, 0.3f, 1.0f},     {0.7f, 0.7f, 0.0f, 0.5f},     {0.1f, 0.1f, 0.05f, 1.0f}},     // yellow
    }},
    {1.2f, {
        {{0.96f, 0.6f, 0.6f, 1.0f},    {0.6f, 0.24f, 0.24f, 1.0f},   {1.42f, 0.12f, 0.12f, 0.3f},  {0.72f, 0.12f, 0.12f, 1.0f}},   // red
        {{0.84f, 0.84f, 1.08f, 1.0f},  {0.36f, 0.36f, 0.96f, 1.0f},  {0.12f, 0.12f, 1.66f, 0.5f},  {0.12f, 0.12f, 0.72f, 1.0f}},   // blue
        {{1.08f, 1.2f, 1.08f, 1.0f},   {0.12f, 0.48f, 0.12f, 1.0f},  {0.0f, 0.8f, 0.0f, 0.5f},     {0.06f, 0.12f, 0.06f, 1.0f}},   // green
        {{1.2f, 1.2f, 1.14f, 1.0f},    {0.6f, 0.6f, 0.36f, 1.0f},    {0.8f, 0.8f, 0.0f, 0.5f},     {0.12f, 0.12f, 0.06f, 1.0f}},   // yellow
    }},
    {-0.2f, {
        {{-0.16f, -0.1f, -0.1f, 1.0f},   {-0.1f, -0.04f, -0.04f, 1.0f},  {0.58f, -0.02f, -0.02f, 0.3f}, {-0.12f, -0.02f, -0.02f, 1.0f}},  // red
        {{-0.14f, -0.14f, -0.18f, 1.0f}, {-0.06f, -0.06f, -0.16f, 1.0f}, {-0.02f, -0.02f, 0.54f, 0.5f}, {-0.02f, -0.02f, -0.12f, 1.0f}},  // blue
        {{-0.18f, -0.2f, -0.18f, 1.0f},  {-0.02f, -0.08f, -0.02f, 1.0f}, {0.0f, 0.1f, 0.0f, 0.5f},      {-0.01f, -0.02f, -0.01f, 1.0f}},  // green
        {{-0.2f, -0.2f, -0.19f, 1.0f},   {-0.1f, -0.1f, -0.06f, 1.0f},   {0.1f, 0.1f, 0.0f, 0.5f},      {-0.02f, -0.02f, -0.01f, 1.0f}},  // yellow
    }},
};
// clang-format on

// Catches a wrong formula or offset, a shell's colours swapped, and any clamping: above 1
// and below 0 the colours reach GL as computed.
TEST_F(BulbTest, BodyColoursFollowIntensityUnclamped)
{
    for (const BodyCase& bc : kBodyCases) {
        for (int c = 0; c < 4; ++c) {
            SCOPED_TRACE(::testing::Message() << kColours[c].name << " at " << bc.v);
            const ShellRecording recording;
            kColours[c].body(bc.v);
            ASSERT_EQ(g_shells.size(), 2u);
            const BodyColours& want = bc.colour[c];
            ExpectRgbaNear(g_shells[0].diffuse, want.innerDiffuse, "inner diffuse");
            ExpectRgbaNear(g_shells[0].emission, want.innerEmission, "inner emission");
            ExpectRgbaNear(g_shells[1].diffuse, want.outerDiffuse, "outer diffuse");
            ExpectRgbaNear(g_shells[1].emission, want.outerEmission, "outer emission");
        }
    }
}

// Catches a wrong constant: the blue inner specular is (0.7, 1.0, 1.0), the ambient is
// black, the inner shell shinier than the outer.
TEST_F(BulbTest, BodyFixedMaterialParts)
{
    const Rgba kBlack = {0.0f, 0.0f, 0.0f, 1.0f};
    // clang-format off
    const Rgba kSpecular[4][2] = {
        //  inner                        outer
        {{1.0f, 0.7f, 0.7f, 1.0f},  {1.0f, 0.5f, 0.5f, 1.0f}},  // red
        {{0.7f, 1.0f, 1.0f, 1.0f},  {0.7f, 0.7f, 1.0f, 1.0f}},  // blue
        {{0.7f, 1.0f, 0.7f, 1.0f},  {0.1f, 0.7f, 0.1f, 1.0f}},  // green
        {{1.0f, 1.0f, 0.95f, 1.0f}, {0.5f, 0.5f, 0.1f, 1.0f}},  // yellow
    };
    // clang-format on
    for (int c = 0; c < 4; ++c) {
        SCOPED_TRACE(kColours[c].name);
        const ShellRecording recording;
        kColours[c].body(0.7f);
        ASSERT_EQ(g_shells.size(), 2u);
        for (int shell = 0; shell < 2; ++shell) {
            ExpectRgbaNear(g_shells[shell].specular, kSpecular[c][shell], "specular");
            ExpectRgbaNear(g_shells[shell].ambient, kBlack, "ambient");
        }
        EXPECT_EQ(g_shells[0].shininess, 20.0f);
        EXPECT_EQ(g_shells[1].shininess, 10.0f);
    }
}

// Catches radii passed as double literals (each would be a different cache key from the
// single-precision constants) or shells drawn out of order.
TEST_F(BulbTest, BodyShellsInnerThenOuterAtCacheKeyRadii)
{
    for (const Colour& c : kColours) {
        SCOPED_TRACE(c.name);
        const ShellRecording recording;
        c.body(1.0f);
        ASSERT_EQ(g_shells.size(), 2u);
        EXPECT_EQ(g_shells[0].radius, static_cast<double>(0.11f));
        EXPECT_EQ(g_shells[1].radius, static_cast<double>(0.23f));
    }
}

// Catches a material applied to both faces: the back faces keep what was in force.
TEST_F(BulbTest, BodySetsFrontMaterialOnly)
{
    glPushAttrib(GL_LIGHTING_BIT);
    const GLfloat kMarker[4] = {0.11f, 0.22f, 0.33f, 0.44f};
    for (GLenum param : {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_EMISSION})
        glMaterialfv(GL_BACK, param, kMarker);
    glMaterialf(GL_BACK, GL_SHININESS, 33.0f);
    const std::vector<GLfloat> back = BackMaterial();
    for (const Colour& c : kColours) {
        SCOPED_TRACE(c.name);
        const ShellRecording recording;
        c.body(1.2f);
        ASSERT_EQ(g_shells.size(), 2u);
        EXPECT_EQ(g_shells[0].back, back);
        EXPECT_EQ(g_shells[1].back, back);
    }
    glPopAttrib();
}

// Catches a material change that outlives the body, or an unbalanced attribute stack.
TEST_F(BulbTest, BodyLeavesMaterialAsFound)
{
    for (const Colour& c : kColours) {
        SCOPED_TRACE(c.name);
        for (float v : {1.2f, -0.2f})
            ExpectLeavesGlStateAsFound([&] { c.body(v); });
    }
}

// --- The walk ---

// Bulb centres in walk order: red 0, blue 0, green 0, yellow 0, red 1, ... yellow 9.
// clang-format off
const Point kBulbCentres[40] = {
    { 0.5f,  6.0f,  1.5f},  // red 0
    { 2.3f,  7.0f,  1.5f},  // blue 0
    {-1.7f,  5.8f,  1.5f},  // green 0
    {-0.2f,  7.3f,  1.5f},  // yellow 0
    { 5.3f,  5.0f,  1.5f},  // red 1
    { 3.1f,  3.4f,  1.5f},  // blue 1
    { 5.4f,  2.4f,  1.5f},  // green 1
    { 7.6f,  1.9f,  1.5f},  // yellow 1
    { 4.4f,  1.5f,  1.5f},  // red 2
    { 6.9f,  0.1f,  1.5f},  // blue 2
    { 8.4f, -0.4f,  1.5f},  // green 2
    { 6.7f, -0.9f,  1.5f},  // yellow 2
    { 8.2f, -2.4f,  1.5f},  // red 3
    { 3.7f, -2.2f,  1.5f},  // blue 3
    { 5.5f, -2.4f,  1.5f},  // green 3
    { 7.8f, -3.7f,  1.5f},  // yellow 3
    { 2.7f, -3.5f,  1.5f},  // red 4
    { 5.2f, -4.6f,  1.5f},  // blue 4
    { 6.7f, -4.9f,  1.5f},  // green 4
    { 5.4f, -6.4f,  1.5f},  // yellow 4
    {-0.1f, -7.6f,  1.5f},  // red 5
    { 0.9f, -4.6f,  1.5f},  // blue 5
    {-1.1f, -6.1f,  1.5f},  // green 5
    { 0.2f, -5.5f,  1.5f},  // yellow 5
    {-1.5f, -4.5f,  1.5f},  // red 6
    {-3.2f, -6.0f,  1.5f},  // blue 6
    {-4.7f, -5.5f,  1.5f},  // green 6
    {-3.0f, -2.7f,  1.5f},  // yellow 6
    {-5.5f, -4.5f,  1.5f},  // red 7
    {-3.5f, -1.9f,  1.5f},  // blue 7
    {-4.8f, -1.5f,  1.5f},  // green 7
    {-7.0f, -2.0f,  1.5f},  // yellow 7
    {-5.7f, -0.4f,  1.5f},  // red 8
    {-7.7f,  0.1f,  1.5f},  // blue 8
    {-7.2f,  3.1f,  1.5f},  // green 8
    {-3.7f,  1.7f,  1.5f},  // yellow 8
    {-6.2f,  4.7f,  1.5f},  // red 9
    {-3.0f,  2.9f,  1.5f},  // blue 9
    {-2.7f,  4.1f,  1.5f},  // green 9
    {-4.1f,  6.7f,  1.5f},  // yellow 9
};
// clang-format on

std::unique_ptr<SceneState> StateWithBulbs(const std::array<float, 10>& bulbs)
{
    auto state = std::make_unique<SceneState>();
    state->m_fBulb = bulbs;
    return state;
}

// Catches a wrong offset, steps taken from the origin instead of from the bulb before,
// the colours walked in another order, or a body away from its halo.
TEST_F(BulbTest, StringWalksTheBulbsToTheirPlaces)
{
    const auto state = StateWithBulbs({1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f});
    const std::vector<Halo> halos = CaptureHalos([&] { DrawBulbString(*state); });
    ASSERT_EQ(halos.size(), 40u);
    for (std::size_t k = 0; k < halos.size(); ++k) {
        SCOPED_TRACE(::testing::Message() << kColours[k % 4].name << " " << k / 4);
        EXPECT_NEAR(halos[k].centre.x, kBulbCentres[k].x, kPositionTolerance);
        EXPECT_NEAR(halos[k].centre.y, kBulbCentres[k].y, kPositionTolerance);
        EXPECT_NEAR(halos[k].centre.z, kBulbCentres[k].z, kPositionTolerance);
        ExpectColourNear(halos[k].centre, kColours[k % 4].haloCentre, "halo colour");
    }
    // The ends of the string, where a viewer would look first.
    EXPECT_NEAR(halos.front().centre.x, 0.5f, kPositionTolerance);
    EXPECT_NEAR(halos.front().centre.y, 6.0f, kPositionTolerance);
    EXPECT_NEAR(halos.back().centre.x, -4.1f, kPositionTolerance);
    EXPECT_NEAR(halos.back().centre.y, 6.7f, kPositionTolerance);

    const ShellRecording recording;
    glPushMatrix();
    glLoadIdentity();
    DrawBulbString(*state);
    glPopMatrix();
    ASSERT_EQ(g_shells.size(), 80u);
    for (std::size_t s = 0; s < g_shells.size(); ++s) {
        const Point& centre = kBulbCentres[s / 2];
        EXPECT_NEAR(g_shells[s].origin[0], centre.x, kPositionTolerance) << "shell " << s;
        EXPECT_NEAR(g_shells[s].origin[1], centre.y, kPositionTolerance) << "shell " << s;
        EXPECT_NEAR(g_shells[s].origin[2], centre.z, kPositionTolerance) << "shell " << s;
        EXPECT_EQ(g_shells[s].radius, static_cast<double>(s % 2 == 0 ? 0.11f : 0.23f)) << "shell " << s;
    }
}

// Catches a body drawn before its halo: each bulb sends its halo's eight triangles, then the
// forty of its two shells.
TEST_F(BulbTest, StringDrawsEachHaloBeforeItsBody)
{
    const auto state = StateWithBulbs({1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f});
    const std::vector<FeedbackPolygon> sent = CaptureFeedback([&] { DrawBulbString(*state); });
    ASSERT_EQ(sent.size(), 40u * (kHaloTriangles + 40));
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const bool halo =
            std::any_of(sent[i].begin(), sent[i].end(), [](const FeedbackVertex& v) { return v.a < 0.2f; });
        ASSERT_EQ(halo, i % (kHaloTriangles + 40) < kHaloTriangles) << "triangle " << i;
    }
}

// Catches bulbs reading the wrong element: bulb i of every colour shows m_fBulb[i], and
// dim bulbs lose their halos but keep their bodies.
TEST_F(BulbTest, StringShowsElementIForBulbIOfEveryColour)
{
    const std::array<float, 10> bulbs = {0.3f, 0.1f, 0.5f, 0.6f, 0.15f, 0.8f, 0.9f, 1.0f, 1.1f, 1.2f};
    const auto state = StateWithBulbs(bulbs);
    const std::vector<Halo> halos = CaptureHalos([&] { DrawBulbString(*state); });
    std::vector<float> expected;
    for (float v : bulbs)
        for (int c = 0; c < 4; ++c)
            if (v > 0.15f)
                expected.push_back(v);
    ASSERT_EQ(halos.size(), expected.size());
    for (std::size_t k = 0; k < halos.size(); ++k) {
        // The long point up and to the left lies 0.8 v to each side of the centre.
        const FeedbackVertex& longPoint = halos[k].rim[1];
        EXPECT_NEAR(halos[k].centre.x - longPoint.x, 0.8f * expected[k], kPositionTolerance) << "halo " << k;
        EXPECT_NEAR(longPoint.y - halos[k].centre.y, 0.8f * expected[k], kPositionTolerance) << "halo " << k;
    }

    const ShellRecording recording;
    DrawBulbString(*state);
    ASSERT_EQ(g_shells.size(), 80u);
    for (std::size_t s = 0; s < g_shells.size(); s += 8) {
        // The red inner shell's emission is 0.5 v in red.
        EXPECT_FLOAT_EQ(g_shells[s].emission[0], 0.5f * bulbs[s / 8]) << "bulb " << s / 8;
    }
}

// Catches an unbalanced matrix or attribute stack, or lighting left off after the halos,
// with dim, dipped and flaring bulbs in the string.
TEST_F(BulbTest, StringLeavesGlStateAsFound)
{
    const auto state = StateWithBulbs({1.0f, -0.2f, 0.15f, 1.2f, 0.0f, 0.5f, 1.0f, 0.16f, 0.9f, 0.2f});
    ExpectLeavesGlStateAsFound([&] { DrawBulbString(*state); });
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
}

// The cache's icosahedron lists in a fixed order, whatever order the cache keeps them in.
std::vector<GLuint> IcosahedronLists()
{
    std::vector<GLuint> lists = ShapeCacheLists(SHAPE_ICOSAHEDRON);
    std::sort(lists.begin(), lists.end());
    return lists;
}

// Catches a cache key that varies from bulb to bulb or frame to frame: the whole string
// lives on two icosahedron lists, keyed by 0.11f and 0.23f widened to double.
TEST_F(BulbTest, StringSharesTwoIcosahedronListsAcrossFrames)
{
    const auto state = StateWithBulbs({1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f});
    const std::vector<GLuint> before = IcosahedronLists();
    DrawBulbString(*state);
    const std::vector<GLuint> afterFirstFrame = IcosahedronLists();

    for (int frame = 0; frame < 200; ++frame) {
        for (std::size_t i = 0; i < state->m_fBulb.size(); ++i)
            state->m_fBulb[i] = -0.2f + 0.007f * static_cast<float>((frame * 7 + static_cast<int>(i) * 13) % 200);
        DrawBulbString(*state);
    }
    EXPECT_EQ(IcosahedronLists(), afterFirstFrame) << "lists added after the first frame";

    ShapeIcosahedron(static_cast<double>(0.11f));
    ShapeIcosahedron(static_cast<double>(0.23f));
    EXPECT_EQ(IcosahedronLists(), afterFirstFrame) << "the shells are keyed otherwise";

    // In a process of its own, as ctest runs each test, the cache starts empty.
    if (before.empty())
        EXPECT_EQ(afterFirstFrame.size(), 2u);
    else
        EXPECT_LE(afterFirstFrame.size(), before.size() + 2);
}

}  // namespace
