// Small vector helpers for the wreath builders, in double precision.
#pragma once

#include "wreath_gen.h"

#include <cmath>
#include <numbers>

// clang-format off
inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(double s, Vec3 v) { return {s * v.x, s * v.y, s * v.z}; }
inline Vec3 operator*(Vec3 v, double s) { return s * v; }
inline double Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline double Length(Vec3 v) { return std::sqrt(Dot(v, v)); }
inline Vec3 Normalized(Vec3 v) { return (1.0 / Length(v)) * v; }
inline double Radians(double degrees) { return degrees * std::numbers::pi / 180.0; }
// clang-format on

// v turned by angle radians about the unit axis (right-handed).
inline Vec3 Rotated(Vec3 v, Vec3 axis, double angle)
{
    const double c = std::cos(angle), s = std::sin(angle);
    return c * v + s * Cross(axis, v) + (1.0 - c) * Dot(axis, v) * axis;
}

// The normal of face a, b, c as the program computes it: (b - a) x (c - b), unit length.
inline Vec3 FaceNormal(Vec3 a, Vec3 b, Vec3 c)
{
    return Normalized(Cross(b - a, c - b));
}
