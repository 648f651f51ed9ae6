// The checks every wreath builder makes of its own output: a table that misses a count or a
// bound stops the build with a message instead of reaching the program.
#pragma once

#include "geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

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

// The same, naming the mesh.
[[noreturn]] inline void BuildFailure(const std::string& mesh, const std::string& message)
{
    BuildFailure(mesh + ": " + message);
}

inline void Require(bool ok, const std::string& mesh, const std::string& message)
{
    if (!ok)
        BuildFailure(mesh, message);
}

// A coordinate, and a vertex, as the program will hold them: every check is made on these.
inline double AsStored(double value)
{
    return static_cast<double>(static_cast<float>(value));
}
inline Vec3 AsFloat(Vec3 v)
{
    return {AsStored(v.x), AsStored(v.y), AsStored(v.z)};
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

struct Box {
    Vec3 lo{std::numeric_limits<double>::max(), std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
    Vec3 hi{std::numeric_limits<double>::lowest(), std::numeric_limits<double>::lowest(),
            std::numeric_limits<double>::lowest()};

    void Add(Vec3 p)
    {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
};

inline Box BoxOf(const std::vector<Vec3>& points, std::size_t first = 0, std::size_t count = SIZE_MAX)
{
    Box box;
    const std::size_t end = std::min(points.size(), count == SIZE_MAX ? points.size() : first + count);
    for (std::size_t i = first; i < end; ++i)
        box.Add({AsStored(points[i].x), AsStored(points[i].y), AsStored(points[i].z)});
    return box;
}

// Fails unless the stored value lies within tolerance of the wanted one.
inline void CheckNear(const std::string& mesh, const std::string& what, double got, double want, double tolerance)
{
    if (std::fabs(got - want) > tolerance) {
        char text[160];
        std::snprintf(text, sizeof text, "%s is %.6f, need %.6f (within %g)", what.c_str(), got, want, tolerance);
        BuildFailure(mesh, text);
    }
}

// The four decimals a bound is given to.
inline constexpr double kBoundTolerance = 0.00005;

inline void CheckBox(const std::string& mesh, const Box& box, Vec3 lo, Vec3 hi, double tolerance)
{
    CheckNear(mesh, "least x", box.lo.x, lo.x, tolerance);
    CheckNear(mesh, "greatest x", box.hi.x, hi.x, tolerance);
    CheckNear(mesh, "least y", box.lo.y, lo.y, tolerance);
    CheckNear(mesh, "greatest y", box.hi.y, hi.y, tolerance);
    CheckNear(mesh, "least z", box.lo.z, lo.z, tolerance);
    CheckNear(mesh, "greatest z", box.hi.z, hi.z, tolerance);
}

// Smooth meshes: every normal of unit length once stored, and every real triangle wound
// counter-clockwise about the side its vertex normals face (the front material lights it).
inline void CheckSmooth(const std::string& mesh, const Mesh& m)
{
    Require(m.normals.size() == m.vertices.size(), mesh, "one normal per vertex");
    for (const Vec3& n : m.normals) {
        const double length =
            std::sqrt(AsStored(n.x) * AsStored(n.x) + AsStored(n.y) * AsStored(n.y) + AsStored(n.z) * AsStored(n.z));
        Require(std::fabs(length - 1.0) <= 1e-6, mesh, "a normal is not of unit length");
    }
    for (const auto& t : m.triangles) {
        if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2])
            continue;
        const Vec3 a = m.vertices[t[0]], b = m.vertices[t[1]], c = m.vertices[t[2]];
        const Vec3 face = Cross(b - a, c - b);
        Require(Length(face) > 1e-12, mesh, "a triangle without a repeated corner has no area");
        const Vec3 n = m.normals[t[0]] + m.normals[t[1]] + m.normals[t[2]];
        Require(Dot(face, n) > 0.0, mesh, "a triangle is wound against its normals");
    }
}
