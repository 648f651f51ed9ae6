// The console's requests to end, caught as Linux's end signals are: Ctrl+C as SIGINT,
// Ctrl+Break as SIGBREAK, and the console closed, the user logging off or the machine shutting
// down as SIGTERM. Windows runs the handler on a thread of its own, so nothing needs holding.
#include "os/end_signals.h"

#include "core/check.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>

namespace {

std::atomic<int> g_nCaught{0};
std::atomic<bool> g_bActive{false};

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    int signal = SIGTERM;
    if (event == CTRL_C_EVENT)
        signal = SIGINT;
    else if (event == CTRL_BREAK_EVENT)
        signal = SIGBREAK;
    int none = 0;
    g_nCaught.compare_exchange_strong(none, signal);
    // Windows ends the process as soon as a close, log-off or shut-down handler returns: wait
    // here, within the few seconds it allows, for the run to take away what it made and end.
    if (signal == SIGTERM)
        Sleep(4000);
    return TRUE;
}

}  // namespace

CEndSignals::CEndSignals()
{
    LUMETTA_ASSERT(!g_bActive);
    g_bActive = true;
    g_nCaught = 0;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

CEndSignals::~CEndSignals()
{
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    g_bActive = false;
}

int CEndSignals::Caught()
{
    return g_nCaught;
}

// As a console program ends on Ctrl+C that does not catch it.
void CEndSignals::DieOfIt()
{
    LUMETTA_ASSERT(g_nCaught.load() != 0);
    constexpr UINT kControlCExit = 0xC000013A;  // STATUS_CONTROL_C_EXIT
    ExitProcess(kControlCExit);
}

CHoldEndSignals::CHoldEndSignals() = default;
CHoldEndSignals::~CHoldEndSignals() = default;

// Windows has no signal for a write too large or a reader gone: those writes fail already.
CWriteSignalsAsErrors::CWriteSignalsAsErrors() = default;
CWriteSignalsAsErrors::~CWriteSignalsAsErrors() = default;
