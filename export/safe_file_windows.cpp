// Files written whole or not at all, as Windows allows: written beside the target under a
// name of their own, then moved over it in one step; names in UTF-16 throughout.
#include "export/safe_file.h"

#include "core/files.h"
#include "core/windows_text.h"
#include "os/end_signals.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>

namespace {

const char* const kStandardOutput = "-";

std::string Failure(const std::string& path, DWORD error)
{
    return CannotWrite(path, SystemWords(error));
}

std::wstring FolderOf(const std::wstring& path)
{
    const auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos)
        return L".";
    return path.substr(0, slash + 1);
}

// Whether the target may be written: only a file, and only one that is not read-only, is
// ever replaced. Sets exists.
std::string CheckTarget(const std::string& path, bool& exists)
{
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? std::string() : Failure(path, error);
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return CannotWrite(path, "Is a directory");
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return Failure(path, ERROR_ACCESS_DENIED);
    return {};
}

// A new file of a name of its own in the target's folder. Returns an empty string, or why
// none can be made there.
std::string MakeTemporaryBeside(const std::string& path, std::wstring& temporary)
{
    wchar_t name[MAX_PATH + 1];
    const std::wstring folder = FolderOf(Widen(path));
    // GetTempFileName takes folders of at most MAX_PATH - 14 characters.
    if (folder.size() >= MAX_PATH - 14)
        return Failure(path, ERROR_FILENAME_EXCED_RANGE);
    if (GetTempFileNameW(folder.c_str(), L"lum", 0, name) == 0)
        return Failure(path, GetLastError());
    temporary = name;
    return {};
}

bool WriteAll(HANDLE handle, const std::vector<unsigned char>& bytes, DWORD& error)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 30));
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data() + done, want, &written, nullptr) || written == 0) {
            error = GetLastError();
            return false;
        }
        done += written;
    }
    return true;
}

}  // namespace

std::string CheckFileWritable(const std::string& path)
{
    if (path == kStandardOutput) {
        if (_isatty(_fileno(stdout)))
            return "will not write a picture to a terminal; redirect standard output to a file or a program";
        return {};
    }
    bool exists = false;
    if (std::string error = CheckTarget(path, exists); !error.empty())
        return error;
    std::wstring trial;
    if (std::string error = MakeTemporaryBeside(path, trial); !error.empty())
        return error;
    DeleteFileW(trial.c_str());
    return {};
}

std::string WriteFileSafely(const std::string& path, const std::vector<unsigned char>& bytes)
{
    if (path == kStandardOutput) {
        _setmode(_fileno(stdout), _O_BINARY);
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0)
            return CannotWrite("standard output", "the reader has gone");
        return {};
    }
    CFileBeingWritten file(path);
    if (!file.Error().empty())
        return file.Error();
    HANDLE handle = CreateFileW(Widen(file.TemporaryPath()).c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Failure(path, GetLastError());
    DWORD error = 0;
    const bool written = WriteAll(handle, bytes, error);
    if (written && !FlushFileBuffers(handle))
        error = GetLastError();
    CloseHandle(handle);
    if (!written || error != 0)
        return Failure(path, error);
    return file.PutInPlace();
}

// Nothing more than the name: a file is always replaced whole on Windows.
struct CFileBeingWritten::Place {};

CFileBeingWritten::CFileBeingWritten(const std::string& path) : m_name(path)
{
    bool exists = false;
    if (m_error = CheckTarget(path, exists); !m_error.empty())
        return;
    std::wstring temporary;
    if (m_error = MakeTemporaryBeside(path, temporary); !m_error.empty())
        return;
    // Hidden, as a file being made is no picture yet.
    SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_HIDDEN);
    m_temporary = Narrow(temporary);
}

CFileBeingWritten::~CFileBeingWritten()
{
    if (!m_temporary.empty())
        DeleteFileW(Widen(m_temporary).c_str());
}

std::string CFileBeingWritten::PutInPlace()
{
    if (!m_error.empty())
        return m_error;
    const std::wstring temporary = Widen(m_temporary);
    m_temporary.clear();
    if (CEndSignals::Caught() != 0) {
        DeleteFileW(temporary.c_str());
        return CannotWrite(m_name, "interrupted");
    }
    SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExW(temporary.c_str(), Widen(m_name).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(temporary.c_str());
        return Failure(m_name, error);
    }
    return {};
}

void TakeAwayFile(const std::string& path)
{
    if (!DeleteFileW(Widen(path).c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        std::fprintf(stderr, "lumetta: cannot remove '%s': %s\n", ShownName(path).c_str(),
                     SystemWords(GetLastError()).c_str());
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}
