#include "models/mesh.h"

#include "core/gl_api.h"

#include <cmath>

std::array<float, 3> ComputeFaceNormal(const float* a, const float* b, const float* c)
{
    const float d1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const float d2[3] = {c[0] - b[0], c[1] - b[1], c[2] - b[2]};
    const float n[3] = {
        d1[1] * d2[2] - d1[2] * d2[1],
        d1[2] * d2[0] - d1[0] * d2[2],
        d1[0] * d2[1] - d1[1] * d2[0],
    };
    const double length = std::sqrt(static_cast<double>(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]));
    // A face with no area has no direction; the diagonal keeps it lit rather than black.
    if (length == 0.0)
        return {1.0f, 1.0f, 1.0f};
    return {static_cast<float>(n[0] / length), static_cast<float>(n[1] / length), static_cast<float>(n[2] / length)};
}

void DrawFlatTriMesh(const MeshVertex* vertices, const MeshTriangle* triangles, int count)
{
    glBegin(GL_TRIANGLES);
    for (int f = 0; f < count; ++f) {
        const float* a = vertices[triangles[f][0]];
        const float* b = vertices[triangles[f][1]];
        const float* c = vertices[triangles[f][2]];
        glNormal3fv(ComputeFaceNormal(a, b, c).data());
        glVertex3fv(a);
        glVertex3fv(b);
        glVertex3fv(c);
    }
    glEnd();
}

void DrawFlatQuadMesh(const MeshVertex* vertices, const MeshQuad* quads, int count)
{
    glBegin(GL_QUADS);
    for (int f = 0; f < count; ++f) {
        const float* a = vertices[quads[f][0]];
        const float* b = vertices[quads[f][1]];
        const float* c = vertices[quads[f][2]];
        glNormal3fv(ComputeFaceNormal(a, b, c).data());
        glVertex3fv(a);
        glVertex3fv(b);
        glVertex3fv(c);
        glVertex3fv(vertices[quads[f][3]]);
    }
    glEnd();
}

void DrawSmoothTriMesh(const MeshVertex* normals, const MeshTriangle* normalIndices, const MeshVertex* vertices,
                       const MeshTriangle* vertexIndices, int count)
{
    glBegin(GL_TRIANGLES);
    for (int t = 0; t < count; ++t) {
        for (int k = 0; k < 3; ++k) {
            glNormal3fv(normals[normalIndices[t][k]]);
            glVertex3fv(vertices[vertexIndices[t][k]]);
        }
    }
    glEnd();
}
