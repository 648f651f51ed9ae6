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
//
// The rectangles are frame_regions.h's, where the moving parts draw moving_parts.h's, and the
// framebuffer objects frame_targets.h's.
#pragma once

#include "core/scene_state.h"
#include "view/frame_regions.h"
#include "view/frame_targets.h"
#include "view/moving_parts.h"

#include <cstdint>
#include <memory>
#include <vector>

// What stands behind the wreath (view/frame.h); declared alone, since this header is included
// where X's headers make None a macro.
enum class Backdrop;

// How a scene's frames are drawn.
enum class FrameDrawing {
    Whole,   // each from the clear up, in the context's own framebuffer
    Cached,  // over the still parts kept, in a framebuffer object, from which the frame is read
             // back or its changed parts put into the context's own framebuffer
};

// What changed from one frame to the next.
struct FrameChange {
    bool whole = true;             // everything: the first frame, or the still parts were drawn anew
    std::vector<PixelRect> parts;  // tiles of the frame that cover every change; the whole frame when whole
};

class CFrameCache {
public:
    CFrameCache();
    // Deletes nothing: the context may be gone. Release before, with it current.
    ~CFrameCache();
    CFrameCache(const CFrameCache&) = delete;
    CFrameCache& operator=(const CFrameCache&) = delete;

    // With the context current, its default framebuffer bound and the viewport and projection
    // set: draws one frame over the still parts, and advances the animation as RenderFrame
    // does. The still parts are drawn anew when anything they are drawn from differs from the
    // last time: the camera, the spot light, the projection and viewport (the size and the
    // framing), the backdrop, the samples a pixel. Leaves the default framebuffer bound and
    // stacks as found. Returns false, having drawn and advanced nothing, when the context
    // cannot keep the still parts: the caller draws the frame whole, as it will every frame
    // until Release.
    bool Draw(SceneState& state, Backdrop backdrop);
    // What changed in the last frame that Draw drew from the frame before it.
    const FrameChange& Change() const { return m_change; }
    // With the context current, after Draw returned true: puts parts of the frame, the right way
    // up, into the draw buffer of the default framebuffer. Leaves that framebuffer bound.
    void PutFrame(const std::vector<PixelRect>& parts) const;
    // With the context current, after Draw returned true: the frame's pixels, RGB8 (channels 3)
    // or RGBA8 (4), rows bottom-up as glReadPixels gives them.
    std::vector<std::uint8_t> ReadFrame(int channels) const;

    // Before Draw: draws with samples samples a pixel (1: as a whole frame is drawn), so that
    // edges are smooth, each pixel as much of the scene as covers it; the frame read back or
    // put is the samples' average. The nearest count the context offers is taken, and one
    // where it has not the memory for more.
    void SetSamples(int samples);
    // After Draw: the samples a pixel it drew with.
    int Samples() const { return m_nSamples; }

    // With the context that made them current: deletes the framebuffer objects, and forgets
    // what was drawn; the next Draw finds everything out anew. A cache whose context went
    // before this could be done is thrown away instead.
    void Release();

private:
    struct StillKey;
    bool MakeTargets(int width, int height);
    void DrawStill(SceneState& state, Backdrop backdrop);
    void FindChange(const SceneState& state, bool whole, int width, int height);
    void DrawRegions(const SceneState& state, int height) const;

    bool m_bChecked = false;     // whether this context was asked for framebuffer objects
    bool m_bOffered = false;     // and what it said, or that they could not be made
    bool m_bShapesMade = false;  // a frame was drawn in this context, making the shape lists
    CFrameTargets m_targets;
    int m_nSamplesWanted = 1;
    int m_nSamples = 1;
    std::unique_ptr<StillKey> m_pKey;  // what the still parts were drawn for; null: not drawn
    MovingLooks m_shown;               // the moving parts as the last frame showed them
    FrameChange m_change;
    std::vector<PixelRect> m_regions;  // where the last frame was drawn over the still parts
    MovingPartRects m_partRects;       // and where each moving part draws, when not whole
};
