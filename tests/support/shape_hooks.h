// The shape cache's lists, memory and requests, steered by tests: these define what the
// program takes from GL and the C library (models/shape_cache_internal.h), linked into the
// tests only.
#pragma once

#include "models/shape_cache_internal.h"

#include <vector>

// Each setter returns what it replaces; glGenLists, std::malloc, no observer and no bypass
// until a test sets them.
using ShapeListAllocator = GLuint (*)(GLsizei range);
using ShapeMemoryAllocator = void* (*)(std::size_t bytes);
ShapeListAllocator SetShapeListAllocator(ShapeListAllocator allocate);
ShapeMemoryAllocator SetShapeMemoryAllocator(ShapeMemoryAllocator allocate);

// Called with the kind and radius of every request before it is drawn, with the request's
// model-view matrix current; null for none.
using ShapeRequestObserver = void (*)(int kind, double radius);
ShapeRequestObserver SetShapeRequestObserver(ShapeRequestObserver observe);

// The display lists of one kind's entries, newest first; none for a kind outside the table.
std::vector<GLuint> ShapeCacheLists(int kind);

// While on, requests neither look up nor record anything: each shape is drawn directly.
// For feedback-mode tests: llvmpipe crashes replaying a GLU sphere's list in feedback mode.
void SetShapeCacheBypass(bool bypass);
