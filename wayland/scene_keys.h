// Keys on a Wayland seat as the scene takes them, from the keysym the seat's keymap gives and
// the key's XKB code (the kernel's evdev code plus 8), which says where the key is whatever
// the layout types on it.
#pragma once

// The key code the scene takes (view/input.h's codes): arrows (the keypad's too), letters
// whatever Shift and Ctrl say, the digit row's keys by their place; 0 for any other.
int SceneKeyOfKeysym(unsigned keysym, unsigned xkbKeycode);
