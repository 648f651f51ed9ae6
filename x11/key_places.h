// Keys by their place on the keyboard rather than by what the layout types on them: the
// digit row types & é " on a French keyboard where others type 1 2 3, and the pattern keys
// are the digit row's first three keys on every layout.
#pragma once

// The digit ('1' to '9', '0') of the digit-row key with X key code keyCode, or 0 for any
// other key. Where there is no key code (an event made by a program) or the X server does
// not name its keys, the digit that character is, or 0. The names are read once.
int DigitRowKey(unsigned keyCode, int character);
