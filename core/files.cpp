#include "core/files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

std::FILE* OpenRegularFile(const char* path, std::string& reason)
{
    struct stat info;
    // stat first, so that no device is even opened; then the opened file is checked again,
    // in case the name was changed in between.
    if (::stat(path, &info) != 0) {
        reason = std::strerror(errno);
        return nullptr;
    }
    const auto notRegular = [&](const struct stat& s) {
        reason = S_ISDIR(s.st_mode) ? std::strerror(EISDIR) : "not a regular file";
        return nullptr;
    };
    if (!S_ISREG(info.st_mode))
        return notRegular(info);
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        reason = std::strerror(errno);
        return nullptr;
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return notRegular(info);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) {
        reason = std::strerror(errno);
        ::close(fd);
    }
    return file;
}

std::string CurrentFolder()
{
    std::unique_ptr<char, decltype(&std::free)> folder(::getcwd(nullptr, 0), &std::free);
    return folder ? std::string(folder.get()) : std::string(".");
}
