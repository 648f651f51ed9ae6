// What another lumetta asks of the ornament that hangs, whichever window system it hangs on:
// to go, or to take options for its run, as one line of words; and what the one that asks
// says about it.
#pragma once

#include "ornament/options.h"

#include <functional>
#include <string>

struct OrnamentRequest {
    bool stop = false;     // take it down
    int pattern = 0;       // 1 to 3; 0: as it is
    bool spin = false;     // the flares turning
    bool above = false;    // above other windows
    std::string geometry;  // --geometry's text; empty: as it is
    bool operator==(const OrnamentRequest&) const = default;
};
// A request as one line of words, and back; words not known are passed over.
std::string RequestText(const OrnamentRequest& request);
OrnamentRequest ReadRequest(const std::string& line);

// How another lumetta reaches the ornament that hangs.
struct HangingContact {
    long pid = -1;  // its process, or -1 when it does not say
    // Hands it request; false when it did not take it in time, or is gone.
    std::function<bool(const OrnamentRequest& request)> send;
    // After a stop was taken: whether it went in time.
    std::function<bool()> waitGone;
};
// With an ornament hanging already: takes it down with --stop, refuses options it cannot take,
// or hands it those it can, and says what was done on stderr. Returns the exit status: 0 when
// done (or when nothing was asked), 1 when it did not answer, 2 for an option it cannot take.
int TellHanging(const HangingContact& hanging, const OrnamentOptions& options);
