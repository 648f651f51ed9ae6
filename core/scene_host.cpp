#include "core/scene_host.h"

#include <cstdio>
#include <cstdlib>

namespace {
CSceneHost* g_pHost = nullptr;
}  // namespace

void SetSceneHost(CSceneHost* host)
{
    g_pHost = host;
}

void FatalSceneError(const std::string& text, const std::string& caption, MessageOwner owner, bool destroyView)
{
    if (g_pHost) {
        g_pHost->ShowMessage(text, caption, owner);
        if (destroyView)
            g_pHost->DestroyView();
    } else {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    }
    std::exit(1);
}
