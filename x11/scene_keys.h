// X key events as the scene takes them.
#pragma once

#include <X11/Xlib.h>

// The key code the scene takes for an X key event (view/input.h's codes): arrows (the
// keypad's too), letters whatever Shift and Ctrl say, the digit row's keys by their place
// (key_places.h); 0 for any other.
int SceneKeyCode(XKeyEvent& event);
