// Captures one frame of the scene, as the benchmark's frame draws it, for the floor: this
// program defines the GL entry points the frame uses (GLU's sphere code included, as the
// executable exports them), passes every call on to the driver and, while one frame is
// drawn, records what was sent. Writes the recording to standard output.
// A program of its own, so that the benchmark's frame never passes through these wrappers.
#include "os/headless_context.h"
#include "bench/floor.h"
#include "tests/support/shape_hooks.h"
#include "view/scene.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

FloorFrame g_frame;
bool g_bRecording = false;
bool g_bInside = false;  // between glBegin and glEnd
GLenum g_mode = 0;
std::size_t g_runStart = 0;
bool g_bLighting = false;
bool g_bTexturing = false;
FloorVertex g_current = {{0, 0, 0}, {0, 0, 1}, {0, 0}, {1, 1, 1, 1}};

template <typename F>
F Real(const char* name)
{
    void* p = dlsym(RTLD_NEXT, name);
    if (!p) {
        std::fprintf(stderr, "lumetta_floor_capture: no %s in the GL library\n", name);
        std::exit(1);
    }
    return reinterpret_cast<F>(p);
}

#define FORWARD(name, ...)                                 \
    static const auto real = Real<decltype(&name)>(#name); \
    real(__VA_ARGS__)

void Step(FloorStep::Kind kind, GLenum a = 0, GLenum b = 0, const GLfloat* v = nullptr, int n = 0)
{
    if (!g_bRecording)
        return;
    if (g_bInside) {
        std::fprintf(stderr, "lumetta_floor_capture: state call inside glBegin/glEnd\n");
        std::exit(1);
    }
    FloorStep s{kind, a, b};
    for (int i = 0; i < n; ++i)
        s.v[i] = v[i];
    g_frame.steps.push_back(s);
}

// Integers and doubles become floats, as the driver makes them.
template <typename T>
void Vertex(T x, T y, T z)
{
    if (!g_bRecording)
        return;
    FloorVertex v = g_current;
    v.position[0] = static_cast<GLfloat>(x);
    v.position[1] = static_cast<GLfloat>(y);
    v.position[2] = static_cast<GLfloat>(z);
    g_frame.vertices.push_back(v);
}

template <typename T>
void Normal(T x, T y, T z)
{
    g_current.normal[0] = static_cast<GLfloat>(x);
    g_current.normal[1] = static_cast<GLfloat>(y);
    g_current.normal[2] = static_cast<GLfloat>(z);
}

void Colour(GLfloat r, GLfloat g, GLfloat b, GLfloat a)
{
    const GLfloat c[] = {r, g, b, a};
    std::memcpy(g_current.colour, c, sizeof c);
}

// Runs of independent triangles or quads merge into one; strips and fans of the same kind
// gather into one multi-draw.
void EndRun()
{
    const auto first = static_cast<GLint>(g_runStart);
    const auto count = static_cast<GLsizei>(g_frame.vertices.size() - g_runStart);
    if (count == 0)
        return;
    const std::uint32_t arrays = (g_bLighting ? kFloorNormals : kFloorColours) | (g_bTexturing ? kFloorTexCoords : 0u);
    FloorStep* last = g_frame.steps.empty() ? nullptr : &g_frame.steps.back();
    if (last && last->kind == FloorStep::Draw && last->a == g_mode && last->b == arrays) {
        FloorRun& previous = g_frame.runs.back();
        if ((g_mode == GL_TRIANGLES || g_mode == GL_QUADS) && previous.first + previous.count == first)
            previous.count += count;
        else {
            g_frame.runs.push_back({first, count});
            ++last->runCount;
        }
        return;
    }
    FloorStep s{FloorStep::Draw, g_mode, arrays};
    s.firstRun = static_cast<std::uint32_t>(g_frame.runs.size());
    s.runCount = 1;
    g_frame.steps.push_back(s);
    g_frame.runs.push_back({first, count});
}

// Whether lighting and texturing are on, as GL has them after each change.
void NoteEnables()
{
    static const auto isEnabled = Real<decltype(&glIsEnabled)>("glIsEnabled");
    g_bLighting = isEnabled(GL_LIGHTING);
    g_bTexturing = isEnabled(GL_TEXTURE_2D);
}

int LightValues(GLenum pname)
{
    switch (pname) {
    // clang-format off
    case GL_SPOT_DIRECTION: return 3;
    case GL_SPOT_EXPONENT:
    case GL_SPOT_CUTOFF:
    case GL_CONSTANT_ATTENUATION:
    case GL_LINEAR_ATTENUATION:
    case GL_QUADRATIC_ATTENUATION: return 1;
    default: return 4;
        // clang-format on
    }
}

}  // namespace

extern "C" {

void glBegin(GLenum mode)
{
    if (g_bRecording) {
        g_bInside = true;
        g_mode = mode;
        g_runStart = g_frame.vertices.size();
    }
    FORWARD(glBegin, mode);
}
void glEnd()
{
    if (g_bRecording) {
        g_bInside = false;
        EndRun();
    }
    FORWARD(glEnd);
}
// One-line wrappers, one to a line, like the table of GL entry points they are.
// clang-format off
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { Vertex(x, y, z); FORWARD(glVertex3f, x, y, z); }
void glVertex3fv(const GLfloat* v) { Vertex(v[0], v[1], v[2]); FORWARD(glVertex3fv, v); }
void glVertex3i(GLint x, GLint y, GLint z) { Vertex(x, y, z); FORWARD(glVertex3i, x, y, z); }
void glVertex3d(GLdouble x, GLdouble y, GLdouble z) { Vertex(x, y, z); FORWARD(glVertex3d, x, y, z); }
void glVertex3dv(const GLdouble* v) { Vertex(v[0], v[1], v[2]); FORWARD(glVertex3dv, v); }
void glNormal3f(GLfloat x, GLfloat y, GLfloat z) { Normal(x, y, z); FORWARD(glNormal3f, x, y, z); }
void glNormal3fv(const GLfloat* v) { Normal(v[0], v[1], v[2]); FORWARD(glNormal3fv, v); }
void glNormal3d(GLdouble x, GLdouble y, GLdouble z) { Normal(x, y, z); FORWARD(glNormal3d, x, y, z); }
void glNormal3dv(const GLdouble* v) { Normal(v[0], v[1], v[2]); FORWARD(glNormal3dv, v); }
void glTexCoord2f(GLfloat s, GLfloat t)
{
    g_current.texCoord[0] = s;
    g_current.texCoord[1] = t;
    FORWARD(glTexCoord2f, s, t);
}
void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) { Colour(r, g, b, a); FORWARD(glColor4f, r, g, b, a); }
void glColor4fv(const GLfloat* c) { Colour(c[0], c[1], c[2], c[3]); FORWARD(glColor4fv, c); }
void glColor3f(GLfloat r, GLfloat g, GLfloat b) { Colour(r, g, b, 1.0f); FORWARD(glColor3f, r, g, b); }

void glClear(GLbitfield mask) { Step(FloorStep::Clear, mask); FORWARD(glClear, mask); }
void glPushMatrix() { Step(FloorStep::PushMatrix); FORWARD(glPushMatrix); }
void glPopMatrix() { Step(FloorStep::PopMatrix); FORWARD(glPopMatrix); }
void glTranslatef(GLfloat x, GLfloat y, GLfloat z)
{
    const GLfloat v[] = {x, y, z};
    Step(FloorStep::Translate, 0, 0, v, 3);
    FORWARD(glTranslatef, x, y, z);
}
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    const GLfloat v[] = {angle, x, y, z};
    Step(FloorStep::Rotate, 0, 0, v, 4);
    FORWARD(glRotatef, angle, x, y, z);
}
void glLightf(GLenum light, GLenum pname, GLfloat param)
{
    Step(FloorStep::Light, light, pname, &param, 1);
    FORWARD(glLightf, light, pname, param);
}
void glLightfv(GLenum light, GLenum pname, const GLfloat* params)
{
    Step(FloorStep::Light, light, pname, params, LightValues(pname));
    FORWARD(glLightfv, light, pname, params);
}
void glMaterialf(GLenum face, GLenum pname, GLfloat param)
{
    Step(FloorStep::Material, face, pname, &param, 1);
    FORWARD(glMaterialf, face, pname, param);
}
void glMaterialfv(GLenum face, GLenum pname, const GLfloat* params)
{
    Step(FloorStep::Material, face, pname, params, pname == GL_SHININESS ? 1 : 4);
    FORWARD(glMaterialfv, face, pname, params);
}
void glEnable(GLenum cap)
{
    Step(FloorStep::Enable, cap);
    FORWARD(glEnable, cap);
    NoteEnables();
}
void glDisable(GLenum cap)
{
    Step(FloorStep::Disable, cap);
    FORWARD(glDisable, cap);
    NoteEnables();
}
void glPushAttrib(GLbitfield mask) { Step(FloorStep::PushAttrib, mask); FORWARD(glPushAttrib, mask); }
void glPopAttrib()
{
    Step(FloorStep::PopAttrib);
    FORWARD(glPopAttrib);
    NoteEnables();
}
void glFinish() { Step(FloorStep::Finish); FORWARD(glFinish); }
// clang-format on
void glCallList(GLuint list)
{
    if (g_bRecording) {
        std::fprintf(stderr, "lumetta_floor_capture: a display list was called while recording\n");
        std::exit(1);
    }
    FORWARD(glCallList, list);
}

}  // extern "C"

int main()
{
    CHeadlessContext context(64, 64);
    if (!context.Ok()) {
        std::fprintf(stderr, "lumetta_floor_capture: %s\n", context.Error().c_str());
        return 1;
    }
    // Shapes drawn as they are sent when their lists are made, so that their vertices pass here.
    SetShapeCacheBypass(true);
    CScene scene;
    scene.OnCreate();
    scene.OnCreateContext();
    scene.OnSize(64, 64);
    scene.State().m_bFlareSpin = 1;
    GLfloat colour[4], normal[3], texCoord[4];
    ::glGetFloatv(GL_CURRENT_COLOR, colour);
    ::glGetFloatv(GL_CURRENT_NORMAL, normal);
    ::glGetFloatv(GL_CURRENT_TEXTURE_COORDS, texCoord);
    Colour(colour[0], colour[1], colour[2], colour[3]);
    Normal(normal[0], normal[1], normal[2]);
    g_current.texCoord[0] = texCoord[0];
    g_current.texCoord[1] = texCoord[1];
    NoteEnables();
    g_bRecording = true;
    scene.OnDraw();
    g_bRecording = false;
    if (!g_frame.Write(stdout)) {
        std::fprintf(stderr, "lumetta_floor_capture: cannot write the recording\n");
        return 1;
    }
    return 0;
}
