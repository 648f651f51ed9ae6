// Where the five apples stand, shared by the apples and their stems.
#pragma once

#include <array>

struct ApplePlace {
    double x, y;  // centre of the body's box in x; y is the chosen centre
};

// In the apples' storage order. Each flare of the frame stands at one of these places.
inline constexpr std::array<ApplePlace, 5> kApplePlaces = {{
    {-3.2, -4.064},
    {2.9, -5.964},
    {3.5, 5.036},
    {5.0, -0.564},
    {-6.4, 1.558},
}};

inline constexpr int kAppleAround = 21;  // vertices per ring; one of them faces the viewer
inline constexpr int kAppleRings = 13;   // rings between the two poles
inline constexpr int kAppleVertices = kAppleAround * kAppleRings + 2;

// The body's reach from its chosen centre, and its depth (the same for all five).
inline constexpr double kAppleTop = 0.5309, kAppleBottom = -0.5308, kAppleHalfWidth = 0.6348;
inline constexpr double kAppleFrontZ = 2.5366, kAppleBackZ = 1.2705;

// The stem's foot, below the bottom of the dimple so that the stem rises out of it.
inline constexpr double kStemFoot = 0.264;
inline constexpr double kStemHeight = 0.6;
