// The floor a frame is measured against: the very triangles one frame sends, with their
// normals, texture coordinates and colours, drawn from one vertex buffer in as few draw calls
// as the frame's state changes allow. Everything else the frame sends (matrices, lights,
// materials, enables, attribute pushes) is replayed as it was sent, in the same order.
#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <cstdio>
#include <vector>

struct FloorVertex {
    GLfloat position[3];
    GLfloat normal[3];
    GLfloat texCoord[2];
    GLfloat colour[4];
};

// One call of the frame, in the order sent. A Draw step stands for one or more glBegin/glEnd
// runs of the same primitive that nothing else separated.
struct FloorStep {
    enum Kind : std::uint32_t {
        Draw,   // a = mode, b = the arrays it reads (FloorArrays)
        Clear,  // a = mask
        PushMatrix,
        PopMatrix,
        Translate,   // v[0..2]
        Rotate,      // v[0..3]
        Light,       // a = light, b = parameter, v = values
        Material,    // a = face, b = parameter, v = values
        Enable,      // a = capability
        Disable,     // a = capability
        PushAttrib,  // a = mask
        PopAttrib,
        Finish,
    };
    Kind kind;
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    std::uint32_t firstRun = 0;  // Draw: its runs are m_runs[firstRun, firstRun + runCount)
    std::uint32_t runCount = 0;
    GLfloat v[4] = {};
};

// What a draw reads besides positions: normals while lit, colours while not, texture
// coordinates while texturing.
enum FloorArrays : std::uint32_t {
    kFloorNormals = 1,
    kFloorColours = 2,
    kFloorTexCoords = 4,
};

struct FloorRun {
    GLint first;
    GLsizei count;
};

struct FloorFrame {
    std::vector<FloorStep> steps;
    std::vector<FloorRun> runs;
    std::vector<FloorVertex> vertices;

    // Binary form passed from the capturing process: three counts, then the three arrays.
    bool Write(std::FILE* out) const;
    bool Read(std::FILE* in);
    // Draw calls a replay makes.
    std::size_t DrawCalls() const;
};

// Draws a captured frame from a vertex buffer in the current context. Made once the
// context is current; the buffer is deleted with the object.
class CFloorRenderer {
public:
    explicit CFloorRenderer(const FloorFrame& frame);
    ~CFloorRenderer();
    CFloorRenderer(const CFloorRenderer&) = delete;
    CFloorRenderer& operator=(const CFloorRenderer&) = delete;
    void Draw() const;

private:
    const FloorFrame& m_frame;
    GLuint m_buffer = 0;
    std::vector<GLint> m_firsts;  // all runs' firsts and counts, for glMultiDrawArrays
    std::vector<GLsizei> m_counts;
};
