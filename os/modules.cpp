#include "os/modules.h"

#include <dlfcn.h>
#include <unistd.h>

std::string ProgramPath()
{
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    return length > 0 ? std::string(self, static_cast<std::size_t>(length)) : std::string();
}

std::string ProgramFolder()
{
    std::string folder = ProgramPath();
    const auto slash = folder.rfind('/');
    return slash == std::string::npos ? std::string() : folder.erase(slash);
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
