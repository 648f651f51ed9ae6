#include "x11/key_places.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// XKB names the digit row's keys AE01 to AE10 on every keyboard, whatever they type.
std::array<char, 256> ReadDigitRow()
{
    std::array<char, 256> digits{};
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return digits;
    if (XkbDescPtr keyboard = XkbGetMap(display, 0, XkbUseCoreKbd)) {
        if (XkbGetNames(display, XkbKeyNamesMask, keyboard) == Success && keyboard->names && keyboard->names->keys) {
            for (int code = keyboard->min_key_code; code <= keyboard->max_key_code && code < 256; ++code) {
                const char* name = keyboard->names->keys[code].name;
                if (std::strncmp(name, "AE", 2) == 0 && name[2] >= '0' && name[2] <= '1' && name[3] >= '0' &&
                    name[3] <= '9') {
                    const int place = (name[2] - '0') * 10 + (name[3] - '0');
                    if (place >= 1 && place <= 10)
                        digits[code] = static_cast<char>('0' + place % 10);
                }
            }
        }
        XkbFreeKeyboard(keyboard, 0, True);
    }
    XCloseDisplay(display);
    return digits;
}

}  // namespace

int DigitRowKey(unsigned keyCode, int character)
{
    static const std::array<char, 256> s_digits = ReadDigitRow();
    static const bool s_bNamed = std::any_of(s_digits.begin(), s_digits.end(), [](char d) { return d != 0; });
    if (keyCode == 0 || !s_bNamed)
        return character >= '0' && character <= '9' ? character : 0;
    return keyCode < s_digits.size() ? s_digits[keyCode] : 0;
}
