// glGenFramebuffers and the rest (GL_ARB_framebuffer_object), glGetInternalformativ
// (GL_ARB_internalformat_query), asked for before use.
#include "core/gl_api.h"
#include "view/frame_targets.h"

#include "view/gl_query.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

void Delete(std::unique_ptr<FrameTarget>& target)
{
    if (!target)
        return;
    glDeleteFramebuffers(1, &target->framebuffer);
    glDeleteRenderbuffers(1, &target->colour);
    glDeleteRenderbuffers(1, &target->depth);
    target.reset();
}

// target made or made again for width x height and samples, with or without depth. False
// when its storage could not be had (an empty renderbuffer and GL_OUT_OF_MEMORY) or it is not
// complete.
bool MakeTarget(std::unique_ptr<FrameTarget>& target, int width, int height, int samples, bool depth)
{
    if (target && target->width == width && target->height == height && target->samples == samples)
        return true;
    if (!target) {
        target = std::make_unique<FrameTarget>();
        glGenFramebuffers(1, &target->framebuffer);
        glGenRenderbuffers(1, &target->colour);
        glGenRenderbuffers(1, &target->depth);
    }
    target->width = width;
    target->height = height;
    target->samples = samples;
    // The depth buffer as precise as the context's own, so that depths compare as in a whole
    // frame.
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    const GLenum depthFormat = depthBits > 24   ? GL_DEPTH_COMPONENT32
                               : depthBits > 16 ? GL_DEPTH_COMPONENT24
                                                : GL_DEPTH_COMPONENT16;
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
    return complete && stored;
}

}  // namespace

int NearestSamples(int wanted)
{
    if (wanted <= 1 || !GlExtensionOffered("GL_ARB_framebuffer_object"))
        return 1;
    GLint most = 1;
    glGetIntegerv(GL_MAX_SAMPLES, &most);
    // The counts the driver takes for colour, from the most down; without the query, every
    // count up to the most.
    std::vector<GLint> counts;
    if (GlExtensionOffered("GL_ARB_internalformat_query")) {
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

bool CFrameTargets::Make(int width, int height, int samples)
{
    // With one sample the frame is read straight from the work target: no average is kept.
    if (samples == 1)
        Delete(m_pShown);
    return MakeTarget(m_pStill, width, height, samples, true) && MakeTarget(m_pWork, width, height, samples, true) &&
           (samples == 1 || MakeTarget(m_pShown, width, height, 1, false));
}

void CFrameTargets::Release()
{
    Delete(m_pStill);
    Delete(m_pWork);
    Delete(m_pShown);
}
