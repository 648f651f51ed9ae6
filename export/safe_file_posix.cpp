// Files written whole or not at all, as Linux allows.
#include "export/safe_file.h"

#include "os/end_signals.h"
#include "core/files.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kStandardOutput = "-";

std::string Failure(const std::string& path, const std::string& reason)
{
    return CannotWrite(path, reason);
}

std::string SystemFailure(const std::string& path, int error)
{
    return Failure(path, std::strerror(error));
}

// Reserves room for size bytes in the file open as fd, so that a full disk is found before the
// old file is touched. Returns 0, or the error that says there is no room. Where the file
// system cannot reserve (NFSv3, many FUSE file systems), nothing is reserved, and the copy
// makes its room itself before it touches the old bytes: fallocate itself, not
// posix_fallocate, whose stand-in reads the file through a descriptor open for writing alone.
int ReserveRoom(int fd, off_t size)
{
    if (size == 0 || ::fallocate(fd, 0, 0, size) == 0)
        return 0;
    return errno == ENOSPC || errno == EDQUOT || errno == EFBIG ? errno : 0;
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

// A new file in the target's folder can be made (and renamed over the target). The end
// signals wait while the trial file exists, so that none leaves it behind.
bool FolderTakesNewFile(const std::string& path, int& error)
{
    const CHoldEndSignals hold;
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

// mkstemp makes a file private: a new picture gets the usual mode, a replaced one keeps its
// own, and root keeps its owner too.
void GiveTemporaryItsMode(int fd, const Target& target)
{
    if (target.exists) {
        ::fchmod(fd, target.info.st_mode & 07777);
        // Should the owner not be kept, the picture is still written, as this user's.
        if (::geteuid() == 0 && ::fchown(fd, target.info.st_uid, target.info.st_gid) != 0)
            errno = 0;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
}

// Renames the whole temporary file over the target.
std::string RenameIntoPlace(const std::string& name, const std::string& temp, const Target& target)
{
    // Ctrl+C before the rename leaves the target as it was; one after it finds the file
    // whole, for the run to take away with the rest of what it wrote.
    const CHoldEndSignals hold;
    if (CEndSignals::Caught() != 0) {
        ::unlink(temp.c_str());
        return Failure(name, "interrupted");
    }
    if (std::rename(temp.c_str(), target.path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return SystemFailure(name, error);
    }
    return {};
}

// Copies bytes from to end of source into fd at the same places, a piece at a time. Returns
// 0, or the error that stopped it.
int CopyRange(int source, int fd, off_t from, off_t end)
{
    std::vector<unsigned char> piece(1 << 20);
    for (off_t done = from; done < end;) {
        const std::size_t want = static_cast<std::size_t>(std::min<off_t>(end - done, static_cast<off_t>(1 << 20)));
        const ssize_t n = ::pread(source, piece.data(), want, done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        for (ssize_t written = 0; written < n;) {
            const ssize_t w =
                ::pwrite(fd, piece.data() + written, static_cast<std::size_t>(n - written), done + written);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return w < 0 ? errno : EIO;
            written += w;
        }
        done += n;
    }
    return 0;
}

// Copies the whole of the file open as source into the target, in place. Nothing of the old
// file is touched before there is room for the new one: room is reserved where the file
// system can, and either way the part beyond the old end is written first and made sure of
// on the disk (NFS says a disk is full only then). A full disk there takes that part away
// and leaves the old file as it was; the old bytes are then overwritten in room the file
// already holds, and a shorter file is cut to its length.
std::string CopyInPlace(const std::string& name, int source, const Target& target)
{
    if (CEndSignals::Caught() != 0)
        return Failure(name, "interrupted");
    struct stat info;
    if (::fstat(source, &info) != 0)
        return SystemFailure(name, errno);
    const int fd = ::open(target.path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return SystemFailure(name, errno);
    struct stat old;
    int error = ::fstat(fd, &old) != 0 ? errno : ReserveRoom(fd, info.st_size);
    if (error == 0 && info.st_size > old.st_size) {
        error = CopyRange(source, fd, old.st_size, info.st_size);
        if (error == 0 && ::fsync(fd) != 0)
            error = errno;
        if (error != 0) {
            // The old file again: its bytes were never touched, and what was added goes.
            while (::ftruncate(fd, old.st_size) != 0 && errno == EINTR) {
            }
            ::close(fd);
            return SystemFailure(name, error);
        }
    }
    if (error == 0)
        error = CopyRange(source, fd, 0, std::min(info.st_size, old.st_size));
    if (error == 0 && ::ftruncate(fd, info.st_size) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error == 0 ? std::string() : SystemFailure(name, error);
}

// Whether the target is written in place rather than replaced: a file with other hard links,
// or another user's file this user may write, stays the same file (renaming a new one over
// it would break the links or change its owner), and so does one whose folder takes no file.
bool WritesInPlace(const Target& target)
{
    int folderError = 0;
    return target.exists && (target.info.st_nlink > 1 || (::geteuid() != 0 && target.info.st_uid != ::geteuid()) ||
                             !FolderTakesNewFile(target.path, folderError));
}

// The file that path leads to, and whether it may be written. Returns an empty string, or why not.
std::string FindTarget(const std::string& path, Target& target)
{
    if (std::string error = Resolve(path, target); !error.empty())
        return error;
    return CheckTarget(path, target);
}

// The temporary files being written, taken away should a library end the process from within
// (libgomp when it cannot start a thread, LLVM when it cannot place code) before they are put
// in place: by name, in room set aside beforehand, since an exit handler may run on any thread.
constexpr std::size_t kAtExitFiles = 4;
char g_atExitFiles[kAtExitFiles][PATH_MAX];

void TakeAwayLeftFiles()
{
    for (char* name : g_atExitFiles) {
        if (name[0] != '\0')
            ::unlink(name);
    }
}

// Records path for taking away at exit (take), or forgets it. A path too long for the room,
// or beyond the room's count, is not recorded: it goes as it would have gone before.
void TakeAwayAtExit(const std::string& path, bool take)
{
    static const bool s_bRegistered = std::atexit(TakeAwayLeftFiles) == 0;
    if (!s_bRegistered || path.size() >= PATH_MAX)
        return;
    for (char* name : g_atExitFiles) {
        if (take && name[0] == '\0') {
            std::memcpy(name, path.c_str(), path.size() + 1);
            return;
        }
        if (!take && path == name)
            name[0] = '\0';
    }
}

}  // namespace

std::string CheckFileWritable(const std::string& path)
{
    if (path == kStandardOutput) {
        if (::isatty(STDOUT_FILENO))
            return "will not write a picture to a terminal; redirect standard output to a file or a program";
        return {};
    }
    Target target;
    if (std::string error = FindTarget(path, target); !error.empty())
        return error;
    int error = 0;
    // An existing file that may be written is written in place when its folder takes no
    // new file; a new file needs the folder.
    if (!target.exists && !FolderTakesNewFile(target.path, error))
        return SystemFailure(path, error);
    return {};
}

std::string WriteFileSafely(const std::string& path, const std::vector<unsigned char>& bytes)
{
    if (path == kStandardOutput) {
        if (!WriteAll(STDOUT_FILENO, bytes))
            return Failure("standard output", std::strerror(errno));
        return {};
    }
    // The bytes are the whole file, written aside and put in place as an animation is.
    CFileBeingWritten file(path);
    if (!file.Error().empty())
        return file.Error();
    const int fd = ::open(file.TemporaryPath().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return SystemFailure(path, errno);
    const bool written = WriteAll(fd, bytes);
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed)
        return SystemFailure(path, !written ? writeError : errno);
    return file.PutInPlace();
}

struct CFileBeingWritten::Place {
    Target target;
    bool inPlace = false;
};

CFileBeingWritten::CFileBeingWritten(const std::string& path) : m_name(path), m_place(std::make_unique<Place>())
{
    Target& target = m_place->target;
    if (m_error = FindTarget(path, target); !m_error.empty())
        return;
    m_place->inPlace = WritesInPlace(target);
    // Beside the target, to be renamed over it; a file to be written in place, whose folder
    // may take no new file, is made in the system's temporary folder when it must be. Every
    // name is made before the file, so that nothing can fail between its making and its
    // being recorded for taking away.
    const char* folder = std::getenv("TMPDIR");
    std::string elsewhere = std::string(folder && *folder ? folder : "/tmp") + "/.lumetta.tmp-XXXXXX";
    m_temporary = TemporaryBeside(target.path);
    int fd = ::mkstemp(m_temporary.data());
    if (fd < 0 && m_place->inPlace) {
        m_temporary.swap(elsewhere);
        fd = ::mkstemp(m_temporary.data());
    }
    if (fd < 0) {
        const int error = errno;
        m_temporary.clear();
        m_error = SystemFailure(path, error);
        return;
    }
    TakeAwayAtExit(m_temporary, true);
    if (!m_place->inPlace)
        GiveTemporaryItsMode(fd, target);
    ::close(fd);
}

CFileBeingWritten::~CFileBeingWritten()
{
    if (!m_temporary.empty()) {
        ::unlink(m_temporary.c_str());
        TakeAwayAtExit(m_temporary, false);
    }
}

std::string CFileBeingWritten::PutInPlace()
{
    if (!m_error.empty())
        return m_error;
    std::string error;
    if (m_place->inPlace) {
        const int fd = ::open(m_temporary.c_str(), O_RDONLY | O_CLOEXEC);
        error = fd < 0 ? SystemFailure(m_name, errno) : CopyInPlace(m_name, fd, m_place->target);
        if (fd >= 0)
            ::close(fd);
        ::unlink(m_temporary.c_str());
    } else {
        error = RenameIntoPlace(m_name, m_temporary, m_place->target);
    }
    TakeAwayAtExit(m_temporary, false);
    m_temporary.clear();
    return error;
}

void TakeAwayFile(const std::string& path)
{
    if (std::remove(path.c_str()) != 0 && errno != ENOENT)
        std::fprintf(stderr, "lumetta: cannot remove '%s': %s\n", ShownName(path).c_str(), std::strerror(errno));
}

bool FileExists(const std::string& path)
{
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}
