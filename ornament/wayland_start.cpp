// The program's side of the Wayland ornament: the desktop's one place taken, or the one that
// holds it told; then the module loaded and run.
#include "ornament/wayland_entry.h"

#include "os/modules.h"

#include <cstdio>

namespace {

// How long another lumetta waits for the one that hangs to answer.
constexpr int kAnswerMilliseconds = 5000;

int Fail(const std::string& line)
{
    std::fprintf(stderr, "lumetta: %s\n", line.c_str());
    return 1;
}

int Tell(CRuntimeContact& other, const OrnamentOptions& options)
{
    HangingContact contact;
    contact.pid = other.Pid();
    contact.send = [&](const OrnamentRequest& request) { return other.Send(request, kAnswerMilliseconds); };
    contact.waitGone = [&] { return other.WaitGone(kAnswerMilliseconds); };
    return TellHanging(contact, options);
}

}  // namespace

int RunWaylandOrnament(const OrnamentOptions& options, const std::string& installedFolder, const std::string& display,
                       const CEndSignals& endSignals)
{
    RuntimePlace place;
    if (const std::string error = FindRuntimePlace(display, place); !error.empty())
        return Fail(error);
    CRuntimeContact other;
    if (options.stop) {
        if (!CRuntimeClaim::FindHolder(place, kAnswerMilliseconds, other))
            return Fail("no ornament hangs on this desktop");
        return Tell(other, options);
    }
    CRuntimeClaim claim;
    std::string error;
    switch (claim.Claim(place, kAnswerMilliseconds, other, error)) {
    case CRuntimeClaim::Outcome::Held:
        return Tell(other, options);
    case CRuntimeClaim::Outcome::Failed:
        return Fail(error);
    case CRuntimeClaim::Outcome::Taken:
        break;
    }
    const auto entry = reinterpret_cast<WaylandOrnamentEntry>(
        LoadModuleEntry(kWaylandOrnamentModuleFile, kWaylandOrnamentEntryName, error));
    if (!entry) {
        std::fprintf(stderr, "lumetta: cannot hang the ornament on Wayland: %s\n", error.c_str());
        return kHangOnX11;
    }
    WaylandOrnamentStart start;
    start.options = &options;
    start.installedFolder = installedFolder;
    start.claim = &claim;
    start.wakeDescriptor = endSignals.WakeDescriptor();
    start.caught = &CEndSignals::Caught;
    return entry(start);
}
