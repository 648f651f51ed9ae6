#include "core/scene_host.h"

#include <cstdio>
#include <cstdlib>

namespace {
CSceneHost* g_pHost = nullptr;
void (*g_pFatalCleanup)() = nullptr;
}  // namespace

void SetSceneHost(CSceneHost* host)
{
    g_pHost = host;
}

void SetFatalCleanup(void (*cleanup)())
{
    g_pFatalCleanup = cleanup;
}

void FatalSceneError(const std::string& text, const std::string& caption, MessageOwner owner, bool destroyView,
                     const std::string& reason)
{
    if (!reason.empty() || !g_pHost)
        std::fprintf(stderr, "lumetta: %s\n", reason.empty() ? text.c_str() : reason.c_str());
    if (g_pHost) {
        g_pHost->ShowMessage(text, caption, owner);
        if (destroyView)
            g_pHost->DestroyView();
    }
    if (void (*cleanup)() = g_pFatalCleanup) {
        g_pFatalCleanup = nullptr;
        cleanup();
    }
    std::exit(1);
}
