// Files as Windows opens them: by UTF-16 name, and only files on a disk.
#include "core/files.h"
#include "core/windows_text.h"

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>

std::wstring Widen(const std::string& name)
{
    if (name.empty())
        return {};
    const int size = static_cast<int>(name.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, name.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, name.data(), size, wide.data(), length);
    return wide;
}

std::string Narrow(const std::wstring& name)
{
    if (name.empty())
        return {};
    const int size = static_cast<int>(name.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, name.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, name.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

std::string SystemWords(unsigned long error)
{
    struct Known {
        DWORD error;
        int linux;  // the errno a Linux program would have met
    };
    static const Known kKnown[] = {
        {ERROR_FILE_NOT_FOUND, ENOENT}, {ERROR_PATH_NOT_FOUND, ENOENT}, {ERROR_INVALID_NAME, ENOENT},
        {ERROR_BAD_PATHNAME, ENOENT},   {ERROR_ACCESS_DENIED, EACCES},  {ERROR_SHARING_VIOLATION, EACCES},
        {ERROR_LOCK_VIOLATION, EACCES}, {ERROR_DISK_FULL, ENOSPC},      {ERROR_HANDLE_DISK_FULL, ENOSPC},
        {ERROR_WRITE_PROTECT, EROFS},   {ERROR_FILE_TOO_LARGE, EFBIG},
    };
    for (const Known& known : kKnown) {
        if (known.error == error)
            return std::strerror(known.linux);
    }
    wchar_t* words = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                        nullptr, error, 0, reinterpret_cast<wchar_t*>(&words), 0, nullptr);
    std::wstring said = length > 0 && words ? std::wstring(words, length) : L"";
    LocalFree(words);
    while (!said.empty() &&
           (said.back() == L' ' || said.back() == L'.' || said.back() == L'\r' || said.back() == L'\n'))
        said.pop_back();
    return said.empty() ? "Windows error " + std::to_string(error) : Narrow(said);
}

std::FILE* OpenRegularFile(const char* path, std::string& reason)
{
    const std::wstring name = Widen(path);
    // A folder opens only with backup semantics; a device (CON, NUL, a pipe) opens but is no
    // disk file.
    HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesW(name.c_str());
        reason = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                     ? std::strerror(EISDIR)
                     : SystemWords(error);
        return nullptr;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        reason = "not a regular file";
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        reason = std::strerror(errno);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "rb");
    if (!file) {
        reason = std::strerror(errno);
        _close(fd);
    }
    return file;
}

bool FollowLinks(const std::string& path, std::string& target)
{
    // Replacing a file by name replaces a link itself on Windows, as it would anywhere a
    // program writes a new file and moves it over the old; the name is the target.
    target = path;
    return true;
}

std::string CurrentFolder()
{
    const DWORD length = GetCurrentDirectoryW(0, nullptr);
    if (length == 0)
        return ".";
    std::wstring folder(length, L'\0');
    const DWORD written = GetCurrentDirectoryW(length, folder.data());
    if (written == 0 || written >= length)
        return ".";
    folder.resize(written);
    return Narrow(folder);
}
