#include "core/gl_api.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdint>

#define LUMETTA_GL_DEFINE(type, name) type lumetta_##name = nullptr;
LUMETTA_GL_LATER_FUNCTIONS(LUMETTA_GL_DEFINE)
#undef LUMETTA_GL_DEFINE

bool LoadGlFunctions()
{
    bool all = true;
    // A driver answers some names it lacks with small numbers rather than null.
    using Function = void (*)();  // what any function pointer may be cast through
    const auto find = [&](const char* name) -> Function {
        const PROC found = wglGetProcAddress(name);
        const auto value = reinterpret_cast<std::intptr_t>(found);
        if (value >= -1 && value <= 3) {
            all = false;
            return nullptr;
        }
        return reinterpret_cast<Function>(found);
    };
#define LUMETTA_GL_LOAD(type, name) lumetta_##name = reinterpret_cast<type>(find(#name));
    LUMETTA_GL_LATER_FUNCTIONS(LUMETTA_GL_LOAD)
#undef LUMETTA_GL_LOAD
    return all;
}
#else
bool LoadGlFunctions()
{
    return true;
}
#endif
