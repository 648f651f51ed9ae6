// The scene as its hosts see it: the one interface that the window (wx shell) and the
// headless renderer drive, so that both always show the same picture.
#pragma once

#include "core/scene_state.h"
#include "view/frame_cache.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Where the picture stands in its frame: a point the perspective puts at p (-1 to 1 across
// and up) is shown at scale * p + (x, y). A sticker is framed round the wreath so.
struct Framing {
    double scale = 1.0, x = 0.0, y = 0.0;
};

class CScene {
public:
    // Takes the initial scene state; touches neither GL nor files.
    CScene();
    ~CScene();
    CScene(const CScene&) = delete;
    CScene& operator=(const CScene&) = delete;

    // Before OnCreate: the scene alone, with no backdrop panel (and no picture read for it),
    // over a framebuffer that holds premultiplied colour and coverage in its alpha. Over black
    // it is exactly the frame drawn in front of a black backdrop; over anything else, what a
    // compositor shows.
    void SetTransparent(bool transparent) { m_bTransparent = transparent; }

    // Before OnCreateContext: how OnDraw draws its frames (frame_cache.h); whole, as the window
    // does, unless told. A context without framebuffer objects, or without the memory for
    // them, gets whole frames whatever was asked.
    void SetFrameDrawing(FrameDrawing drawing);
    // Samples a pixel for frames drawn over the still parts kept (the nearest the context
    // offers), which smooth the edges; frames drawn whole take one, as the window's do.
    void SetSamples(int samples);
    // After OnDraw: the samples a pixel that frame was drawn with.
    int Samples() const;
    // After OnDraw: the parts of the frame that differ from the frame before; all of it for a
    // whole frame, and after anything that changed the still parts.
    const FrameChange& Change() const;
    // After OnDraw: whether that frame was drawn over the still parts kept. What the scene
    // gives does not depend on it; tests and benchmarks ask.
    bool FrameCached() const { return m_bFrameCached; }
    // With the context current, after OnDraw: puts parts of the frame into the default
    // framebuffer's draw buffer, where it is seen, whichever way it was drawn (a frame drawn
    // whole is there already). Leaves that framebuffer bound.
    void PutFrame(const std::vector<PixelRect>& parts) const;
    // With the context current, after OnDraw: the whole frame's pixels, RGB8 (channels 3) or
    // RGBA8 (4), rows bottom-up, whichever way it was drawn.
    std::vector<std::uint8_t> ReadFrame(int channels) const;
    // The whole frame at the last size OnSize was given.
    PixelRect Bounds() const { return {0, 0, m_nWidth, m_nHeight}; }

    // View creation, before any context exists: reads the backdrop picture from the current
    // folder, else from installedFolder when one is given. A missing picture is fatal
    // (message, then exit status 1).
    void OnCreate(const std::string& installedFolder = {});
    // Once, with a new context current: the fixed GL state, the backdrop texture and light 0.
    void OnCreateContext();
    // With the context current: viewport and projection for a client area of cx x cy pixels.
    // Any size is accepted; an empty area (a minimised window) draws nothing and does not fault.
    void OnSize(int cx, int cy);
    // Frames the picture (after OnSize, with the context current); the still parts kept are
    // drawn again for it.
    void SetFraming(const Framing& framing);
    // With the context current: renders one frame into the back buffer (or aside, as
    // SetFrameDrawing says) and advances the animation by one step. Leaves matrix and attribute
    // stacks, and the default framebuffer's binding, as found.
    void OnDraw();
    // With the context still current, before it goes: deletes what the scene made in it (the
    // shape lists). The next OnCreateContext, in this or another context, builds them anew.
    void OnDestroyContext();
    // The context went before OnDestroyContext could run (its window was destroyed first):
    // forgets what the scene had made in it, so that the next context builds it anew.
    void OnContextLost();

    SceneState& State() { return m_state; }
    const SceneState& State() const { return m_state; }

private:
    SceneState m_state;
    bool m_bTransparent = false;
    int m_nWidth = 0, m_nHeight = 0;
    Framing m_framing;
    std::unique_ptr<CFrameCache> m_pCache;  // null: whole frames
    int m_nSamples = 1;
    bool m_bFrameCached = false;
    FrameChange m_wholeChange;  // what a whole frame changes: all of it
};

// The fixed GL state every frame relies on: clear colour, two-sided lighting with lights
// 0 and 1, filled smooth polygons, depth test, normalisation and alpha blending.
void SetupFixedState();
// For a transparent scene, after SetupFixedState: cleared to nothing at all, and blended so
// that colour stays premultiplied and alpha adds up the coverage (the colours blend as ever).
void SetupTransparency();
// Where only whole pixels can be shown (a GIF's one bit of alpha, the ornament's outline on a
// desktop with no compositor), a pixel at least half covered is the scene's.
inline constexpr unsigned char kHalfCovered = 128;
// Light 0: a dim, warm directional light along the viewing axis. Model-view must be identity.
void SetupLight0();
// Viewport (0, 0, cx, cy), a 45-degree perspective from 10 to 70 units, framed, identity
// model-view.
void SetupProjection(int cx, int cy, const Framing& framing = {});
