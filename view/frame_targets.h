// The framebuffer objects a scene's frames are drawn in over the still parts: the still parts,
// the frame drawn over them, and with several samples a pixel the frame shown, their average.
// Needs framebuffer objects (GL_ARB_framebuffer_object).
#pragma once

#include "core/gl_api.h"

#include <memory>

// With a context current: the count of samples a pixel nearest to wanted that it can draw with
// into a framebuffer object; 1 when it offers none.
int NearestSamples(int wanted);

// One framebuffer object, its colour and depth renderbuffers of one size.
struct FrameTarget {
    GLuint framebuffer = 0;
    GLuint colour = 0;
    GLuint depth = 0;
    int width = 0;
    int height = 0;
    int samples = 1;
};

class CFrameTargets {
public:
    CFrameTargets() = default;
    // Deletes nothing: the context may be gone. Release before, with it current.
    ~CFrameTargets() = default;
    CFrameTargets(const CFrameTargets&) = delete;
    CFrameTargets& operator=(const CFrameTargets&) = delete;

    // With the context current: the targets for width x height frames of samples samples a
    // pixel (as the context gives them), made or made again as needed; the frame shown only
    // with several. Returns false when they cannot be had (GL_OUT_OF_MEMORY, or incomplete).
    bool Make(int width, int height, int samples);
    // With the context that made them current: deletes every one. The one way they go.
    void Release();

    bool Made() const { return m_pStill != nullptr; }
    const FrameTarget& Still() const { return *m_pStill; }
    const FrameTarget& Work() const { return *m_pWork; }
    // Where the frame is read and copied from: the frame shown, or the work target itself
    // with one sample.
    const FrameTarget& Shown() const { return m_pShown ? *m_pShown : *m_pWork; }
    bool Averaged() const { return m_pShown != nullptr; }

private:
    std::unique_ptr<FrameTarget> m_pStill, m_pWork, m_pShown;
};
