// glGenFramebuffers, glBlitFramebuffer (GL_ARB_framebuffer_object) and glCopyImageSubData
// (GL_ARB_copy_image), asked for before use.
#define GL_GLEXT_PROTOTYPES 1
#include "view/frame_cache.h"

#include "bulbs/bulb_string.h"
#include "bulbs/patterns.h"
#include "models/wreath.h"
#include "view/frame.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

namespace {

// How far beyond a part's projected corners its rectangle reaches: rasterising rounds to the
// pixel, and a lit edge may colour the pixel beside it.
constexpr int kMarginPixels = 2;

struct Point3 {
    float x, y, z;
};

// The forty bulb centres in the wreath's coordinates, [colour][index], walked as the string is.
const std::array<std::array<Point3, 10>, 4>& BulbCentres()
{
    static const auto centres = [] {
        std::array<std::array<Point3, 10>, 4> c{};
        Point3 at{0.0f, 0.0f, 0.0f};
        for (int i = 0; i < 10; ++i) {
            for (int colour = 0; colour < 4; ++colour) {
                at.x += g_fBulbOffset[colour][i][0];
                at.y += g_fBulbOffset[colour][i][1];
                at.z += g_fBulbOffset[colour][i][2];
                c[colour][i] = at;
            }
        }
        return c;
    }();
    return centres;
}

// The pixels that a box centred on c with half sides h covers in the viewport, with a margin;
// the whole viewport when a corner is not in front of the camera.
FrameRect ProjectedBox(const Point3& c, const Point3& h, const GLdouble mv[16], const GLdouble pr[16],
                       const GLint vp[4])
{
    double left = vp[0] + vp[2], bottom = vp[1] + vp[3], right = vp[0], top = vp[1];
    for (int corner = 0; corner < 8; ++corner) {
        const double in[4] = {c.x + ((corner & 1) ? h.x : -h.x), c.y + ((corner & 2) ? h.y : -h.y),
                              c.z + ((corner & 4) ? h.z : -h.z), 1.0};
        double eye[4], clip[4];
        for (int r = 0; r < 4; ++r)
            eye[r] = mv[r] * in[0] + mv[4 + r] * in[1] + mv[8 + r] * in[2] + mv[12 + r] * in[3];
        for (int r = 0; r < 4; ++r)
            clip[r] = pr[r] * eye[0] + pr[4 + r] * eye[1] + pr[8 + r] * eye[2] + pr[12 + r] * eye[3];
        if (!(clip[3] > 0.0))
            return {vp[0], vp[1], vp[2], vp[3]};
        const double x = vp[0] + (clip[0] / clip[3] + 1.0) * 0.5 * vp[2];
        const double y = vp[1] + (clip[1] / clip[3] + 1.0) * 0.5 * vp[3];
        left = std::min(left, x);
        right = std::max(right, x);
        bottom = std::min(bottom, y);
        top = std::max(top, y);
    }
    const int x0 = std::max(vp[0], static_cast<int>(std::floor(left)) - kMarginPixels);
    const int y0 = std::max(vp[1], static_cast<int>(std::floor(bottom)) - kMarginPixels);
    const int x1 = std::min(vp[0] + vp[2], static_cast<int>(std::ceil(right)) + kMarginPixels);
    const int y1 = std::min(vp[1] + vp[3], static_cast<int>(std::ceil(top)) + kMarginPixels);
    if (x1 <= x0 || y1 <= y0)
        return {};
    return {x0, y0, x1 - x0, y1 - y0};
}

Point3 CentreOf(const MeshBounds& b)
{
    return {(b.low[0] + b.high[0]) / 2, (b.low[1] + b.high[1]) / 2, (b.low[2] + b.high[2]) / 2};
}

Point3 HalfOf(const MeshBounds& b)
{
    return {(b.high[0] - b.low[0]) / 2, (b.high[1] - b.low[1]) / 2, (b.high[2] - b.low[2]) / 2};
}

// Two regions whose joined rectangle adds no more than this many pixels are drawn as one: each
// region costs two copies, a blit where samples are averaged, and its moving parts' vertices again.
constexpr int kRegionSlack = 32 * 32;

// Whether the current context names extension among its extensions, as a whole word.
bool ExtensionOffered(const char* extension)
{
    const auto* all = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (!all)
        return false;
    const std::size_t length = std::strlen(extension);
    for (const char* at = std::strstr(all, extension); at; at = std::strstr(at + length, extension)) {
        if ((at == all || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0'))
            return true;
    }
    return false;
}

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

}  // namespace

std::vector<FrameRect> TilesTouched(const std::vector<FrameRect>& rects, int width, int height)
{
    std::vector<FrameRect> tiles;
    if (width <= 0 || height <= 0)
        return tiles;
    const int columns = (width + kFrameTile - 1) / kFrameTile;
    const int rows = (height + kFrameTile - 1) / kFrameTile;
    std::vector<char> touched(static_cast<std::size_t>(columns) * rows, 0);
    for (const FrameRect& r : rects) {
        const int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
        const int x1 = std::min(r.x + r.width, width), y1 = std::min(r.y + r.height, height);
        if (x1 <= x0 || y1 <= y0)
            continue;
        for (int row = y0 / kFrameTile; row <= (y1 - 1) / kFrameTile; ++row)
            for (int column = x0 / kFrameTile; column <= (x1 - 1) / kFrameTile; ++column)
                touched[static_cast<std::size_t>(row) * columns + column] = 1;
    }
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns;) {
            if (!touched[static_cast<std::size_t>(row) * columns + column]) {
                ++column;
                continue;
            }
            const int start = column;
            while (column < columns && touched[static_cast<std::size_t>(row) * columns + column])
                ++column;
            const int x = start * kFrameTile, y = row * kFrameTile;
            const FrameRect run{x, y, std::min(column * kFrameTile, width) - x, std::min(y + kFrameTile, height) - y};
            // A run under one of the same columns in the row below joins it: fewer, taller
            // rectangles, each a copy of its own.
            const auto below = std::find_if(tiles.begin(), tiles.end(), [&](const FrameRect& t) {
                return t.x == run.x && t.width == run.width && t.y + t.height == run.y;
            });
            if (below != tiles.end())
                below->height += run.height;
            else
                tiles.push_back(run);
        }
    }
    return tiles;
}

MovingPartRects WhereMovingPartsDraw(const MovingLooks& now, const GLdouble modelView[16],
                                     const GLdouble projection[16], const GLint viewport[4])
{
    static_assert(kApples == 5 && std::tuple_size_v<FlareSet> == 5, "five apples, each with a flare");
    MovingPartRects rects;
    const auto project = [&](const Point3& centre, const Point3& half) {
        return ProjectedBox(centre, half, modelView, projection, viewport);
    };
    for (std::size_t i = 0; i < now.bulbs.size(); ++i) {
        const BulbReach reach = ReachOfBulb(now.bulbs[i]);
        for (std::size_t c = 0; c < rects.bulbs.size(); ++c)
            rects.bulbs[c][i] = project(BulbCentres()[c][i], {reach.across, reach.across, reach.deep});
    }
    // The meshes never change: their boxes are found once.
    static const auto boxes = [] {
        std::array<std::array<MeshBounds, 2>, kApples> b{};
        for (int k = 0; k < kApples; ++k)
            b[k] = {AppleStemBounds(k), AppleBounds(k)};
        return b;
    }();
    for (int k = 0; k < kApples; ++k) {
        const auto& [stem, apple] = boxes[k];
        rects.stems[k] = project(CentreOf(stem), HalfOf(stem));
        rects.apples[k] = project(CentreOf(apple), HalfOf(apple));
    }
    for (std::size_t k = 0; k < rects.flares.size(); ++k) {
        const FlareSweep& f = FlareSweeps()[k];
        rects.flares[k] = project({f.x, f.y, f.z}, {f.reach, f.reach, 0.0f});
    }
    return rects;
}

namespace {

bool Overlap(const FrameRect& a, const FrameRect& b)
{
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

FrameRect Round(const FrameRect& a, const FrameRect& b)
{
    const int x = std::min(a.x, b.x), y = std::min(a.y, b.y);
    return {x, y, std::max(a.x + a.width, b.x + b.width) - x, std::max(a.y + a.height, b.y + b.height) - y};
}

long Area(const FrameRect& r)
{
    return static_cast<long>(r.width) * r.height;
}

}  // namespace

std::vector<FrameRect> DisjointRegions(std::vector<FrameRect> rects, int slack)
{
    std::erase_if(rects, [](const FrameRect& r) { return r.width <= 0 || r.height <= 0; });
    // Joining two may make the pair overlap a third: round again until none is joined.
    for (bool joined = true; joined;) {
        joined = false;
        for (std::size_t i = 0; i < rects.size() && !joined; ++i) {
            for (std::size_t j = i + 1; j < rects.size() && !joined; ++j) {
                const FrameRect both = Round(rects[i], rects[j]);
                if (Overlap(rects[i], rects[j]) || Area(both) <= Area(rects[i]) + Area(rects[j]) + slack) {
                    rects[i] = both;
                    rects.erase(rects.begin() + static_cast<std::ptrdiff_t>(j));
                    joined = true;
                }
            }
        }
    }
    return rects;
}

MovingLooks LooksOf(const SceneState& state)
{
    return {state.m_fBulb, state.m_fFlareAngle};
}

std::vector<FrameRect> MovingPartsChanged(const MovingLooks& before, const MovingLooks& now,
                                          const GLdouble modelView[16], const GLdouble projection[16],
                                          const GLint viewport[4])
{
    std::vector<FrameRect> rects;
    const auto add = [&](const Point3& centre, const Point3& half) {
        if (const FrameRect r = ProjectedBox(centre, half, modelView, projection, viewport); r.width > 0)
            rects.push_back(r);
    };
    for (std::size_t i = 0; i < now.bulbs.size(); ++i) {
        // Exactly: a step that lands on the same value draws the same bulb.
        if (before.bulbs[i] == now.bulbs[i])
            continue;
        const BulbReach a = ReachOfBulb(before.bulbs[i]), b = ReachOfBulb(now.bulbs[i]);
        const float across = std::max(a.across, b.across), deep = std::max(a.deep, b.deep);
        for (const auto& colour : BulbCentres())
            add(colour[i], {across, across, deep});
    }
    // The apples over the flares change where the flares do.
    if (before.flareAngle != now.flareAngle) {
        for (const FlareSweep& f : FlareSweeps())
            add({f.x, f.y, f.z}, {f.reach, f.reach, 0.0f});
    }
    return rects;
}

// --- CFrameCache ---

// A framebuffer object with a colour and a depth renderbuffer of one size.
struct CFrameCache::Target {
    GLuint framebuffer = 0;
    GLuint colour = 0;
    GLuint depth = 0;
    int width = 0;
    int height = 0;
    int samples = 1;
};

// Everything the still parts are drawn from.
struct CFrameCache::StillKey {
    float distance, angle;
    std::array<float, 4> spotDiffuse, spotAmbient, spotSpecular, spotPosition;
    std::array<float, 3> spotDirection;
    float spotCutoff;
    int width, height;
    Backdrop backdrop;
    bool operator==(const StillKey&) const = default;
};

namespace {

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

}  // namespace

CFrameCache::CFrameCache() = default;

CFrameCache::~CFrameCache() = default;

int NearestSamples(int wanted)
{
    if (wanted <= 1 || !ExtensionOffered("GL_ARB_framebuffer_object"))
        return 1;
    GLint most = 1;
    glGetIntegerv(GL_MAX_SAMPLES, &most);
    // The counts the driver takes for colour, from the most down; without the query, every
    // count up to the most.
    std::vector<GLint> counts;
    if (ExtensionOffered("GL_ARB_internalformat_query")) {
        GLint number = 0;
        glGetInternalformativ(GL_RENDERBUFFER, GL_RGBA8, GL_NUM_SAMPLE_COUNTS, 1, &number);
        counts.resize(static_cast<std::size_t>(std::max(number, 0)));
        if (number > 0)
            glGetInternalformativ(GL_RENDERBUFFER, GL_RGBA8, GL_SAMPLES, number, counts.data());
    }
    if (counts.empty()) {
        for (GLint c = most; c > 1; --c)
            counts.push_back(c);
    }
    counts.push_back(1);
    return *std::min_element(counts.begin(), counts.end(),
                             [&](GLint a, GLint b) { return std::abs(a - wanted) < std::abs(b - wanted); });
}

void CFrameCache::SetSamples(int samples)
{
    m_nSamplesWanted = std::max(samples, 1);
}

const CFrameCache::Target& CFrameCache::Shown() const
{
    return m_pShown ? *m_pShown : *m_pWork;
}

bool CFrameCache::MakeTargets(int width, int height)
{
    m_nSamples = NearestSamples(m_nSamplesWanted);
    // The depth buffer as precise as the context's own, so that depths compare as in a whole
    // frame.
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    const GLenum depthFormat = depthBits > 24   ? GL_DEPTH_COMPONENT32
                               : depthBits > 16 ? GL_DEPTH_COMPONENT24
                                                : GL_DEPTH_COMPONENT16;
    const auto make = [&](std::unique_ptr<Target>& target, int samples, bool depth) {
        if (target && target->width == width && target->height == height && target->samples == samples)
            return true;
        if (!target) {
            target = std::make_unique<Target>();
            glGenFramebuffers(1, &target->framebuffer);
            glGenRenderbuffers(1, &target->colour);
            glGenRenderbuffers(1, &target->depth);
        }
        target->width = width;
        target->height = height;
        target->samples = samples;
        const auto store = [&](GLuint renderbuffer, GLenum format) {
            glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
            if (samples > 1)
                glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, format, width, height);
            else
                glRenderbufferStorage(GL_RENDERBUFFER, format, width, height);
            GLint made = 0;
            glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_WIDTH, &made);
            glBindRenderbuffer(GL_RENDERBUFFER, 0);
            return made == width;
        };
        const bool stored = store(target->colour, GL_RGBA8) && (!depth || store(target->depth, depthFormat));
        glBindFramebuffer(GL_FRAMEBUFFER, target->framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, target->colour);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth ? target->depth : 0);
        const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        // Storage that could not be had leaves an empty renderbuffer and GL_OUT_OF_MEMORY.
        return complete && stored;
    };
    if (m_nSamples == 1 && m_pShown) {
        glDeleteFramebuffers(1, &m_pShown->framebuffer);
        glDeleteRenderbuffers(1, &m_pShown->colour);
        glDeleteRenderbuffers(1, &m_pShown->depth);
        m_pShown.reset();
    }
    return make(m_pStill, m_nSamples, true) && make(m_pWork, m_nSamples, true) &&
           (m_nSamples == 1 || make(m_pShown, 1, false));
}

void CFrameCache::DrawStill(SceneState& state, Backdrop backdrop)
{
    glBindFramebuffer(GL_FRAMEBUFFER, m_pStill->framebuffer);
    const CUpsideDown upsideDown;
    if (!m_bShapesMade)
        DrawUnseenFrame(state, backdrop);
    m_bShapesMade = true;
    RenderStillParts(state, backdrop);
}

bool CFrameCache::Draw(SceneState& state, Backdrop backdrop, int width, int height)
{
    if (!m_bChecked) {
        m_bOffered = ExtensionOffered("GL_ARB_framebuffer_object") && ExtensionOffered("GL_ARB_copy_image");
        m_bChecked = true;
    }
    if (!m_bOffered || width <= 0 || height <= 0)
        return false;
    bool made = MakeTargets(width, height);
    if (!made && m_nSamples > 1) {
        // Several samples a pixel take as many times the memory: with one, frames are kept still.
        while (glGetError() != GL_NO_ERROR) {
        }
        DeleteTargets();
        m_pKey.reset();
        m_nSamplesWanted = 1;
        made = MakeTargets(width, height);
    }
    if (!made) {
        // No memory for them: the GL_OUT_OF_MEMORY is this one's, and whole frames need none.
        while (glGetError() != GL_NO_ERROR) {
        }
        Release();
        m_bChecked = true;
        m_bOffered = false;
        return false;
    }

    const StillKey key{state.m_fDistance,
                       state.m_fAngle,
                       state.m_fSpotDiffuse,
                       state.m_fSpotAmbient,
                       state.m_fSpotSpecular,
                       state.m_fSpotPosition,
                       state.m_fSpotDirection,
                       state.m_fSpotCutoff,
                       width,
                       height,
                       backdrop};
    const bool fresh = !m_pKey || !(*m_pKey == key) || m_nKeySamples != m_nSamples;
    m_nKeySamples = m_nSamples;
    if (fresh) {
        DrawStill(state, backdrop);
        m_pKey = std::make_unique<StillKey>(key);
    }
    FindChange(state, fresh, width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, m_pWork->framebuffer);
    DrawRegions(state, height);
    AdvanceFrameUnseen(state);
    if (m_pShown) {
        // The samples of the regions drawn averaged into the frame shown; elsewhere it holds
        // the last frame's, the same.
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_pWork->framebuffer);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_pShown->framebuffer);
        for (const FrameRect& r : m_regions) {
            const int y = height - r.y - r.height;  // the frame's rows are from the top
            glBlitFramebuffer(r.x, y, r.x + r.width, y + r.height, r.x, y, r.x + r.width, y + r.height,
                              GL_COLOR_BUFFER_BIT, GL_NEAREST);
        }
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return true;
}

namespace {

// The moving parts that draw anything within region, from where each draws.
MovingParts Within(const MovingPartRects& rects, const FrameRect& region)
{
    const auto touches = [&](const FrameRect& r) { return r.width > 0 && Overlap(r, region); };
    MovingParts parts;
    for (std::size_t c = 0; c < parts.bulbs.size(); ++c)
        for (std::size_t i = 0; i < parts.bulbs[c].size(); ++i)
            parts.bulbs[c][i] = touches(rects.bulbs[c][i]);
    for (std::size_t k = 0; k < parts.apples.size(); ++k) {
        parts.stems[k] = touches(rects.stems[k]);
        parts.apples[k] = touches(rects.apples[k]);
    }
    for (std::size_t k = 0; k < parts.flares.size(); ++k)
        parts.flares[k] = touches(rects.flares[k]);
    return parts;
}

}  // namespace

void CFrameCache::DrawRegions(const SceneState& state, int height) const
{
    // Outside the regions the last frame in the work buffers is this one already. In each,
    // the still parts, colour and depth, as they were drawn (a copy of the renderbuffers'
    // texels, to the bit on any driver), all copied before anything is drawn over them; then
    // the moving parts that reach into it, cut to it. A part that draws nothing there changes
    // nothing there, so each region is as the whole frame would be.
    for (const FrameRect& r : m_regions) {
        const int y = height - r.y - r.height;  // the frame's rows are from the top
        glCopyImageSubData(m_pStill->colour, GL_RENDERBUFFER, 0, r.x, y, 0, m_pWork->colour, GL_RENDERBUFFER, 0, r.x, y,
                           0, r.width, r.height, 1);
        glCopyImageSubData(m_pStill->depth, GL_RENDERBUFFER, 0, r.x, y, 0, m_pWork->depth, GL_RENDERBUFFER, 0, r.x, y,
                           0, r.width, r.height, 1);
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
        for (const FrameRect& r : m_regions) {
            glScissor(r.x, height - r.y - r.height, r.width, r.height);
            DrawMovingParts(state, m_change.whole ? MovingParts::All() : Within(m_partRects, r));
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
        const std::vector<FrameRect> changed = MovingPartsChanged(m_shown, now, modelView, projection, viewport);
        m_change.parts = TilesTouched(changed, width, height);
        m_regions = DisjointRegions(changed, kRegionSlack);
        m_partRects = WhereMovingPartsDraw(now, modelView, projection, viewport);
    }
    m_shown = now;
}

void CFrameCache::CopyToDefaultFramebuffer(const std::vector<FrameRect>& parts) const
{
    if (!m_pKey)
        return;
    const int height = m_pWork->height;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, Shown().framebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    // Turned the right way up on the way: for Mesa, whose window keeps its rows from the top as
    // the frame was drawn, a plain copy.
    for (const FrameRect& p : parts)
        glBlitFramebuffer(p.x, height - p.y, p.x + p.width, height - p.y - p.height, p.x, p.y, p.x + p.width,
                          p.y + p.height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

std::vector<std::uint8_t> CFrameCache::ReadPixels(int channels) const
{
    const int width = m_pWork->width, height = m_pWork->height;
    const std::size_t row = static_cast<std::size_t>(width) * channels;
    std::vector<std::uint8_t> upsideDown(row * height);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, Shown().framebuffer);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, channels == 4 ? GL_RGBA : GL_RGB, GL_UNSIGNED_BYTE, upsideDown.data());
    glPopClientAttrib();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    std::vector<std::uint8_t> pixels(upsideDown.size());
    for (int y = 0; y < height; ++y)
        std::memcpy(&pixels[static_cast<std::size_t>(y) * row],
                    &upsideDown[static_cast<std::size_t>(height - 1 - y) * row], row);
    return pixels;
}

void CFrameCache::Invalidate()
{
    m_bChecked = false;
    m_bOffered = false;
    m_bShapesMade = false;
    m_pStill.reset();
    m_pWork.reset();
    m_pShown.reset();
    m_pKey.reset();
    m_change = {};
    m_regions.clear();
}

void CFrameCache::DeleteTargets()
{
    for (auto* target : {&m_pStill, &m_pWork, &m_pShown}) {
        if (!*target)
            continue;
        glDeleteFramebuffers(1, &(*target)->framebuffer);
        glDeleteRenderbuffers(1, &(*target)->colour);
        glDeleteRenderbuffers(1, &(*target)->depth);
        target->reset();
    }
}

void CFrameCache::Release()
{
    DeleteTargets();
    Invalidate();
}

void CFrameCache::Forget()
{
    Invalidate();
}
