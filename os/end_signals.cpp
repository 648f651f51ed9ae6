#include "os/end_signals.h"

#include "core/check.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace {

constexpr int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kCount = std::size(kEndSignals);

// What the handler touches: nothing else, and nothing that is not safe in a handler. Atomic
// rather than volatile, so that what the handler wrote is seen in order on every thread.
std::atomic<int> g_nCaught{0};
std::atomic<int> g_nWakeWrite{-1};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only touch lock-free atomics");

struct sigaction g_previous[kCount];
bool g_bInstalled[kCount] = {};
bool g_bActive = false;

void OnEndSignal(int signal)
{
    const int savedErrno = errno;
    int none = 0;
    g_nCaught.compare_exchange_strong(none, signal);
    if (const int wake = g_nWakeWrite.load(); wake >= 0) {
        const char byte = 0;
        // The pipe never blocks: when it is full, the loop has been woken already.
        [[maybe_unused]] const ssize_t written = ::write(wake, &byte, 1);
    }
    errno = savedErrno;
}

sigset_t EndSignalSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kEndSignals)
        sigaddset(&set, signal);
    return set;
}

}  // namespace

CEndSignals::CEndSignals()
{
    LUMETTA_ASSERT(!g_bActive);
    g_bActive = true;
    g_nCaught = 0;
    // Without a pipe the signals are still caught; only a wait in poll() would not end early.
    if (::pipe2(m_wake, O_NONBLOCK | O_CLOEXEC) != 0)
        m_wake[0] = m_wake[1] = -1;
    g_nWakeWrite = m_wake[1];

    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    action.sa_mask = EndSignalSet();  // one handler at a time
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kCount; ++i) {
        // Nothing in the program ignores these, so an ignored one was ignored at its start.
        g_bInstalled[i] = ::sigaction(kEndSignals[i], nullptr, &g_previous[i]) == 0 &&
                          g_previous[i].sa_handler != SIG_IGN;
        if (g_bInstalled[i])
            ::sigaction(kEndSignals[i], &action, nullptr);
    }
}

CEndSignals::~CEndSignals()
{
    // Held while the handlers go: the threads the program starts keep these signals out, so
    // no handler can be running anywhere while the wake pipe is closed. One that comes
    // meanwhile meets what was there before.
    const CHoldEndSignals hold;
    for (std::size_t i = 0; i < kCount; ++i) {
        if (g_bInstalled[i])
            ::sigaction(kEndSignals[i], &g_previous[i], nullptr);
        g_bInstalled[i] = false;
    }
    g_nWakeWrite = -1;
    for (int fd : m_wake) {
        if (fd >= 0)
            ::close(fd);
    }
    g_bActive = false;
}

int CEndSignals::Caught()
{
    return g_nCaught;
}

void CEndSignals::DieOfIt()
{
    const int signal = g_nCaught.load();
    LUMETTA_ASSERT(signal != 0);
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigaction(signal, &fallback, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    // Should the signal not end the process after all, the status says which it was.
    (void)::raise(signal);
    std::_Exit(128 + signal);
}

CHoldEndSignals::CHoldEndSignals()
{
    const sigset_t set = EndSignalSet();
    ::pthread_sigmask(SIG_BLOCK, &set, &m_previous);
}

CHoldEndSignals::~CHoldEndSignals()
{
    ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

CWriteSignalsAsErrors::CWriteSignalsAsErrors()
{
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &m_previous[0]);
    ::sigaction(SIGPIPE, &ignore, &m_previous[1]);
}

CWriteSignalsAsErrors::~CWriteSignalsAsErrors()
{
    ::sigaction(SIGXFSZ, &m_previous[0], nullptr);
    ::sigaction(SIGPIPE, &m_previous[1], nullptr);
}
