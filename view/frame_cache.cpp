// glBindFramebuffer, glBlitFramebuffer (GL_ARB_framebuffer_object) and glCopyImageSubData
// (GL_ARB_copy_image), asked for before use.
#include "core/gl_api.h"
#include "view/frame_cache.h"

#include "bulbs/patterns.h"
#include "view/frame.h"
#include "view/gl_query.h"

#include <algorithm>
#include <cstring>

namespace {

// Two regions whose joined rectangle adds no more than this many pixels are drawn as one: each
// region costs two copies, a blit where samples are averaged, and its moving parts' vertices again.
constexpr int kRegionSlack = 32 * 32;

// A frame drawn and thrown away, the scene and the blink variables left as they were: it makes
// the shape lists, so that the still parts are drawn as every later frame draws them (the frame
// that makes the lists comes out a few pixels different).
void DrawUnseenFrame(const SceneState& state, Backdrop backdrop)
{
    const int alternateDir = g_nAlternateDir, cascadeStage = g_nCascadeStage;
    auto copy = std::make_unique<SceneState>(state);
    // Cut to no pixel at all: the lists are made all the same, and nothing is rasterised.
    glPushAttrib(GL_SCISSOR_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 0, 0);
    RenderFrame(*copy, backdrop);
    glPopAttrib();
    g_nAlternateDir = alternateDir;
    g_nCascadeStage = cascadeStage;
}

// For its life, drawing goes into a framebuffer object upside down, rows from the top, as Mesa
// keeps a window's or a pbuffer's: the projection turned over in y, and front faces clockwise,
// since turning the picture over turns their winding too. Exactly the pixels the same drawing
// gives there.
class CUpsideDown {
public:
    CUpsideDown()
    {
        GLdouble projection[16];
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glScaled(1.0, -1.0, 1.0);
        glMultMatrixd(projection);
        glMatrixMode(GL_MODELVIEW);
        glPushAttrib(GL_POLYGON_BIT);
        glFrontFace(GL_CW);
    }
    ~CUpsideDown()
    {
        glPopAttrib();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
    }
    CUpsideDown(const CUpsideDown&) = delete;
    CUpsideDown& operator=(const CUpsideDown&) = delete;
};

// Throws away GL's errors: those of an allocation that failed, which the caller answers.
void ForgetErrors()
{
    while (glGetError() != GL_NO_ERROR) {
    }
}

}  // namespace

// Everything the still parts are drawn from.
struct CFrameCache::StillKey {
    float distance, angle;
    std::array<float, 4> spotDiffuse, spotAmbient, spotSpecular, spotPosition;
    std::array<float, 3> spotDirection;
    float spotCutoff;
    std::array<GLdouble, 16> projection;  // the size's aspect and the framing
    std::array<GLint, 4> viewport;        // the size
    Backdrop backdrop;
    int samples;
    bool operator==(const StillKey&) const = default;
};

CFrameCache::CFrameCache() = default;

CFrameCache::~CFrameCache() = default;

void CFrameCache::SetSamples(int samples)
{
    m_nSamplesWanted = std::max(samples, 1);
}

// The targets for width x height at the samples wanted; with several samples that cannot be
// had, one. False when none can be had: then frames are drawn whole from now on.
bool CFrameCache::MakeTargets(int width, int height)
{
    m_nSamples = NearestSamples(m_nSamplesWanted);
    if (m_targets.Make(width, height, m_nSamples))
        return true;
    ForgetErrors();
    m_targets.Release();
    if (m_nSamples > 1) {
        // Several samples a pixel take as many times the memory: with one, frames are kept still.
        m_nSamplesWanted = m_nSamples = 1;
        if (m_targets.Make(width, height, 1))
            return true;
        ForgetErrors();
        m_targets.Release();
    }
    m_bOffered = false;
    m_pKey.reset();
    return false;
}

bool CFrameCache::Draw(SceneState& state, Backdrop backdrop)
{
    if (!m_bChecked) {
        m_bOffered = GlExtensionOffered("GL_ARB_framebuffer_object") && GlExtensionOffered("GL_ARB_copy_image");
        m_bChecked = true;
    }
    StillKey key{state.m_fDistance,
                 state.m_fAngle,
                 state.m_fSpotDiffuse,
                 state.m_fSpotAmbient,
                 state.m_fSpotSpecular,
                 state.m_fSpotPosition,
                 state.m_fSpotDirection,
                 state.m_fSpotCutoff,
                 {},
                 {},
                 backdrop,
                 1};
    glGetDoublev(GL_PROJECTION_MATRIX, key.projection.data());
    glGetIntegerv(GL_VIEWPORT, key.viewport.data());
    const int width = key.viewport[2], height = key.viewport[3];
    if (!m_bOffered || width <= 0 || height <= 0 || !MakeTargets(width, height))
        return false;
    key.samples = m_nSamples;
    const bool fresh = !m_pKey || !(*m_pKey == key);
    if (fresh) {
        DrawStill(state, backdrop);
        m_pKey = std::make_unique<StillKey>(key);
    }
    FindChange(state, fresh, width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, m_targets.Work().framebuffer);
    DrawRegions(state, height);
    AdvanceFrameUnseen(state);
    if (m_targets.Averaged()) {
        // The samples of the regions drawn averaged into the frame shown; elsewhere it holds
        // the last frame's, the same. Rows are the frame's own, from the top, both sides alike.
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_targets.Work().framebuffer);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_targets.Shown().framebuffer);
        for (const PixelRect& r : m_regions) {
            const int y = height - r.y - r.height;
            glBlitFramebuffer(r.x, y, r.x + r.width, y + r.height, r.x, y, r.x + r.width, y + r.height,
                              GL_COLOR_BUFFER_BIT, GL_NEAREST);
        }
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return true;
}

void CFrameCache::DrawStill(SceneState& state, Backdrop backdrop)
{
    glBindFramebuffer(GL_FRAMEBUFFER, m_targets.Still().framebuffer);
    const CUpsideDown upsideDown;
    if (!m_bShapesMade)
        DrawUnseenFrame(state, backdrop);
    m_bShapesMade = true;
    RenderStillParts(state, backdrop);
}

void CFrameCache::DrawRegions(const SceneState& state, int height) const
{
    // Outside the regions the last frame in the work buffers is this one already. In each,
    // the still parts, colour and depth, as they were drawn (a copy of the renderbuffers'
    // texels, to the bit on any driver), all copied before anything is drawn over them; then
    // the moving parts that reach into it, cut to it. A part that draws nothing there changes
    // nothing there, so each region is as the whole frame would be.
    for (const PixelRect& r : m_regions) {
        const int y = height - r.y - r.height;  // the frame's rows are from the top
        glCopyImageSubData(m_targets.Still().colour, GL_RENDERBUFFER, 0, r.x, y, 0, m_targets.Work().colour,
                           GL_RENDERBUFFER, 0, r.x, y, 0, r.width, r.height, 1);
        glCopyImageSubData(m_targets.Still().depth, GL_RENDERBUFFER, 0, r.x, y, 0, m_targets.Work().depth,
                           GL_RENDERBUFFER, 0, r.x, y, 0, r.width, r.height, 1);
    }
    if (m_regions.empty())
        return;
    glPushAttrib(GL_SCISSOR_BIT);
    glEnable(GL_SCISSOR_TEST);
    {
        const CUpsideDown upsideDown;
        glPushMatrix();
        PlaceCamera(state);
        SetSpotLight(state);
        for (const PixelRect& r : m_regions) {
            glScissor(r.x, height - r.y - r.height, r.width, r.height);
            DrawMovingParts(state, m_change.whole ? MovingParts::All() : PartsWithin(m_partRects, r));
        }
        glPopMatrix();
    }
    glPopAttrib();
}

void CFrameCache::FindChange(const SceneState& state, bool whole, int width, int height)
{
    const MovingLooks now = LooksOf(state);
    m_change.whole = whole;
    if (whole) {
        m_change.parts = {{0, 0, width, height}};
        m_regions = m_change.parts;
    } else {
        GLdouble modelView[16], projection[16];
        GLint viewport[4];
        glPushMatrix();
        PlaceCamera(state);
        glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
        glPopMatrix();
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_VIEWPORT, viewport);
        const std::vector<PixelRect> changed = MovingPartsChanged(m_shown, now, modelView, projection, viewport);
        m_change.parts = TilesTouched(changed, width, height);
        m_regions = DisjointRegions(changed, kRegionSlack);
        m_partRects = WhereMovingPartsDraw(now, modelView, projection, viewport);
    }
    m_shown = now;
}

void CFrameCache::PutFrame(const std::vector<PixelRect>& parts) const
{
    if (!m_pKey)
        return;
    const int height = m_targets.Work().height;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_targets.Shown().framebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    // Turned the right way up on the way: for Mesa, whose window keeps its rows from the top as
    // the frame was drawn, a plain copy.
    for (const PixelRect& p : parts)
        glBlitFramebuffer(p.x, height - p.y, p.x + p.width, height - p.y - p.height, p.x, p.y, p.x + p.width,
                          p.y + p.height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

std::vector<std::uint8_t> CFrameCache::ReadFrame(int channels) const
{
    const FrameTarget& shown = m_targets.Shown();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, shown.framebuffer);
    const std::vector<std::uint8_t> upsideDown = ReadPixels({0, 0, shown.width, shown.height}, channels);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    const std::size_t row = static_cast<std::size_t>(shown.width) * channels;
    std::vector<std::uint8_t> pixels(upsideDown.size());
    for (int y = 0; y < shown.height; ++y)
        std::memcpy(&pixels[static_cast<std::size_t>(y) * row],
                    &upsideDown[static_cast<std::size_t>(shown.height - 1 - y) * row], row);
    return pixels;
}

void CFrameCache::Release()
{
    m_targets.Release();
    m_bChecked = m_bOffered = m_bShapesMade = false;
    m_pKey.reset();
    m_change = {};
    m_regions.clear();
}
