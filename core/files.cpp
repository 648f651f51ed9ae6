#include "core/files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

std::string ShownName(const std::string& name)
{
    const auto control = [](unsigned char c) { return c < 0x20 || c == 0x7F; };
    if (std::none_of(name.begin(), name.end(), control))
        return name;
    std::string shown;
    for (const unsigned char c : name) {
        if (c == '\n') {
            shown += "\\n";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (c == '\\') {
            shown += "\\\\";
        } else if (control(c)) {
            static const char kDigits[] = "0123456789abcdef";
            shown += {'\\', 'x', kDigits[c >> 4], kDigits[c & 15]};
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}
