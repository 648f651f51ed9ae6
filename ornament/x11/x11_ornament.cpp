#include "ornament/x11/x11_ornament.h"

#include "ornament/x11/x11_control.h"
#include "ornament/x11/x11_surface.h"
#include "os/fail.h"
#include "x11/display.h"

#include <X11/extensions/shape.h>

#include <cstdio>
#include <memory>

namespace {

// How long another lumetta waits for the one that hangs to answer.
constexpr int kAnswerMilliseconds = 5000;

// X errors come late and from anywhere; none of them is worth ending the ornament for.
int OnXError(Display*, XErrorEvent*)
{
    return 0;
}

// With an ornament hanging already on display: hands it what the command line asks, or takes it
// down.
int Tell(Display* d, const HangingOrnament& hanging, const OrnamentOptions& options)
{
    HangingContact contact;
    contact.pid = hanging.pid;
    contact.send = [&](const OrnamentRequest& request) {
        return SendRequest(d, hanging, request, kAnswerMilliseconds);
    };
    contact.waitGone = [&] { return WaitGone(d, hanging, kAnswerMilliseconds); };
    return TellHanging(contact, options);
}

// The socket the runtime claim listens on goes as the connection does.
std::string g_claimedSocket;

}  // namespace

int HangOnX11(const OrnamentStart& start, const std::string& notWayland)
{
    const OrnamentOptions& options = *start.options;
    const DisplayPtr display = OpenDisplayToTheEnd(OnXError);
    if (!display) {
        if (options.way == OrnamentWay::X11)
            return Fail("cannot open the X display");
        if (notWayland.empty())
            return Fail("cannot open the display: the ornament hangs on a Wayland desktop that offers layer "
                        "surfaces, or on an X11 one");
        return Fail("cannot open the display: " + notWayland + ", and no X display (Xwayland) answers either");
    }
    Display* d = display.get();
    if (start.claim) {
        g_claimedSocket = start.claim->SocketPath();
        AtDisplayGone([] { (void)std::remove(g_claimedSocket.c_str()); });
    }
    int shapeEvent = 0, shapeError = 0;
    if (!XShapeQueryExtension(d, &shapeEvent, &shapeError))
        return Fail("this display has no SHAPE extension, so clicks could not pass through the ornament");
    if (const HangingOrnament hanging = FindHanging(d); hanging.window != 0 || options.stop) {
        if (hanging.window == 0)
            return Fail("no ornament hangs on this desktop");
        return Tell(d, hanging, options);
    }
    // Ornaments started at once: exactly one takes the place.
    const Window claim = MakeClaimWindow(d);
    if (const HangingOrnament other = ClaimPlace(d, claim); other.window != 0)
        return Tell(d, other, options);

    auto scene = std::make_unique<CScene>();
    scene->SetTransparent(true);
    scene->SetFrameDrawing(FrameDrawing::Cached);
    scene->OnCreate(start.installedFolder);
    COrnament ornament(start, *scene);
    auto surface = std::make_unique<CX11Surface>(d, claim, ornament);
    return ornament.Run(*surface);
}
