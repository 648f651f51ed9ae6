// Solid spheres and icosahedra centred on the current origin, compiled into a display list
// on first request and replayed ever after. Call outside any glBegin/glEnd pair and any list
// under construction, with the scene's context current. When GL has no list to give, the
// shape is drawn without one and nothing is kept. A display list belongs to the context that
// made it, so the cache holds lists of one context at a time: ReleaseShapeCache empties it
// before that context goes, and the next context compiles its own.
#pragma once

#include "core/gl_api.h"

inline constexpr int SHAPE_SPHERE = 10;
inline constexpr int SHAPE_ICOSAHEDRON = 15;

// A smooth sphere of 16 slices and 16 stacks. Radii are keys compared exactly.
void ShapeSphere(double radius);
// A flat-shaded icosahedron, each face counter-clockwise from outside. A radius of 0 is
// fatal: "normalize: zero length vector", exit status 1.
void ShapeIcosahedron(double radius);

// With the context that compiled the cache's lists current: deletes them all and empties the
// cache. Harmless when the cache is empty.
void ReleaseShapeCache();
// The context that compiled the cache's lists is gone, and its lists with it: empties the
// cache without asking GL for anything.
void ForgetShapeCache();
