// The ornament on a desktop under Xvfb, over a window of this test's own in a known colour,
// with and without a compositing manager (picom): what shows on the screen, where clicks go,
// what the window managers are told, and how it ends.
#include "tests/support/png_read.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines None and Bool as macros.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <utility>
#include <fstream>
#include <thread>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The desktop under the ornament: a window the size of the screen, in this colour.
constexpr unsigned long kUnder = 0x3050c0;
// The ornament's place and size in these tests.
constexpr int kX = 500, kY = 100, kSide = 400;

class OrnamentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Another client's window listed a moment ago may be gone when asked about (a menu
        // closing): the question fails, and the test goes on. Any other error is fatal as ever.
        static XErrorHandler fatal = XSetErrorHandler(nullptr);
        XSetErrorHandler([](Display* d, XErrorEvent* e) {
            return e->error_code == BadWindow || e->error_code == BadDrawable ? 0 : fatal(d, e);
        });
        display = XOpenDisplay(nullptr);
        ASSERT_TRUE(display) << "no display: run under Xvfb";
        under = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1024, 768, 0, 0, kUnder);
        XSelectInput(display, under, ButtonPressMask);
        XMapWindow(display, under);
        XSync(display, False);
    }
    void TearDown() override
    {
        if (display)
            XCloseDisplay(display);
    }

    // Starts the compositing manager; false when the machine has none.
    bool StartCompositor()
    {
        if (std::system("command -v picom >/dev/null") != 0)
            return false;
        compositor.Start({"picom", "--backend", "xrender"}, dir.Path(), {}, dir.Path() / "picom.log");
        // Until it owns the compositing selection, it is not compositing.
        const Atom selection = XInternAtom(display, "_NET_WM_CM_S0", False);
        for (int i = 0; i < 200 && XGetSelectionOwner(display, selection) == None; ++i)
            std::this_thread::sleep_for(25ms);
        return XGetSelectionOwner(display, selection) != None;
    }

    // Starts the ornament, its settings in the test's folder, with extra "NAME=value" in its
    // environment.
    void Start(std::vector<std::string> args = {}, const std::string& extra = "LUMETTA_TEST=1")
    {
        args.insert(args.begin(), {LUMETTA_BINARY, "--ornament"});
        ASSERT_TRUE(
            child.Start(args, dir.Path(), {"XDG_CONFIG_HOME=" + dir.Path().string(), extra}, dir.Path() / "stderr"));
    }

    // The ornament's window once it is shown with the outline of its first frame (a window not
    // yet shaped has a shape of one rectangle), or 0 after 20 s.
    Window WaitForOutline()
    {
        for (int i = 0; i < 400; ++i) {
            if (const Window w = FindOrnament()) {
                XWindowAttributes attributes;
                int count = 0, ordering = 0;
                XRectangle* input = XShapeGetRectangles(display, w, ShapeInput, &count, &ordering);
                if (input)
                    XFree(input);
                if (count > 1 && XGetWindowAttributes(display, w, &attributes) && attributes.map_state == IsViewable)
                    return w;
            }
            std::this_thread::sleep_for(50ms);
        }
        return 0;
    }

    Window FindOrnament()
    {
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
            for (unsigned i = 0; i < count && !found; ++i) {
                XClassHint hint{};
                if (XGetClassHint(display, children[i], &hint)) {
                    if (std::string(hint.res_name) == "lumetta")
                        found = children[i];
                    XFree(hint.res_name);
                    XFree(hint.res_class);
                }
            }
            XFree(children);
        }
        return found;
    }

    // Where the window stands on the screen.
    std::pair<int, int> Place(Window w)
    {
        int x = 0, y = 0;
        Window child;
        XTranslateCoordinates(display, w, DefaultRootWindow(display), 0, 0, &x, &y, &child);
        return {x, y};
    }

    // Where the window stands once it has moved to want, or where it stands after 20 s.
    std::pair<int, int> WaitForPlace(Window w, std::pair<int, int> want)
    {
        for (int i = 0; i < 400 && Place(w) != want; ++i)
            std::this_thread::sleep_for(50ms);
        return Place(w);
    }

    RgbImage Screen()
    {
        const fs::path shot = dir.Path() / "screen.png";
        EXPECT_EQ(std::system(("import -window root '" + shot.string() + "'").c_str()), 0);
        return ReadPng(shot);
    }

    int WaitForExit(std::chrono::milliseconds limit) { return child.WaitForExit(limit); }

    std::string Stderr() const
    {
        std::ifstream in(dir.Path() / "stderr");
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::vector<std::string> AtomList(Window w, const char* property)
    {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, left = 0;
        unsigned char* data = nullptr;
        std::vector<std::string> names;
        if (XGetWindowProperty(display, w, XInternAtom(display, property, False), 0, 64, False, AnyPropertyType, &type,
                               &format, &count, &left, &data) == Success &&
            data && format == 32) {
            for (unsigned long i = 0; i < count; ++i) {
                const long value = reinterpret_cast<long*>(data)[i];
                if (type == XA_ATOM) {
                    char* name = XGetAtomName(display, static_cast<Atom>(value));
                    names.emplace_back(name ? name : "");
                    if (name)
                        XFree(name);
                } else {
                    names.push_back(std::to_string(static_cast<unsigned long>(value) & 0xFFFFFFFFul));
                }
            }
        }
        if (data)
            XFree(data);
        return names;
    }

    // Which of the kSide x kSide pixels of the window a shape of kind covers, row by row.
    std::vector<bool> ShapeCover(Window w, int kind)
    {
        std::vector<bool> cover(static_cast<std::size_t>(kSide) * kSide, false);
        int count = 0, ordering = 0;
        XRectangle* rectangles = XShapeGetRectangles(display, w, kind, &count, &ordering);
        for (int i = 0; i < count; ++i) {
            const XRectangle& r = rectangles[i];
            for (int y = std::max<int>(r.y, 0); y < std::min(r.y + r.height, kSide); ++y)
                for (int x = std::max<int>(r.x, 0); x < std::min(r.x + r.width, kSide); ++x)
                    cover[static_cast<std::size_t>(y) * kSide + x] = true;
        }
        if (rectangles)
            XFree(rectangles);
        return cover;
    }

    // Which of the window's kSide x kSide pixels its last frame covers at least half, by the
    // alpha it keeps (an ARGB window is drawn aside, whole, whatever its shape); empty when
    // the window cannot be read.
    std::vector<bool> CoveredHalf(Window w)
    {
        const std::vector<std::uint8_t> alpha = Alpha(w);
        std::vector<bool> cover(alpha.size());
        std::transform(alpha.begin(), alpha.end(), cover.begin(), [](std::uint8_t a) { return a >= 128; });
        return cover;
    }

    // The alpha of each pixel of the window, rows from the top; empty when it cannot be read.
    std::vector<std::uint8_t> Alpha(Window w)
    {
        std::vector<std::uint8_t> alpha;
        XImage* image = XGetImage(display, w, 0, 0, kSide, kSide, AllPlanes, ZPixmap);
        if (!image)
            return alpha;
        if (image->depth == 32) {
            alpha.resize(static_cast<std::size_t>(kSide) * kSide);
            for (int y = 0; y < kSide; ++y)
                for (int x = 0; x < kSide; ++x)
                    alpha[static_cast<std::size_t>(y) * kSide + x] = XGetPixel(image, x, y) >> 24 & 0xff;
        }
        XDestroyImage(image);
        return alpha;
    }

    // Another lumetta on this display, with this test's settings.
    ProcessResult Run(const std::vector<std::string>& args)
    {
        RunOptions options;
        options.environment = {std::string("DISPLAY=") + std::getenv("DISPLAY"),
                               "XDG_CONFIG_HOME=" + dir.Path().string()};
        return RunLumetta(args, dir.Path(), options);
    }

    std::string Settings() const
    {
        std::ifstream in(dir.Path() / "orbelle3/orbelle3.conf");
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Whether done says yes within 20 s, asked every 50 ms; each answer is asked for once, so
    // done may keep what it saw.
    static bool WaitFor(const std::function<bool()>& done)
    {
        for (int i = 0; i < 400; ++i) {
            if (done())
                return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    int Width(Window w)
    {
        XWindowAttributes attributes{};
        XGetWindowAttributes(display, w, &attributes);
        return attributes.width;
    }

    // Where a leaf of the ring stands on the screen: left of the hole.
    std::pair<int, int> Leaf(Window w)
    {
        const auto [x, y] = Place(w);
        const int side = Width(w);
        return {x + side * 12 / 100, y + side / 2};
    }

    // Whether a menu is shown: a window of its own over the others, which the toolkit maps
    // once it holds the pointer and the keys.
    bool MenuShown()
    {
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        bool shown = false;
        if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
            for (unsigned i = 0; i < count && !shown; ++i) {
                XWindowAttributes attributes;
                shown = XGetWindowAttributes(display, children[i], &attributes) && attributes.override_redirect &&
                        attributes.map_state == IsViewable && attributes.width > 1;
            }
            XFree(children);
        }
        return shown;
    }

    // Opens the ornament's menu with a right click on the wreath, waits until it is shown (its
    // own sign that it is open and takes keys), and picks the item downs places down with the
    // keys; with downs 0, leaves it open.
    void Choose(Window w, int downs)
    {
        ASSERT_TRUE(WaitFor([&] { return !MenuShown(); })) << "the last menu stayed open";
        const auto [x, y] = Leaf(w);
        ASSERT_EQ(std::system(
                      ("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 3").c_str()),
                  0);
        ASSERT_TRUE(WaitFor([&] { return MenuShown(); }))
            << "the menu did not open for item " << downs << " at " << x << ", " << y << ": " << Stderr();
        if (downs == 0)
            return;
        std::string keys = "xdotool key";
        for (int i = 0; i < downs; ++i)
            keys += " Down";
        ASSERT_EQ(std::system((keys + " Return").c_str()), 0);
    }

    // A property of 32-bit values, as unsigned numbers.
    std::vector<unsigned long> Cardinals(Window w, const char* property)
    {
        std::vector<unsigned long> values;
        for (const std::string& v : AtomList(w, property))
            values.push_back(std::stoul(v));
        return values;
    }

    TempDir dir;
    Display* display = nullptr;
    Window under = 0;
    CRunningChild child;
    CRunningChild compositor;
};

bool IsUnder(const std::uint8_t* p)
{
    return std::abs(p[0] - 0x30) <= 2 && std::abs(p[1] - 0x50) <= 2 && std::abs(p[2] - 0xc0) <= 2;
}

// Catches a frame or a backdrop round the wreath, or alpha that the compositor cannot use:
// over a compositor, the window below shows all round the wreath and through its hole, the
// leaves are the wreath's green, and the halos' soft edges are tinted by the blue below; and
// a staircase edge: where the wreath begins in each row, most rows show a quarter, a half or
// three quarters of an opaque leaf, as four samples a pixel cover it.
TEST_F(OrnamentTest, OverACompositorTheDesktopShowsAroundTheWreathAndThroughItsHalos)
{
    if (!StartCompositor())
        GTEST_SKIP() << "no compositing manager (picom) on this machine";
    Start({"--geometry", "400x400+500+100"});
    const Window w = WaitForOutline();
    ASSERT_NE(w, 0u) << Stderr();
    // The outline is set just before its frame is brought to the window, and the compositor
    // may be seen a frame late: until the wreath shows, smoothed.
    int rows = 0, smoothed = 0;
    WaitFor([&] {
        const std::vector<std::uint8_t> alpha = Alpha(w);
        rows = smoothed = 0;
        for (int y = 0; y < kSide && !alpha.empty(); ++y) {
            const auto row = alpha.begin() + static_cast<std::ptrdiff_t>(y) * kSide;
            const auto first = std::find_if(row, row + kSide, [](std::uint8_t a) { return a > 0; });
            if (first == row + kSide)
                continue;
            ++rows;
            smoothed += std::abs(*first - 64) <= 1 || std::abs(*first - 128) <= 1 || std::abs(*first - 191) <= 1;
        }
        return rows > kSide / 2 && smoothed > rows / 3;
    });
    ASSERT_GT(rows, kSide / 2) << "the wreath never showed in the window";
    EXPECT_GT(smoothed, rows / 3) << "of " << rows << " rows, the wreath's edge is smooth in " << smoothed;
    // The compositor shows the ornament's frames once it has them: until a leaf shows.
    RgbImage screen = Screen();
    ASSERT_EQ(screen.width, 1024);
    const auto at = [&](int x, int y) { return &screen.rgb[(static_cast<std::size_t>(kY + y) * 1024 + kX + x) * 3]; };
    const auto leafShows = [&] {
        const std::uint8_t* leaf = at(kSide * 12 / 100, kSide / 2);
        return leaf[1] > leaf[0] + 20 && leaf[2] < 0x80;
    };
    for (int i = 0; i < 100 && !leafShows(); ++i) {
        std::this_thread::sleep_for(100ms);
        screen = Screen();
    }
    for (const auto& [x, y] :
         {std::pair{2, 2}, {kSide - 3, 2}, {2, kSide - 3}, {kSide - 3, kSide - 3}, {kSide / 2 - 5, kSide / 2 - 10}})
        EXPECT_TRUE(IsUnder(at(x, y))) << "not the desktop at " << x << ", " << y << " of the ornament";
    // The leaves left of the hole: green, and no blue through them.
    const std::uint8_t* leaf = at(kSide * 12 / 100, kSide / 2);
    EXPECT_GT(leaf[1], leaf[0] + 20) << "not a leaf";
    EXPECT_LT(leaf[2], 0x80) << "the desktop shows through a leaf";
    // Somewhere the scene is partly covered, what shows is neither the desktop nor the
    // scene over black: the blue below tints it.
    int tinted = 0;
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const std::uint8_t* p = at(x, y);
            tinted += !IsUnder(p) && p[2] > 0x60 && p[0] > 0x60 ? 1 : 0;
        }
    }
    EXPECT_GT(tinted, 100) << "no halo or glass tinted by the desktop";
}

// Catches an ornament that swallows the clicks meant for what is below it, or one that cannot
// be moved or forgets where it was put: a click beside the wreath, inside the window's square,
// reaches the window below; a left-button drag on the wreath moves it, the place is kept in the
// settings file, and the next ornament hangs there; a place kept off every screen is not.
TEST_F(OrnamentTest, ClicksPassBesideTheWreathAndADragMovesItToStayThere)
{
    Start({"--geometry", "400x400+500+100"});
    Window w = WaitForOutline();
    ASSERT_NE(w, 0u) << Stderr();
    ASSERT_EQ(std::system("xdotool mousemove 520 120 click 1"), 0);
    XEvent event;
    bool reached = false;
    for (int i = 0; i < 400 && !reached; ++i) {
        while (XCheckTypedWindowEvent(display, under, ButtonPress, &event))
            reached = event.xbutton.x == 520 && event.xbutton.y == 120;
        std::this_thread::sleep_for(25ms);
    }
    EXPECT_TRUE(reached) << "the click beside the wreath did not reach the window below";

    ASSERT_EQ(std::system("xdotool mousemove 560 300 mousedown 1 mousemove 500 300 mousemove 360 320 mouseup 1"), 0);
    EXPECT_EQ(WaitForPlace(w, {300, 120}), std::pair(300, 120));
    child.Signal(SIGTERM);
    EXPECT_EQ(WaitForExit(20000ms), 0);
    std::ifstream settings(dir.Path() / "orbelle3/orbelle3.conf");
    const std::string kept((std::istreambuf_iterator<char>(settings)), std::istreambuf_iterator<char>());
    EXPECT_NE(kept.find("[Ornament]\nX=300\nY=120\n"), std::string::npos) << kept;

    Start({"--geometry", "400x400"});
    w = WaitForOutline();
    ASSERT_NE(w, 0u);
    EXPECT_EQ(Place(w), std::pair(300, 120)) << "not where it was left";
    child.Signal(SIGTERM);
    EXPECT_EQ(WaitForExit(20000ms), 0);

    std::ofstream(dir.Path() / "orbelle3/orbelle3.conf") << "[Ornament]\nX=9000\nY=-9000\n";
    Start({"--geometry", "400x400"});
    w = WaitForOutline();
    ASSERT_NE(w, 0u);
    const auto [x, y] = Place(w);
    EXPECT_TRUE(x >= 0 && x + kSide <= 1024 && y >= 0 && y + kSide <= 768) << "off the screen: " << x << ", " << y;
}

// Catches hints that put the ornament in the taskbar or window switcher, on one workspace,
// above other windows or in a frame, or have a window manager give it the focus, read as a
// window manager reads them: the states it keeps, the desktop it is on, the Motif decorations
// flag with no decoration, no input and no WM_TAKE_FOCUS; with --above the other way round.
// And a size that does not follow a desktop scaled twice.
TEST_F(OrnamentTest, ItTellsTheWindowManagersToKeepItBelowOnEveryWorkspaceUnframed)
{
    constexpr unsigned long kAllDesktops = 0xFFFFFFFFul;   // what EWMH calls every desktop
    constexpr unsigned long kMotifDecorations = 1ul << 1;  // the flag saying the field is given
    int unscaled = 0;
    for (const bool above : {false, true}) {
        // The second time on a desktop scaled twice.
        Start(above ? std::vector<std::string>{"--above"} : std::vector<std::string>{},
              above ? "GDK_SCALE=2" : "GDK_SCALE=1");
        const Window w = WaitForOutline();
        ASSERT_NE(w, 0u) << Stderr();
        XWindowAttributes attributes;
        XGetWindowAttributes(display, w, &attributes);
        if (!above)
            unscaled = attributes.width;
        else
            EXPECT_EQ(attributes.width, 2 * unscaled) << "not twice as large on a desktop scaled twice";
        const std::vector<std::string> state = AtomList(w, "_NET_WM_STATE");
        for (const char* want : {"_NET_WM_STATE_STICKY", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER",
                                 above ? "_NET_WM_STATE_ABOVE" : "_NET_WM_STATE_BELOW"})
            EXPECT_NE(std::find(state.begin(), state.end(), want), state.end()) << want;
        // KWin lists in its window switcher a window that takes input or the focus.
        EXPECT_NE(std::find(state.begin(), state.end(), "_KDE_NET_WM_STATE_SKIP_SWITCHER"), state.end());
        Atom* protocols = nullptr;
        int count = 0;
        ASSERT_TRUE(XGetWMProtocols(display, w, &protocols, &count));
        EXPECT_EQ(std::count(protocols, protocols + count, XInternAtom(display, "WM_TAKE_FOCUS", False)), 0)
            << "a window manager would hand it the focus as it starts";
        XFree(protocols);
        XWMHints* hints = XGetWMHints(display, w);
        ASSERT_TRUE(hints);
        EXPECT_TRUE((hints->flags & InputHint) && !hints->input) << "a window manager would give it the focus";
        XFree(hints);
        const char* other = above ? "_NET_WM_STATE_BELOW" : "_NET_WM_STATE_ABOVE";
        EXPECT_EQ(std::find(state.begin(), state.end(), other), state.end()) << other;
        const std::vector<unsigned long> desktop = Cardinals(w, "_NET_WM_DESKTOP");
        EXPECT_TRUE(desktop.size() == 1 && desktop[0] == kAllDesktops) << "not on every workspace";
        // Flags, functions, decorations, input mode, status.
        const std::vector<unsigned long> motif = Cardinals(w, "_MOTIF_WM_HINTS");
        ASSERT_GE(motif.size(), 3u) << "no Motif hints";
        EXPECT_TRUE((motif[0] & kMotifDecorations) && motif[2] == 0) << "a frame";
        child.Signal(SIGTERM);
        EXPECT_EQ(WaitForExit(20000ms), 0);
    }
}

// Catches a black square round the wreath on a desktop with no compositor, an outline that is
// not the picture's (turned upside down, shifted, cut short, or at another level of coverage),
// or one kept when a compositor starts: without one, the window and the clicks it takes are
// the pixels its frame covers at least half; once one runs the window is whole again, its
// alpha doing the work, and the clicks still follow the outline.
TEST_F(OrnamentTest, WithoutACompositorTheWindowIsTheWreathsOutline)
{
    Start({"--geometry", "400x400+500+100"});
    const Window w = WaitForOutline();
    ASSERT_NE(w, 0u) << Stderr();
    // A frame drawn since the outline was taken differs from it only where bulbs blinked. The
    // outline is set just before its frame is brought to the window: until that frame shows.
    const auto expectTheOutline = [&](const char* view) {
        std::vector<bool> covered;
        long cover = 0;
        WaitFor([&] {
            covered = CoveredHalf(w);
            cover = std::count(covered.begin(), covered.end(), true);
            return cover > kSide * kSide / 10;
        });
        ASSERT_EQ(covered.size(), static_cast<std::size_t>(kSide * kSide)) << "cannot read the window";
        EXPECT_GT(cover, kSide * kSide / 10) << view << ": the frame covers almost nothing";
        for (const int kind : {ShapeInput, ShapeBounding}) {
            const std::vector<bool> shape = ShapeCover(w, kind);
            long differ = 0;
            for (std::size_t i = 0; i < shape.size(); ++i)
                differ += shape[i] != covered[i] ? 1 : 0;
            EXPECT_LT(differ, cover / 100) << view << ", " << (kind == ShapeInput ? "input" : "bounding")
                                           << " shape: pixels unlike the frame's coverage";
        }
    };
    expectTheOutline("at the start");
    // Clicked, then brought closer and turned: the outline follows the picture.
    const std::vector<bool> before = ShapeCover(w, ShapeInput);
    ASSERT_EQ(std::system("xdotool mousemove 560 300 click 1 key Up Up Up Up Up Up Up Up Up Up "
                          "Left Left Left Left Left Left Left Left Left Left"),
              0);
    ASSERT_TRUE(WaitFor([&] { return ShapeCover(w, ShapeInput) != before; })) << "the outline stayed as it was";
    // Settled: the same outline for a whole second, many frames even of a sanitized build.
    std::vector<bool> settled = ShapeCover(w, ShapeInput);
    int unchanged = 0;
    ASSERT_TRUE(WaitFor([&] {
        unchanged = std::exchange(settled, ShapeCover(w, ShapeInput)) == settled ? unchanged + 1 : 0;
        return unchanged == 20;
    })) << "the outline never settled";
    expectTheOutline("closer and turned");
    const RgbImage screen = Screen();
    for (const auto& [x, y] : {std::pair{kX + 2, kY + 2}, {kX + kSide - 3, kY + kSide - 3}})
        EXPECT_TRUE(IsUnder(&screen.rgb[(static_cast<std::size_t>(y) * 1024 + x) * 3])) << x << ", " << y;
    if (!StartCompositor())
        GTEST_SKIP() << "no compositing manager (picom) to start";
    const auto whole = [&] {
        const std::vector<bool> shape = ShapeCover(w, ShapeBounding);
        return std::count(shape.begin(), shape.end(), true) == kSide * kSide;
    };
    for (int i = 0; i < 400 && !whole(); ++i)
        std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(whole()) << "still the outline under a compositor";
    const std::vector<bool> input = ShapeCover(w, ShapeInput);
    EXPECT_LT(std::count(input.begin(), input.end(), true), kSide * kSide / 2) << "clicks no longer pass beside it";
}

// Catches an ornament that ends as a failure or late when taken down, or a second wreath, or
// one that takes another program's message for a close: the window manager's close, Esc on it
// and each end signal end it at once with status 0; a second --ornament says that one hangs
// already.
TEST_F(OrnamentTest, EachEndSignalTakesItDownAndASecondOneSaysOneHangs)
{
    Start({"--geometry", "400x400+500+100"});
    const Window w = WaitForOutline();
    ASSERT_NE(w, 0u) << Stderr();
    const auto send = [&](Window to, const char* type) {
        XEvent message{};
        message.xclient.type = ClientMessage;
        message.xclient.window = to;
        message.xclient.message_type = XInternAtom(display, type, False);
        message.xclient.format = 32;
        message.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        XSendEvent(display, to, False, NoEventMask, &message);
        XSync(display, False);
    };
    // Another program's message that only looks like a close: a request handed over after it
    // is taken, so the ornament read the message and hangs on.
    send(w, "_ANOTHER_PROGRAMS_MESSAGE");
    EXPECT_EQ(Run({"--ornament", "--pattern", "2"}).status, 0) << "another program's message closed it";
    // A window manager's close, then Esc on a new one.
    send(w, "WM_PROTOCOLS");
    EXPECT_EQ(WaitForExit(20000ms), 0) << "the window manager's close did not take it down";
    Start({"--geometry", "400x400+500+100"});
    ASSERT_NE(WaitForOutline(), 0u) << Stderr();
    // Clicked, it has the focus (with no window manager, the focus follows the pointer).
    ASSERT_EQ(std::system("xdotool mousemove 560 300 click 1 key Escape"), 0);
    EXPECT_EQ(WaitForExit(20000ms), 0) << "Esc did not take it down";

    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        Start();
        ASSERT_NE(WaitForOutline(), 0u) << Stderr();
        EXPECT_TRUE(ThreadsTakingEndSignals(child.Pid()).empty()) << "a thread of the driver takes the end signals";
        if (signal == SIGTERM) {
            const ProcessResult second = RunLumetta({"--ornament"}, dir.Path(), [] {
                RunOptions options;
                options.environment = {std::string("DISPLAY=") + std::getenv("DISPLAY")};
                return options;
            }());
            EXPECT_EQ(second.status, 0);
            EXPECT_NE(second.err.find("an ornament hangs on this desktop already (process " +
                                      std::to_string(child.Pid())),
                      std::string::npos)
                << second.err;
        }
        // At once, as a person sees it; a loaded machine may take its time to end any process.
        child.Signal(signal);
        EXPECT_EQ(WaitForExit(3000ms), 0) << strsignal(signal);
        EXPECT_EQ(Stderr(), "") << strsignal(signal);
    }
}

// Catches an ornament whose lost contents are not drawn again (only the tiles that change are
// brought to its window): the X server clears a patch of its leaves and says it is exposed;
// the leaves come back.
TEST_F(OrnamentTest, WhatItsWindowLostIsDrawnAgain)
{
    if (!StartCompositor())
        GTEST_SKIP() << "no compositing manager (picom) on this machine";
    Start({"--geometry", "400x400+500+100"});
    const Window w = WaitForOutline();
    ASSERT_NE(w, 0u) << Stderr();
    // Leaves at the top right, where no bulb, flare or halo reaches.
    constexpr int kPatchX = 330, kPatchY = 120, kPatch = 16;
    const auto covered = [&] {
        const std::vector<std::uint8_t> alpha = Alpha(w);
        int opaque = 0;
        for (int y = kPatchY; y < kPatchY + kPatch && !alpha.empty(); ++y)
            for (int x = kPatchX; x < kPatchX + kPatch; ++x)
                opaque += alpha[static_cast<std::size_t>(y) * kSide + x] > 200;
        return opaque;
    };
    ASSERT_TRUE(WaitFor([&] { return covered() > kPatch * kPatch / 2; })) << "no leaves in the patch";
    const int before = covered();
    XClearArea(display, w, kPatchX, kPatchY, kPatch, kPatch, True);
    XSync(display, False);
    EXPECT_TRUE(WaitFor([&] { return covered() >= before; })) << "the patch stayed cleared";
}

// Catches an ornament that takes the keys from the user: started, or sent WM_TAKE_FOCUS as a
// window manager sends it on map, it leaves the focus where it was; with the pointer on it
// unclicked (X then sends the keys to the window under the pointer) it hears none; clicked, it
// hears them; once the pointer has left it and another window is clicked, it hears none again
// (A and Esc would save the flares and take it down) and the focus is back where it was.
TEST_F(OrnamentTest, TheKeysAreItsOnlyFromAClickOnItUntilThePointerLeaves)
{
    XSetInputFocus(display, under, RevertToPointerRoot, CurrentTime);
    XSync(display, False);
    Start({"--geometry", "400x400+500+100"});
    const Window w = WaitForOutline();
    ASSERT_NE(w, 0u) << Stderr();
    const auto focus = [&] {
        Window now = 0;
        int revert = 0;
        XGetInputFocus(display, &now, &revert);
        return now;
    };
    XEvent take{};
    take.xclient.type = ClientMessage;
    take.xclient.window = w;
    take.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    take.xclient.format = 32;
    take.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_TAKE_FOCUS", False));
    take.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, w, False, NoEventMask, &take);
    XSync(display, False);
    EXPECT_EQ(Run({"--ornament", "--pattern", "1"}).status, 0) << "it did not answer";
    EXPECT_EQ(focus(), under) << "it took the focus";

    XSetInputFocus(display, PointerRoot, RevertToPointerRoot, CurrentTime);
    XSync(display, False);
    ASSERT_EQ(std::system("xdotool mousemove 560 300 sleep 0.2 key a"), 0);
    ASSERT_EQ(std::system("xdotool click 1 sleep 0.2 key 3"), 0);
    ASSERT_TRUE(WaitFor([&] { return Settings().find("Pattern=3") != std::string::npos; }))
        << "clicked, it heard no key";
    ASSERT_EQ(std::system("xdotool mousemove 520 120 sleep 0.3 click 1 sleep 0.2 key a key Escape"), 0);
    EXPECT_EQ(WaitForExit(1000ms), -1) << "Esc reached it after a click elsewhere";
    EXPECT_EQ(Settings().find("Spin="), std::string::npos) << "A reached it: " << Settings();
    EXPECT_EQ(focus(), static_cast<Window>(PointerRoot)) << "the focus did not go back";
}

// Catches an ornament that another program holding the settings' lock freezes: with the lock
// held for good, a key that saves leaves it drawing (its bulbs keep blinking), it says once
// that the choice waits, and SIGTERM ends it within three seconds with status 0.
TEST_F(OrnamentTest, ASettingsLockHeldForGoodFreezesNothing)
{
    fs::create_directories(dir.Path() / "orbelle3");
    const int held = ::open((dir.Path() / "orbelle3").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    Start({"--geometry", "400x400+500+100", "--pattern", "2"});
    const Window w = WaitForOutline();
    ASSERT_NE(w, 0u) << Stderr();
    ASSERT_EQ(std::system("xdotool mousemove 560 300 click 1 sleep 0.2 key 3"), 0);
    ASSERT_TRUE(WaitFor([&] { return Stderr().find("holds the lock") != std::string::npos; })) << Stderr();
    const std::vector<std::uint8_t> before = Alpha(w);
    EXPECT_TRUE(WaitFor([&] { return Alpha(w) != before; })) << "it stopped drawing";
    const auto sent = std::chrono::steady_clock::now();
    child.Signal(SIGTERM);
    EXPECT_EQ(WaitForExit(3000ms), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - sent, 3s);
    const std::string said = Stderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    ::close(held);
}

// Catches a menu item that does not do what it says, a menu closed without a choice that
// changes something, or a choice forgotten by the next ornament: closed with Esc, it leaves
// pattern 2 as it was; each item, picked with the keys from the menu a right click opens,
// changes the ornament and the settings file; the next ornament is as large, with its centre
// where it was, above, and locked.
TEST_F(OrnamentTest, ItsMenuDoesWhatItSaysAndTheNextOrnamentKeepsIt)
{
    Start({"--geometry", "+300+100", "--pattern", "2"}, "GDK_SCALE=1");
    Window w = WaitForOutline();
    ASSERT_NE(w, 0u) << Stderr();
    const auto kept = [&](const std::string& line) {
        return WaitFor([&] { return Settings().find("\n" + line + "\n") != std::string::npos; });
    };
    const auto above = [&] {
        const std::vector<std::string> state = AtomList(w, "_NET_WM_STATE");
        return std::find(state.begin(), state.end(), "_NET_WM_STATE_ABOVE") != state.end();
    };
    Choose(w, 0);
    ASSERT_EQ(std::system("xdotool key Escape"), 0);
    Choose(w, 4);
    EXPECT_TRUE(kept("Spin=1")) << Settings();
    EXPECT_EQ(Settings().find("Pattern="), std::string::npos) << "closed without a choice, it chose";
    Choose(w, 3);
    EXPECT_TRUE(kept("Pattern=3")) << Settings();
    Choose(w, 6);
    EXPECT_TRUE(kept("Side=480")) << Settings();
    EXPECT_TRUE(WaitFor([&] { return Width(w) == 480; })) << "larger did not make it larger";
    Choose(w, 7);
    EXPECT_TRUE(kept("Above=1")) << Settings();
    EXPECT_TRUE(WaitFor(above)) << "not above";
    const fs::path autostart = dir.Path() / "autostart/lumetta-ornament.desktop";
    Choose(w, 9);
    ASSERT_TRUE(WaitFor([&] { return fs::exists(autostart); })) << "no autostart entry";
    if (std::system("command -v desktop-file-validate >/dev/null") == 0) {
        EXPECT_EQ(std::system(("desktop-file-validate '" + autostart.string() + "'").c_str()), 0);
    }
    Choose(w, 9);
    EXPECT_TRUE(WaitFor([&] { return !fs::exists(autostart); })) << "the autostart entry stayed";
    Choose(w, 8);
    EXPECT_TRUE(kept("Locked=1")) << Settings();
    const auto place = Place(w);
    const auto [x, y] = Leaf(w);
    ASSERT_EQ(std::system(("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " mousedown 1 " +
                           "mousemove " + std::to_string(x - 100) + " " + std::to_string(y) + " mouseup 1")
                              .c_str()),
              0);
    // The menu opens once the drag before it was handled: then the place is as it was.
    Choose(w, 0);
    ASSERT_EQ(std::system("xdotool key Escape"), 0);
    ASSERT_TRUE(WaitFor([&] { return !MenuShown(); }));
    EXPECT_EQ(Place(w), place) << "a locked ornament moved";
    Choose(w, 10);
    EXPECT_EQ(WaitForExit(20000ms), 0) << "take down did not";

    Start({}, "GDK_SCALE=1");
    w = WaitForOutline();
    ASSERT_NE(w, 0u) << Stderr();
    EXPECT_EQ(Width(w), 480);
    EXPECT_EQ(Place(w), std::pair(240, 40)) << "its centre moved";
    EXPECT_TRUE(above());
    child.Signal(SIGTERM);
    EXPECT_EQ(WaitForExit(20000ms), 0);
}

// Catches a second lumetta that cannot reach the one that hangs, or five started at once of
// which none or several hang: --stop takes it down (or says none hangs), options are handed
// to it (or refused in one line when it cannot take them), even after another program wrote
// more than the 64 KiB the ornament reads into its requests, and of five started at once one
// hangs while four say so.
TEST_F(OrnamentTest, AnotherLumettaTakesItDownOrHandsItOptions)
{
    const ProcessResult none = Run({"--ornament", "--stop"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "lumetta: no ornament hangs on this desktop\n");
    Start({"--geometry", "400x400+500+100"});
    const Window w = WaitForOutline();
    ASSERT_NE(w, 0u) << Stderr();
    const Window claim = XGetSelectionOwner(display, XInternAtom(display, "_LUMETTA_ORNAMENT_S0", False));
    const std::string flood(70000, 'x');
    XChangeProperty(display, claim, XInternAtom(display, "_LUMETTA_ORNAMENT_REQUESTS", False), XA_STRING, 8,
                    PropModeAppend, reinterpret_cast<const unsigned char*>(flood.data()),
                    static_cast<int>(flood.size()));
    XSync(display, False);
    const ProcessResult handed = Run({"--ornament", "--pattern", "3", "--geometry", "300x300"});
    EXPECT_EQ(handed.status, 0);
    EXPECT_NE(handed.err.find("; handed it --pattern 3 --geometry 300x300\n"), std::string::npos) << handed.err;
    EXPECT_TRUE(WaitFor([&] { return Width(w) == 300; })) << "the size was not taken";
    const ProcessResult refused = Run({"--ornament", "--cycle", "5"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("--cycle cannot be handed to it"), std::string::npos) << refused.err;
    const ProcessResult stop = Run({"--ornament", "--stop"});
    EXPECT_EQ(stop.status, 0);
    EXPECT_EQ(stop.err, "lumetta: took down the ornament that hung on this desktop (process " +
                            std::to_string(child.Pid()) + ")\n");
    EXPECT_EQ(WaitForExit(20000ms), 0);

    CRunningChild five[5];
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(five[i].Start({LUMETTA_BINARY, "--ornament"}, dir.Path(),
                                  {"XDG_CONFIG_HOME=" + dir.Path().string()},
                                  dir.Path() / ("five-" + std::to_string(i))));
    int status[5] = {-1, -1, -1, -1, -1}, ended = 0;
    WaitFor([&] {
        for (int i = 0; i < 5; ++i) {
            if (status[i] == -1 && (status[i] = five[i].WaitForExit(0ms)) != -1)
                ++ended;
        }
        return ended == 4;
    });
    EXPECT_EQ(ended, 4) << "not one of five hangs";
    for (int i = 0; i < 5; ++i) {
        std::ifstream in(dir.Path() / ("five-" + std::to_string(i)));
        const std::string err((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (status[i] != -1) {
            EXPECT_EQ(status[i], 0) << err;
            EXPECT_NE(err.find("an ornament hangs on this desktop already"), std::string::npos) << err;
        }
    }
}

// Catches an ornament hung where nobody sees it, one larger than the screen (a size of 8192
// takes gigabytes), or one left drawing when its window was destroyed by another program:
// --geometry off every monitor is moved onto one with one line, and one larger than the
// monitor is made to fit it with one line; its window destroyed, it ends, and the next one
// hangs, even where a runtime folder open to all cannot keep it one to the desktop.
TEST_F(OrnamentTest, APlaceOnNoMonitorComesOntoOneAndItEndsWithItsWindow)
{
    Start({"--geometry", "8192x8192"});
    const Window large = WaitForOutline();
    ASSERT_NE(large, 0u) << Stderr();
    EXPECT_EQ(Width(large), 768);
    EXPECT_EQ(Stderr(), "lumetta: --geometry 8192x8192 is larger than its monitor; the ornament is 768x768 instead\n");
    child.Signal(SIGTERM);
    EXPECT_EQ(WaitForExit(20000ms), 0);

    Start({"--geometry", "+5000+5000"});
    Window w = WaitForOutline();
    ASSERT_NE(w, 0u) << Stderr();
    const auto [x, y] = Place(w);
    const int side = Width(w);
    EXPECT_TRUE(x >= 0 && y >= 0 && x + side <= 1024 && y + side <= 768) << x << ", " << y;
    EXPECT_NE(Stderr().find("lumetta: --geometry +5000+5000 is on no monitor"), std::string::npos) << Stderr();
    XDestroyWindow(display, w);
    XSync(display, False);
    EXPECT_EQ(WaitForExit(20000ms), 0);
    // The next, on an X display that a stale WAYLAND_DISPLAY names a desktop beside, with a
    // runtime folder open to all: one to the display is kept by the X server alone, said once.
    ASSERT_TRUE(
        child.Start({LUMETTA_BINARY, "--ornament", "--x11"}, dir.Path(),
                    {"XDG_CONFIG_HOME=" + dir.Path().string(), "WAYLAND_DISPLAY=wayland-9", "XDG_RUNTIME_DIR=/tmp"},
                    dir.Path() / "stderr"));
    EXPECT_NE(WaitForOutline(), 0u) << "no new ornament could hang: " << Stderr();
    EXPECT_NE(Stderr().find("only the X display keeps to one ornament"), std::string::npos) << Stderr();
}

}  // namespace
