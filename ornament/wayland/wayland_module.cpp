// The Wayland ornament's module: its entry, and how it ends when the compositor goes.
#include "ornament/wayland/layer_surface.h"
#include "ornament/wayland/wayland_entry.h"
#include "os/end_signals.h"
#include "os/fail.h"

#include <gdk/gdkwayland.h>
#include <gtk-layer-shell.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

wl_display* g_pDisplay = nullptr;
std::string g_socket;  // the ornament's control socket, taken away as it ends

// GDK ends the process with status 1 when the connection fails, after saying so in one of
// these. The compositor's going ends the ornament quietly, as the X server's going does; the
// compositor refusing it (a protocol error) or a connection that fails otherwise is said in
// one line, and is status 1.
GLogWriterOutput OnLog(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer data)
{
    static const char* const kConnectionFailed[] = {
        "Error reading events from display",
        "Error flushing display",
        "dispatching to Wayland display",
        "Lost connection to Wayland compositor",
    };
    for (gsize i = 0; i < count; ++i) {
        if (std::strcmp(fields[i].key, "MESSAGE") != 0 || fields[i].length != -1)
            continue;
        const auto* message = static_cast<const char*>(fields[i].value);
        if (std::none_of(std::begin(kConnectionFailed), std::end(kConnectionFailed),
                         [&](const char* failed) { return std::strstr(message, failed) != nullptr; }))
            continue;
        const int error = g_pDisplay ? wl_display_get_error(g_pDisplay) : 0;
        if (!g_socket.empty())
            ::unlink(g_socket.c_str());
        if (error == EPROTO) {
            const wl_interface* interface = nullptr;
            std::uint32_t id = 0;
            const std::uint32_t code = wl_display_get_protocol_error(g_pDisplay, &interface, &id);
            std::fprintf(stderr, "lumetta: the Wayland compositor refused the ornament: error %u on %s\n", code,
                         interface ? interface->name : "the display");
            ::_exit(1);
        }
        // The socket closed: GDK saw it hang up, or a read or a flush found it so (GDK says the
        // flush's errno in words).
        const bool gone = error == EPIPE || error == ECONNRESET || std::strstr(message, "Lost connection") ||
                          std::strstr(message, g_strerror(EPIPE)) || std::strstr(message, g_strerror(ECONNRESET));
        if (gone)
            ::_exit(0);
        std::fprintf(stderr, "lumetta: the connection to the Wayland compositor failed: %s\n", message);
        ::_exit(1);
    }
    return g_log_writer_default(level, fields, count, data);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int LumettaHangOnWayland(const OrnamentStart& start)
{
    g_socket = start.claim ? start.claim->SocketPath() : "";
    auto scene = std::make_unique<CScene>();
    scene->SetTransparent(true);
    scene->SetFrameDrawing(FrameDrawing::Cached);
    scene->OnCreate(start.installedFolder);
    std::unique_ptr<CHeadlessContext> context;
    {
        // The GL driver and the toolkit start their threads here: they keep the end signals out.
        const CHoldEndSignals hold;
        // llvmpipe's rasteriser threads cost more than they save for a few tiles at a time, as
        // for the X11 ornament; the user's own LP_NUM_THREADS wins.
        (void)::setenv("LP_NUM_THREADS", "0", 0);
        context = std::make_unique<CHeadlessContext>(kDefaultOrnamentSide, kDefaultOrnamentSide);
        if (!context->Ok()) {
            if (start.options->way == OrnamentWay::Wayland)
                return Fail("cannot draw the ornament on Wayland: " + context->Error());
            std::fprintf(stderr, "lumetta: cannot draw the ornament on Wayland: %s; it hangs through X11\n",
                         context->Error().c_str());
            return kHangOnX11;
        }
        g_log_set_writer_func(OnLog, nullptr, nullptr);
        gdk_set_allowed_backends("wayland");
        if (!gtk_init_check(nullptr, nullptr))
            return Fail("GTK cannot connect to the Wayland compositor");
    }
    if (!gtk_layer_is_supported())
        return Fail("the Wayland compositor offers no layer surfaces");
    g_pDisplay = gdk_wayland_display_get_wl_display(gdk_display_get_default());
    COrnament ornament(start, *scene);
    CLayerSurface surface(ornament, *context);
    if (const std::string error = surface.Connect(); !error.empty())
        return Fail(error);
    const int status = ornament.Run(surface);
    surface.Close();
    return status;
}
