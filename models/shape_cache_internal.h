// The shape cache's chain table and its two allocators, for shape_cache.cpp and its tests
// only: callers draw through ShapeSphere and ShapeIcosahedron alone.
#pragma once

#include <GL/gl.h>

#include <cstddef>
#include <vector>

inline constexpr int kShapeKinds = 25;  // chains for kinds 0 to 24

// One compiled shape. Entries live until ReleaseShapeCache.
struct ShapeListEntry {
    GLuint listName;
    ShapeListEntry* next;  // the entry added before this one for the same kind
    int paramCount;
    double* params;  // owned by the entry
};

// The display lists of one kind's entries, newest first; none for a kind outside the table.
std::vector<GLuint> ShapeCacheLists(int kind);
// The list of the newest entry of kind whose first count parameters equal params exactly, or 0.
GLuint LookupShapeList(int kind, const double* params, int count);
// Reserves a list and links a new entry holding a copy of params in front of kind's chain.
// Returns the list, or 0 (and adds nothing) when GL has no list to give.
GLuint AddShapeList(int kind, const double* params, int count);
// True when the first count elements of a and b are equal one by one, with no tolerance.
bool ParamsEqual(const double* a, const double* b, int count);

// Where lists and memory come from; glGenLists and std::malloc unless a test replaces them.
// Each setter returns the allocator it replaces. A null memory block is fatal; blocks are
// given back with std::free.
using ShapeListAllocator = GLuint (*)(GLsizei range);
using ShapeMemoryAllocator = void* (*)(std::size_t bytes);
ShapeListAllocator SetShapeListAllocator(ShapeListAllocator allocate);
ShapeMemoryAllocator SetShapeMemoryAllocator(ShapeMemoryAllocator allocate);

// Called with the kind and radius of every request before it is drawn, with the request's
// model-view matrix current; null for none. Returns the observer it replaces.
using ShapeRequestObserver = void (*)(int kind, double radius);
ShapeRequestObserver SetShapeRequestObserver(ShapeRequestObserver observe);

// While on, requests neither look up nor record anything: each shape is drawn directly.
// For feedback-mode tests: llvmpipe crashes replaying a GLU sphere's list in feedback mode.
void SetShapeCacheBypass(bool bypass);
