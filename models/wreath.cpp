#include "models/wreath.h"

#include "bulbs/patterns.h"
#include "models/material.h"
#include "models/mesh.h"
#include "models/shape_cache.h"
#include "models/wreath_tables.h"

#include <GL/gl.h>

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
