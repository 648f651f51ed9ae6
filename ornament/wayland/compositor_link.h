// What the Wayland ornament asks of the compositor beyond GTK, on objects of its own: the
// outputs' names (HEADLESS-1, DP-2), which GTK 3 does not give, from xdg-output; the pointer's
// own events, for a drag; and shared memory and subsurfaces, for its frames. A drag moves the
// surface under the pointer, and compositors differ in what they then say the pointer's place
// on the surface is; how far the pointer moved (relative-pointer) is the same everywhere.
#pragma once

#include <gdk/gdk.h>
#include <wayland-client.h>

#include <map>
#include <string>

struct zxdg_output_manager_v1;
struct zwp_relative_pointer_manager_v1;
struct zwp_relative_pointer_v1;

class CCompositorLink {
public:
    // The pointer's events on any surface of this client.
    class PointerEvents {
    public:
        virtual ~PointerEvents() = default;
        // The left button, at x, y on surface.
        virtual void OnPointerButton(wl_surface* surface, double x, double y, bool pressed) = 0;
        // The pointer moved by dx, dy, wherever it is.
        virtual void OnPointerMoved(double dx, double dy) = 0;
        // The pointer came onto surface, or left it.
        virtual void OnPointerOver(wl_surface* surface, bool over) = 0;
    };

    // On GTK's connection to the compositor; its events dispatched as GTK dispatches its own.
    CCompositorLink(wl_display* display, PointerEvents& events);
    ~CCompositorLink();
    CCompositorLink(const CCompositorLink&) = delete;
    CCompositorLink& operator=(const CCompositorLink&) = delete;

    // The name of monitor's output; its maker and model where the compositor does not name it.
    std::string NameOf(GdkMonitor* monitor);
    // Forgets the names of outputs that went, whose objects may come back for new ones.
    void Forget() { m_names.clear(); }
    // Whether OnPointerMoved is told of the pointer's moves; else only the places of its
    // presses and releases count.
    bool FollowsMoves() const { return m_relativeManager != nullptr; }
    // Shared memory and subsurfaces, which every compositor offers; null if this one does not.
    wl_shm* Shm() const { return m_shm; }
    wl_subcompositor* Subcompositor() const { return m_subcompositor; }

private:
    static const wl_registry_listener kRegistryListener;
    static const wl_seat_listener kSeatListener;
    static const wl_pointer_listener kPointerListener;

    void OnCapabilities(uint32_t capabilities);
    void ReleasePointer();

    wl_display* const m_display;
    PointerEvents& m_events;
    wl_event_queue* const m_queue;  // for its round trips, which leave GTK's events alone
    zxdg_output_manager_v1* m_manager = nullptr;
    zwp_relative_pointer_manager_v1* m_relativeManager = nullptr;
    wl_shm* m_shm = nullptr;
    wl_subcompositor* m_subcompositor = nullptr;
    wl_seat* m_seat = nullptr;
    bool m_bSeatReady = false, m_pointerOffered = false;
    wl_pointer* m_pointer = nullptr;
    zwp_relative_pointer_v1* m_relative = nullptr;
    wl_surface* m_under = nullptr;  // the surface the pointer is on
    double m_x = 0, m_y = 0;
    std::map<wl_output*, std::string> m_names;
};
