#include "ornament/wayland/compositor_link.h"

#include <gdk/gdkwayland.h>
#include <linux/input-event-codes.h>
#include <relative-pointer-unstable-v1-client-protocol.h>
#include <xdg-output-unstable-v1-client-protocol.h>

#include <cstring>

namespace {

template <typename T>
void ToMainQueue(T* proxy)
{
    if (proxy)
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(proxy), nullptr);
}

// How far the pointer moved, as the cursor did (accelerated, as the user sees it).
const zwp_relative_pointer_v1_listener kRelativeListener = {
    [](void* data, zwp_relative_pointer_v1*, uint32_t, uint32_t, wl_fixed_t dx, wl_fixed_t dy, wl_fixed_t, wl_fixed_t) {
        static_cast<CCompositorLink::PointerEvents*>(data)->OnPointerMoved(wl_fixed_to_double(dx),
                                                                           wl_fixed_to_double(dy));
    },
};

}  // namespace

const wl_registry_listener CCompositorLink::kRegistryListener = {
    [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
        auto* link = static_cast<CCompositorLink*>(data);
        const auto bind = [&](const wl_interface* wanted, uint32_t at) {
            return wl_registry_bind(registry, name, wanted, at);
        };
        if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0 && version >= 2) {
            link->m_manager = static_cast<zxdg_output_manager_v1*>(bind(&zxdg_output_manager_v1_interface, 2));
        } else if (std::strcmp(interface, zwp_relative_pointer_manager_v1_interface.name) == 0) {
            link->m_relativeManager =
                static_cast<zwp_relative_pointer_manager_v1*>(bind(&zwp_relative_pointer_manager_v1_interface, 1));
        } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
            link->m_shm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
        } else if (std::strcmp(interface, wl_subcompositor_interface.name) == 0) {
            link->m_subcompositor = static_cast<wl_subcompositor*>(bind(&wl_subcompositor_interface, 1));
        } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !link->m_seat) {
            link->m_seat = static_cast<wl_seat*>(bind(&wl_seat_interface, 1));
            wl_seat_add_listener(link->m_seat, &kSeatListener, link);
        }
    },
    [](void*, wl_registry*, uint32_t) {},
};

// Version 1 of the seat, whose pointer has the five events below and no more.
const wl_seat_listener CCompositorLink::kSeatListener = {
    [](void* link, wl_seat*, uint32_t capabilities) {
        static_cast<CCompositorLink*>(link)->OnCapabilities(capabilities);
    },
    nullptr,
};

const wl_pointer_listener CCompositorLink::kPointerListener = {
    // enter
    [](void* data, wl_pointer*, uint32_t, wl_surface* surface, wl_fixed_t x, wl_fixed_t y) {
        auto* link = static_cast<CCompositorLink*>(data);
        link->m_under = surface;
        link->m_x = wl_fixed_to_double(x);
        link->m_y = wl_fixed_to_double(y);
        link->m_events.OnPointerOver(surface, true);
    },
    // leave
    [](void* data, wl_pointer*, uint32_t, wl_surface* surface) {
        auto* link = static_cast<CCompositorLink*>(data);
        link->m_under = nullptr;
        link->m_events.OnPointerOver(surface, false);
    },
    // motion
    [](void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
        auto* link = static_cast<CCompositorLink*>(data);
        link->m_x = wl_fixed_to_double(x);
        link->m_y = wl_fixed_to_double(y);
    },
    // button
    [](void* data, wl_pointer*, uint32_t, uint32_t, uint32_t button, uint32_t state) {
        auto* link = static_cast<CCompositorLink*>(data);
        if (button == BTN_LEFT)
            link->m_events.OnPointerButton(link->m_under, link->m_x, link->m_y,
                                           state == WL_POINTER_BUTTON_STATE_PRESSED);
    },
    // axis
    [](void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {},
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

CCompositorLink::CCompositorLink(wl_display* display, PointerEvents& events)
    : m_display(display), m_events(events), m_queue(wl_display_create_queue(display))
{
    auto* wrapped = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapped), m_queue);
    wl_registry* registry = wl_display_get_registry(wrapped);
    wl_proxy_wrapper_destroy(wrapped);
    wl_registry_add_listener(registry, &kRegistryListener, this);
    wl_display_roundtrip_queue(m_display, m_queue);
    // From now on their events are dispatched with GTK's: the seat's and its pointer's, and
    // those of the buffers and surfaces made from them.
    ToMainQueue(m_seat);
    ToMainQueue(m_relativeManager);
    ToMainQueue(m_shm);
    ToMainQueue(m_subcompositor);
    m_bSeatReady = true;
    if (m_seat && m_pointerOffered)
        OnCapabilities(WL_SEAT_CAPABILITY_POINTER);
    wl_registry_destroy(registry);
}

CCompositorLink::~CCompositorLink()
{
    ReleasePointer();
    if (m_relativeManager)
        zwp_relative_pointer_manager_v1_destroy(m_relativeManager);
    if (m_seat)
        wl_seat_destroy(m_seat);
    if (m_shm)
        wl_shm_destroy(m_shm);
    if (m_subcompositor)
        wl_subcompositor_destroy(m_subcompositor);
    if (m_manager)
        zxdg_output_manager_v1_destroy(m_manager);
    wl_event_queue_destroy(m_queue);
}

std::string CCompositorLink::NameOf(GdkMonitor* monitor)
{
    wl_output* output = gdk_wayland_monitor_get_wl_output(monitor);
    if (const auto known = m_names.find(output); known != m_names.end())
        return known->second;
    std::string name;
    if (m_manager && output) {
        zxdg_output_v1* xdg = zxdg_output_manager_v1_get_xdg_output(m_manager, output);
        static const zxdg_output_v1_listener listener = {
            [](void*, zxdg_output_v1*, int32_t, int32_t) {},
            [](void*, zxdg_output_v1*, int32_t, int32_t) {},
            [](void*, zxdg_output_v1*) {},
            [](void* to, zxdg_output_v1*, const char* given) { *static_cast<std::string*>(to) = given; },
            [](void*, zxdg_output_v1*, const char*) {},
        };
        zxdg_output_v1_add_listener(xdg, &listener, &name);
        wl_display_roundtrip_queue(m_display, m_queue);
        zxdg_output_v1_destroy(xdg);
    }
    if (name.empty()) {
        const char* maker = gdk_monitor_get_manufacturer(monitor);
        const char* model = gdk_monitor_get_model(monitor);
        name = std::string(maker ? maker : "") + " " + (model ? model : "");
    }
    m_names[output] = name;
    return name;
}

void CCompositorLink::OnCapabilities(uint32_t capabilities)
{
    m_pointerOffered = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
    // Until the seat is on the main queue, its pointer waits.
    if (!m_bSeatReady)
        return;
    if (m_pointerOffered && !m_pointer) {
        m_pointer = wl_seat_get_pointer(m_seat);
        wl_pointer_add_listener(m_pointer, &kPointerListener, this);
        if (m_relativeManager) {
            m_relative = zwp_relative_pointer_manager_v1_get_relative_pointer(m_relativeManager, m_pointer);
            zwp_relative_pointer_v1_add_listener(m_relative, &kRelativeListener, &m_events);
        }
    } else if (!m_pointerOffered) {
        ReleasePointer();
    }
}

void CCompositorLink::ReleasePointer()
{
    if (m_relative)
        zwp_relative_pointer_v1_destroy(m_relative);
    if (m_pointer)
        wl_pointer_destroy(m_pointer);
    m_relative = nullptr;
    m_pointer = nullptr;
}
