#include "wayland/scene_keys.h"

#include "view/input.h"

#include <xkbcommon/xkbcommon-keysyms.h>

namespace {

// The digit row's keys, 1 to 9 and 0, are evdev's codes 2 to 11 on every keyboard.
constexpr unsigned kFirstDigitKey = 2 + 8, kLastDigitKey = 11 + 8;

}  // namespace

int SceneKeyOfKeysym(unsigned keysym, unsigned xkbKeycode)
{
    switch (keysym) {
    case XKB_KEY_Left:
    case XKB_KEY_KP_Left:
        return VK_LEFT;
    case XKB_KEY_Up:
    case XKB_KEY_KP_Up:
        return VK_UP;
    case XKB_KEY_Right:
    case XKB_KEY_KP_Right:
        return VK_RIGHT;
    case XKB_KEY_Down:
    case XKB_KEY_KP_Down:
        return VK_DOWN;
    default:
        break;
    }
    if (keysym >= XKB_KEY_a && keysym <= XKB_KEY_z)
        return static_cast<int>(keysym - XKB_KEY_a) + 'A';
    if (keysym >= XKB_KEY_A && keysym <= XKB_KEY_Z)
        return static_cast<int>(keysym - XKB_KEY_A) + 'A';
    if (xkbKeycode >= kFirstDigitKey && xkbKeycode <= kLastDigitKey)
        return '0' + static_cast<int>(xkbKeycode - kFirstDigitKey + 1) % 10;
    return 0;
}
