// Shared by the ornament builders (bell, bow, apples, stems): a hard stop when a shape misses
// one of its counts or bounds, and bounding boxes measured as the program will hold them.
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

// Ends the generator, so the build can never produce tables that miss a stated number.
[[noreturn]] inline void OrnamentFail(const std::string& mesh, const std::string& message)
{
    std::fprintf(stderr, "wreath_gen: %s: %s\n", mesh.c_str(), message.c_str());
    std::exit(1);
}

inline void OrnamentCheck(bool ok, const std::string& mesh, const std::string& message)
{
    if (!ok)
        OrnamentFail(mesh, message);
}

// The tables hold floats: every bound is checked on the rounded value.
inline double AsStored(double value) { return static_cast<double>(static_cast<float>(value)); }

struct Box {
    Vec3 lo{std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
            std::numeric_limits<double>::max()};
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
        OrnamentFail(mesh, text);
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
    OrnamentCheck(m.normals.size() == m.vertices.size(), mesh, "one normal per vertex");
    for (const Vec3& n : m.normals) {
        const double length = std::sqrt(AsStored(n.x) * AsStored(n.x) + AsStored(n.y) * AsStored(n.y) +
                                        AsStored(n.z) * AsStored(n.z));
        OrnamentCheck(std::fabs(length - 1.0) <= 1e-6, mesh, "a normal is not of unit length");
    }
    for (const auto& t : m.triangles) {
        if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2])
            continue;
        const Vec3 a = m.vertices[t[0]], b = m.vertices[t[1]], c = m.vertices[t[2]];
        const Vec3 face = Cross(b - a, c - b);
        OrnamentCheck(Length(face) > 1e-12, mesh, "a triangle without a repeated corner has no area");
        const Vec3 n = m.normals[t[0]] + m.normals[t[1]] + m.normals[t[2]];
        OrnamentCheck(Dot(face, n) > 0.0, mesh, "a triangle is wound against its normals");
    }
}
