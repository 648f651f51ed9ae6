#include "os/end_guard.h"

#include "os/end_signals.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

// How often the watch looks.
constexpr int kLookMilliseconds = 100;

}  // namespace

CEndGuard::CEndGuard(int wakeDescriptor, int graceMs, int startMs, std::string slowLine, void (*last)())
    : m_wake(wakeDescriptor), m_graceMs(graceMs), m_startMs(startMs), m_slowLine(std::move(slowLine)), m_last(last)
{
    if (::pipe2(m_stop, O_CLOEXEC) != 0)
        m_stop[0] = m_stop[1] = -1;  // then it is woken by its next look, at most 100 ms on
    // Its thread keeps the end signals out, but for those it takes itself.
    const CHoldEndSignals hold;
    m_thread = std::thread([this] { Watch(); });
}

CEndGuard::~CEndGuard()
{
    m_bStop = true;
    const char byte = 0;
    (void)!::write(m_stop[1], &byte, 1);
    m_thread.join();
    for (const int fd : m_stop) {
        if (fd >= 0)
            ::close(fd);
    }
}

void CEndGuard::Watch()
{
    const auto startEnd = Clock::now() + std::chrono::milliseconds(m_startMs);
    Clock::time_point caught{};
    sigset_t ends;
    sigemptyset(&ends);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&ends, signal);
    // While the start holds the signals on every thread, one that comes waits for a thread to
    // let it in, and is read here instead. Once started, the program's own thread takes them.
    const int pending = ::signalfd(-1, &ends, SFD_CLOEXEC | SFD_NONBLOCK);
    const auto end = [&](int status) {
        if (m_last)
            m_last();
        ::_exit(status);
    };
    for (;;) {
        pollfd waits[] = {{caught == Clock::time_point{} ? m_wake : -1, POLLIN, 0},
                          {m_bStarted ? -1 : pending, POLLIN, 0},
                          {m_stop[0], POLLIN, 0}};
        ::poll(waits, 3, kLookMilliseconds);
        if (waits[2].revents != 0 || m_bStop)
            break;
        signalfd_siginfo info;
        if (!m_bStarted && waits[1].revents != 0 && ::read(pending, &info, sizeof info) == sizeof info)
            end(0);
        const auto now = Clock::now();
        if (caught == Clock::time_point{} && waits[0].revents != 0)
            caught = now;
        if (caught != Clock::time_point{} && now - caught > std::chrono::milliseconds(m_graceMs))
            end(0);
        if (!m_bStarted && now > startEnd) {
            std::fprintf(stderr, "lumetta: %s\n", m_slowLine.c_str());
            end(1);
        }
    }
    if (pending >= 0)
        ::close(pending);
}
