#include "view/gl_check.h"

#include "core/gl_api.h"

#include <algorithm>

namespace {

// GL keeps at most one flag per kind of error; a lost context may report without end.
constexpr std::size_t kMaxPendingErrors = 16;

}  // namespace

int CGlErrorCheck::Check(const char* where, std::FILE* out)
{
    const std::vector<GLenum> errors = TakePending();
    Report(errors, where, out);
    return static_cast<int>(errors.size());
}

std::vector<GLenum> CGlErrorCheck::TakePending()
{
    std::vector<GLenum> errors;
    for (GLenum error = glGetError(); error != GL_NO_ERROR && errors.size() < kMaxPendingErrors; error = glGetError())
        errors.push_back(error);
    return errors;
}

void CGlErrorCheck::Report(const std::vector<GLenum>& errors, const char* where, std::FILE* out)
{
    for (const GLenum error : errors) {
        if (std::find(m_reported.begin(), m_reported.end(), error) != m_reported.end())
            continue;
        m_reported.push_back(error);
        const auto* words = reinterpret_cast<const char*>(gluErrorString(error));
        std::fprintf(out, "lumetta: OpenGL error 0x%04x (%s) %s; further errors of this kind are not reported\n",
                     static_cast<unsigned>(error), words ? words : "unknown error", where);
    }
}
