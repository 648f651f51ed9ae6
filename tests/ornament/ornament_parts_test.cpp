// The ornament's parts that take plain values: where it hangs on plain monitor rectangles
// (--geometry read, places seen or lost between monitors, the default place, what the settings
// file keeps), its outline from a frame's alpha, what another lumetta asks of it and how it is
// reached on a Wayland desktop, which window system it hangs on, and its autostart entry.
#include "ornament/autostart.h"
#include "ornament/outline.h"
#include "ornament/placement.h"
#include "ornament/request.h"
#include "ornament/wayland/buffer_parts.h"
#include "ornament/control.h"
#include "ornament/run.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <optional>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <thread>
#include <utility>
#include <string>
#include <vector>

namespace {

// Two monitors of different heights, as xrandr sets them: 1920x1200 (primary) and 1280x800
// beside it, 400 pixels down. Above the second is a gap 1280 wide and 400 high.
const std::vector<PlaceRect> kTwo = {{0, 0, 1920, 1200}, {1920, 400, 1280, 800}};
const PlaceRect kRoot = {0, 0, 3200, 1200};

// Catches a geometry misread, or one that overflows or is cut to X's 16 bits in silence.
TEST(GeometryTest, ReadsWhatXProgramsTakeAndRefusesTheRest)
{
    struct Case {
        const char* text;
        bool taken;
        Geometry want;
    };
    const Case cases[] = {
        {"400x400+500+100", true, {400, 400, true, false, false, 500, 100}},
        {"240x300", true, {240, 300, false, false, false, 0, 0}},
        {"-0-0", true, {0, 0, true, true, true, 0, 0}},
        {"+32767-32767", true, {0, 0, true, false, true, 32767, 32767}},
        {"=360x360-10+20", true, {360, 360, true, true, false, 10, 20}},
        {"+32768+0", false, {}},
        {"+2147483648+0", false, {}},
        {"400x400+5000", false, {}},
        {"15x400", false, {}},
        {"8193x400", false, {}},
        {"400x", false, {}},
        {"400x400+1+2junk", false, {}},
        {"", false, {}},
    };
    for (const Case& c : cases) {
        Geometry read;
        const std::string error = ReadGeometry(c.text, read);
        EXPECT_EQ(error.empty(), c.taken) << c.text << ": " << error;
        if (c.taken) {
            EXPECT_TRUE(read.width == c.want.width && read.height == c.want.height && read.placed == c.want.placed &&
                        read.fromRight == c.want.fromRight && read.fromBottom == c.want.fromBottom &&
                        read.x == c.want.x && read.y == c.want.y)
                << c.text;
        }
    }
    Geometry read;
    EXPECT_EQ(ReadGeometry("+40000+0", read), "a place is at most 32767");
}

// Catches a place in the gap between monitors taken as seen, a place across two monitors taken
// as lost, and arithmetic that overflows at the edge of int.
TEST(PlacementTest, APlaceIsSeenWithAQuarterOnOneMonitor)
{
    struct Case {
        PlaceRect window;
        bool seen;
    };
    const Case cases[] = {
        {{2792, 48, 360, 360}, false},   // top right of the whole root: in the gap
        {{1512, 48, 360, 360}, true},    // top right of the primary
        {{1830, 500, 360, 360}, true},   // half on each
        {{1830, 250, 360, 360}, true},   // a quarter on the primary, some on the second, some in the gap
        {{3100, 900, 360, 360}, false},  // mostly off the right edge
        {{INT_MAX - 10, INT_MAX - 10, 360, 360}, false},
        {{INT_MIN, INT_MIN, 360, 360}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SeenOnAMonitor(kTwo, c.window), c.seen) << c.window.x << ", " << c.window.y;
}

// Catches a window hung where nobody sees it: moved onto the monitor nearest its centre, as
// little as it takes; a window larger than its monitor at the monitor's corner.
TEST(PlacementTest, APlaceOnNoMonitorGoesOntoTheNearest)
{
    struct Case {
        PlaceRect window, want;
    };
    const Case cases[] = {
        {{5000, 5000, 360, 360}, {2840, 840, 360, 360}},    {{2792, 48, 360, 360}, {2792, 400, 360, 360}},
        {{-900, 100, 360, 360}, {0, 100, 360, 360}},        {{1512, 48, 360, 360}, {1512, 48, 360, 360}},
        {{3000, 500, 2000, 2000}, {1920, 400, 2000, 2000}}, {{INT_MAX - 10, INT_MIN, 360, 360}, {2840, 400, 360, 360}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OntoNearestMonitor(kTwo, c.window), c.want) << c.window.x << ", " << c.window.y;
    EXPECT_EQ(DefaultPlace(kTwo, kRoot, 360, 360, 48), (PlaceRect{1512, 48, 360, 360})) << "not on the primary";
    EXPECT_EQ(DefaultPlace({}, {0, 0, 1024, 768}, 360, 360, 48), (PlaceRect{616, 48, 360, 360}));
    Geometry corner;
    ASSERT_EQ(ReadGeometry("-0-0", corner), "");
    EXPECT_EQ(GeometryPlace(corner, {0, 0, 1024, 768}, 360, 360), (PlaceRect{664, 408, 360, 360}));
}

// Catches a damaged settings file taken at its word: a huge, negative or non-numeric value is
// not kept, and the default stands; good values beside it are kept.
TEST(PlacementTest, KeptValuesOutOfTheirRangeAreNotKept)
{
    const OrnamentKept fine = ReadKept(
        {{"X", "-17"}, {"Y", "23"}, {"Side", "480"}, {"Pattern", "3"}, {"Spin", "1"}, {"Above", "1"}, {"Locked", "1"}});
    EXPECT_TRUE(fine.placed && fine.x == -17 && fine.y == 23 && fine.side == 480 && fine.pattern == 3 && fine.spin &&
                fine.above && fine.locked);
    const OrnamentKept damaged = ReadKept({{"X", "2147483647"},
                                           {"Y", "23"},
                                           {"Side", "-360"},
                                           {"Pattern", "7"},
                                           {"Spin", "yes"},
                                           {"Above", " 1"},
                                           {"Locked", "1x"}});
    const OrnamentKept defaults;
    EXPECT_FALSE(damaged.placed);
    EXPECT_EQ(damaged.side, defaults.side);
    EXPECT_EQ(damaged.pattern, defaults.pattern);
    EXPECT_FALSE(damaged.spin || damaged.above || damaged.locked);
    EXPECT_FALSE(ReadKept({{"X", "300"}}).placed) << "a place needs both";
    const OrnamentKept onOutput = ReadKept({{"Output", "DP-2"}, {"OutputX", "40"}, {"OutputY", "-12"}});
    EXPECT_TRUE(onOutput.output == "DP-2" && onOutput.outputX == 40 && onOutput.outputY == -12 && !onOutput.placed);
    EXPECT_EQ(ReadKept({{"Output", "DP-2"}, {"OutputX", "40"}, {"OutputY", "99999"}}).output, "")
        << "a place on an output needs both, in range";
}

// Catches an outline upside down, shifted by a pixel, or cut at another level of coverage:
// GL's rows come bottom-up, runs are of pixels at least half covered.
TEST(OutlineTest, RunsOfPixelsAtLeastHalfCoveredFromTheTop)
{
    // 4 x 2, the bottom row first: alpha 0 255 255 0, then 128 127 0 200.
    const std::uint8_t rgba[] = {0, 0, 0, 0,   9, 9, 9, 255, 9, 9, 9, 255, 0, 0, 0, 0,
                                 9, 9, 9, 128, 9, 9, 9, 127, 0, 0, 0, 0,   9, 9, 9, 200};
    EXPECT_EQ(CoveredRows(rgba, 4, 2), (std::vector<OutlineRow>{{0, 0, 1}, {3, 0, 1}, {1, 1, 2}}));
}

// Catches an outline sent to a compositor as one request a row (a wreath of 4096 rows filled
// its buffer, and it closed the connection), or one that leaves a covered pixel out: a ring's
// rows at scales 1 and 2 come as rectangles of the surface's pixels that cover every run, and
// no more of them than asked, however many rows.
TEST(OutlineTest, RowsComeAsFewRectanglesThatCoverThemAll)
{
    for (const int side : {360, 4096}) {
        std::vector<OutlineRow> rows;  // a ring, its rows of one or two runs
        const int r = side / 2, inner = side / 4;
        for (int y = 0; y < side; ++y) {
            const int dy = y - r, outer = static_cast<int>(std::sqrt(double(r) * r - double(dy) * dy));
            const int hole = std::abs(dy) < inner ? static_cast<int>(std::sqrt(double(inner) * inner - double(dy) * dy))
                                                  : 0;
            if (hole == 0)
                rows.push_back({r - outer, y, 2 * outer});
            else
                rows.insert(rows.end(), {{r - outer, y, outer - hole}, {r + hole, y, outer - hole}});
        }
        for (const int scale : {1, 2}) {
            const std::vector<OutlineRect> rects = OutlineRects(rows, scale, 256);
            EXPECT_LE(rects.size(), 256u) << side << " at scale " << scale;
            EXPECT_GT(rects.size(), 8u) << "the hole filled in";
            for (const OutlineRow& row : rows) {
                const int y = row.y / scale;
                for (const int x : {row.x / scale, (row.x + row.width - 1) / scale})
                    EXPECT_TRUE(std::any_of(rects.begin(), rects.end(),
                                            [&](const OutlineRect& c) {
                                                return x >= c.x && x < c.x + c.width && y >= c.y && y < c.y + c.height;
                                            }))
                        << "pixel " << x << ", " << y << " of " << side << " at scale " << scale << " left out";
            }
        }
    }
    EXPECT_EQ(OutlineRects({{2, 0, 4}, {2, 1, 4}, {2, 2, 4}}, 1, 8), (std::vector<OutlineRect>{{2, 0, 4, 3}}))
        << "runs alike one under another not made one";
}

// Catches a buffer used again given only the latest frame's changes when it was left some
// frames behind (the compositor held the others), which shows stale bulbs: it is given the
// parts of every frame since its own, or the whole frame when it holds none, or one older than
// those remembered, or one of another size.
TEST(FrameHistoryTest, ABufferBehindGetsEveryPartSinceItsFrame)
{
    CFrameHistory history(3);
    const BufferRect a{0, 0, 4, 4}, b{10, 10, 4, 4}, c{20, 20, 4, 4}, d{30, 30, 4, 4};
    const long first = history.Add({a});
    history.Add({b});
    const long third = history.Add({c});
    EXPECT_EQ(history.Since(first), (std::vector<BufferRect>{b, c}));
    EXPECT_EQ(history.Since(third), std::vector<BufferRect>{});
    EXPECT_EQ(history.Since(0), std::nullopt) << "a buffer that holds nothing";
    history.Add({d});
    const long fifth = history.Add({a});
    EXPECT_EQ(history.Since(first), std::nullopt) << "older than those remembered";
    EXPECT_EQ(history.Since(third), (std::vector<BufferRect>{d, a}));
    history.Clear();
    history.Add({b});
    EXPECT_EQ(history.Since(fifth), std::nullopt) << "a frame of the old size";
}

// Catches a request to the ornament that hangs misread, or one that a newer lumetta's words
// would stop: what is sent comes back, and words not known are passed over.
TEST(OrnamentRequestTest, ComesBackAsSentAndUnknownWordsArePassedOver)
{
    OrnamentRequest request;
    request.pattern = 3;
    request.spin = request.above = true;
    request.geometry = "300x300-0+20";
    EXPECT_EQ(ReadRequest(RequestText(request)), request);
    OrnamentRequest stop;
    stop.stop = true;
    EXPECT_EQ(ReadRequest("stop"), stop);
    EXPECT_EQ(ReadRequest("stop glow=9 pattern=7"), stop);
}

// Catches the ornament hung natively where it cannot be, or through X11 where it can be
// natively, or a --wayland or --x11 not obeyed: a Wayland desktop's own way needs a compositor
// that answers and offers layer surfaces; elsewhere it is X11, and --wayland fails saying why.
TEST(OrnamentWayTest, NativeWhereLayerSurfacesAreOfferedElseX11OrAsAsked)
{
    struct Case {
        OrnamentWay asked;
        WaylandDesktop desktop;
        OrnamentWay want;
        const char* failure;  // a part of it; empty: none
    };
    const WaylandDesktop none, silent{"wayland-1", false, false}, plain{"wayland-1", true, false},
        layered{"wayland-1", true, true};
    // clang-format off
    const Case cases[] = {
        {OrnamentWay::Desktop, none,    OrnamentWay::X11,     ""},
        {OrnamentWay::Desktop, silent,  OrnamentWay::X11,     ""},
        {OrnamentWay::Desktop, plain,   OrnamentWay::X11,     ""},
        {OrnamentWay::Desktop, layered, OrnamentWay::Wayland, ""},
        {OrnamentWay::X11,     layered, OrnamentWay::X11,     ""},
        {OrnamentWay::Wayland, layered, OrnamentWay::Wayland, ""},
        {OrnamentWay::Wayland, plain,   OrnamentWay::X11,     "offers no layer surfaces"},
        {OrnamentWay::Wayland, silent,  OrnamentWay::X11,     "no Wayland compositor answers at wayland-1"},
        {OrnamentWay::Wayland, none,    OrnamentWay::X11,     "WAYLAND_DISPLAY is not set"},
    };
    // clang-format on
    for (const Case& c : cases) {
        const WayChosen chosen = ChooseOrnamentWay(c.asked, c.desktop);
        const std::string what = std::to_string(static_cast<int>(c.asked)) + " on " + c.desktop.display;
        EXPECT_EQ(chosen.way, c.want) << what;
        if (*c.failure == '\0')
            EXPECT_EQ(chosen.failure, "") << what;
        else
            EXPECT_NE(chosen.failure.find(c.failure), std::string::npos) << what << ": " << chosen.failure;
    }
}

// Catches two ornaments hanging on one Wayland desktop, a request lost or misread on its way,
// a --stop told the ornament went before it did, or a place still held by one that went: one
// claim takes it, another reaches the holder (its process) and hands it requests, a stop's
// sender is answered as the holder goes, and then the place is free.
TEST(RuntimeControlTest, OneHoldsTheDesktopsPlaceAndAnotherReachesIt)
{
    TempDir dir;
    ASSERT_EQ(::setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1), 0);
    RuntimePlace place;
    ASSERT_EQ(FindRuntimePlace("/run/user/1000/wayland-1", place), "");
    CRuntimeContact nobody;
    EXPECT_FALSE(CRuntimeClaim::FindHolder(place, 0, nobody)) << "a holder before any claim";
    std::string error;
    auto holder = std::make_unique<CRuntimeClaim>();
    CRuntimeContact unused;
    ASSERT_EQ(holder->Claim(place, 1000, unused, error), CRuntimeClaim::Outcome::Taken) << error;
    // Served as the ornament's loop serves it, on every turn, until a request comes whole.
    const auto take = [&] {
        for (int i = 0; i < 2000; ++i) {
            if (std::vector<OrnamentRequest> taken = holder->Serve(); !taken.empty())
                return taken;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ADD_FAILURE() << "no request came";
        return std::vector<OrnamentRequest>{};
    };

    CRuntimeClaim second;
    CRuntimeContact other;
    ASSERT_EQ(second.Claim(place, 1000, other, error), CRuntimeClaim::Outcome::Held) << error;
    EXPECT_EQ(other.Pid(), ::getpid());
    OrnamentRequest request;
    request.pattern = 2;
    request.geometry = "300x300+10+10";
    bool taken = false;
    std::thread sender([&] { taken = other.Send(request, 20000); });
    EXPECT_EQ(take(), std::vector<OrnamentRequest>{request});
    sender.join();
    EXPECT_TRUE(taken) << "the sender was not told it was taken";

    CRuntimeContact stopper;
    ASSERT_TRUE(CRuntimeClaim::FindHolder(place, 1000, stopper));
    OrnamentRequest stop;
    stop.stop = true;
    bool answered = false, gone = false;
    std::thread stopping([&] {
        answered = stopper.Send(stop, 20000);
        gone = stopper.WaitGone(20000);
    });
    // Taken, and answered; then the holder goes.
    EXPECT_EQ(take(), std::vector<OrnamentRequest>{stop});
    holder.reset();
    stopping.join();
    EXPECT_TRUE(answered);
    EXPECT_TRUE(gone) << "the stop's sender was not told the holder went";
    CRuntimeClaim next;
    EXPECT_EQ(next.Claim(place, 1000, unused, error), CRuntimeClaim::Outcome::Taken) << "the place stayed held";
}

// Catches an ornament whose loop a client can stop, or that another user can reach: one that
// connects and says nothing, or sends more than 4 KiB without a line's end, never holds up
// the requests of others (Serve never waits), and the long one is closed; as root, a client of
// another user is closed unheard.
TEST(RuntimeControlTest, NoClientHoldsTheOrnamentUpAndOnlyItsOwnUserIsHeard)
{
    TempDir dir;
    ASSERT_EQ(::setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1), 0);
    RuntimePlace place;
    ASSERT_EQ(FindRuntimePlace("wayland-1", place), "");
    CRuntimeClaim holder;
    CRuntimeContact unused;
    std::string error;
    ASSERT_EQ(holder.Claim(place, 1000, unused, error), CRuntimeClaim::Outcome::Taken) << error;
    const auto connect = [&] {
        const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", place.socket.c_str());
        EXPECT_EQ(::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        return s;
    };
    const int silent = connect(), flooding = connect(), asking = connect();
    const std::string flood(5000, 'x');
    ASSERT_EQ(::send(flooding, flood.data(), flood.size(), MSG_NOSIGNAL), static_cast<ssize_t>(flood.size()));
    ASSERT_EQ(::send(asking, "pattern=2\n", 10, MSG_NOSIGNAL), 10);
    std::vector<OrnamentRequest> taken;
    for (int i = 0; i < 200 && taken.empty(); ++i) {
        taken = holder.Serve();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(taken.size(), 1u) << "the request behind a silent client was not taken";
    EXPECT_EQ(taken[0].pattern, 2);
    char byte = 0;
    pollfd closed = {flooding, POLLIN, 0};
    ASSERT_EQ(::poll(&closed, 1, 5000), 1);
    EXPECT_LE(::recv(flooding, &byte, 1, 0), 0) << "a line past 4 KiB was kept reading";
    for (const int s : {silent, flooding, asking})
        ::close(s);

    if (::geteuid() != 0)
        return;
    const pid_t other = ::fork();
    if (other == 0) {
        // Another user, who may enter the folder as root made it: the socket answers it nothing.
        if (::chmod(dir.Path().c_str(), 0711) != 0 || ::chmod(place.socket.c_str(), 0777) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        const int s = connect();
        (void)!::send(s, "stop\n", 5, MSG_NOSIGNAL);
        pollfd answer = {s, POLLIN, 0};
        ::_exit(::poll(&answer, 1, 10000) == 1 && ::recv(s, &byte, 1, 0) <= 0 ? 0 : 1);
    }
    int status = -1;
    while (::waitpid(other, &status, WNOHANG) == 0) {
        for (const OrnamentRequest& request : holder.Serve())
            EXPECT_FALSE(request.stop) << "another user's request was taken";
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "another user's connection was not closed unheard";
}

// Catches two ornaments on one desktop named two ways, or a place kept where others can reach
// it: a name in the runtime folder and its path are one place; a folder open to others, or
// another user's, is refused in one line.
TEST(RuntimeControlTest, OneDesktopIsOnePlaceInAFolderOfTheUsersOwn)
{
    TempDir dir;
    ASSERT_EQ(::setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0700), 0);
    std::ofstream(dir.Path() / "wayland-1") << "";
    RuntimePlace byName, byPath, other;
    ASSERT_EQ(FindRuntimePlace("wayland-1", byName), "");
    ASSERT_EQ(FindRuntimePlace((dir.Path() / "wayland-1").string(), byPath), "");
    ASSERT_EQ(FindRuntimePlace("wayland-2", other), "");
    EXPECT_EQ(byName.lock, byPath.lock);
    EXPECT_NE(byName.lock, other.lock);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
    RuntimePlace open;
    EXPECT_NE(FindRuntimePlace("wayland-1", open).find("is not this user's own private folder (owner"),
              std::string::npos);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0700), 0);
}

// Catches an autostart entry that a desktop would run wrongly when the program's path holds a
// space, a quote, a dollar sign or a per cent sign.
TEST(AutostartTest, TheProgramsPathIsQuotedAsDesktopEntriesAsk)
{
    const std::pair<std::string, std::string> paths[] = {
        {"/usr/bin/lumetta", "/usr/bin/lumetta"},
        {"/home/a b/lumetta", "\"/home/a b/lumetta\""},
        {"/x/100%/lumetta", "/x/100%%/lumetta"},
        {"/a\"b$c", "\"/a\\\\\"b\\\\$c\""},
    };
    for (const auto& [path, written] : paths)
        EXPECT_EQ(DesktopExecArgument(path), written) << path;
    EXPECT_NE(AutostartEntry("/usr/bin/lumetta").find("\nExec=/usr/bin/lumetta --ornament\n"), std::string::npos);
}

// Catches "Start at login" shown ticked for an entry the desktop switched off: either key
// switches it off, in the entry's own group.
TEST(AutostartTest, AnEntryTheDesktopSwitchedOffIsOff)
{
    const std::string entry = AutostartEntry("/usr/bin/lumetta");
    const std::pair<std::string, bool> cases[] = {
        {entry, true},
        {entry + "Hidden=true\n", false},
        {std::string(entry).replace(entry.find("enabled=true"), 12, "enabled=false"), false},
        {entry + "[Other]\nHidden=true\n", true},
    };
    for (const auto& [text, on] : cases)
        EXPECT_EQ(AutostartEnabled(text), on) << text;
}

}  // namespace
