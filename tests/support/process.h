// Runs the real program as a child process, the way a user would from a shell.
#pragma once

#include <chrono>
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

// A child started and left running, as a desktop or a daemon starts one: no signal ignored,
// its output thrown away and its standard error in a file. Killed with the object if it still
// runs.
class CRunningChild {
public:
    CRunningChild() = default;
    ~CRunningChild();
    CRunningChild(const CRunningChild&) = delete;
    CRunningChild& operator=(const CRunningChild&) = delete;

    // Starts args (args[0] looked up on the PATH) in folder, with extra "NAME=value" entries
    // in its environment and its standard error written to errors. False when it cannot start.
    bool Start(const std::vector<std::string>& args, const std::filesystem::path& folder,
               const std::vector<std::string>& extra, const std::filesystem::path& errors);
    // Its exit status (128 + N when signal N ended it), or -1 when it still runs after limit
    // (looked at once with a limit of 0).
    int WaitForExit(std::chrono::milliseconds limit);
    // Sends it signal, if it runs.
    void Signal(int signal) const;
    int Pid() const { return m_pid; }

private:
    int m_pid = -1;
};

// The threads of process pid (their ids) other than its first that would take SIGINT, SIGTERM
// or SIGHUP, which only the first should; threads, when given, gets how many it has.
std::vector<std::string> ThreadsTakingEndSignals(int pid, int* threads = nullptr);

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
