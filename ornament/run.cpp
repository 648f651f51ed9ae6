#include "ornament/run.h"

#include "ornament/control.h"
#include "ornament/ornament.h"
#include "ornament/wayland/wayland_entry.h"
#include "ornament/x11/x11_ornament.h"
#include "os/end_guard.h"
#include "os/end_signals.h"
#include "os/fail.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// How long another lumetta waits for the one that hangs to answer, and the compositor for its
// first answer.
constexpr int kAnswerMilliseconds = 5000;
// After an end signal, how long the ornament may take to end by itself; and how long its start
// may take, waiting on a compositor or X server that stopped answering.
constexpr int kEndGraceMilliseconds = 2000;
constexpr int kStartMilliseconds = 20000;

int Tell(CRuntimeContact& other, const OrnamentOptions& options)
{
    HangingContact contact;
    contact.pid = other.Pid();
    contact.send = [&](const OrnamentRequest& request) { return other.Send(request, kAnswerMilliseconds); };
    contact.waitGone = [&] { return other.WaitGone(kAnswerMilliseconds); };
    return TellHanging(contact, options);
}

// The socket of the desktop's place, taken away however the process ends.
char g_socket[108] = {};
void RemoveSocket()
{
    if (g_socket[0] != '\0')
        ::unlink(g_socket);
}

CEndGuard* g_pGuard = nullptr;

// Takes the desktop's place at place into claim, or tells the ornament that holds it what
// options ask (--stop reaches it, or finds none). Returns the exit status when the run ends
// here, or -1 when the place is taken (or, for --stop, held by none) and the run goes on.
int TakeOrTell(const RuntimePlace& place, const OrnamentOptions& options, std::unique_ptr<CRuntimeClaim>& claim)
{
    CRuntimeContact other;
    if (options.stop)
        return CRuntimeClaim::FindHolder(place, kAnswerMilliseconds, other) ? Tell(other, options) : -1;
    claim = std::make_unique<CRuntimeClaim>();
    std::string error;
    switch (claim->Claim(place, kAnswerMilliseconds, other, error)) {
    case CRuntimeClaim::Outcome::Held:
        return Tell(other, options);
    case CRuntimeClaim::Outcome::Failed:
        return Fail(error);
    case CRuntimeClaim::Outcome::Taken:
        break;
    }
    (void)std::snprintf(g_socket, sizeof g_socket, "%s", claim->SocketPath().c_str());
    return -1;
}

}  // namespace

WayChosen ChooseOrnamentWay(OrnamentWay asked, const WaylandDesktop& desktop)
{
    WayChosen chosen;
    if (asked == OrnamentWay::X11)
        return chosen;
    if (desktop.silent) {
        chosen.failure = "the Wayland compositor at " + desktop.display + " took the connection but does not answer";
        return chosen;
    }
    if (desktop.display.empty())
        chosen.notWayland = "WAYLAND_DISPLAY is not set";
    else if (!desktop.answers)
        chosen.notWayland = "no Wayland compositor answers at " + desktop.display;
    else if (!desktop.layerShell)
        chosen.notWayland = "the Wayland compositor at " + desktop.display +
                            " offers no layer surfaces (zwlr_layer_shell_v1), on which the ornament hangs";
    else
        chosen.way = OrnamentWay::Wayland;
    if (asked == OrnamentWay::Wayland && chosen.way != OrnamentWay::Wayland)
        chosen.failure = "cannot hang the ornament on Wayland: " + chosen.notWayland;
    return chosen;
}

int RunOrnament(const OrnamentOptions& options, const std::string& installedFolder)
{
    // Ended with a signal at any time, the start included, it goes quietly; and it goes
    // whatever it waits on.
    const CEndSignals endSignals;
    CEndGuard guard(endSignals.WakeDescriptor(), kEndGraceMilliseconds, kStartMilliseconds,
                    "the ornament's display or compositor did not answer as it started", RemoveSocket);
    g_pGuard = &guard;
    WaylandDesktop desktop;
    if (options.way == OrnamentWay::X11) {
        const char* display = std::getenv("WAYLAND_DISPLAY");
        desktop.display = display ? display : "";
    } else {
        desktop = FindWaylandDesktop(kAnswerMilliseconds, endSignals.WakeDescriptor());
    }
    if (CEndSignals::Caught() != 0)
        return 0;
    const WayChosen chosen = ChooseOrnamentWay(options.way, desktop);
    if (!chosen.failure.empty())
        return Fail(chosen.failure);

    // One to a Wayland desktop, whichever way it hangs there and however the desktop is named.
    // The X11 way asks it only where a compositor answers (or --x11 was given), and does without
    // it where it cannot be had: one to the X display is kept by the X server too.
    std::unique_ptr<CRuntimeClaim> claim;
    const bool native = chosen.way == OrnamentWay::Wayland;
    if (!desktop.display.empty() && (native || desktop.answers || options.way == OrnamentWay::X11)) {
        RuntimePlace place;
        if (const std::string error = FindRuntimePlace(desktop.display, place); !error.empty()) {
            if (native)
                return Fail(error);
            std::fprintf(stderr, "lumetta: %s; only the X display keeps to one ornament\n", error.c_str());
        } else if (const int status = TakeOrTell(place, options, claim); status >= 0) {
            return status;
        }
    }
    OrnamentStart start;
    start.options = &options;
    start.installedFolder = installedFolder;
    start.claim = claim.get();
    start.wakeDescriptor = endSignals.WakeDescriptor();
    start.caught = &CEndSignals::Caught;
    start.started = [] { g_pGuard->Started(); };
    std::string notWayland = desktop.display.empty() ? "" : chosen.notWayland;
    if (chosen.way == OrnamentWay::Wayland && !options.stop) {
        const int status = HangOnWayland(start);
        if (status != kHangOnX11)
            return status;
        notWayland = "it cannot be drawn on the Wayland compositor";
    }
    if (chosen.way == OrnamentWay::Wayland && options.stop)
        return Fail("no ornament hangs on this desktop");
    return HangOnX11(start, notWayland);
}
