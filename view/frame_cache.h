// Frames of a camera that holds still, drawn from what moves: the clear, the spot light, the
// backdrop and the wreath without its bulbs are drawn once into a framebuffer object. Each
// frame, only the regions round the parts that changed are drawn again in a second one: the
// still parts copied back there, and over them the bulbs, the apple stems, the flares and the
// apples that reach into them, as in a whole frame. A frame then costs a fraction of a whole
// one, and what does not move stays the same to the bit from frame to frame. Both are
// drawn upside down, rows from the top as Mesa keeps a window's or a pbuffer's: the other way
// up, it rounds a few edge pixels otherwise, and a frame would not be a whole frame's. Needs
// framebuffer objects (GL_ARB_framebuffer_object) and copies between them (GL_ARB_copy_image);
// without them, or without the memory for them, frames are drawn whole.
#pragma once

#include "core/scene_state.h"

#include <GL/gl.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// What stands behind the wreath (view/frame.h); declared alone, since this header is included
// where X's headers make None a macro.
enum class Backdrop;

// A rectangle of the framebuffer in pixels, from its bottom left corner as GL counts them.
struct FrameRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const FrameRect&) const = default;
};

// The side of the square tiles in which the changed parts of a frame are brought to a window.
inline constexpr int kFrameTile = 32;

// The tiles of a width x height frame that any of rects touches, as few rectangles: each run of
// touched tiles along a row of tiles, joined with the same run in the rows above it, clipped to
// the frame; from the bottom. Pure.
std::vector<FrameRect> TilesTouched(const std::vector<FrameRect>& rects, int width, int height);

// What a frame shows of the parts that move: the bulbs' intensities and the flare angle.
struct MovingLooks {
    std::array<float, 10> bulbs{};
    float flareAngle = 0.0f;
};
MovingLooks LooksOf(const SceneState& state);

// Where in a viewport the parts that look different in now than in before are drawn, for the
// camera on modelView (the wreath's coordinates) and projection: each bulb whose intensity
// differs, halo and body at the larger of its two sizes, and the five flares, with the apples
// over them, when the flare angle differs. Rectangles a few pixels wider than the parts,
// clipped to the viewport. Pure.
std::vector<FrameRect> MovingPartsChanged(const MovingLooks& before, const MovingLooks& now,
                                          const GLdouble modelView[16], const GLdouble projection[16],
                                          const GLint viewport[4]);

// Where each moving part draws in a viewport, for the camera on modelView and projection, with
// the bulbs as now shows them and the flares at any angle: a rectangle round all it draws, a
// few pixels wider, clipped to the viewport (empty when it draws nothing there). Bulbs
// [colour][index], colours in the order red, blue, green, yellow; each apple's stem and the
// apple; each flare. Pure.
struct MovingPartRects {
    std::array<std::array<FrameRect, 10>, 4> bulbs;
    std::array<FrameRect, 5> stems, flares, apples;
};
MovingPartRects WhereMovingPartsDraw(const MovingLooks& now, const GLdouble modelView[16],
                                     const GLdouble projection[16], const GLint viewport[4]);

// Rectangles, as few as is worth it, that cover every one of rects and overlap none of each
// other: any two that overlap are joined into the rectangle round both, and so are two whose
// joined rectangle is no more than slack pixels larger than the pair. Pure.
std::vector<FrameRect> DisjointRegions(std::vector<FrameRect> rects, int slack);

// With a context current: the count of samples a pixel nearest to wanted that it can draw with
// into a framebuffer object; 1 when it offers none.
int NearestSamples(int wanted);

// How a scene's frames are drawn.
enum class FrameDrawing {
    Whole,   // each from the clear up, in the context's own framebuffer, as the window draws them
    Cached,  // over the still parts kept, in a framebuffer object, from which the frame is read
             // back or its changed parts copied to the context's own framebuffer
};

// What changed from one frame to the next.
struct FrameChange {
    bool whole = true;             // everything: the first frame, or the still parts were drawn anew
    std::vector<FrameRect> parts;  // tiles of the frame that cover every change; the whole frame when whole
};

class CFrameCache {
public:
    CFrameCache();
    ~CFrameCache();
    CFrameCache(const CFrameCache&) = delete;
    CFrameCache& operator=(const CFrameCache&) = delete;

    // With the context current, its default framebuffer bound and a projection for width x
    // height: draws one frame over the still parts, drawing them anew when the camera, the spot
    // light, the size or the backdrop differ from the last time, and advances the animation as
    // RenderFrame does. Leaves the default framebuffer bound and stacks as found. Returns false,
    // having drawn and advanced nothing, when the context cannot keep the still parts: the
    // caller draws the frame whole, as it will every frame until Invalidate.
    bool Draw(SceneState& state, Backdrop backdrop, int width, int height);
    // What changed in the last frame that Draw drew from the frame before it.
    const FrameChange& Change() const { return m_change; }
    // With the context current, after Draw returned true: copies parts of the frame, the right
    // way up, to the draw buffer of the default framebuffer. Leaves the default framebuffer
    // bound.
    void CopyToDefaultFramebuffer(const std::vector<FrameRect>& parts) const;
    // With the context current, after Draw returned true: the frame's pixels, RGB8 (channels 3)
    // or RGBA8 (4), rows bottom-up as glReadPixels gives them.
    std::vector<std::uint8_t> ReadPixels(int channels) const;

    // Before Draw: draws with samples samples a pixel (1: as the window draws), so that edges
    // are smooth, each pixel as much of the scene as covers it; the frame read back or copied
    // is the samples' average. The nearest count the context offers is taken, and one where it
    // has not the memory for more.
    void SetSamples(int samples);
    // After Draw: the samples a pixel it drew with.
    int Samples() const { return m_nSamples; }

    // Everything is to be found out and drawn anew: a new context is current.
    void Invalidate();
    // With the context that made them current: deletes the framebuffers; then as Invalidate.
    void Release();
    // The context went with what it held: forgets the framebuffers; then as Invalidate.
    void Forget();

private:
    struct Target;
    struct StillKey;
    bool MakeTargets(int width, int height);
    void DeleteTargets();
    const Target& Shown() const;
    void DrawStill(SceneState& state, Backdrop backdrop);
    void FindChange(const SceneState& state, bool whole, int width, int height);
    void DrawRegions(const SceneState& state, int height) const;

    bool m_bChecked = false;           // whether this context was asked for framebuffer objects
    bool m_bOffered = false;           // and what it said, or that they could not be made
    bool m_bShapesMade = false;        // a frame was drawn in this context, making the shape lists
    std::unique_ptr<Target> m_pStill;  // the still parts
    std::unique_ptr<Target> m_pWork;   // the frame
    std::unique_ptr<Target> m_pShown;  // the frame's samples averaged, when there are several
    int m_nSamplesWanted = 1;
    int m_nSamples = 1;
    int m_nKeySamples = 1;             // the samples the still parts were drawn with
    std::unique_ptr<StillKey> m_pKey;  // what the still parts were drawn for; null: not drawn
    MovingLooks m_shown;               // the moving parts as the last frame showed them
    FrameChange m_change;
    std::vector<FrameRect> m_regions;  // where the last frame was drawn over the still parts
    MovingPartRects m_partRects;       // and where each moving part draws, when not whole
};
