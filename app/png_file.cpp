#include "app/png_file.h"

#include "core/files.h"

#include <png.h>

#include <cerrno>
#include <csignal>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kStandardOutput = "-";

std::string Failure(const std::string& path, const std::string& reason)
{
    return "cannot write '" + path + "': " + reason;
}

std::string SystemFailure(const std::string& path, int error)
{
    return Failure(path, std::strerror(error));
}

// The file a name leads to, symbolic links followed; it need not exist yet.
struct Target {
    std::string path;
    bool exists = false;
    struct stat info {};
};

std::string FolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows name through its links. Returns an empty string, or why the target cannot be had.
std::string Resolve(const std::string& name, Target& target)
{
    if (!FollowLinks(name, target.path))
        return SystemFailure(name, errno);
    if (::stat(target.path.c_str(), &target.info) == 0) {
        target.exists = true;
        return {};
    }
    if (errno == ENOENT)
        return {};
    return SystemFailure(name, errno);
}

// Whether the resolved target may be written: only a regular file, and only one that could
// be written in place by this user, is ever replaced.
std::string CheckTarget(const std::string& name, const Target& target)
{
    if (!target.exists)
        return {};
    if (S_ISDIR(target.info.st_mode))
        return SystemFailure(name, EISDIR);
    if (!S_ISREG(target.info.st_mode))
        return Failure(name, "not a regular file; only a regular file is ever replaced");
    if (::access(target.path.c_str(), W_OK) != 0)
        return SystemFailure(name, errno);
    return {};
}

// A hidden temporary name in the folder of path, which takes a name of any length.
std::string TemporaryBeside(const std::string& path)
{
    return FolderOf(path) + "/.lumetta.tmp-XXXXXX";
}

// The temporary file being written, removed if the program is interrupted meanwhile.
char g_temporary[PATH_MAX + 32];

void RemoveTemporaryAndDie(int signal)
{
    if (g_temporary[0] != '\0')
        ::unlink(g_temporary);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// For its life: an interrupt or termination removes the temporary file first.
class TemporaryGuard {
public:
    explicit TemporaryGuard(const std::string& temp)
    {
        if (temp.size() < sizeof g_temporary)
            std::memcpy(g_temporary, temp.c_str(), temp.size() + 1);
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            m_previous[i] = std::signal(kSignals[i], RemoveTemporaryAndDie);
    }
    ~TemporaryGuard()
    {
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            std::signal(kSignals[i], m_previous[i]);
        g_temporary[0] = '\0';
    }
    TemporaryGuard(const TemporaryGuard&) = delete;
    TemporaryGuard& operator=(const TemporaryGuard&) = delete;

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    void (*m_previous[3])(int) = {};
};

// A new file in the target's folder can be made (and renamed over the target).
bool FolderTakesNewFile(const std::string& path, int& error)
{
    std::string temp = TemporaryBeside(path);
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = errno;
        return false;
    }
    ::close(fd);
    ::unlink(temp.c_str());
    return true;
}

bool WriteAll(int fd, const std::vector<unsigned char>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The whole PNG in memory, so that nothing is opened for writing before it exists.
std::string Encode(int width, int height, const std::vector<std::uint8_t>& rgbBottomUp,
                   std::vector<unsigned char>& png)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    // A negative stride tells libpng the rows are stored bottom-up.
    const png_int_32 stride = -static_cast<png_int_32>(PNG_IMAGE_ROW_STRIDE(image));
    png_alloc_size_t size = 0;
    bool ok = png_image_write_get_memory_size(image, size, 0, rgbBottomUp.data(), stride, nullptr) != 0;
    if (ok) {
        png.resize(size);
        ok = png_image_write_to_memory(&image, png.data(), &size, 0, rgbBottomUp.data(), stride, nullptr) != 0;
        png.resize(size);
    }
    const std::string message = ok ? std::string() : std::string(image.message);
    png_image_free(&image);
    return message;
}

std::string WriteThroughTemporary(const std::string& name, const Target& target, const std::vector<unsigned char>& png)
{
    std::string temp = TemporaryBeside(target.path);
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return SystemFailure(name, errno);
    const TemporaryGuard guard(temp);
    // mkstemp makes the file private: a new picture gets the usual mode, a replaced one keeps
    // its own, and root keeps its owner too.
    if (target.exists) {
        ::fchmod(fd, target.info.st_mode & 07777);
        if (::geteuid() == 0)
            (void)::fchown(fd, target.info.st_uid, target.info.st_gid);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    const bool written = WriteAll(fd, png);
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    const int closeError = errno;
    if (!written || !closed) {
        ::unlink(temp.c_str());
        return SystemFailure(name, !written ? writeError : closeError);
    }
    if (std::rename(temp.c_str(), target.path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return SystemFailure(name, error);
    }
    return {};
}

std::string WriteInPlace(const std::string& name, const Target& target, const std::vector<unsigned char>& png)
{
    const int fd = ::open(target.path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return SystemFailure(name, errno);
    // Room first: a full disk is found before the old picture is touched.
    const int reserved = ::posix_fallocate(fd, 0, static_cast<off_t>(png.size()));
    if (reserved != 0 && reserved != EOPNOTSUPP && reserved != EINVAL) {
        ::close(fd);
        return SystemFailure(name, reserved);
    }
    const bool written = WriteAll(fd, png) && ::ftruncate(fd, static_cast<off_t>(png.size())) == 0;
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed)
        return SystemFailure(name, !written ? writeError : errno);
    return {};
}

}  // namespace

std::string CheckPngWritable(const std::string& path)
{
    if (path == kStandardOutput) {
        if (::isatty(STDOUT_FILENO))
            return "will not write a PNG picture to a terminal; redirect standard output to a file or a program";
        return {};
    }
    Target target;
    if (std::string error = Resolve(path, target); !error.empty())
        return error;
    if (std::string error = CheckTarget(path, target); !error.empty())
        return error;
    int error = 0;
    // An existing file that may be written is written in place when its folder takes no
    // new file; a new file needs the folder.
    if (!target.exists && !FolderTakesNewFile(target.path, error))
        return SystemFailure(path, error);
    return {};
}

std::string WritePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgbBottomUp)
{
    if (width <= 0 || height <= 0 || rgbBottomUp.size() != static_cast<std::size_t>(width) * height * 3)
        return Failure(path, "the picture has no pixels");
    std::vector<unsigned char> png;
    if (std::string error = Encode(width, height, rgbBottomUp, png); !error.empty())
        return Failure(path, error);

    if (path == kStandardOutput) {
        if (!WriteAll(STDOUT_FILENO, png))
            return Failure("standard output", std::strerror(errno));
        return {};
    }
    Target target;
    if (std::string error = Resolve(path, target); !error.empty())
        return error;
    if (std::string error = CheckTarget(path, target); !error.empty())
        return error;
    // A file with other hard links, or another user's file this user may write, stays the
    // same file: renaming a new one over it would break the links or change its owner.
    int folderError = 0;
    const bool inPlace = target.exists && (target.info.st_nlink > 1 ||
                                           (::geteuid() != 0 && target.info.st_uid != ::geteuid()) ||
                                           !FolderTakesNewFile(target.path, folderError));
    return inPlace ? WriteInPlace(path, target, png) : WriteThroughTemporary(path, target, png);
}
