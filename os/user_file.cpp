#include "os/user_file.h"

#include "core/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

std::string MakePrivateFolders(const std::filesystem::path& folder)
{
    std::filesystem::path made;
    for (const std::filesystem::path& part : folder) {
        made /= part;
        if (::mkdir(made.c_str(), 0700) == 0)
            continue;
        struct stat info;
        if (errno == EEXIST && ::stat(made.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            continue;
        return "cannot make " + ShownName(made.string()) + ": " + std::strerror(errno == EEXIST ? ENOTDIR : errno);
    }
    return {};
}

std::string ReplaceFile(const std::filesystem::path& path, const std::string& bytes, unsigned mode)
{
    std::string temporary = path.string() + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    struct stat info;
    int error = ::fchmod(fd, ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : mode) == 0 ? 0 : errno;
    for (std::size_t done = 0; error == 0 && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR)
            error = errno;
        done += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(temporary.c_str());
    return error == 0 ? std::string() : std::strerror(error);
}
