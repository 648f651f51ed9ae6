// Files as Linux opens them.
#include "core/files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <climits>
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

bool FollowLinks(const std::string& path, std::string& target)
{
    target = path;
    // The same bound as the system's own on links followed in one path.
    for (int links = 0; links <= 40; ++links) {
        struct stat info;
        if (::lstat(target.c_str(), &info) != 0)
            return errno == ENOENT;
        if (!S_ISLNK(info.st_mode))
            return true;
        char link[PATH_MAX];
        const ssize_t length = ::readlink(target.c_str(), link, sizeof link - 1);
        if (length <= 0)
            return false;
        const std::string to(link, static_cast<std::size_t>(length));
        if (to.front() == '/') {
            target = to;
        } else {
            const auto slash = target.rfind('/');
            target = slash == std::string::npos ? to : target.substr(0, slash + 1) + to;
        }
    }
    errno = ELOOP;
    return false;
}

std::string CurrentFolder()
{
    std::unique_ptr<char, decltype(&std::free)> folder(::getcwd(nullptr, 0), &std::free);
    return folder ? std::string(folder.get()) : std::string(".");
}
