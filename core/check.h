// Invariants of the program itself, checked in every build type: a broken one is a fault in
// Lumetta, not in its input, so it is reported on stderr with where it was found and the
// process aborts rather than go on drawing something else in silence.
#pragma once

#define LUMETTA_ASSERT(condition) ((condition) ? static_cast<void>(0) : ::FailInvariant(#condition, __FILE__, __LINE__))

[[noreturn]] void FailInvariant(const char* condition, const char* file, int line);
