// What the ornament keeps from one run to the next, in its group of the settings file, and
// how it saves it without ever waiting on another program that holds the settings' lock.
#pragma once

#include <chrono>
#include <map>
#include <string>

// The ornament's sides at scale 1, from smallest to largest, that its menu steps through.
inline constexpr int kOrnamentSides[] = {240, 360, 480, 600};
inline constexpr int kDefaultOrnamentSide = 360;
// The side after side, one step larger or smaller; side itself at either end.
int NextSide(int side, bool larger);

// Its place (saved after a drag or a new size), side at scale 1, pattern, flares, above or
// below, and whether it is locked in place. The place is kept from the top left of the
// monitor or output it is on, by that one's name, where the window system names them (a
// Wayland compositor's outputs); else on the whole desktop (an X11 root window).
struct OrnamentKept {
    bool placed = false;
    int x = 0, y = 0;
    std::string output;  // empty: no place kept on a named output
    int outputX = 0, outputY = 0;
    int side = kDefaultOrnamentSide;
    int pattern = 1;
    bool spin = false, above = false, locked = false;
};
// The kept values read from the group's keys: a value that is missing, not a number, or out
// of its range (a place beyond 32767, a side outside 16 to 8192, a pattern other than 1 to 3,
// a flag other than 0 or 1) is taken as not kept, and its default used.
OrnamentKept ReadKept(const std::map<std::string, std::string>& values);
// The keys under which each is kept.
inline constexpr char kKeptGroup[] = "Ornament";
inline constexpr char kKeptX[] = "X", kKeptY[] = "Y", kKeptSide[] = "Side", kKeptPattern[] = "Pattern",
                      kKeptSpin[] = "Spin", kKeptAbove[] = "Above", kKeptLocked[] = "Locked", kKeptOutput[] = "Output",
                      kKeptOutputX[] = "OutputX", kKeptOutputY[] = "OutputY";

// Saves the ornament's keys from its loop, which must never wait: the settings' lock is only
// tried, and while another program holds it the values wait in memory and are tried again on
// each turn of the loop; after a second of that it says so, once.
class CKeptSaver {
public:
    using Clock = std::chrono::steady_clock;

    // Sets values to be saved; tries at once.
    void Keep(const std::map<std::string, std::string>& values);
    // On each turn of the loop: tries again what waits.
    void Turn();
    // As the ornament ends: a last try, waiting for the lock up to waitMs.
    void Finish(int waitMs);
    // Whether values wait to be saved.
    bool Waiting() const { return !m_waiting.empty(); }

private:
    void Try(int waitMs);

    std::map<std::string, std::string> m_waiting;
    Clock::time_point m_since;  // when the values waiting were first kept from the file
    bool m_bSaid = false;       // the lock held has been said
};
