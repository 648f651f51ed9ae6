#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <thread>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <string_view>
#include <unistd.h>

extern char** environ;

namespace {

std::string ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Makes each of calls fail with EOPNOTSUPP from here on, in this process and what it runs.
bool MakeCallsUnsupported(const std::vector<int>& calls)
{
    std::vector<sock_filter> filter = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
    };
    for (const int call : calls) {
        filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<__u32>(call), 0, 1));
        filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EOPNOTSUPP & SECCOMP_RET_DATA)));
    }
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    const sock_fprog program = {static_cast<unsigned short>(filter.size()), filter.data()};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// The test's own environment without the names dropped, with extra ("NAME=value") in place of
// what it inherited under the same names: getenv takes the first of two, so an inherited
// XDG_CONFIG_HOME would otherwise win over the test's own.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& extra,
                                          const std::vector<std::string_view>& dropped = {})
{
    const auto nameOf = [](std::string_view entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string_view> replaced(dropped.begin(), dropped.end());
    for (const std::string& e : extra)
        replaced.push_back(nameOf(e));
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string_view entry = *e;
        if (std::find(replaced.begin(), replaced.end(), nameOf(entry)) == replaced.end())
            environment.emplace_back(entry);
    }
    environment.insert(environment.end(), extra.begin(), extra.end());
    return environment;
}

}  // namespace

std::vector<std::string> ThreadsTakingEndSignals(int pid, int* threads)
{
    std::vector<std::string> open;
    int count = 0;
    std::error_code gone;
    const unsigned long long ends = 1ull << (SIGINT - 1) | 1ull << (SIGTERM - 1) | 1ull << (SIGHUP - 1);
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", gone)) {
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("SigBlk:", 0) != 0)
                continue;
            ++count;
            const unsigned long long blocked = std::stoull(line.substr(7), nullptr, 16);
            if ((blocked & ends) != ends && task.path().filename() != std::to_string(pid))
                open.push_back(task.path().filename());
        }
    }
    if (threads)
        *threads = count;
    return open;
}

namespace {

// The folders a death test's child made: it ends with exit(), which runs no destructor of the
// test's own, so they go as it exits.
std::vector<std::filesystem::path>& FoldersOfTheChild()
{
    static std::vector<std::filesystem::path> folders;
    return folders;
}

}  // namespace

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "lumetta-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        std::abort();
    m_path = pattern;
    if (::testing::internal::InDeathTestChild()) {
        if (FoldersOfTheChild().empty())
            std::atexit([] {
                std::error_code ignored;
                for (const auto& folder : FoldersOfTheChild())
                    std::filesystem::remove_all(folder, ignored);
            });
        FoldersOfTheChild().push_back(m_path);
    }
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

ProcessResult RunLumetta(const std::vector<std::string>& args, const std::filesystem::path& dir, int interruptAfterMs)
{
    RunOptions options;
    options.signalAfterMs = interruptAfterMs;
    return RunLumetta(args, dir, options);
}

ProcessResult RunLumetta(const std::vector<std::string>& args, const std::filesystem::path& dir,
                         const RunOptions& options)
{
    TempDir io;
    const std::filesystem::path outPath = io.Path() / "out", errPath = io.Path() / "err";
    // Everything the child needs is made before the fork: after it, only calls that are safe
    // in a copy of a process with other threads (the GL driver's) are made.
    std::string binary = LUMETTA_BINARY;
    std::vector<std::string> copies = args;
    std::vector<char*> argv = {binary.data()};
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = ChildEnvironment(options.environment, {"DISPLAY", "WAYLAND_DISPLAY"});
    std::vector<char*> envp;
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (chdir(dir.c_str()) != 0 || out < 0 || err < 0)
            _exit(126);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        int pipeEnds[2];
        if (options.closedPipeForStdout &&
            (pipe(pipeEnds) != 0 || close(pipeEnds[0]) != 0 || dup2(pipeEnds[1], STDOUT_FILENO) < 0))
            _exit(123);
        // Whatever the test itself was started with (a job in the background has SIGINT
        // ignored), the program starts as from a terminal, but for what options ignore.
        for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXFSZ, SIGPIPE})
            std::signal(s, SIG_DFL);
        for (const int ignored : options.ignored)
            std::signal(ignored, SIG_IGN);
        for (const auto& [resource, value] : options.limits) {
            const rlimit limit = {static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
            if (setrlimit(resource, &limit) != 0)
                _exit(125);
        }
        if (options.umask >= 0)
            umask(static_cast<mode_t>(options.umask));
        if (!options.unsupportedCalls.empty() && !MakeCallsUnsupported(options.unsupportedCalls))
            _exit(124);
        execve(binary.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    ProcessResult result;
    int status = 0;
    if (options.signalAfterMs > 0) {
        usleep(static_cast<useconds_t>(options.signalAfterMs) * 1000);
        kill(pid, options.signal);
    }
    bool reaped = false;
    while (options.signalWhen && !reaped) {
        reaped = waitpid(pid, &status, WNOHANG) == pid;
        if (!reaped && options.signalWhen(pid)) {
            kill(pid, options.signal);
            break;
        }
        usleep(5000);
    }
    if (!reaped)
        waitpid(pid, &status, 0);
    result.waitStatus = status;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadAll(outPath);
    result.err = ReadAll(errPath);
    return result;
}

bool CRunningChild::Start(const std::vector<std::string>& args, const std::filesystem::path& folder,
                          const std::vector<std::string>& extra, const std::filesystem::path& errors)
{
    std::vector<std::string> env = ChildEnvironment(extra), copies = args;
    std::vector<char*> argv, envp;
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    // Whatever the test itself was started with (a job in the background has SIGINT ignored),
    // no signal is ignored.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    // The child's folder is its own: this process, whose other threads may be opening files,
    // stays where it is.
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = -1;
    const bool started = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), envp.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    m_pid = started ? pid : -1;
    return started;
}

CRunningChild::~CRunningChild()
{
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

int CRunningChild::WaitForExit(std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (m_pid > 0) {
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (std::chrono::steady_clock::now() >= end)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

void CRunningChild::Signal(int signal) const
{
    if (m_pid > 0)
        kill(m_pid, signal);
}
