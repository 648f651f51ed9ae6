// OpenGL as the scene calls it: 1.1 and GLU, and the later functions that keep frames in
// framebuffer objects and blend a transparent picture's alpha apart. Linux's libGL exports
// them all. Windows' opengl32 exports 1.1 alone, and the rest are the driver's, found once a
// context is current (LoadGlFunctions); until then, and where the driver lacks one, the
// scene asks for the extension first and does without.
#pragma once

#ifdef _WIN32
// GL's headers need a few of windows.h's macros and would include all of windows.h for them,
// whose PixelRect and key macros clash with the scene's names; these are the same macros,
// word for word, so that windows.h may still come before or after.
#ifndef WINAPI
#define WINAPI __stdcall
#endif
#ifndef APIENTRY
#define APIENTRY WINAPI
#endif
#ifndef DECLSPEC_IMPORT
#define DECLSPEC_IMPORT __declspec(dllimport)
#endif
#ifndef WINGDIAPI
#define WINGDIAPI DECLSPEC_IMPORT
#endif
#ifndef CALLBACK
#define CALLBACK __stdcall
#endif
#else
#define GL_GLEXT_PROTOTYPES 1
#endif

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#ifdef _WIN32
#define LUMETTA_GL_LATER_FUNCTIONS(X)                                    \
    X(PFNGLBINDFRAMEBUFFERPROC, glBindFramebuffer)                       \
    X(PFNGLBINDRENDERBUFFERPROC, glBindRenderbuffer)                     \
    X(PFNGLBLENDFUNCSEPARATEPROC, glBlendFuncSeparate)                   \
    X(PFNGLBLITFRAMEBUFFERPROC, glBlitFramebuffer)                       \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, glCheckFramebufferStatus)         \
    X(PFNGLCOPYIMAGESUBDATAPROC, glCopyImageSubData)                     \
    X(PFNGLDELETEFRAMEBUFFERSPROC, glDeleteFramebuffers)                 \
    X(PFNGLDELETERENDERBUFFERSPROC, glDeleteRenderbuffers)               \
    X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, glFramebufferRenderbuffer)       \
    X(PFNGLGENFRAMEBUFFERSPROC, glGenFramebuffers)                       \
    X(PFNGLGENRENDERBUFFERSPROC, glGenRenderbuffers)                     \
    X(PFNGLGETINTERNALFORMATIVPROC, glGetInternalformativ)               \
    X(PFNGLGETRENDERBUFFERPARAMETERIVPROC, glGetRenderbufferParameteriv) \
    X(PFNGLRENDERBUFFERSTORAGEPROC, glRenderbufferStorage)               \
    X(PFNGLRENDERBUFFERSTORAGEMULTISAMPLEPROC, glRenderbufferStorageMultisample)

#define LUMETTA_GL_DECLARE(type, name) extern type lumetta_##name;
LUMETTA_GL_LATER_FUNCTIONS(LUMETTA_GL_DECLARE)
#undef LUMETTA_GL_DECLARE

#define glBindFramebuffer lumetta_glBindFramebuffer
#define glBindRenderbuffer lumetta_glBindRenderbuffer
#define glBlendFuncSeparate lumetta_glBlendFuncSeparate
#define glBlitFramebuffer lumetta_glBlitFramebuffer
#define glCheckFramebufferStatus lumetta_glCheckFramebufferStatus
#define glCopyImageSubData lumetta_glCopyImageSubData
#define glDeleteFramebuffers lumetta_glDeleteFramebuffers
#define glDeleteRenderbuffers lumetta_glDeleteRenderbuffers
#define glFramebufferRenderbuffer lumetta_glFramebufferRenderbuffer
#define glGenFramebuffers lumetta_glGenFramebuffers
#define glGenRenderbuffers lumetta_glGenRenderbuffers
#define glGetInternalformativ lumetta_glGetInternalformativ
#define glGetRenderbufferParameteriv lumetta_glGetRenderbufferParameteriv
#define glRenderbufferStorage lumetta_glRenderbufferStorage
#define glRenderbufferStorageMultisample lumetta_glRenderbufferStorageMultisample
#endif

// With a context current: finds the later functions in its driver. False when any is missing;
// the extensions that would offer it are then not offered either. Always true on Linux.
bool LoadGlFunctions();
