// Checks the ring, flat-piece and star builders make of their own output: a table that
// misses a count or a bound stops the build with a message instead of reaching the program.
#pragma once

#include "geometry.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

[[noreturn]] inline void BuildFailure(const std::string& message)
{
    std::fprintf(stderr, "wreath_gen: %s\n", message.c_str());
    std::exit(1);
}

inline void Require(bool ok, const std::string& message)
{
    if (!ok)
        BuildFailure(message);
}

// The vertex as the program will hold it.
inline Vec3 AsFloat(Vec3 v)
{
    return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

// Whether value, once a float, rounds to target at four decimals.
inline bool RoundsTo(double value, double target, double halfStep = 0.00005)
{
    const double f = static_cast<float>(value);
    return std::fabs(f - target) < halfStep;
}

// z of (b - a) x (c - b), and the sine of the corner at b, from the float corners: the
// program's winding and the test against collinear corners.
inline double WindingZ(Vec3 a, Vec3 b, Vec3 c)
{
    a = AsFloat(a), b = AsFloat(b), c = AsFloat(c);
    return Cross(b - a, c - b).z;
}
inline double CornerSine(Vec3 a, Vec3 b, Vec3 c)
{
    a = AsFloat(a), b = AsFloat(b), c = AsFloat(c);
    const Vec3 d1 = b - a, d2 = c - b;
    const double l1 = Length(d1), l2 = Length(d2);
    if (l1 == 0.0 || l2 == 0.0)
        return 0.0;
    return Length(Cross(d1, d2)) / (l1 * l2);
}
