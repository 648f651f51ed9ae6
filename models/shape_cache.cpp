#include "models/shape_cache.h"

#include "models/shape_cache_internal.h"
#include "core/scene_host.h"

#include "core/gl_api.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <new>

ShapeListEntry* g_shapeChains[kShapeKinds] = {};

namespace {

using Vec3d = std::array<double, 3>;

// X and Z put every vertex at length 1: X^2 + Z^2 = 1.
constexpr double X = 0.5257311121191336;
constexpr double Z = 0.8506508083520399;

const Vec3d kIcosahedronVertices[] = {
    {-X, 0.0, Z},   // vertex 0
    {X, 0.0, Z},    // vertex 1
    {-X, 0.0, -Z},  // vertex 2
    {X, 0.0, -Z},   // vertex 3
    {0.0, Z, X},    // vertex 4
    {0.0, Z, -X},   // vertex 5
    {0.0, -Z, X},   // vertex 6
    {0.0, -Z, -X},  // vertex 7
    {Z, X, 0.0},    // vertex 8
    {-Z, X, 0.0},   // vertex 9
    {Z, -X, 0.0},   // vertex 10
    {-Z, -X, 0.0},  // vertex 11
};

// Vertex numbers a, b, c of each face, in drawing order; a face is drawn a, c, b.
const int kIcosahedronFaces[][3] = {
    {0, 4, 1},   // face 0
    {0, 9, 4},   // face 1
    {9, 5, 4},   // face 2
    {4, 5, 8},   // face 3
    {4, 8, 1},   // face 4
    {8, 10, 1},  // face 5
    {8, 3, 10},  // face 6
    {5, 3, 8},   // face 7
    {5, 2, 3},   // face 8
    {2, 7, 3},   // face 9
    {7, 10, 3},  // face 10
    {7, 6, 10},  // face 11
    {7, 11, 6},  // face 12
    {11, 0, 6},  // face 13
    {0, 1, 6},   // face 14
    {6, 1, 10},  // face 15
    {9, 0, 11},  // face 16
    {9, 11, 2},  // face 17
    {9, 2, 5},   // face 18
    {7, 2, 11},  // face 19
};

constexpr GLint kSphereSlices = 16;
constexpr GLint kSphereStacks = 16;

// The message box belongs to whichever window has the focus; the view stays as it is.
[[noreturn]] void ShapeError(const char* text)
{
    FatalSceneError(text, "Error", MessageOwner::Focus, false);
}

void* AllocateOrDie(std::size_t bytes)
{
    void* block = AllocateShapeMemory(bytes);
    if (!block)
        ShapeError("shape cache: out of memory");
    return block;
}

Vec3d VecSub(const Vec3d& p, const Vec3d& q)
{
    return {p[0] - q[0], p[1] - q[1], p[2] - q[2]};
}

Vec3d VecCross(const Vec3d& u, const Vec3d& v)
{
    return {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
}

void VecNormalize(Vec3d& v)
{
    const double length = std::sqrt(v[1] * v[1] + v[2] * v[2] + v[0] * v[0]);
    if (length == 0.0)
        ShapeError("normalize: zero length vector");
    const double scale = 1.0 / length;
    for (double& c : v)
        c *= scale;
}

// One flat triangle through the unit directions d1, d2, d3 scaled by radius, lit from the
// side where they run counter-clockwise.
void EmitShapeTriangle(const Vec3d& d1, const Vec3d& d2, const Vec3d& d3, double radius)
{
    const Vec3d p1 = {radius * d1[0], radius * d1[1], radius * d1[2]};
    const Vec3d p2 = {radius * d2[0], radius * d2[1], radius * d2[2]};
    const Vec3d p3 = {radius * d3[0], radius * d3[1], radius * d3[2]};
    Vec3d normal = VecCross(VecSub(p1, p2), VecSub(p2, p3));
    VecNormalize(normal);
    glBegin(GL_TRIANGLES);
    glNormal3dv(normal.data());
    glVertex3dv(p1.data());
    glVertex3dv(p2.data());
    glVertex3dv(p3.data());
    glEnd();
}

void EmitIcosahedronFace(int face, double radius)
{
    Vec3d a = kIcosahedronVertices[kIcosahedronFaces[face][0]];
    Vec3d b = kIcosahedronVertices[kIcosahedronFaces[face][1]];
    Vec3d c = kIcosahedronVertices[kIcosahedronFaces[face][2]];
    VecNormalize(a);
    VecNormalize(b);
    VecNormalize(c);
    // a, c, b is counter-clockwise seen from outside.
    EmitShapeTriangle(a, c, b, radius);
}

void EmitIcosahedron(double radius)
{
    for (int face = 0; face < static_cast<int>(std::size(kIcosahedronFaces)); ++face)
        EmitIcosahedronFace(face, radius);
}

void EmitSphere(double radius)
{
    GLUquadric* quadric = gluNewQuadric();
    if (!quadric)
        ShapeError("shape cache: out of memory");
    gluQuadricDrawStyle(quadric, GLU_FILL);
    gluQuadricNormals(quadric, GLU_SMOOTH);
    gluSphere(quadric, radius, kSphereSlices, kSphereStacks);
    // The list holds the geometry; the quadric is client memory that GL never sees.
    gluDeleteQuadric(quadric);
}

// Replays the list of kind and radius, or draws the shape while recording it into a new one.
void DrawCachedShape(int kind, double radius, void (*emit)(double radius))
{
    if (SeeShapeRequest(kind, radius)) {
        emit(radius);
        return;
    }
    const double params[] = {radius};
    if (const GLuint list = LookupShapeList(kind, params, 1)) {
        glCallList(list);
        return;
    }
    const GLuint list = AddShapeList(kind, params, 1);
    // Without a list the shape is drawn all the same; the next request tries again.
    if (list == 0) {
        emit(radius);
        return;
    }
    glNewList(list, GL_COMPILE_AND_EXECUTE);
    emit(radius);
    glEndList();
}

}  // namespace

void ShapeSphere(double radius)
{
    DrawCachedShape(SHAPE_SPHERE, radius, EmitSphere);
}

void ShapeIcosahedron(double radius)
{
    DrawCachedShape(SHAPE_ICOSAHEDRON, radius, EmitIcosahedron);
}

namespace {

void EmptyShapeCache(bool deleteLists)
{
    for (ShapeListEntry*& head : g_shapeChains) {
        while (ShapeListEntry* entry = head) {
            head = entry->next;
            if (deleteLists)
                glDeleteLists(entry->listName, 1);
            entry->~ShapeListEntry();
            std::free(entry);
        }
    }
}

}  // namespace

void ReleaseShapeCache()
{
    EmptyShapeCache(true);
}

void ForgetShapeCache()
{
    EmptyShapeCache(false);
}

GLuint LookupShapeList(int kind, const double* params, int count)
{
    for (const ShapeListEntry* entry = g_shapeChains[kind]; entry; entry = entry->next) {
        if (ParamsEqual(entry->params, params, count))
            return entry->listName;
    }
    return 0;
}

GLuint AddShapeList(int kind, const double* params, int count)
{
    const GLuint list = AllocateShapeList(1);
    // A list name of 0 would never be found again: an entry holding it would make every
    // later request compile another list.
    if (list == 0)
        return 0;
    // The parameters follow the entry in the same block, so an entry is one allocation.
    static_assert(sizeof(ShapeListEntry) % alignof(double) == 0);
    void* block = AllocateOrDie(sizeof(ShapeListEntry) + sizeof(double) * static_cast<std::size_t>(count));
    auto* entry = new (block) ShapeListEntry{list, g_shapeChains[kind], count, nullptr};
    entry->params = reinterpret_cast<double*>(entry + 1);
    std::uninitialized_copy_n(params, count, entry->params);
    g_shapeChains[kind] = entry;
    return list;
}

bool ParamsEqual(const double* a, const double* b, int count)
{
    for (int i = 0; i < count; ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

__attribute__((weak)) GLuint AllocateShapeList(GLsizei range)
{
    return glGenLists(range);
}

__attribute__((weak)) void* AllocateShapeMemory(std::size_t bytes)
{
    return std::malloc(bytes);
}

__attribute__((weak)) bool SeeShapeRequest(int, double)
{
    return false;
}
