// A thread that sees to it that a program that waits on another (a compositor, an X server)
// ends when it should, whatever it is waiting on then: once an end signal is caught, within a
// grace time; and, until the start is over, when the start takes too long.
#pragma once

#include <atomic>
#include <string>
#include <thread>

class CEndGuard {
public:
    // With CEndSignals alive, whose wakeDescriptor this watches. An end signal ends the process
    // with status 0 once graceMs have passed without the program ending by itself, or at once
    // while every thread holds the signals (a start inside CHoldEndSignals); a start not over
    // within startMs ends it with slowLine said and status 1. last runs first in either case,
    // and must be quick and safe on any thread (a file to take away).
    CEndGuard(int wakeDescriptor, int graceMs, int startMs, std::string slowLine, void (*last)());
    ~CEndGuard();
    CEndGuard(const CEndGuard&) = delete;
    CEndGuard& operator=(const CEndGuard&) = delete;

    // The start is over: from now on only the end signals are watched.
    void Started() { m_bStarted = true; }

private:
    void Watch();

    const int m_wake, m_graceMs, m_startMs;
    const std::string m_slowLine;
    void (*const m_last)();
    std::atomic<bool> m_bStarted{false}, m_bStop{false};
    int m_stop[2] = {-1, -1};  // written to as the guard goes, which wakes its thread at once
    std::thread m_thread;
};
