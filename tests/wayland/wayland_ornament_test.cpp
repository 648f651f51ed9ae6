// The ornament on a Wayland compositor of its own, a headless sway (run-under-sway.sh) with one
// 1024 x 768 output on a known colour and no X display: what the screen shows (grim), where
// the clicks of a pointer of the test's own go, what is kept, and how it ends.
#include "tests/support/png_read.h"
#include "tests/support/process.h"
#include "tests/support/wayland_input.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kWidth = 1024, kHeight = 768;

// A square on the screen.
struct Box {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Box&) const = default;
};

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What command writes on its standard output.
std::string RunCommand(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, got);
        pclose(pipe);
    }
    return out;
}

// Asks again every 50 ms, for up to 30 s, whether done; a loaded machine takes its time.
bool WaitFor(const std::function<bool()>& done)
{
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < end) {
        if (done())
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return done();
}

class WaylandOrnamentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("WAYLAND_DISPLAY") || !std::getenv("SWAYSOCK"))
            GTEST_SKIP() << "no Wayland compositor: run under tests/wayland/run-under-sway.sh";
        const std::string error = input.Connect(kWidth, kHeight);
        ASSERT_EQ(error, "");
        PointerAway();
    }

    // The pointer's arrow is on the screen too: in the bottom right corner, all but its tip
    // is off it.
    void PointerAway() { input.MoveTo(kWidth - 1, kHeight - 1); }

    // Starts the ornament, its settings in the test's folder.
    void Start(std::vector<std::string> args = {})
    {
        args.insert(args.begin(), {LUMETTA_BINARY, "--ornament"});
        ASSERT_TRUE(child.Start(args, dir.Path(), {"XDG_CONFIG_HOME=" + dir.Path().string()}, dir.Path() / "stderr"));
    }

    // Runs lumetta to its end on the compositor, or on the one wayland names.
    ProcessResult Run(const std::vector<std::string>& args, const std::string& wayland = std::getenv("WAYLAND_DISPLAY"))
    {
        RunOptions options;
        options.environment = {"XDG_CONFIG_HOME=" + dir.Path().string(), "WAYLAND_DISPLAY=" + wayland};
        return RunLumetta(args, dir.Path(), options);
    }

    std::string Stderr() const { return ReadAll(dir.Path() / "stderr"); }
    std::string Settings() const { return ReadAll(dir.Path() / "orbelle3/orbelle3.conf"); }

    RgbImage Screen()
    {
        const fs::path shot = dir.Path() / "screen.png";
        EXPECT_EQ(std::system(("grim '" + shot.string() + "'").c_str()), 0);
        return ReadPng(shot);
    }

    static const std::uint8_t* At(const RgbImage& screen, int x, int y)
    {
        return &screen.rgb[(static_cast<std::size_t>(y) * screen.width + x) * 3];
    }

    // The desktop's own colour, #2040c0.
    static bool IsDesktop(const std::uint8_t* p)
    {
        return std::abs(p[0] - 0x20) <= 2 && std::abs(p[1] - 0x40) <= 2 && std::abs(p[2] - 0xc0) <= 2;
    }

    // A wreath's leaf: green well above red, little blue.
    static bool IsLeaf(const std::uint8_t* p) { return p[1] > p[0] + 20 && p[1] > 0x40 && p[2] < 0x80; }

    // The box of what is not the desktop on the screen, the pointer's tip in the corner aside;
    // empty when it all is.
    static Box NotDesktop(const RgbImage& screen)
    {
        int left = screen.width, top = screen.height, right = -1, bottom = -1;
        for (int y = 0; y < screen.height; ++y)
            for (int x = 0; x < screen.width; ++x)
                if (!IsDesktop(At(screen, x, y)) && (x < screen.width - 4 || y < screen.height - 4)) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
        return right < 0 ? Box{} : Box{left, top, right - left + 1, bottom - top + 1};
    }

    // The wreath's box once a frame of it is seen on the desktop and stays where it is; empty
    // after the limit.
    Box WaitForWreath()
    {
        Box last;
        if (!WaitFor([&] {
                const Box now = NotDesktop(Screen());
                const bool settled = now.width > 100 && now == last;
                last = now;
                return settled;
            }))
            return {};
        return last;
    }

    // A leaf of the wreath in box: its left part, halfway down.
    static std::pair<int, int> Leaf(const Box& box) { return {box.x + box.width / 20, box.y + box.height / 2}; }

    // A window of the test's own under the ornament: wev, which sway tiles over the whole
    // output and which writes every pointer event it is given. Returns once it is shown.
    void StartWindowBelow()
    {
        ASSERT_TRUE(below.Start({"sh", "-c", "exec stdbuf -oL wev >'" + (dir.Path() / "wev").string() + "'"},
                                dir.Path(), {}, dir.Path() / "wev.err"));
        ASSERT_TRUE(WaitFor([&] { return !IsDesktop(At(Screen(), 100, 100)); })) << ReadAll(dir.Path() / "wev.err");
    }

    // The places of the left-button presses the window below was given, in its own pixels,
    // which are the output's.
    std::vector<std::pair<int, int>> PressesBelow() const
    {
        std::vector<std::pair<int, int>> presses;
        std::ifstream in(dir.Path() / "wev");
        double x = -1, y = -1;
        for (std::string line; std::getline(in, line);) {
            const auto at = line.find("x, y: ");
            if (line.find("wl_pointer] ") != std::string::npos && at != std::string::npos)
                (void)std::sscanf(line.c_str() + at, "x, y: %lf, %lf", &x, &y);
            if (line.find("wl_pointer] button:") != std::string::npos &&
                line.find("(left), state: 1") != std::string::npos)
                presses.emplace_back(static_cast<int>(x), static_cast<int>(y));
        }
        return presses;
    }

    // Whether a leaf of the wreath shows at x, y.
    bool LeafAt(int x, int y) { return IsLeaf(At(Screen(), x, y)); }

    TempDir dir;
    CWaylandInput input;
    CRunningChild child;
    CRunningChild below;
};

// Catches an ornament that is no layer surface (tiled, or listed among the windows), a frame
// or a backdrop round the wreath, alpha the compositor cannot use, or a place other than
// the one asked for: on the bottom layer over the desktop's colour, the colour shows all round
// the wreath and through its hole, its leaves are green, its halos tinted by the colour below.
TEST_F(WaylandOrnamentTest, ItHangsOnTheDesktopWithTheDesktopShowingThroughAndIsNoWindow)
{
    Start({"--geometry", "400x400+500+100"});
    const Box box = WaitForWreath();
    ASSERT_GT(box.width, 0) << Stderr();
    EXPECT_TRUE(box.x >= 500 && box.y >= 100 && box.x + box.width <= 900 && box.y + box.height <= 500)
        << "not in its square at 500, 100: " << box.x << ", " << box.y << " " << box.width << "x" << box.height;
    EXPECT_GT(box.width, 300) << "not 400 pixels wide";
    const RgbImage screen = Screen();
    EXPECT_TRUE(IsDesktop(At(screen, 695, 290))) << "the desktop does not show through the hole";
    const auto [x, y] = Leaf(box);
    EXPECT_TRUE(IsLeaf(At(screen, x, y))) << "no leaf at " << x << ", " << y;
    int tinted = 0;
    for (int py = box.y; py < box.y + box.height; ++py)
        for (int px = box.x; px < box.x + box.width; ++px) {
            const std::uint8_t* p = At(screen, px, py);
            tinted += !IsDesktop(p) && p[2] > 0x60 && p[0] > 0x60 ? 1 : 0;
        }
    EXPECT_GT(tinted, 100) << "no halo or glass tinted by the desktop";
    const std::string tree = RunCommand("swaymsg -t get_tree");
    EXPECT_EQ(tree.find("umetta"), std::string::npos) << "listed as a window: " << tree;
}

// Catches an ornament under the windows that --above does not raise, one that swallows the
// clicks meant for the window below it or lets through those on the wreath, one that keeps
// the keys once the window below is clicked, one that a drag does not move with the pointer or
// moves by other than the pointer did, and a place not kept for its output: over a tiled
// window, a click on a leaf does not reach the window and one beside the wreath does, and keys
// after it (2, Esc) reach the ornament no more; a drag moves it as far as the pointer went,
// the place is kept with its output's name, and the next ornament hangs there.
TEST_F(WaylandOrnamentTest, AboveATiledWindowClicksBesideTheWreathPassAndADragMovesItToStay)
{
    StartWindowBelow();
    Start({"--above", "--geometry", "400x400+500+100"});
    ASSERT_TRUE(WaitFor([&] { return LeafAt(548, 300); })) << "no wreath over the window: " << Stderr();
    input.Click(548, 300, BTN_LEFT);
    input.Click(520, 120, BTN_LEFT);
    ASSERT_TRUE(WaitFor([&] { return !PressesBelow().empty(); })) << "the click beside the wreath did not pass";
    EXPECT_EQ(PressesBelow(), (std::vector<std::pair<int, int>>{{520, 120}})) << "the click on the leaf passed";
    // A person's pointer takes a moment between leaving the wreath and clicking elsewhere.
    input.Click(548, 300, BTN_LEFT);
    input.MoveTo(520, 140);
    std::this_thread::sleep_for(300ms);
    input.Click(520, 140, BTN_LEFT);
    ASSERT_TRUE(WaitFor([&] { return PressesBelow().size() == 2; })) << "the second click beside it did not pass";
    input.Tap(KEY_2);
    input.Tap(KEY_ESC);
    EXPECT_EQ(child.WaitForExit(1000ms), -1) << "Esc reached it after a click elsewhere";
    EXPECT_EQ(Settings().find("Pattern=2"), std::string::npos) << "2 reached it: " << Settings();

    input.Drag(548, 300, 408, 320, BTN_LEFT);

    ASSERT_TRUE(WaitFor([&] { return Settings().find("OutputY=") != std::string::npos; })) << Settings();
    EXPECT_NE(Settings().find("[Ornament]\nOutput=HEADLESS-1\nOutputX=360\nOutputY=120\n"), std::string::npos)
        << Settings();
    PointerAway();
    EXPECT_TRUE(WaitFor([&] { return LeafAt(408, 320); })) << "the wreath did not go where the pointer took it";
    child.Signal(SIGTERM);
    EXPECT_EQ(child.WaitForExit(20000ms), 0);

    Start({"--above", "--geometry", "400x400"});
    EXPECT_TRUE(WaitFor([&] { return LeafAt(408, 320); })) << "not where it was left: " << Stderr();
}

// Catches an ornament that takes no keys once clicked, ends as a failure or late when taken
// down, leaves a second one hanging beside it, or cannot be reached by another lumetta: clicked,
// it takes the keys (3 selects a pattern, kept; Esc takes it down); each end signal and --stop
// end it at once with status 0 and nothing said; a second one says that one hangs, hands it
// what it can take and refuses what it cannot.
TEST_F(WaylandOrnamentTest, ItTakesKeysOnceClickedAndEndsQuietlyHoweverItIsTakenDown)
{
    Start({"--geometry", "400x400+500+100"});
    ASSERT_GT(WaitForWreath().width, 0) << Stderr();
    input.Click(548, 300, BTN_LEFT);
    input.Tap(KEY_3);
    EXPECT_TRUE(WaitFor([&] { return Settings().find("Pattern=3") != std::string::npos; })) << "3 did nothing";
    input.Tap(KEY_ESC);
    EXPECT_EQ(child.WaitForExit(20000ms), 0) << "Esc did not take it down";
    EXPECT_EQ(Stderr(), "");

    const ProcessResult none = Run({"--ornament", "--stop"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "lumetta: no ornament hangs on this desktop\n");
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, 0}) {
        Start();
        ASSERT_GT(WaitForWreath().width, 0) << Stderr();
        EXPECT_TRUE(ThreadsTakingEndSignals(child.Pid()).empty()) << "a thread of the toolkit or driver takes them";
        const std::string who = "an ornament hangs on this desktop already (process " + std::to_string(child.Pid());
        if (signal == SIGTERM) {
            const ProcessResult second = Run({"--ornament"});
            EXPECT_EQ(second.status, 0);
            EXPECT_NE(second.err.find(who + "); take it down"), std::string::npos) << second.err;
            const ProcessResult handed = Run({"--ornament", "--pattern", "2"});
            EXPECT_EQ(handed.status, 0);
            EXPECT_NE(handed.err.find(who + "); handed it --pattern 2\n"), std::string::npos) << handed.err;
            const ProcessResult refused = Run({"--ornament", "--cycle", "5"});
            EXPECT_EQ(refused.status, 2);
            EXPECT_NE(refused.err.find("--cycle cannot be handed to it"), std::string::npos) << refused.err;
        }
        if (signal == 0) {
            const ProcessResult stop = Run({"--ornament", "--stop"});
            EXPECT_EQ(stop.status, 0);
            EXPECT_EQ(stop.err, "lumetta: took down the ornament that hung on this desktop (process " +
                                    std::to_string(child.Pid()) + ")\n");
        } else {
            child.Signal(signal);
        }
        EXPECT_EQ(child.WaitForExit(20000ms), 0) << strsignal(signal);
        EXPECT_EQ(Stderr(), "") << strsignal(signal);
    }
}

// Catches an ornament left where nobody sees it when its output shrinks, a forced move kept as
// the user's place, or one that fails, hangs on or leaves its socket when the compositor goes:
// it comes back onto the smaller output, nothing is kept, and it ends quietly with the
// compositor, its socket gone.
TEST_F(WaylandOrnamentTest, ItStaysOnItsOutputAsItShrinksAndEndsQuietlyWithTheCompositor)
{
    Start({"--geometry", "300x300+650+400"});
    ASSERT_GT(WaitForWreath().width, 0) << Stderr();
    ASSERT_EQ(std::system("swaymsg output HEADLESS-1 resolution 640x480 >/dev/null"), 0);
    EXPECT_TRUE(WaitFor([&] {
        const RgbImage screen = Screen();
        const Box box = NotDesktop(screen);
        return screen.width == 640 && box.width > 150 && box.x + box.width <= 640 && box.y + box.height <= 480;
    })) << "not back on the output";
    EXPECT_EQ(Settings().find("Output"), std::string::npos) << "a move it was made to was kept: " << Settings();
    // sway goes before it answers.
    (void)!std::system("swaymsg exit >/dev/null 2>&1");
    EXPECT_EQ(child.WaitForExit(20000ms), 0) << "it did not end quietly with the compositor";
    EXPECT_EQ(Stderr(), "");
    for (const auto& left : fs::directory_iterator(std::getenv("XDG_RUNTIME_DIR")))
        EXPECT_NE(left.path().extension(), ".socket") << "its socket stayed: " << left.path();
}

// Catches a menu that does not open on the surface or does nothing: a right click on a leaf
// opens it beside the pointer, and picked with the keys, "Larger" makes the wreath larger and is
// kept, and "Take down" ends it.
TEST_F(WaylandOrnamentTest, ItsMenuOpensWhereItIsRightClickedAndDoesWhatItSays)
{
    Start({"--geometry", "+500+100"});
    const Box before = WaitForWreath();
    ASSERT_GT(before.width, 0) << Stderr();
    const int x = Leaf(before).first, y = Leaf(before).second;
    const auto choose = [&](int downs) {
        input.Click(x, y, BTN_RIGHT);
        // A menu is light where the desktop and the wreath are not.
        ASSERT_TRUE(WaitFor([&] {
            const RgbImage screen = Screen();
            const std::uint8_t* p = At(screen, x + 30, y + 12);
            return p[0] > 0xc0 && p[1] > 0xc0 && p[2] > 0xc0;
        })) << "no menu beside the pointer: "
            << Stderr();
        for (int i = 0; i < downs; ++i)
            input.Tap(KEY_DOWN);
        input.Tap(KEY_ENTER);
    };
    choose(6);
    EXPECT_TRUE(WaitFor([&] { return Settings().find("Side=480") != std::string::npos; })) << Settings();
    PointerAway();
    EXPECT_TRUE(WaitFor([&] { return NotDesktop(Screen()).width > before.width * 5 / 4; })) << "not larger";
    choose(10);
    EXPECT_EQ(child.WaitForExit(20000ms), 0) << "take down did not";
}

// Catches frames handed to the compositor whole when only a few bulbs changed, which has it
// take in and compose the whole surface twenty times a second: after the first frames, the
// surface's damage (as WAYLAND_DEBUG logs the requests) is parts of it, a small share of it.
TEST_F(WaylandOrnamentTest, OnlyWhatChangedIsHandedToTheCompositor)
{
    constexpr int kSide = 400;
    ASSERT_TRUE(child.Start({LUMETTA_BINARY, "--ornament", "--geometry", "400x400+500+100"}, dir.Path(),
                            {"XDG_CONFIG_HOME=" + dir.Path().string(), "WAYLAND_DEBUG=client"}, dir.Path() / "stderr"));
    // The rectangles each commit of a surface damaged, in order.
    const auto damages = [&] {
        std::vector<std::vector<Box>> commits;
        std::vector<Box> damaged;
        std::ifstream in(dir.Path() / "stderr");
        for (std::string line; std::getline(in, line);) {
            // In the surface's pixels or the buffer's, which are the same here.
            Box box;
            const auto at = line.find(".damage");
            if (at != std::string::npos && (std::sscanf(line.c_str() + at, ".damage(%d, %d, %d, %d)", &box.x, &box.y,
                                                        &box.width, &box.height) == 4 ||
                                            std::sscanf(line.c_str() + at, ".damage_buffer(%d, %d, %d, %d)", &box.x,
                                                        &box.y, &box.width, &box.height) == 4))
                damaged.push_back(box);
            else if (line.find(".commit()") != std::string::npos && !damaged.empty())
                commits.push_back(std::exchange(damaged, {}));
        }
        return commits;
    };
    ASSERT_TRUE(WaitFor([&] { return damages().size() >= 60; })) << "not 60 frames";
    const std::vector<std::vector<Box>> commits = damages();
    long whole = 0, area = 0;
    for (std::size_t i = 20; i < commits.size(); ++i) {
        for (const Box& box : commits[i]) {
            whole += box.width >= kSide && box.height >= kSide ? 1 : 0;
            area += static_cast<long>(std::min(box.width, kSide)) * std::min(box.height, kSide);
        }
    }
    const long frames = static_cast<long>(commits.size()) - 20;
    EXPECT_LT(whole, frames / 10) << "whole frames among " << frames;
    EXPECT_LT(area / frames, kSide * kSide / 3) << "the average frame's damage is most of the surface";
}

// Catches two ornaments on one desktop, one larger than its output (a size of 4096 once sent
// its outline as 12,233 requests and was cut off, silently), or a size that lands it off its
// output: --geometry 4096x4096 is made to fit the output with one line and shows; the same
// compositor named by a link of another name, or with --x11, finds it hanging already.
TEST_F(WaylandOrnamentTest, ItIsOneToADesktopHoweverNamedAndFitsItsOutput)
{
    Start({"--geometry", "4096x4096"});
    const Box box = WaitForWreath();
    ASSERT_GT(box.width, 500) << Stderr();
    EXPECT_TRUE(box.x >= 0 && box.y >= 0 && box.x + box.width <= kWidth && box.y + box.height <= kHeight);
    EXPECT_EQ(Stderr(), "lumetta: --geometry 4096x4096 is larger than its monitor; the ornament is 768x768 instead\n");
    const fs::path link = fs::path(std::getenv("XDG_RUNTIME_DIR")) / "lumetta-test-wayland";
    fs::remove(link);
    fs::create_symlink(std::getenv("WAYLAND_DISPLAY"), link);
    for (const auto& args : {std::vector<std::string>{"--ornament"}, std::vector<std::string>{"--ornament", "--x11"}}) {
        const ProcessResult second = Run(args, link.filename().string());
        EXPECT_EQ(second.status, 0) << args.back();
        EXPECT_NE(second.err.find("an ornament hangs on this desktop already (process " + std::to_string(child.Pid())),
                  std::string::npos)
            << args.back() << ": " << second.err;
    }
    fs::remove(link);
    child.Signal(SIGTERM);
    EXPECT_EQ(child.WaitForExit(20000ms), 0);
}

// Catches a start that hangs for ever on a compositor that takes the connection and never
// answers, or that an end signal cannot end: it says so in one line with status 1, and SIGTERM
// ends it quietly meanwhile.
TEST_F(WaylandOrnamentTest, ACompositorThatNeverAnswersIsSaidAndSignalsStillEndIt)
{
    const fs::path socket = dir.Path() / "silent";
    const int listening = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket.c_str());
    ASSERT_EQ(::bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listening, 8), 0);
    const ProcessResult silent = Run({"--ornament"}, socket.string());
    EXPECT_EQ(silent.status, 1);
    EXPECT_EQ(silent.err,
              "lumetta: the Wayland compositor at " + socket.string() + " took the connection but does not answer\n");
    RunOptions options;
    options.environment = {"XDG_CONFIG_HOME=" + dir.Path().string(), "WAYLAND_DISPLAY=" + socket.string()};
    options.signal = SIGTERM;
    options.signalAfterMs = 1000;
    const ProcessResult ended = RunLumetta({"--ornament"}, dir.Path(), options);
    EXPECT_EQ(ended.status, 0) << ended.err;
    EXPECT_EQ(ended.err, "");
    ::close(listening);
}

// Catches a lumetta that tries a way it cannot have, or fails without a word, with no X
// display: WAYLAND_DISPLAY naming no compositor, the ornament says so and that no X display
// answers either; --x11 says there is no X display; the window, which has no GL canvas on
// Wayland, never tries the compositor.
TEST_F(WaylandOrnamentTest, WhereItCannotBeShownItSaysWhyInOneLine)
{
    const struct {
        std::vector<std::string> args;
        std::string wayland;
        std::string err;
    } cases[] = {
        {{"--ornament"},
         "nothing-here",
         "lumetta: cannot open the display: no Wayland compositor answers at nothing-here, and no X display "
         "(Xwayland) answers either\n"},
        {{"--ornament", "--x11"}, std::getenv("WAYLAND_DISPLAY"), "lumetta: cannot open the X display\n"},
        {{},
         std::getenv("WAYLAND_DISPLAY"),
         "lumetta: cannot open the display; use --render FILE.png for pictures without a window\n"},
    };
    for (const auto& c : cases) {
        const ProcessResult run = Run(c.args, c.wayland);
        EXPECT_EQ(run.status, 1) << c.wayland;
        EXPECT_EQ(run.err, c.err);
    }
}

}  // namespace
