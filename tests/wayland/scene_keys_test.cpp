// Keys on a Wayland seat as the scene takes them.
#include "view/input.h"
#include "wayland/scene_keys.h"

#include <gtest/gtest.h>

#include <ios>

namespace {

// Catches the Wayland seat's keys taken by what they type where the scene takes them by their
// place, or letters, arrows or Ctrl misread: the digit row by its keys' codes on any layout.
TEST(WaylandKeysTest, ArrowsLettersAndTheDigitRowByPlace)
{
    // clang-format off
    const struct { unsigned keysym, keycode; int want; } cases[] = {
        {0xff51, 113, VK_LEFT},    // Left
        {0xff97, 80,  VK_UP},      // the keypad's Up
        {'a',    38,  'A'},
        {'R',    27,  'R'},        // with Shift
        {0x26,   10,  '1'},        // & on a French keyboard's 1 key
        {'0',    19,  '0'},
        {'1',    87,  0},          // the keypad's 1
        {0xff1b, 9,   0},          // Esc, the ornament's own
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(SceneKeyOfKeysym(c.keysym, c.keycode), c.want) << std::hex << c.keysym;
}

}  // namespace
