#include "os/modules.h"

#include <dlfcn.h>
#include <unistd.h>

std::string ProgramFolder()
{
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return {};
    std::string folder(self, static_cast<std::size_t>(length));
    folder.erase(folder.rfind('/'));
    return folder;
}

void* LoadModuleEntry(const char* file, const char* entry, std::string& error)
{
    const std::string folder = ProgramFolder();
    const std::string installed = folder + "/" LUMETTA_MODULE_FROM_BIN;
    for (const std::string& place : {folder, installed}) {
        const std::string path = place + "/" + file;
        if (::access(path.c_str(), F_OK) != 0)
            continue;
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        void* symbol = module ? ::dlsym(module, entry) : nullptr;
        if (!symbol)
            error = std::string("cannot load ") + file + ": " + ::dlerror();
        return symbol;
    }
    error = std::string(file) + " is in neither " + folder + " nor " + installed;
    return nullptr;
}
