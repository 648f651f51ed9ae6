#include "models/wreath.h"

#include "bulbs/patterns.h"
#include "models/material.h"
#include "models/mesh.h"
#include "models/shape_cache.h"
#include "models/wreath_tables.h"

#include "core/gl_api.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace {

// The wreath's seven materials, in the order the frame draws them.
// clang-format off
//                                 faces               diffuse                     specular                  ambient                      emission                  shininess
const MaterialBlock kRingMaterial = {GL_FRONT_AND_BACK, {0.0f, 0.35f, 0.0f, 1.0f},  {0.5f, 0.7f, 0.5f, 1.0f}, {0.0f, 0.05f, 0.0f, 1.0f},   {0.0f, 0.0f, 0.0f, 1.0f}, 150.0f};
const MaterialBlock kPaleMaterial = {GL_FRONT_AND_BACK, {0.7f, 0.7f, 0.6f, 1.0f},   {0.8f, 0.8f, 0.7f, 1.0f}, {0.0f, 0.0f, 0.0f, 1.0f},    {0.0f, 0.0f, 0.0f, 1.0f}, 80.0f};
const MaterialBlock kStarGold     = {GL_FRONT,          {0.7f, 0.7f, 0.2f, 1.0f},   {1.0f, 1.0f, 0.9f, 1.0f}, {0.0f, 0.0f, 0.0f, 1.0f},    {0.1f, 0.1f, 0.0f, 1.0f}, 10.0f};
const MaterialBlock kBellGold     = {GL_FRONT_AND_BACK, {0.5f, 0.5f, 0.05f, 1.0f},  {1.0f, 1.0f, 0.9f, 1.0f}, {0.0f, 0.0f, 0.0f, 1.0f},    {0.1f, 0.1f, 0.0f, 1.0f}, 20.0f};
const MaterialBlock kBowRed       = {GL_FRONT_AND_BACK, {0.7f, 0.2f, 0.2f, 1.0f},   {0.8f, 0.4f, 0.4f, 1.0f}, {0.0f, 0.0f, 0.0f, 1.0f},    {0.0f, 0.0f, 0.0f, 1.0f}, 80.0f};
const MaterialBlock kStemGreen    = {GL_FRONT,          {0.0f, 0.7f, 0.0f, 1.0f},   {0.8f, 1.0f, 0.8f, 1.0f}, {0.0f, 0.05f, 0.0f, 1.0f},   {0.0f, 0.0f, 0.0f, 1.0f}, 10.0f};
// The only alpha below 1: the apples are translucent, so the flares inside show through.
const MaterialBlock kAppleRed     = {GL_FRONT_AND_BACK, {0.7f, 0.2f, 0.2f, 0.55f},  {1.0f, 1.0f, 1.0f, 1.0f}, {0.05f, 0.05f, 0.05f, 1.0f}, {0.3f, 0.1f, 0.1f, 1.0f}, 30.0f};
// clang-format on

// Five clusters of six small spheres. Each sphere is placed by a translation from the one
// before it, so the offsets add up within a cluster.
struct SphereCluster {
    GLfloat base[3];
    float radii[6];
    GLfloat offsets[5][2];  // dx, dy before spheres 2 to 6
};

// clang-format off
const SphereCluster kSphereClusters[] = {
    {{4.5f, 3.0f, 1.2f},   {0.15f, 0.1f, 0.12f, 0.1f, 0.12f, 0.1f},  {{0.05f, 0.4f}, {0.35f, -0.4f}, {-0.2f, -0.4f}, {-0.4f, -0.1f}, {-0.2f, 0.5f}}},   // cluster 1
    {{6.0f, -1.5f, 1.2f},  {0.15f, 0.12f, 0.1f, 0.12f, 0.1f, 0.12f}, {{0.05f, 0.4f}, {0.35f, -0.4f}, {-0.2f, -0.4f}, {-0.4f, -0.1f}, {-0.2f, 0.5f}}},  // cluster 2
    {{-0.5f, -5.5f, 1.2f}, {0.15f, 0.12f, 0.1f, 0.12f, 0.1f, 0.12f}, {{-0.05f, 0.4f}, {0.45f, -0.4f}, {-0.2f, -0.4f}, {-0.4f, -0.1f}, {-0.2f, 0.5f}}}, // cluster 3
    {{-4.2f, -2.5f, 1.3f}, {0.15f, 0.1f, 0.12f, 0.1f, 0.12f, 0.1f},  {{0.05f, 0.4f}, {0.35f, -0.4f}, {-0.2f, -0.4f}, {-0.4f, -0.1f}, {-0.2f, 0.5f}}},   // cluster 4
    {{-5.0f, 2.0f, 1.3f},  {0.15f, 0.1f, 0.12f, 0.1f, 0.12f, 0.1f},  {{-0.05f, 0.4f}, {0.45f, -0.4f}, {-0.2f, -0.4f}, {-0.4f, -0.1f}, {-0.2f, 0.5f}}},  // cluster 5
};
// clang-format on

const WreathTables& T = g_wreathTables;

}  // namespace

void DrawSphereClusters()
{
    for (const SphereCluster& c : kSphereClusters) {
        glPushMatrix();
        glTranslatef(c.base[0], c.base[1], c.base[2]);
        // The radii are single-precision constants widened to double: those are the cache keys.
        ShapeSphere(static_cast<double>(c.radii[0]));
        for (int i = 0; i < 5; ++i) {
            glTranslatef(c.offsets[i][0], c.offsets[i][1], 0.0f);
            ShapeSphere(static_cast<double>(c.radii[i + 1]));
        }
        glPopMatrix();
    }
}

void DrawWreath(SceneState& state)
{
    DrawOpaqueWreath();
    DrawBulbs(state);
}

void DrawOpaqueWreath()
{
    DrawWithMaterial(kRingMaterial, [] { DrawFlatQuadMesh(T.ringVertices, T.ringQuads, kRingQuads); });
    DrawWithMaterial(kPaleMaterial, [] { DrawFlatTriMesh(T.flatVertices, T.flatTriangles, kFlatTriangles); });
    DrawWithMaterial(kStarGold, [] {
        DrawFlatTriMesh(T.starVertices, T.starTriangles, kStarTriangles);
        DrawSphereClusters();
    });
    DrawWithMaterial(kBellGold, [] {
        DrawSmoothTriMesh(T.bellNormals, T.bellNormalIndices, T.bellVertices, T.bellVertexIndices, kBellTriangles);
        glPushMatrix();
        glTranslatef(0.0f, 2.7f, 2.0f);
        ShapeSphere(0.25);  // the bell's ball, just inside its mouth
        glPopMatrix();
    });
    DrawWithMaterial(kBowRed, [] { DrawFlatQuadMesh(T.bowVertices, T.bowQuads, kBowQuads); });
}

void DrawAppleStems()
{
    DrawWithMaterial(kStemGreen, [] {
        DrawSmoothTriMesh(T.stemNormals, T.stemNormalIndices, T.stemVertices, T.stemVertexIndices, kStemTriangles);
    });
}

void DrawApples()
{
    DrawWithMaterial(kAppleRed, [] {
        DrawSmoothTriMesh(T.appleNormals, T.appleNormalIndices, T.appleVertices, T.appleVertexIndices, kAppleTriangles);
    });
}

namespace {

static_assert(kStemTriangles % kApples == 0 && kAppleTriangles % kApples == 0, "a run of triangles an apple");
constexpr int kStemRun = kStemTriangles / kApples;
constexpr int kAppleRun = kAppleTriangles / kApples;

// The runs of a mesh's triangles for the apples in which, in one material.
void DrawRuns(const MaterialBlock& material, const AppleSet& which, const MeshVertex* normals,
              const MeshTriangle* normalIndices, const MeshVertex* vertices, const MeshTriangle* vertexIndices, int run)
{
    // None set for no apple: Mesa keeps a material in force past the attribute pop meant to
    // undo it when nothing was drawn in between, and the bulbs' back faces would take it.
    if (std::none_of(which.begin(), which.end(), [](bool drawn) { return drawn; }))
        return;
    DrawWithMaterial(material, [&] {
        for (int apple = 0; apple < kApples; ++apple) {
            const std::ptrdiff_t first = static_cast<std::ptrdiff_t>(apple) * run;
            if (which[apple])
                DrawSmoothTriMesh(normals, normalIndices + first, vertices, vertexIndices + first, run);
        }
    });
}

// The box round every vertex that a run of triangles names.
MeshBounds BoundsOfRun(const MeshVertex* vertices, const MeshTriangle* indices, int run)
{
    MeshBounds b{{vertices[indices[0][0]][0], vertices[indices[0][0]][1], vertices[indices[0][0]][2]}, {}};
    std::copy(std::begin(b.low), std::end(b.low), b.high);
    for (int t = 0; t < run; ++t) {
        for (const int v : indices[t]) {
            for (int k = 0; k < 3; ++k) {
                b.low[k] = std::min(b.low[k], vertices[v][k]);
                b.high[k] = std::max(b.high[k], vertices[v][k]);
            }
        }
    }
    return b;
}

}  // namespace

void DrawAppleStemsOf(const AppleSet& which)
{
    DrawRuns(kStemGreen, which, T.stemNormals, T.stemNormalIndices, T.stemVertices, T.stemVertexIndices, kStemRun);
}

void DrawApplesOf(const AppleSet& which)
{
    DrawRuns(kAppleRed, which, T.appleNormals, T.appleNormalIndices, T.appleVertices, T.appleVertexIndices, kAppleRun);
}

MeshBounds AppleStemBounds(int apple)
{
    return BoundsOfRun(T.stemVertices, T.stemVertexIndices + static_cast<std::ptrdiff_t>(apple) * kStemRun, kStemRun);
}

MeshBounds AppleBounds(int apple)
{
    return BoundsOfRun(T.appleVertices, T.appleVertexIndices + static_cast<std::ptrdiff_t>(apple) * kAppleRun,
                       kAppleRun);
}
