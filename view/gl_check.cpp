#include "view/gl_check.h"

#include <GL/glu.h>

#include <algorithm>

namespace {

// GL keeps at most one flag per kind of error; a lost context may report without end.
constexpr int kMaxPendingErrors = 16;

}  // namespace

int CGlErrorCheck::Check(const char* where, std::FILE* out)
{
    int pending = 0;
    for (GLenum error = glGetError(); error != GL_NO_ERROR && pending < kMaxPendingErrors; error = glGetError()) {
        ++pending;
        if (std::find(m_reported.begin(), m_reported.end(), error) != m_reported.end())
            continue;
        m_reported.push_back(error);
        const auto* words = reinterpret_cast<const char*>(gluErrorString(error));
        std::fprintf(out, "lumetta: OpenGL error 0x%04x (%s) %s; further errors of this kind are not reported\n",
                     static_cast<unsigned>(error), words ? words : "unknown error", where);
    }
    return pending;
}
