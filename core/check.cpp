#include "core/check.h"

#include <cstdio>
#include <cstdlib>

void FailInvariant(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "lumetta: internal error at %s:%d: %s does not hold\n", file, line, condition);
    std::abort();
}
