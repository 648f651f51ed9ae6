#include "tests/support/shape_hooks.h"

#include <cstdlib>

namespace {

ShapeListAllocator g_pfnAllocateList = glGenLists;
ShapeMemoryAllocator g_pfnAllocateMemory = std::malloc;
ShapeRequestObserver g_pfnObserveRequest = nullptr;
bool g_bBypassCache = false;

}  // namespace

GLuint AllocateShapeList(GLsizei range)
{
    return g_pfnAllocateList(range);
}

void* AllocateShapeMemory(std::size_t bytes)
{
    return g_pfnAllocateMemory(bytes);
}

bool SeeShapeRequest(int kind, double radius)
{
    if (g_pfnObserveRequest)
        g_pfnObserveRequest(kind, radius);
    return g_bBypassCache;
}

ShapeListAllocator SetShapeListAllocator(ShapeListAllocator allocate)
{
    const ShapeListAllocator previous = g_pfnAllocateList;
    g_pfnAllocateList = allocate;
    return previous;
}

ShapeMemoryAllocator SetShapeMemoryAllocator(ShapeMemoryAllocator allocate)
{
    const ShapeMemoryAllocator previous = g_pfnAllocateMemory;
    g_pfnAllocateMemory = allocate;
    return previous;
}

ShapeRequestObserver SetShapeRequestObserver(ShapeRequestObserver observe)
{
    const ShapeRequestObserver previous = g_pfnObserveRequest;
    g_pfnObserveRequest = observe;
    return previous;
}

void SetShapeCacheBypass(bool bypass)
{
    g_bBypassCache = bypass;
}

std::vector<GLuint> ShapeCacheLists(int kind)
{
    std::vector<GLuint> lists;
    if (kind < 0 || kind >= kShapeKinds)
        return lists;
    for (const ShapeListEntry* entry = g_shapeChains[kind]; entry; entry = entry->next)
        lists.push_back(entry->listName);
    return lists;
}
