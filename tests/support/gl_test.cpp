#include "tests/support/gl_test.h"

#include "os/headless_context.h"
#include "view/scene.h"

#include <EGL/egl.h>
#include <GL/glu.h>

#include <algorithm>
#include <memory>
#include <ostream>

namespace {

// clang-format off
const GLenum kTrackedEnables[] = {
    GL_LIGHTING, GL_LIGHT0, GL_LIGHT1,  GL_LIGHT2,   GL_TEXTURE_2D,     GL_BLEND,
    GL_DEPTH_TEST, GL_NORMALIZE, GL_CULL_FACE, GL_COLOR_MATERIAL, GL_ALPHA_TEST,
};
// clang-format on

const GLenum kMaterialParams[] = {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_EMISSION};

class GlEnvironment;
GlEnvironment* g_pEnvironment = nullptr;

class GlEnvironment : public ::testing::Environment {
public:
    // The context is made current when made; what EGL then holds current is kept for later.
    bool MakeCurrent() { return m_context && eglMakeCurrent(m_display, m_draw, m_read, m_current) == EGL_TRUE; }
    void SetUp() override
    {
        m_context = std::make_unique<CHeadlessContext>(500, 500);
        ASSERT_TRUE(m_context->Ok()) << m_context->Error();
        m_display = eglGetCurrentDisplay();
        m_draw = eglGetCurrentSurface(EGL_DRAW);
        m_read = eglGetCurrentSurface(EGL_READ);
        m_current = eglGetCurrentContext();
        ResetGlToSceneBaseline();
    }
    void TearDown() override { m_context.reset(); }

private:
    std::unique_ptr<CHeadlessContext> m_context;
    EGLDisplay m_display = EGL_NO_DISPLAY;
    EGLSurface m_draw = EGL_NO_SURFACE;
    EGLSurface m_read = EGL_NO_SURFACE;
    EGLContext m_current = EGL_NO_CONTEXT;
};

constexpr float kFeedbackExtent = 40.0f;
constexpr int kFeedbackViewport = 4000;
constexpr std::size_t kFeedbackFloats = std::size_t{1} << 22;

FeedbackVertex ReadVertex(const std::vector<GLfloat>& buf, std::size_t& i, bool withTexture)
{
    FeedbackVertex v;
    const float scale = 2.0f * kFeedbackExtent / kFeedbackViewport;
    v.x = buf[i++] * scale - kFeedbackExtent;
    v.y = buf[i++] * scale - kFeedbackExtent;
    v.z = kFeedbackExtent * (1.0f - 2.0f * buf[i++]);
    v.r = buf[i++];
    v.g = buf[i++];
    v.b = buf[i++];
    v.a = buf[i++];
    if (withTexture) {
        v.s = buf[i++];
        v.t = buf[i++];
        i += 2;  // r and q
    }
    return v;
}

}  // namespace

void AddGlTestEnvironment()
{
    g_pEnvironment = new GlEnvironment;
    ::testing::AddGlobalTestEnvironment(g_pEnvironment);
}

void MakeGlTestContextCurrent()
{
    ASSERT_TRUE(g_pEnvironment && g_pEnvironment->MakeCurrent());
}

void ResetGlToSceneBaseline()
{
    SetupFixedState();
    SetupLight0();
    SetupProjection(500, 500);
    while (glGetError() != GL_NO_ERROR) {
    }
}

GlState GlState::Capture()
{
    GlState s;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &s.stackDepths[0]);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &s.stackDepths[1]);
    glGetIntegerv(GL_TEXTURE_STACK_DEPTH, &s.stackDepths[2]);
    glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &s.attribDepth);
    glGetIntegerv(GL_CLIENT_ATTRIB_STACK_DEPTH, &s.clientAttribDepth);
    glGetIntegerv(GL_MATRIX_MODE, &s.matrixMode);
    glGetFloatv(GL_MODELVIEW_MATRIX, s.modelView.data());
    for (GLenum cap : kTrackedEnables)
        s.enables.push_back(glIsEnabled(cap));
    for (GLenum face : {GL_FRONT, GL_BACK}) {
        for (GLenum param : kMaterialParams) {
            GLfloat c[4];
            glGetMaterialfv(face, param, c);
            s.material.insert(s.material.end(), c, c + 4);
        }
        GLfloat shininess;
        glGetMaterialfv(face, GL_SHININESS, &shininess);
        s.material.push_back(shininess);
    }
    glGetIntegerv(GL_BLEND_SRC, &s.blendFunc[0]);
    glGetIntegerv(GL_BLEND_DST, &s.blendFunc[1]);
    return s;
}

std::ostream& operator<<(std::ostream& os, const GlState& s)
{
    os << "stacks " << s.stackDepths[0] << "/" << s.stackDepths[1] << "/" << s.stackDepths[2] << ", attrib "
       << s.attribDepth << ", client attrib " << s.clientAttribDepth << ", matrix mode 0x" << std::hex << s.matrixMode
       << std::dec << ", enables";
    for (GLboolean e : s.enables)
        os << ' ' << int(e);
    os << ", material";
    for (GLfloat m : s.material)
        os << ' ' << m;
    os << ", modelview";
    for (GLfloat m : s.modelView)
        os << ' ' << m;
    return os;
}

void WithLightAlongZ(const std::function<void()>& draw)
{
    glPushAttrib(GL_LIGHTING_BIT | GL_ENABLE_BIT);
    GLint lights;
    glGetIntegerv(GL_MAX_LIGHTS, &lights);
    for (GLint i = 0; i < lights; ++i)
        glDisable(GL_LIGHT0 + i);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_NORMALIZE);
    glDisable(GL_COLOR_MATERIAL);
    const GLfloat black[] = {0.0f, 0.0f, 0.0f, 1.0f};
    const GLfloat white[] = {1.0f, 1.0f, 1.0f, 1.0f};
    const GLfloat alongZ[] = {0.0f, 0.0f, 1.0f, 0.0f};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_FALSE);
    glLightfv(GL_LIGHT0, GL_AMBIENT, black);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_SPECULAR, black);
    glLightfv(GL_LIGHT0, GL_POSITION, alongZ);
    glLightf(GL_LIGHT0, GL_SPOT_CUTOFF, 180.0f);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, black);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, black);
    draw();
    glPopAttrib();
}

void ExpectNoGlError(const char* where)
{
    for (GLenum err; (err = glGetError()) != GL_NO_ERROR;)
        ADD_FAILURE() << "GL error 0x" << std::hex << err << std::dec << " " << where;
}

void ExpectLeavesGlStateAsFound(const std::function<void()>& draw)
{
    ExpectNoGlError("before drawing");
    const GlState before = GlState::Capture();
    draw();
    ExpectNoGlError("after drawing");
    EXPECT_EQ(GlState::Capture(), before);
}

OrthoView::OrthoView(double extent, int side)
{
    glGetIntegerv(GL_VIEWPORT, m_viewport);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-extent, extent, -extent, extent, -extent, extent);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glViewport(0, 0, side, side);
}

OrthoView::~OrthoView()
{
    glViewport(m_viewport[0], m_viewport[1], m_viewport[2], m_viewport[3]);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

std::pair<int, int> PixelAtStartCamera(double x, double y, double z)
{
    GLdouble model[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -27.0, 1}, proj[16], wx, wy, wz;
    GLint viewport[4];
    glGetDoublev(GL_PROJECTION_MATRIX, proj);
    glGetIntegerv(GL_VIEWPORT, viewport);
    gluProject(x, y, z, model, proj, viewport, &wx, &wy, &wz);
    return {static_cast<int>(wx), static_cast<int>(wy)};
}

std::vector<FeedbackPolygon> CaptureFeedback(const std::function<void()>& draw, bool withTexture)
{
    const OrthoView view(kFeedbackExtent, kFeedbackViewport);

    // Room for a whole frame; drawing again after an overflow would repeat its side effects.
    std::vector<GLfloat> buf(kFeedbackFloats);
    glFeedbackBuffer(static_cast<GLsizei>(buf.size()), withTexture ? GL_3D_COLOR_TEXTURE : GL_3D_COLOR, buf.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint used = glRenderMode(GL_RENDER);
    EXPECT_GE(used, 0) << "feedback buffer overflow";

    const std::size_t vertexFloats = withTexture ? 11 : 7;
    std::vector<FeedbackPolygon> polygons;
    for (std::size_t i = 0; i < static_cast<std::size_t>(std::max(used, 0));) {
        const GLint token = static_cast<GLint>(buf[i++]);
        if (token == GL_POLYGON_TOKEN) {
            const int n = static_cast<int>(buf[i++]);
            FeedbackPolygon p;
            for (int k = 0; k < n; ++k)
                p.push_back(ReadVertex(buf, i, withTexture));
            polygons.push_back(std::move(p));
        } else if (token == GL_POINT_TOKEN || token == GL_BITMAP_TOKEN || token == GL_DRAW_PIXEL_TOKEN ||
                   token == GL_COPY_PIXEL_TOKEN) {
            i += vertexFloats;
        } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            i += 2 * vertexFloats;
        } else if (token == GL_PASS_THROUGH_TOKEN) {
            i += 1;
        } else {
            ADD_FAILURE() << "unknown feedback token " << token;
            break;
        }
    }

    return polygons;
}

std::vector<FeedbackPolygon> JoinQuads(const std::vector<FeedbackPolygon>& triangles)
{
    auto same = [](const FeedbackVertex& p, const FeedbackVertex& q) {
        return p.x == q.x && p.y == q.y && p.z == q.z && p.s == q.s && p.t == q.t;
    };
    std::vector<FeedbackPolygon> quads;
    if (triangles.size() % 2 != 0) {
        ADD_FAILURE() << triangles.size() << " triangles cannot pair into quads";
        return quads;
    }
    for (std::size_t i = 0; i < triangles.size(); i += 2) {
        const FeedbackPolygon& first = triangles[i];
        const FeedbackPolygon& second = triangles[i + 1];
        if (first.size() != 3 || second.size() != 3 || !same(first[1], second[0]) || !same(first[2], second[2])) {
            ADD_FAILURE() << "triangles " << i << " and " << i + 1 << " are not the two halves of one quad";
            return {};
        }
        quads.push_back({first[0], first[1], second[1], first[2]});
    }
    return quads;
}
