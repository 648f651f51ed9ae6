#include "wreath_gen.h"

// Placeholder: the right counts, all zero.
Mesh BuildStars()
{
    Mesh m;
    m.vertices.resize(125);
    m.normals.resize(0);
    m.triangles.resize(60);
    m.quads.resize(0);
    return m;
}
