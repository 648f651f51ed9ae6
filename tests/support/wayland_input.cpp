#include "tests/support/wayland_input.h"

#include "virtual-keyboard-client-protocol.h"
#include "virtual-pointer-client-protocol.h"

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <cstring>

struct CWaylandInput::Devices {
    wl_display* display = nullptr;
    wl_seat* seat = nullptr;
    zwlr_virtual_pointer_manager_v1* pointers = nullptr;
    zwp_virtual_keyboard_manager_v1* keyboards = nullptr;
    zwlr_virtual_pointer_v1* pointer = nullptr;
    zwp_virtual_keyboard_v1* keyboard = nullptr;
    int width = 0, height = 0;

    ~Devices()
    {
        if (pointer)
            zwlr_virtual_pointer_v1_destroy(pointer);
        if (keyboard)
            zwp_virtual_keyboard_v1_destroy(keyboard);
        if (display)
            wl_display_disconnect(display);
    }

    static uint32_t Now()
    {
        return static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count());
    }

    void Taken() const { wl_display_roundtrip(display); }
};

namespace {

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    auto* devices = static_cast<CWaylandInput::Devices*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !devices->seat)
        devices->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        devices->pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
        devices->keyboards = static_cast<zwp_virtual_keyboard_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
}

void OnGlobalGone(void*, wl_registry*, uint32_t)
{
}

const wl_registry_listener kRegistry = {OnGlobal, OnGlobalGone};

// A US keymap as text, in a file the compositor can map.
int KeymapFile(std::size_t& size)
{
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    const xkb_rule_names names = {"evdev", "pc105", "us", "", ""};
    xkb_keymap* keymap = context ? xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS) : nullptr;
    char* text = keymap ? xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1) : nullptr;
    int file = -1;
    if (text) {
        size = std::strlen(text) + 1;
        file = memfd_create("lumetta-test-keymap", MFD_CLOEXEC);
        if (file >= 0 && write(file, text, size) != static_cast<ssize_t>(size)) {
            close(file);
            file = -1;
        }
    }
    std::free(text);
    if (keymap)
        xkb_keymap_unref(keymap);
    if (context)
        xkb_context_unref(context);
    return file;
}

}  // namespace

CWaylandInput::CWaylandInput() : m_devices(std::make_unique<Devices>())
{
}

CWaylandInput::~CWaylandInput() = default;

std::string CWaylandInput::Connect(int layoutWidth, int layoutHeight)
{
    Devices& d = *m_devices;
    d.width = layoutWidth;
    d.height = layoutHeight;
    d.display = wl_display_connect(nullptr);
    if (!d.display)
        return "cannot connect to the Wayland display";
    wl_registry* registry = wl_display_get_registry(d.display);
    wl_registry_add_listener(registry, &kRegistry, &d);
    wl_display_roundtrip(d.display);
    if (!d.seat || !d.pointers || !d.keyboards)
        return "the compositor offers no seat, virtual pointer or virtual keyboard";
    d.pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(d.pointers, d.seat);
    d.keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(d.keyboards, d.seat);
    std::size_t size = 0;
    const int keymap = KeymapFile(size);
    if (keymap < 0)
        return "cannot make a US keymap (xkbcommon)";
    zwp_virtual_keyboard_v1_keymap(d.keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, keymap, static_cast<uint32_t>(size));
    close(keymap);
    if (wl_display_roundtrip(d.display) < 0)
        return "the compositor refused the devices";
    return {};
}

void CWaylandInput::MoveTo(int x, int y)
{
    Devices& d = *m_devices;
    zwlr_virtual_pointer_v1_motion_absolute(d.pointer, Devices::Now(), static_cast<uint32_t>(x),
                                            static_cast<uint32_t>(y), static_cast<uint32_t>(d.width),
                                            static_cast<uint32_t>(d.height));
    zwlr_virtual_pointer_v1_frame(d.pointer);
    d.Taken();
}

void CWaylandInput::Button(unsigned button, bool pressed)
{
    Devices& d = *m_devices;
    zwlr_virtual_pointer_v1_button(d.pointer, Devices::Now(), button, pressed ? 1 : 0);
    zwlr_virtual_pointer_v1_frame(d.pointer);
    d.Taken();
}

void CWaylandInput::Click(int x, int y, unsigned button)
{
    MoveTo(x, y);
    Button(button, true);
    Button(button, false);
}

void CWaylandInput::Drag(int fromX, int fromY, int toX, int toY, unsigned button, int steps)
{
    MoveTo(fromX, fromY);
    Button(button, true);
    for (int i = 1; i <= steps; ++i)
        MoveTo(fromX + (toX - fromX) * i / steps, fromY + (toY - fromY) * i / steps);
    Button(button, false);
}

void CWaylandInput::Key(unsigned key, bool pressed)
{
    Devices& d = *m_devices;
    zwp_virtual_keyboard_v1_key(d.keyboard, Devices::Now(), key, pressed ? 1 : 0);
    d.Taken();
}

void CWaylandInput::Tap(unsigned key)
{
    Key(key, true);
    Key(key, false);
}
