// Test support for drawing code: one headless GL context per test process, a snapshot of
// the GL state a drawing operation must leave as found, and feedback-mode capture.
#pragma once

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <utility>
#include <vector>

// Registers the headless context environment; call once from main before RUN_ALL_TESTS.
void AddGlTestEnvironment();
// Makes the environment's context current again after a test made another one current.
void MakeGlTestContextCurrent();

// The scene's fixed GL state and a 500 x 500 perspective, as after the view's creation.
// Tests that draw call this first, so each starts from the same baseline.
void ResetGlToSceneBaseline();

// The GL state that no drawing operation may change.
struct GlState {
    std::array<GLint, 3> stackDepths{};  // model-view, projection, texture
    GLint attribDepth = 0;
    GLint clientAttribDepth = 0;
    GLint matrixMode = 0;
    std::array<GLfloat, 16> modelView{};
    std::vector<GLboolean> enables;  // see kTrackedEnables in gl_test.cpp
    std::vector<GLfloat> material;   // front and back: ambient, diffuse, specular, emission, shininess
    std::array<GLint, 2> blendFunc{};

    static GlState Capture();
    bool operator==(const GlState&) const = default;
};
std::ostream& operator<<(std::ostream& os, const GlState& state);

// Runs draw lit by one white directional light along +z and nothing else, so that the red
// of every lit corner is the z of its unit normal, or 0 where the normal faces away.
void WithLightAlongZ(const std::function<void()>& draw);

// Fails the test for each GL error pending, naming it.
void ExpectNoGlError(const char* where = "");

// Runs draw and expects the GL state to be as before and no GL error raised.
void ExpectLeavesGlStateAsFound(const std::function<void()>& draw);

// For its life: identity model-view, an orthographic projection keeping everything within
// extent of the origin, and a side x side viewport. Puts all three back afterwards.
class OrthoView {
public:
    OrthoView(double extent, int side);
    ~OrthoView();
    OrthoView(const OrthoView&) = delete;
    OrthoView& operator=(const OrthoView&) = delete;

private:
    GLint m_viewport[4];
};

// Where a scene point lands in the current viewport at the start camera (27 units away, no
// yaw), under the current projection: window pixels from the bottom left.
std::pair<int, int> PixelAtStartCamera(double x, double y, double z);

// One vertex that reached the rasteriser: in the coordinates draw was given (the capture
// maps window coordinates back), with its colour after lighting.
struct FeedbackVertex {
    float x, y, z;
    float r, g, b, a;
    float s = 0, t = 0;  // texture coordinates, when captured
};
using FeedbackPolygon = std::vector<FeedbackVertex>;

// Runs draw in feedback mode under an identity model-view and an orthographic projection
// that keeps everything within 40 units of the origin, and returns every polygon sent.
// Restores matrices and viewport afterwards. withTexture also captures texture coordinates.
std::vector<FeedbackPolygon> CaptureFeedback(const std::function<void()>& draw, bool withTexture = false);

// Mesa's feedback splits a quad a, b, c, d into the triangles a, b, d and b, c, d. Joins such
// pairs back into quads in their corners' drawing order; fails the test on anything else.
std::vector<FeedbackPolygon> JoinQuads(const std::vector<FeedbackPolygon>& triangles);
