// The shape cache's chain table, its lookups and where its lists and memory come from, for
// shape_cache.cpp and its tests only: callers draw through ShapeSphere and ShapeIcosahedron.
#pragma once

#include "core/gl_api.h"

#include <cstddef>

inline constexpr int kShapeKinds = 25;  // chains for kinds 0 to 24

// One compiled shape. Entries live until ReleaseShapeCache.
struct ShapeListEntry {
    GLuint listName;
    ShapeListEntry* next;  // the entry added before this one for the same kind
    int paramCount;
    double* params;  // owned by the entry
};

// Each kind's chain, its newest entry first; null for none. Process-wide, as the entries.
extern ShapeListEntry* g_shapeChains[kShapeKinds];

// The list of the newest entry of kind whose first count parameters equal params exactly, or 0.
GLuint LookupShapeList(int kind, const double* params, int count);
// Reserves a list and links a new entry holding a copy of params in front of kind's chain.
// Returns the list, or 0 (and adds nothing) when GL has no list to give.
GLuint AddShapeList(int kind, const double* params, int count);
// True when the first count elements of a and b are equal one by one, with no tolerance.
bool ParamsEqual(const double* a, const double* b, int count);

// Where a shape's list and its entry's memory come from, and what sees each request first:
// in the program GL's glGenLists, std::malloc and nothing, defined weak in shape_cache.cpp so
// that the tests can link steerable ones of their own (tests/support/shape_hooks.h) without
// any of that in the program. A null memory block is fatal; blocks go back with std::free.
GLuint AllocateShapeList(GLsizei range);
void* AllocateShapeMemory(std::size_t bytes);
// Sees a request of kind and radius before it is drawn, its model-view matrix current.
// Returns whether it is drawn directly, neither looked up nor recorded.
bool SeeShapeRequest(int kind, double radius);
