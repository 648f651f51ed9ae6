#include "models/mesh.h"

std::array<float, 3> ComputeFaceNormal(const float*, const float*, const float*)
{
    return {1.0f, 1.0f, 1.0f};
}

void DrawFlatTriMesh(const MeshVertex*, const MeshTriangle*, int)
{
}

void DrawFlatQuadMesh(const MeshVertex*, const MeshQuad*, int)
{
}

void DrawSmoothTriMesh(const MeshVertex*, const MeshTriangle*, const MeshVertex*, const MeshTriangle*, int)
{
}
