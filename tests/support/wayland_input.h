// A mouse and a keyboard of a test's own on a Wayland compositor's seat, made through the
// virtual-pointer and virtual-keyboard protocols: a headless compositor has no devices, and
// so gives its clients neither pointer nor keys until a client adds them.
#pragma once

#include <memory>
#include <string>

class CWaylandInput {
public:
    CWaylandInput();
    ~CWaylandInput();
    CWaylandInput(const CWaylandInput&) = delete;
    CWaylandInput& operator=(const CWaylandInput&) = delete;

    // Connects to the compositor WAYLAND_DISPLAY names and adds the devices to its seat, a
    // US keyboard. Returns an empty string, or why it cannot.
    std::string Connect(int layoutWidth, int layoutHeight);

    // Each returns once the compositor has taken it.
    void MoveTo(int x, int y);
    void Button(unsigned button, bool pressed);  // BTN_LEFT, BTN_RIGHT
    void Click(int x, int y, unsigned button);
    // A drag with button from one place to another, in steps.
    void Drag(int fromX, int fromY, int toX, int toY, unsigned button, int steps = 8);
    void Key(unsigned key, bool pressed);  // KEY_ESC, KEY_UP...
    void Tap(unsigned key);

    struct Devices;  // the connection and the objects on it

private:
    std::unique_ptr<Devices> m_devices;
};
