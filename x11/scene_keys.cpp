#include "x11/scene_keys.h"

#include "view/input.h"
#include "x11/key_places.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

int SceneKeyCode(XKeyEvent& event)
{
    const KeySym plain = XLookupKeysym(&event, 0);
    switch (plain) {
    case XK_Left:
    case XK_KP_Left:
        return VK_LEFT;
    case XK_Up:
    case XK_KP_Up:
        return VK_UP;
    case XK_Right:
    case XK_KP_Right:
        return VK_RIGHT;
    case XK_Down:
    case XK_KP_Down:
        return VK_DOWN;
    default:
        break;
    }
    char typed[8] = {};
    KeySym symbol = 0;
    const int length = XLookupString(&event, typed, sizeof typed - 1, &symbol, nullptr);
    const int character = length == 1 ? static_cast<unsigned char>(typed[0]) : 0;
    if (character >= 'a' && character <= 'z')
        return character - 'a' + 'A';
    if (character >= 'A' && character <= 'Z')
        return character;
    // Ctrl with a letter types a control character: the letter is the key's own.
    if (plain >= XK_a && plain <= XK_z)
        return static_cast<int>(plain - XK_a) + 'A';
    return DigitRowKey(event.keycode, character);
}
