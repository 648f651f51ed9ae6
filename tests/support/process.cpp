#include "tests/support/process.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
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

}  // namespace

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "lumetta-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        std::abort();
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

ScopedCurrentDir::ScopedCurrentDir(const std::filesystem::path& dir) : m_previous(std::filesystem::current_path())
{
    std::filesystem::current_path(dir);
}

ScopedCurrentDir::~ScopedCurrentDir()
{
    std::error_code ignored;
    std::filesystem::current_path(m_previous, ignored);
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
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string_view entry = *e;
        if (!entry.starts_with("DISPLAY=") && !entry.starts_with("WAYLAND_DISPLAY="))
            environment.emplace_back(entry);
    }
    environment.insert(environment.end(), options.environment.begin(), options.environment.end());
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
        // Whatever the test itself was started with (a job in the background has SIGINT
        // ignored), the program starts as from a terminal, but for what options ignore.
        for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXFSZ})
            std::signal(s, SIG_DFL);
        for (const int ignored : options.ignored)
            std::signal(ignored, SIG_IGN);
        for (const auto& [resource, value] : options.limits) {
            const rlimit limit = {static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
            if (setrlimit(resource, &limit) != 0)
                _exit(125);
        }
        execve(binary.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    ProcessResult result;
    int status = 0;
    if (options.signalAfterMs > 0) {
        usleep(static_cast<useconds_t>(options.signalAfterMs) * 1000);
        kill(pid, options.signal);
    }
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadAll(outPath);
    result.err = ReadAll(errPath);
    return result;
}
