// The signals that ask a program without a window to end (SIGINT from Ctrl+C, SIGTERM,
// SIGHUP), handled one way in every such mode: caught, so that the program can stop in good
// order and take away what it has half made, and then end as the signal would have ended it.
// A signal that was ignored when the program started (nohup, a shell's background job) stays
// ignored, as with every long-running Unix tool. On Windows the console's Ctrl+C and
// Ctrl+Break, and its closing, are caught the same way (end_signals_windows.cpp).
#pragma once

#include <signal.h>

// For its life, catches each of the three signals that is not ignored, and puts back what was
// there before when it goes. One at a time in a process.
class CEndSignals {
public:
    CEndSignals();
    ~CEndSignals();
    CEndSignals(const CEndSignals&) = delete;
    CEndSignals& operator=(const CEndSignals&) = delete;

    // The first signal caught, or 0.
    static int Caught();
    // A descriptor that becomes readable once a signal is caught, for poll().
    int WakeDescriptor() const { return m_wake[0]; }
    // Ends the process as the caught signal would have ended it, had it not been caught.
    [[noreturn]] static void DieOfIt();

private:
    int m_wake[2] = {-1, -1};
};

// For its life, the three signals wait on this thread: a check of Caught() and the step it
// allows are never split by one. A signal that comes meanwhile is caught when the object goes.
// Threads started meanwhile keep them out for good, so that every handler runs on the thread
// that holds one of these around its steps: the program's threads, and those the libraries
// and the GL driver start, are all started inside one.
class CHoldEndSignals {
public:
    CHoldEndSignals();
    ~CHoldEndSignals();
    CHoldEndSignals(const CHoldEndSignals&) = delete;
    CHoldEndSignals& operator=(const CHoldEndSignals&) = delete;

private:
#ifndef _WIN32
    sigset_t m_previous;
#endif
};

// For its life, a write past the file-size limit (ulimit -f) fails with EFBIG, "File too
// large", like a full disk, instead of ending the program with SIGXFSZ; and a write to a pipe
// whose reader has gone fails with EPIPE instead of ending it with SIGPIPE.
class CWriteSignalsAsErrors {
public:
    CWriteSignalsAsErrors();
    ~CWriteSignalsAsErrors();
    CWriteSignalsAsErrors(const CWriteSignalsAsErrors&) = delete;
    CWriteSignalsAsErrors& operator=(const CWriteSignalsAsErrors&) = delete;

private:
#ifndef _WIN32
    struct sigaction m_previous[2];
#endif
};
