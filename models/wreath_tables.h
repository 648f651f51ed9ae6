// The wreath's geometry: twenty constant arrays back to back in one read-only block, made
// at build time by tools/wreath_gen.
#pragma once

#include "models/mesh.h"

inline constexpr int kRingQuads = 5712;
inline constexpr int kRingVertices = 22848;
inline constexpr int kFlatTriangles = 250;
inline constexpr int kFlatVertices = 370;
inline constexpr int kAppleTriangles = 2730;
inline constexpr int kAppleVertices = 1375;
inline constexpr int kStemTriangles = 1305;
inline constexpr int kStemVertices = 465;
inline constexpr int kBowQuads = 448;
inline constexpr int kBowVertices = 700;
inline constexpr int kStarTriangles = 60;
inline constexpr int kStarVertices = 125;
inline constexpr int kBellTriangles = 231;
inline constexpr int kBellVertices = 169;

struct WreathTables {
    MeshVertex ringVertices[kRingVertices];
    MeshQuad ringQuads[kRingQuads];
    MeshVertex flatVertices[kFlatVertices];
    MeshTriangle flatTriangles[kFlatTriangles];
    MeshVertex appleVertices[kAppleVertices];
    MeshTriangle appleVertexIndices[kAppleTriangles];
    MeshVertex appleNormals[kAppleVertices];
    MeshTriangle appleNormalIndices[kAppleTriangles];
    MeshVertex stemVertices[kStemVertices];
    MeshTriangle stemVertexIndices[kStemTriangles];
    MeshVertex stemNormals[kStemVertices];
    MeshTriangle stemNormalIndices[kStemTriangles];
    MeshVertex bowVertices[kBowVertices];
    MeshQuad bowQuads[kBowQuads];
    MeshVertex starVertices[kStarVertices];
    MeshTriangle starTriangles[kStarTriangles];
    MeshVertex bellVertices[kBellVertices];
    MeshTriangle bellVertexIndices[kBellTriangles];
    MeshVertex bellNormals[kBellVertices];
    MeshTriangle bellNormalIndices[kBellTriangles];
};
static_assert(sizeof(WreathTables) == 541396, "the twenty arrays lie back to back");

extern const WreathTables g_wreathTables;
