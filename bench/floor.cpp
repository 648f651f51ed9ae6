#define GL_GLEXT_PROTOTYPES 1
#include "bench/floor.h"

#include <GL/glext.h>

#include <cstddef>
#include <utility>

namespace {

template <typename T>
bool WriteArray(std::FILE* out, const std::vector<T>& items)
{
    const std::uint64_t count = items.size();
    return std::fwrite(&count, sizeof count, 1, out) == 1 &&
           std::fwrite(items.data(), sizeof(T), items.size(), out) == items.size();
}

template <typename T>
bool ReadArray(std::FILE* in, std::vector<T>& items)
{
    std::uint64_t count = 0;
    if (std::fread(&count, sizeof count, 1, in) != 1 || count > (1u << 26))
        return false;
    items.resize(count);
    return std::fread(items.data(), sizeof(T), items.size(), in) == items.size();
}

// Turns on the arrays a draw reads and off those it does not, changing only what differs.
void EnableArrays(std::uint32_t wanted, std::uint32_t& enabled)
{
    for (const auto& [bit, array] :
         {std::pair{kFloorNormals, GL_NORMAL_ARRAY}, std::pair{kFloorColours, GL_COLOR_ARRAY},
          std::pair{kFloorTexCoords, GL_TEXTURE_COORD_ARRAY}}) {
        if ((wanted & bit) == (enabled & bit))
            continue;
        if (wanted & bit)
            glEnableClientState(array);
        else
            glDisableClientState(array);
    }
    enabled = wanted;
}

}  // namespace

bool FloorFrame::Write(std::FILE* out) const
{
    return WriteArray(out, steps) && WriteArray(out, runs) && WriteArray(out, vertices) && std::fflush(out) == 0;
}

bool FloorFrame::Read(std::FILE* in)
{
    return ReadArray(in, steps) && ReadArray(in, runs) && ReadArray(in, vertices);
}

std::size_t FloorFrame::DrawCalls() const
{
    std::size_t calls = 0;
    for (const FloorStep& step : steps)
        calls += step.kind == FloorStep::Draw;
    return calls;
}

CFloorRenderer::CFloorRenderer(const FloorFrame& frame) : m_frame(frame)
{
    for (const FloorRun& run : frame.runs) {
        m_firsts.push_back(run.first);
        m_counts.push_back(run.count);
    }
    glGenBuffers(1, &m_buffer);
    glBindBuffer(GL_ARRAY_BUFFER, m_buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(frame.vertices.size() * sizeof(FloorVertex)),
                 frame.vertices.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

CFloorRenderer::~CFloorRenderer()
{
    glDeleteBuffers(1, &m_buffer);
}

void CFloorRenderer::Draw() const
{
    constexpr GLsizei stride = sizeof(FloorVertex);
    const auto at = [](std::size_t offset) { return reinterpret_cast<const void*>(offset); };
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glBindBuffer(GL_ARRAY_BUFFER, m_buffer);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, at(offsetof(FloorVertex, position)));
    glNormalPointer(GL_FLOAT, stride, at(offsetof(FloorVertex, normal)));
    glTexCoordPointer(2, GL_FLOAT, stride, at(offsetof(FloorVertex, texCoord)));
    glColorPointer(4, GL_FLOAT, stride, at(offsetof(FloorVertex, colour)));

    std::uint32_t enabled = 0;
    for (const FloorStep& s : m_frame.steps) {
        switch (s.kind) {
        case FloorStep::Draw:
            EnableArrays(s.b, enabled);
            if (s.runCount == 1)
                glDrawArrays(s.a, m_firsts[s.firstRun], m_counts[s.firstRun]);
            else
                glMultiDrawArrays(s.a, &m_firsts[s.firstRun], &m_counts[s.firstRun], static_cast<GLsizei>(s.runCount));
            break;
        // clang-format off
        case FloorStep::Clear: glClear(s.a); break;
        case FloorStep::PushMatrix: glPushMatrix(); break;
        case FloorStep::PopMatrix: glPopMatrix(); break;
        case FloorStep::Translate: glTranslatef(s.v[0], s.v[1], s.v[2]); break;
        case FloorStep::Rotate: glRotatef(s.v[0], s.v[1], s.v[2], s.v[3]); break;
        case FloorStep::Light: glLightfv(s.a, s.b, s.v); break;
        case FloorStep::Material: glMaterialfv(s.a, s.b, s.v); break;
        case FloorStep::Enable: glEnable(s.a); break;
        case FloorStep::Disable: glDisable(s.a); break;
        case FloorStep::PushAttrib: glPushAttrib(s.a); break;
        case FloorStep::PopAttrib: glPopAttrib(); break;
        case FloorStep::Finish: glFinish(); break;
            // clang-format on
        }
    }

    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glPopClientAttrib();
}
