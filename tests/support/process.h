// Runs the real program as a child process, the way a user would from a shell.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct ProcessResult {
    int status = -1;     // exit status, or 128 + signal
    int waitStatus = 0;  // as waitpid gave it: whether the child exited or a signal ended it
    std::string out;
    std::string err;
};

// How a child is started and treated, beyond its arguments and folder.
struct RunOptions {
    int signal = 2;  // sent signalAfterMs after the start, when that is above 0 (SIGINT)
    int signalAfterMs = 0;
    // Or sent as soon as this says so, asked with the child's pid every few milliseconds while
    // it runs.
    std::function<bool(int pid)> signalWhen;
    std::vector<int> ignored;                  // ignored from the start, as under nohup
    std::vector<std::pair<int, long>> limits;  // resource limits, such as RLIMIT_FSIZE
    std::vector<std::string> environment;      // "NAME=value" entries added
    int umask = -1;                            // the child's umask; -1: the test's own
    // System calls that fail with EOPNOTSUPP in the child, as on file systems that lack them
    // (a seccomp filter, which reaches the calls the C library makes itself).
    std::vector<int> unsupportedCalls;
    bool closedPipeForStdout = false;  // standard output a pipe whose reader has gone
};

// Runs the lumetta binary with args in folder dir, without DISPLAY, and waits for it; with
// interruptAfterMs, sends it SIGINT (Ctrl+C) that long after the start.
ProcessResult RunLumetta(const std::vector<std::string>& args, const std::filesystem::path& dir,
                         int interruptAfterMs = 0);
ProcessResult RunLumetta(const std::vector<std::string>& args, const std::filesystem::path& dir,
                         const RunOptions& options);

// A fresh, empty folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Makes dir the current folder for the object's life, then goes back.
class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const std::filesystem::path& dir);
    ~ScopedCurrentDir();
    ScopedCurrentDir(const ScopedCurrentDir&) = delete;
    ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

private:
    std::filesystem::path m_previous;
};
