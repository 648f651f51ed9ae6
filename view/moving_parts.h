// Where in a frame the parts that move are drawn: the bulbs by their reach, each apple's stem
// and apple by the box round its meshes, and the flares by their sweep, projected as the camera
// sees them. Pure: the matrices and viewport are given, no GL is called.
#pragma once

#include "core/scene_state.h"
#include "view/frame.h"
#include "view/frame_regions.h"

#include "core/gl_api.h"

#include <array>
#include <vector>

// What a frame shows of the parts that move: the bulbs' intensities and the flare angle.
struct MovingLooks {
    std::array<float, 10> bulbs{};
    float flareAngle = 0.0f;
};
MovingLooks LooksOf(const SceneState& state);

// Where in a viewport the parts that look different in now than in before are drawn, for the
// camera on modelView (the wreath's coordinates) and projection: each bulb whose intensity
// differs, halo and body at the larger of its two sizes (so that a halo that shrinks takes its
// old tips with it), and the five flares, with the apples over them, when the flare angle
// differs. Rectangles a few pixels wider than the parts, clipped to the viewport.
std::vector<PixelRect> MovingPartsChanged(const MovingLooks& before, const MovingLooks& now,
                                          const GLdouble modelView[16], const GLdouble projection[16],
                                          const GLint viewport[4]);

// Where each moving part draws in a viewport, for the camera on modelView and projection, with
// the bulbs as now shows them and the flares at any angle: a rectangle round all it draws, a
// few pixels wider, clipped to the viewport (empty when it draws nothing there). Bulbs
// [colour][index], colours in the order red, blue, green, yellow; each apple's stem and the
// apple; each flare.
struct MovingPartRects {
    std::array<std::array<PixelRect, 10>, 4> bulbs;
    std::array<PixelRect, 5> stems, flares, apples;
};
MovingPartRects WhereMovingPartsDraw(const MovingLooks& now, const GLdouble modelView[16],
                                     const GLdouble projection[16], const GLint viewport[4]);

// The moving parts that draw anything within region, from where each draws.
MovingParts PartsWithin(const MovingPartRects& rects, const PixelRect& region);
