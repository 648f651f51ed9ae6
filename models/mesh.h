// Indexed meshes and their immediate-mode drawers. Each drawer issues one glBegin/glEnd
// pair, so it must be called outside any other; it changes no GL state but the current
// normal. Arrays are trusted: indices lie within their arrays.
#pragma once

#include <array>
#include <cstdint>

using MeshVertex = float[3];           // x, y, z; also used for normals
using MeshTriangle = std::int32_t[3];  // corner indices
using MeshQuad = std::int32_t[4];      // corner indices, in drawing order

// The unit normal of the face a, b, c: the side from which a, b, c run counter-clockwise.
// Coinciding or collinear corners give (1, 1, 1), unscaled.
std::array<float, 3> ComputeFaceNormal(const float* a, const float* b, const float* c);

// Flat-shaded triangles: one computed normal per face, then its three corners.
void DrawFlatTriMesh(const MeshVertex* vertices, const MeshTriangle* triangles, int count);
// Flat-shaded quads: the normal of the first three corners, then all four corners.
void DrawFlatQuadMesh(const MeshVertex* vertices, const MeshQuad* quads, int count);
// Smooth triangles: each corner takes the normal its own normal index names.
void DrawSmoothTriMesh(const MeshVertex* normals, const MeshTriangle* normalIndices, const MeshVertex* vertices,
                       const MeshTriangle* vertexIndices, int count);
