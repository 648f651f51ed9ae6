// The screensaver in a plain X window of this test's own, under Xvfb: what it draws is read
// back from the window and compared with the headless picture of the same size.
#include "tests/support/png_read.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines None and Bool as macros.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Where the five flares' centres stand, in scene units; the camera is 27 units away.
const double kFlares[][2] = {{3.5, 5.0}, {5.0, -0.5}, {2.9, -6.0}, {-3.3, -4.0}, {-6.5, 1.5}};

// The pixel of a scene point at z = 2 (a flare's centre), top-down, in a width x height view.
std::pair<int, int> FlarePixel(const double (&f)[2], int width, int height)
{
    const double scale = 1.0 / std::tan(22.5 * M_PI / 180.0) / (27.0 - 2.0);
    const double aspect = static_cast<double>(width) / height;
    const int x = static_cast<int>((f[0] * scale / aspect + 1.0) * 0.5 * width);
    const int y = static_cast<int>((1.0 - (f[1] * scale + 1.0) * 0.5) * height);
    return {x, y};
}

class SaverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::copy_file(fs::path(LUMETTA_SOURCE_DIR) / "assets/panel.bmp", dir.Path() / "panel.bmp");
        display = XOpenDisplay(nullptr);
        ASSERT_TRUE(display) << "no display: run under Xvfb";
        window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 640, 480, 0, 0, 0);
        XMapWindow(display, window);
        XSync(display, False);
    }
    void TearDown() override
    {
        if (display)
            XCloseDisplay(display);
    }

    // Starts lumetta with args in the test's folder, with extra "NAME=value" in its environment.
    void Start(std::vector<std::string> args, const std::string& extra = "LUMETTA_TEST=1")
    {
        args.insert(args.begin(), LUMETTA_BINARY);
        ASSERT_TRUE(child.Start(args, dir.Path(), {extra}, dir.Path() / "stderr"));
    }

    int WaitForExit(std::chrono::milliseconds limit) { return child.WaitForExit(limit); }

    std::string Stderr() const
    {
        std::ifstream in(dir.Path() / "stderr");
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // The points a test looks at in a width x height window: the corners and the centre (the
    // backdrop, where the spot light shows its strength and spread) and the flares' centres.
    static std::vector<std::pair<int, int>> Points(int width, int height)
    {
        std::vector<std::pair<int, int>> points = {
            {2, 2}, {width - 3, 2}, {2, height - 3}, {width - 3, height - 3}, {width / 2, height / 2}};
        for (const auto& f : kFlares)
            points.push_back(FlarePixel(f, width, height));
        return points;
    }

    // The window's pixels at points, as RGB.
    std::vector<std::array<int, 3>> Shown(const std::vector<std::pair<int, int>>& points)
    {
        XWindowAttributes attributes;
        XGetWindowAttributes(display, window, &attributes);
        std::vector<std::array<int, 3>> colours;
        XImage* shown = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                                  static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
        if (!shown)
            return colours;
        for (const auto& [x, y] : points) {
            const unsigned long pixel = x < attributes.width && y < attributes.height ? XGetPixel(shown, x, y) : 0;
            colours.push_back({static_cast<int>(pixel >> 16 & 0xff), static_cast<int>(pixel >> 8 & 0xff),
                               static_cast<int>(pixel & 0xff)});
        }
        XDestroyImage(shown);
        return colours;
    }

    // Puts the window back to its black background, as a daemon's new window is.
    void ClearWindow()
    {
        XClearWindow(display, window);
        XSync(display, False);
    }

    // Waits until the screensaver has drawn into the window, cleared to black before it
    // started: its own sign that it runs and has the window. False after limit.
    bool WaitForDrawing(std::chrono::milliseconds limit = 20000ms)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        do {
            for (const auto& rgb : Shown(Points(64, 64)))
                if (rgb[0] + rgb[1] + rgb[2] > 24)
                    return true;
            std::this_thread::sleep_for(20ms);
        } while (std::chrono::steady_clock::now() < end);
        return false;
    }

    // What the window shows, and the headless picture of its size started with the same
    // options, compared at Points: the two agree to within a shade once the screensaver has
    // drawn at that size, however long a loaded machine takes to get there.
    void ExpectWindowShowsTheScene(int width, int height, const std::vector<std::string>& options = {})
    {
        const std::string png = "expected-" + std::to_string(width) + ".png";
        std::vector<std::string> args = {"--render", png, "--size",
                                         std::to_string(width) + "x" + std::to_string(height)};
        args.insert(args.end(), options.begin(), options.end());
        const ProcessResult render = RunLumetta(args, dir.Path());
        ASSERT_EQ(render.status, 0) << render.err;
        const RgbImage expected = ReadPng(dir.Path() / png);
        const std::vector<std::pair<int, int>> points = Points(width, height);
        const auto differences = [&] {
            std::string said;
            const std::vector<std::array<int, 3>> shown = Shown(points);
            for (std::size_t i = 0; i < points.size(); ++i) {
                const auto [x, y] = points[i];
                const std::uint8_t* want = &expected.rgb[(static_cast<std::size_t>(y) * width + x) * 3];
                for (int c = 0; c < 3; ++c) {
                    if (i >= shown.size() || std::abs(shown[i][c] - want[c]) > 3) {
                        said += " at " + std::to_string(x) + ", " + std::to_string(y);
                        break;
                    }
                }
            }
            return said;
        };
        const auto end = std::chrono::steady_clock::now() + 20000ms;
        std::string said = differences();
        while (!said.empty() && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(50ms);
            said = differences();
        }
        EXPECT_EQ(said, "") << "the window is not the scene of " << width << " x " << height;
    }

    // How many times the X server sees the window drawn within limit, counting up to most.
    int CountDraws(std::chrono::milliseconds limit, int most = 1000000)
    {
        int damageEvent = 0, damageError = 0;
        if (!XDamageQueryExtension(display, &damageEvent, &damageError)) {
            ADD_FAILURE() << "the X server has no DAMAGE";
            return 0;
        }
        const Damage damage = XDamageCreate(display, window, XDamageReportNonEmpty);
        XSync(display, False);
        int draws = 0;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (draws < most && std::chrono::steady_clock::now() < end) {
            while (XPending(display) > 0) {
                XEvent event;
                XNextEvent(display, &event);
                if (event.type == damageEvent + XDamageNotify) {
                    ++draws;
                    XDamageSubtract(display, damage, None, None);
                }
            }
            std::this_thread::sleep_for(2ms);
        }
        XDamageDestroy(display, damage);
        XSync(display, False);
        return draws;
    }

    TempDir dir;
    Display* display = nullptr;
    Window window = 0;
    CRunningChild child;
};

// Catches a window whose lost contents are not drawn again (only the tiles that change are
// brought to it): the X server clears a corner of it, where only the backdrop is, and says it
// is exposed; the whole scene shows again.
TEST_F(SaverTest, WhatTheWindowLostIsDrawnAgain)
{
    Start({"--window-id", std::to_string(window)});
    ExpectWindowShowsTheScene(640, 480);
    XClearArea(display, window, 0, 0, 64, 64, True);
    XSync(display, False);
    ExpectWindowShowsTheScene(640, 480);
}

// Catches a picture stretched to a window that changed one side only, or both.
TEST_F(SaverTest, DrawsTheSceneInTheWindowAndFollowsItsSize)
{
    Start({"--window-id", std::to_string(window)});
    ExpectWindowShowsTheScene(640, 480);
    for (const auto& [width, height] : {std::pair{320, 200}, {240, 200}, {240, 260}}) {
        XResizeWindow(display, window, width, height);
        XSync(display, False);
        ExpectWindowShowsTheScene(width, height);
    }
}

// Catches a signal that ends the screensaver as a failure, or late, or one that a thread of
// the driver takes: a daemon ends it with any of the three, and it goes at once, quietly,
// with status 0.
TEST_F(SaverTest, EachEndSignalEndsItAtOnceQuietlyWithStatus0)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ClearWindow();
        Start({"--window-id", std::to_string(window)});
        ASSERT_TRUE(WaitForDrawing()) << "it never drew";
        int threads = 0;
        const std::vector<std::string> open = ThreadsTakingEndSignals(child.Pid(), &threads);
        EXPECT_TRUE(open.empty()) << open.size() << " of " << threads << " threads take the end signals";
        const auto sent = std::chrono::steady_clock::now();
        child.Signal(signal);
        EXPECT_EQ(WaitForExit(2000ms), 0) << strsignal(signal);
        EXPECT_LT(std::chrono::steady_clock::now() - sent, 500ms) << strsignal(signal);
        EXPECT_EQ(Stderr(), "") << strsignal(signal);
    }
}

// Catches start options that the screensaver does not apply: the pattern, flares and spot
// light it was started with show as in a picture started with them.
TEST_F(SaverTest, StartOptionsReachTheScene)
{
    const std::vector<std::string> options = {"--pattern", "2", "--spin", "--grey", "0.8", "--cutoff", "60"};
    std::vector<std::string> args = {"--window-id", std::to_string(window)};
    args.insert(args.end(), options.begin(), options.end());
    Start(args);
    ExpectWindowShowsTheScene(640, 480, options);
}

// Catches a screensaver that draws flat out, a core kept busy for nothing: the X server sees
// its window drawn about 20 times a second, on the scene's 50 ms clock, and not more.
TEST_F(SaverTest, DrawsOnTheSceneClock)
{
    XResizeWindow(display, window, 64, 64);
    XSync(display, False);
    Start({"--window-id", std::to_string(window)});
    ASSERT_TRUE(WaitForDrawing()) << "it never drew";
    const int draws = CountDraws(2000ms);
    EXPECT_LE(draws, 48) << "more than 20 frames a second over 2 s";
    EXPECT_GE(draws, 4) << "it hardly drew";
}

TEST_F(SaverTest, RootTakesTheDaemonsWindowFromXscreensaverWindow)
{
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", window);
    Start({"-root"}, std::string("XSCREENSAVER_WINDOW=") + id);
    ExpectWindowShowsTheScene(640, 480);
}

// Catches a window's going taken for a fault: a daemon destroys the window whenever the screen
// wakes, in the middle of a frame as often as not, and that ends the screensaver quietly.
TEST_F(SaverTest, EndsQuietlyWhenItsWindowGoes)
{
    for (const auto after : {1000ms, 33ms, 217ms, 461ms}) {
        Start({"-window-id", std::to_string(window)});
        // Gone while it draws, however slowly a loaded machine starts it: a window destroyed
        // before it was looked at is one that never was.
        ASSERT_TRUE(WaitForDrawing()) << "it never drew";
        std::this_thread::sleep_for(after);
        XDestroyWindow(display, window);
        XSync(display, False);
        EXPECT_EQ(WaitForExit(20000ms), 0) << "destroyed after " << after.count() << " ms";
        EXPECT_EQ(Stderr(), "") << "destroyed after " << after.count() << " ms";
        window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 640, 480, 0, 0, 0);
        XMapWindow(display, window);
        XSync(display, False);
    }
}

TEST_F(SaverTest, AWindowThatDoesNotExistIsOneLineAndStatus1)
{
    Start({"--window-id", "0x1fffff0"});
    EXPECT_EQ(WaitForExit(20000ms), 1);
    EXPECT_EQ(Stderr(), "lumetta: there is no window 0x1fffff0 on the display\n");
}

TEST_F(SaverTest, AMissingPictureIsOneLineAndStatus1WithNoBox)
{
    fs::remove(dir.Path() / "panel.bmp");
    Start({"--window-id", std::to_string(window)});
    EXPECT_EQ(WaitForExit(20000ms), 1);
    const std::string said = Stderr();
    EXPECT_EQ(said.rfind("lumetta: cannot read panel.bmp in ", 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << "one line: " << said;
}

}  // namespace
