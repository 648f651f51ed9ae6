// The real frame, view, menu, toolbar and about box in this process, under Xvfb, driven by
// real X key and mouse events (XTEST), so that what they did can be read from the view.
#include "window/about_box.h"
#include "x11/key_places.h"
#include "window/lumetta_app.h"
#include "window/orbelle3_view.h"
#include "res/ids.h"
#include "view/input.h"
#include "view/scene_start.h"
#include "res/texts.h"
#include "tests/support/process.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gdk/gdkx.h>
#include <X11/Xutil.h>
#include <wx/uiaction.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <memory>
#include <thread>
#include <vector>

wxIMPLEMENT_APP_NO_MAIN(COrbelle3App);

namespace {

// wx once per process; each test starts the application and ends it.
class WxEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        static char name[] = "lumetta_window_tests";
        static char* argv[] = {name, nullptr};
        int argc = 1;
        ASSERT_TRUE(wxEntryStart(argc, argv)) << "no display: run under Xvfb";
    }
    void TearDown() override { wxEntryCleanup(); }
};

// Runs the event loop for ms milliseconds, or until done says so; returns done's last answer.
// wxYield dispatches until nothing is ready; on a loaded machine a frame takes longer than the
// 50 ms frame clock, something is always ready, and it would never return. So events are
// dispatched one source at a time, up to the deadline, then wx's own queue and idle handling
// (which sets the check marks) run once, as a yield would run them.
bool PumpUntil(const std::function<bool()>& done, int ms = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        while (std::chrono::steady_clock::now() < end && g_main_context_iteration(nullptr, FALSE)) {
        }
        wxTheApp->ProcessPendingEvents();
        wxTheApp->ProcessIdle();
        if (done && done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done && done();
}

void Pump(int ms)
{
    PumpUntil(nullptr, ms);
}

// Returns once the program has handled every event that input simulated so far made. The
// simulator makes a round trip on its own connection after each event, so the X server has
// made the events; a round trip on the toolkit's connection then puts them all in its queue,
// and dispatching until the queue is empty hands them to the handlers. However slowly a loaded
// machine runs, nothing is read before it happened.
void Settle()
{
    Display* const display = gdk_x11_display_get_xdisplay(gdk_display_get_default());
    XSync(display, False);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end && (XPending(display) > 0 || gdk_events_pending()))
        g_main_context_iteration(nullptr, FALSE);
    wxTheApp->ProcessPendingEvents();
    wxTheApp->ProcessIdle();
}

// Runs what once the timer fires, inside whatever event loop is running then (a modal one).
void After(int ms, std::function<void()> what)
{
    auto* timer = new wxTimer;
    timer->Bind(wxEVT_TIMER, [timer, what](wxTimerEvent&) {
        what();
        timer->Stop();
        wxTheApp->CallAfter([timer] { delete timer; });
    });
    timer->StartOnce(ms);
}

// Looks every 50 ms, inside whatever event loop is running then, until ready says yes, and
// then runs what; gives up after about twenty seconds.
void WhenReady(std::function<bool()> ready, std::function<void()> what, int triesLeft = 400)
{
    After(50, [=] {
        if (ready())
            what();
        else if (triesLeft > 0)
            WhenReady(ready, what, triesLeft - 1);
    });
}

CAboutBox* FindAboutBox()
{
    for (wxWindow* w : wxTopLevelWindows) {
        if (auto* box = dynamic_cast<CAboutBox*>(w); box && box->IsShown())
            return box;
    }
    return nullptr;
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::copy_file(std::filesystem::path(LUMETTA_SOURCE_DIR) / "assets/panel.bmp",
                                   m_work.Path() / "panel.bmp");
        // The program finds its picture where it would find the one it installed; the test
        // process stays in its own folder.
        COrbelle3App::SetInstalledData(m_work.Path().string());
        setenv("XDG_CONFIG_HOME", (m_work.Path() / "config").c_str(), 1);
    }

    void Start(const std::string& document = {})
    {
        COrbelle3App::SetStartDocument(document);
        ASSERT_TRUE(wxTheApp->CallOnInit());
        m_bStarted = true;
        ASSERT_TRUE(PumpUntil([] { return View() && View()->FramesDrawn() > 0; }, 20000)) << "no frame was drawn";
        Frame()->Raise();  // with no window manager this gives the frame the X input focus
        Settle();
        PointAt(Canvas(), Centre());
    }

    void TearDown() override
    {
        if (m_bStarted) {
            if (wxWindow* frame = wxTheApp->GetTopWindow())
                frame->Close(true);
            Pump(100);
            wxTheApp->OnExit();
        }
    }

    static CMainFrame* Frame() { return wxGetApp().GetMainFrame(); }
    static COrbelle3View* View()
    {
        wxDocManager* manager = wxGetApp().GetDocManager();
        return manager ? wxDynamicCast(manager->GetAnyUsableView(), COrbelle3View) : nullptr;
    }
    static wxGLCanvas* Canvas() { return View()->GetCanvas(); }
    static SceneState& State() { return View()->Scene().State(); }
    static wxPoint Centre()
    {
        const wxSize size = Canvas()->GetClientSize();
        return {size.x / 2, size.y / 2};
    }

    // Moves the pointer to p in window's client pixels.
    void PointAt(wxWindow* window, wxPoint p)
    {
        m_sim.MouseMove(window->ClientToScreen(p));
        Settle();
    }
    void Key(int key, int modifiers = wxMOD_NONE)
    {
        m_sim.Char(key, modifiers);
        Settle();
    }
    // Clicks the middle of the toolbar button of command id. wx cannot say where a tool is
    // on GTK, so GTK is asked where the button stands within the bar's widget.
    void ClickTool(int id)
    {
        wxToolBar* bar = Frame()->GetToolBar();
        GtkWidget* outer = bar->GetHandle();
        GtkWidget* toolbar = GTK_IS_TOOLBAR(outer) ? outer : gtk_bin_get_child(GTK_BIN(outer));
        GtkToolItem* item = gtk_toolbar_get_nth_item(GTK_TOOLBAR(toolbar), bar->GetToolPos(id));
        ASSERT_TRUE(item) << "no tool " << id << " on the toolbar";
        GtkAllocation place;
        gtk_widget_get_allocation(GTK_WIDGET(item), &place);
        int x = 0, y = 0;
        ASSERT_TRUE(
            gtk_widget_translate_coordinates(GTK_WIDGET(item), outer, place.width / 2, place.height / 2, &x, &y));
        m_sim.MouseMove(bar->GetScreenPosition() + wxPoint(x, y));
        Settle();
        m_sim.MouseClick();
        Settle();
    }
    // Menu check marks are refreshed when a menu opens; this does what opening does.
    bool MenuChecked(int id)
    {
        Frame()->GetMenuBar()->UpdateMenus();
        return Frame()->GetMenuBar()->IsChecked(id);
    }
    bool ToolPressed(int id)
    {
        Settle();  // toolbar states are refreshed when the program is idle
        return Frame()->GetToolBar()->GetToolState(id);
    }

    TempDir m_work;
    wxUIActionSimulator m_sim;
    bool m_bStarted = false;
};

TEST_F(ShellTest, KeysReachTheSceneAndTheCanvasKeepsTheFocus)
{
    Start();
    for (int i = 0; i < 3; ++i)
        Key(WXK_RIGHT);
    Key(WXK_UP);
    EXPECT_FLOAT_EQ(State().m_fAngle, 2.4f);
    EXPECT_FLOAT_EQ(State().m_fDistance, 27.3f);
    EXPECT_EQ(wxWindow::FindFocus(), Canvas()) << "an arrow key moved the focus";

    Key('A');
    EXPECT_EQ(State().m_bFlareSpin, 1);
    Key('a', wxMOD_SHIFT);
    EXPECT_EQ(State().m_bFlareSpin, 0) << "Shift+A is A";
    Key('a', wxMOD_CONTROL);
    EXPECT_EQ(State().m_bFlareSpin, 1) << "Ctrl+A is A";
    Key('3');
    EXPECT_EQ(State().m_nPattern, 3);
    Key(WXK_NUMPAD2);
    EXPECT_EQ(State().m_nPattern, 3) << "keypad digits select nothing";
    Key('r');
    EXPECT_EQ(State().m_fAngle, 0.0f);
    EXPECT_EQ(State().m_fDistance, 27.0f);
    Key(WXK_TAB);
    Key(WXK_DOWN);
    EXPECT_EQ(wxWindow::FindFocus(), Canvas());
    EXPECT_FLOAT_EQ(State().m_fDistance, 26.7f);
    Key(WXK_NUMPAD_LEFT);  // the keypad's 4 with Num Lock off
    EXPECT_FLOAT_EQ(State().m_fAngle, -0.8f) << "the keypad's Left did not turn the scene";
}

// Catches pattern keys taken by the character the layout types rather than by their place:
// a French keyboard types & é " on the digit row without Shift, and 1 2 3 with it. Letters
// follow the layout: A is the key that types a.
TEST_F(ShellTest, PatternKeysAreTheDigitRowsFirstThreeOnEveryLayout)
{
    Start();
    struct Layout {
        const char* name;
        const char* digitRow[3];  // what xdotool is asked to type; it holds Shift where needed
    };
    const Layout layouts[] = {
        {"fr", {"ampersand", "eacute", "quotedbl"}},
        {"fr", {"1", "2", "3"}},
        {"de", {"1", "2", "3"}},
        {"us", {"1", "2", "3"}},
    };
    // xdotool and setxkbmap end with a round trip as they close their connections: what they
    // did is done in the X server when they return.
    const auto type = [](const std::string& key) {
        ASSERT_EQ(std::system(("xdotool key " + key).c_str()), 0) << key;
        Settle();
    };
    for (const Layout& layout : layouts) {
        ASSERT_EQ(std::system((std::string("setxkbmap ") + layout.name).c_str()), 0) << layout.name;
        Settle();
        for (const int pattern : {2, 3, 1}) {
            type(layout.digitRow[pattern - 1]);
            EXPECT_EQ(State().m_nPattern, pattern) << layout.name << ": " << layout.digitRow[pattern - 1];
        }
        type("KP_2");
        EXPECT_EQ(State().m_nPattern, 1) << layout.name << ": the keypad's 2 selected a pattern";
        const int spin = State().m_bFlareSpin;
        type("a");
        EXPECT_NE(State().m_bFlareSpin, spin) << layout.name << ": the key that types a";
    }
}

// Catches the pattern keys lost where the X server names no keys (or there is none to ask):
// a key with a real key code is then taken by the digit it types.
TEST(KeyPlacesTest, WithoutKeyNamesTheDigitTypedIsTheKey)
{
    EXPECT_EXIT(
        {
            ::unsetenv("DISPLAY");
            const bool digits = DigitRowKey(10, '1') == '1' && DigitRowKey(12, '3') == '3' && DigitRowKey(38, 'a') == 0;
            std::exit(digits ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// Catches the window's start options or its pattern cycle not reaching the scene: the state
// is what the commands make, and once a second of frames is drawn the next pattern runs.
TEST_F(ShellTest, StartOptionsAndThePatternCycleReachTheWindowsScene)
{
    COrbelle3App::SetStart({3, true, -1, 30.0f, 1}, false);
    Start();
    COrbelle3App::SetStart({}, false);
    EXPECT_EQ(State().m_bFlareSpin, 1);
    EXPECT_FLOAT_EQ(State().m_fSpotDiffuse[0], 0.35f);
    EXPECT_EQ(State().m_fSpotCutoff, 30.0f);
    // Pattern 3 for the first 20 frames, then 1, then 2, then 3 again: a loaded machine may have
    // drawn any number of frames before it is looked at.
    const auto expected = [](long frames) { return std::array{3, 1, 2}[frames / 20 % 3]; };
    EXPECT_EQ(State().m_nPattern, expected(View()->FramesDrawn())) << "after " << View()->FramesDrawn() << " frames";
    ASSERT_TRUE(PumpUntil([] { return View()->FramesDrawn() >= 25; }, 20000));
    EXPECT_EQ(State().m_nPattern, expected(View()->FramesDrawn())) << "after " << View()->FramesDrawn() << " frames";
}

TEST_F(ShellTest, LeftDragTurnsRightDragZoomsAndOutsideTheCanvasNothingIsSeen)
{
    Start();
    const wxPoint centre = Centre();
    m_sim.MouseDown(wxMOUSE_BTN_LEFT);
    PointAt(Canvas(), centre + wxPoint(10, 0));
    m_sim.MouseUp(wxMOUSE_BTN_LEFT);
    Settle();
    EXPECT_FLOAT_EQ(State().m_fAngle, 2.0f);

    m_sim.MouseDown(wxMOUSE_BTN_RIGHT);
    PointAt(Canvas(), centre + wxPoint(10, -10));
    m_sim.MouseUp(wxMOUSE_BTN_RIGHT);
    Settle();
    EXPECT_FLOAT_EQ(State().m_fDistance, 28.0f);

    // A quick drag: down, away and up before the program has looked at any of it. X merges
    // such motion into the button's events, and the turn must not be lost with it.
    OnViewReset(State());
    PointAt(Canvas(), centre + wxPoint(0, 40));
    const auto at = [](wxPoint p) {
        p = Canvas()->ClientToScreen(p);
        return " mousemove " + std::to_string(p.x) + " " + std::to_string(p.y);
    };
    const std::string quick = "xdotool" + at(centre) + " mousedown 1" + at(centre + wxPoint(-10, 0)) +
                              at(centre + wxPoint(-20, 0)) + " mouseup 1";
    ASSERT_EQ(std::system(quick.c_str()), 0);
    Settle();
    EXPECT_FLOAT_EQ(State().m_fAngle, -4.0f) << "a quick drag was lost";

    // Out past the right edge and back in a little further left: the drag measures from the
    // last point seen inside, not from where the pointer was outside.
    OnViewReset(State());
    const wxPoint inside(Canvas()->GetClientSize().x - 5, centre.y);
    PointAt(Canvas(), inside);
    m_sim.MouseDown(wxMOUSE_BTN_LEFT);
    PointAt(Canvas(), inside + wxPoint(60, 0));
    EXPECT_EQ(State().m_fAngle, 0.0f) << "motion outside the canvas turned the scene";
    PointAt(Canvas(), inside + wxPoint(-10, 0));
    m_sim.MouseUp(wxMOUSE_BTN_LEFT);
    Settle();
    EXPECT_FLOAT_EQ(State().m_fAngle, -2.0f);
}

// Catches a resize that leaves the projection as it was: the view's context (the only one,
// current since the last paint) has the canvas' new size as viewport and aspect.
TEST_F(ShellTest, ResizingTheWindowResizesTheViewportAndProjection)
{
    Start();
    Frame()->SetSize(800, 400);
    ASSERT_TRUE(PumpUntil([] { return Canvas()->GetClientSize().x > 700; }, 20000)) << "the canvas kept its size";
    // Frames drawn at the new size.
    const long resized = View()->FramesDrawn();
    ASSERT_TRUE(PumpUntil([resized] { return View()->FramesDrawn() > resized + 1; }, 20000));
    const wxSize pixels = Canvas()->GetClientSize() * Canvas()->GetContentScaleFactor();
    GLint viewport[4];
    GLdouble projection[16];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    EXPECT_EQ(viewport[2], pixels.x);
    EXPECT_EQ(viewport[3], pixels.y);
    EXPECT_NEAR(projection[5] / projection[0], static_cast<double>(pixels.x) / pixels.y, 1e-4);
}

// Catches a canvas that shows other than the frame the scene drew: a part of a frame not brought
// to it, tiles left stale where the window lost what it showed, a frame of the old size. After
// the arrows, a drag, the spot light's tools, a new size, full screen, and a corner of the
// canvas painted over and exposed, what its X window shows is the scene's last frame.
TEST_F(ShellTest, TheCanvasShowsTheScenesFrameWhateverChangedIt)
{
    Start();
    Display* const display = gdk_x11_display_get_xdisplay(gdk_display_get_default());
    const auto expectShown = [&](const std::string& after) {
        const long drawn = View()->FramesDrawn();
        ASSERT_TRUE(PumpUntil([drawn] { return View()->FramesDrawn() > drawn + 2; }, 20000)) << after;
        // Nothing is drawn until the loop runs again: the window and the frame are read as they are.
        XSync(display, False);
        const wxSize size = Canvas()->GetClientSize() * Canvas()->GetContentScaleFactor();
        const std::vector<std::uint8_t> frame = View()->Scene().ReadFrame(3);
        // Of a full-screen window, what is on the screen: X reads no more.
        const Window canvas = static_cast<Window>(Canvas()->GetXWindow());
        int left = 0, top = 0;
        Window child = 0;
        XTranslateCoordinates(display, canvas, DefaultRootWindow(display), 0, 0, &left, &top, &child);
        const int width = std::min(size.x, DisplayWidth(display, DefaultScreen(display)) - left);
        const int height = std::min(size.y, DisplayHeight(display, DefaultScreen(display)) - top);
        XImage* shown = XGetImage(display, canvas, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                                  AllPlanes, ZPixmap);
        ASSERT_TRUE(shown) << after;
        int differing = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const unsigned long pixel = XGetPixel(shown, x, y);
                const std::uint8_t* want = &frame[(static_cast<std::size_t>(size.y - 1 - y) * size.x + x) * 3];
                differing += (pixel >> 16 & 0xff) != want[0] || (pixel >> 8 & 0xff) != want[1] ||
                             (pixel & 0xff) != want[2];
            }
        }
        XDestroyImage(shown);
        EXPECT_EQ(differing, 0) << "pixels unlike the scene's frame after " << after;
    };
    expectShown("the start");
    Key(WXK_LEFT);
    Key(WXK_UP);
    expectShown("the arrows");
    m_sim.MouseDown(wxMOUSE_BTN_LEFT);
    PointAt(Canvas(), Centre() + wxPoint(15, 0));
    m_sim.MouseUp(wxMOUSE_BTN_LEFT);
    Settle();
    expectShown("a drag");
    ClickTool(ID_LIGHT_WEAKER);
    ClickTool(ID_SPREAD_WIDEN);
    expectShown("the spot light's tools");
    Frame()->SetSize(640, 420);
    ASSERT_TRUE(PumpUntil([] { return Canvas()->GetClientSize().x > 600; }, 20000));
    expectShown("a new size");
    Frame()->ShowFullScreen(true);
    ASSERT_TRUE(PumpUntil([] { return Canvas()->GetClientSize().x > 700; }, 20000));
    expectShown("full screen");
    const Window canvas = static_cast<Window>(Canvas()->GetXWindow());
    GC gc = XCreateGC(display, canvas, 0, nullptr);
    XSetForeground(display, gc, 0xff00ff);
    XFillRectangle(display, canvas, gc, 0, 0, 40, 40);
    XFreeGC(display, gc);
    XClearArea(display, canvas, 0, 0, 40, 40, True);
    expectShown("a corner painted over and exposed");
}

// Catches a label that lost a character (the first pattern's digit is the full-width one,
// U+FF11) or items in another order: the texts as written, independently of the program's own.
TEST_F(ShellTest, MenuHasFourPopUpsWithTheirExactLabelsInOrder)
{
    Start();
    wxMenuBar* bar = Frame()->GetMenuBar();
    struct PopUp {
        const char* label;
        std::vector<std::pair<int, const char*>> items;
    };
    const PopUp popUps[] = {
        {"ｱﾌﾟﾘｹｰｼｮﾝ(&A)", {{ID_APP_EXIT, "ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)Esc"}}},
        {"林檎(&Q)", {{ID_FLARE_SPIN, "光の回転(&R)A"}}},
        {"電球(&L)",
         {{ID_LIGHT_PATTERN1, "ライトパターン\xEF\xBC\x91(&1)1"},
          {ID_LIGHT_PATTERN2, "ライトパターン2(&2)2"},
          {ID_LIGHT_PATTERN3, "ライトパターン3(&3)3"}}},
        {"ﾍﾙﾌﾟ(&H)", {{ID_APP_ABOUT, "Lumettaのﾊﾞｰｼﾞｮﾝ情報(&V)"}}},
    };
    ASSERT_EQ(bar->GetMenuCount(), std::size(popUps));
    for (size_t m = 0; m < std::size(popUps); ++m) {
        EXPECT_EQ(bar->GetMenuLabel(m), wxString::FromUTF8(popUps[m].label));
        const wxMenuItemList& items = bar->GetMenu(m)->GetMenuItems();
        ASSERT_EQ(items.size(), popUps[m].items.size()) << popUps[m].label;
        size_t i = 0;
        for (const wxMenuItem* item : items) {
            const auto& [id, label] = popUps[m].items[i++];
            EXPECT_EQ(item->GetId(), id) << popUps[m].label << " item " << i;
            EXPECT_EQ(item->GetItemLabel(), wxString::FromUTF8(label)) << popUps[m].label << " item " << i;
            EXPECT_FALSE(item->GetAccel()) << "the key hint became an accelerator: " << label;
        }
    }
    EXPECT_FALSE(Frame()->GetStatusBar());
    EXPECT_EQ(Frame()->GetTitle(), "Lumetta");
    EXPECT_EQ(Frame()->GetSize(), wxSize(500, 500));
}

TEST_F(ShellTest, ToolbarHasElevenToolsInSixGroupsWithTheirTooltips)
{
    Start();
    wxToolBar* bar = Frame()->GetToolBar();
    ASSERT_TRUE(bar);
    const std::pair<int, const char*> tools[] = {
        {ID_APP_EXIT, "ｱﾌﾟﾘｹｰｼｮﾝの終了"},
        {0, nullptr},
        {ID_FLARE_SPIN, "林檎のライト回転"},
        {0, nullptr},
        {ID_LIGHT_PATTERN1, "ライトパターン1"},
        {ID_LIGHT_PATTERN2, "ライトパターン2"},
        {ID_LIGHT_PATTERN3, "ライトパターン3"},
        {0, nullptr},
        {ID_LIGHT_WEAKER, "ライト光を弱める"},
        {ID_LIGHT_STRONGER, "ライト光を強める"},
        {ID_SPREAD_NARROW, "拡散光を狭める"},
        {ID_SPREAD_WIDEN, "拡散光を広げる"},
        {0, nullptr},
        {ID_VIEW_RESET, "VIEWのリセット"},
        {0, nullptr},
        {ID_APP_ABOUT, "ﾊﾞｰｼﾞｮﾝ情報"},
    };
    ASSERT_EQ(bar->GetToolsCount(), std::size(tools));
    for (size_t pos = 0; pos < std::size(tools); ++pos) {
        const wxToolBarToolBase* tool = bar->GetToolByPos(static_cast<int>(pos));
        const auto& [id, tip] = tools[pos];
        if (!tip) {
            EXPECT_TRUE(tool->IsSeparator()) << "position " << pos;
            continue;
        }
        EXPECT_EQ(tool->GetId(), id) << "position " << pos;
        EXPECT_EQ(tool->GetShortHelp(), wxString::FromUTF8(tip)) << "position " << pos;
        const bool toggles = id == ID_FLARE_SPIN || (id >= ID_LIGHT_PATTERN1 && id <= ID_LIGHT_PATTERN3);
        EXPECT_EQ(tool->CanBeToggled(), toggles) << "position " << pos;
        EXPECT_EQ(tool->GetNormalBitmap().GetSize(), wxSize(16, 15)) << "position " << pos;
    }
}

TEST_F(ShellTest, CheckMarksFollowTheStateAfterKeysAndToolbarClicks)
{
    Start();
    const int patterns[] = {ID_LIGHT_PATTERN1, ID_LIGHT_PATTERN2, ID_LIGHT_PATTERN3};
    auto expectPattern = [&](int want, const char* after) {
        for (int p = 1; p <= 3; ++p) {
            EXPECT_EQ(MenuChecked(patterns[p - 1]), p == want) << "menu, pattern " << p << " after " << after;
            EXPECT_EQ(ToolPressed(patterns[p - 1]), p == want) << "toolbar, pattern " << p << " after " << after;
        }
    };
    expectPattern(1, "start");
    EXPECT_FALSE(MenuChecked(ID_FLARE_SPIN));
    Key('2');
    expectPattern(2, "key 2");
    ClickTool(ID_LIGHT_PATTERN3);
    EXPECT_EQ(State().m_nPattern, 3);
    expectPattern(3, "the pattern 3 button");
    ClickTool(ID_LIGHT_PATTERN3);
    expectPattern(3, "the pressed pattern 3 button again");

    ClickTool(ID_FLARE_SPIN);
    EXPECT_TRUE(MenuChecked(ID_FLARE_SPIN));
    EXPECT_TRUE(ToolPressed(ID_FLARE_SPIN));
    Key('A');
    EXPECT_FALSE(MenuChecked(ID_FLARE_SPIN));
    EXPECT_FALSE(ToolPressed(ID_FLARE_SPIN));

    // The plain buttons run their commands and never stay pressed.
    ClickTool(ID_LIGHT_STRONGER);
    ClickTool(ID_SPREAD_NARROW);
    EXPECT_FLOAT_EQ(State().m_fSpotDiffuse[0], 0.45f);
    EXPECT_EQ(State().m_fSpotCutoff, 26.0f);
    EXPECT_FALSE(ToolPressed(ID_LIGHT_STRONGER));
    EXPECT_EQ(wxWindow::FindFocus(), Canvas()) << "a toolbar click took the focus";
}

TEST_F(ShellTest, AboutBoxIsModalTheSceneAnimatesBehindItAndEscOrEnterEndsIt)
{
    Start();
    for (int key : {WXK_ESCAPE, WXK_RETURN}) {
        SCOPED_TRACE(key == WXK_ESCAPE ? "Esc" : "Enter");
        bool sawBox = false, modal = false;
        long framesBehind = 0;
        wxString caption, face;
        int points = 0;
        wxSize size, wantSize;
        // While the box is up: a left drag over the scene, which must not turn it, then the key.
        const auto boxIsUp = [] { return FindAboutBox() != nullptr; };
        WhenReady(boxIsUp, [&] {
            CAboutBox* box = FindAboutBox();
            sawBox = true;
            modal = box->IsModal();
            caption = box->GetTitle();
            face = box->GetFont().GetFaceName();
            points = box->GetFont().GetPointSize();
            size = box->GetClientSize();
            wantSize = box->ConvertDialogToPixels(wxSize(117, 79));
            const long before = View()->FramesDrawn();
            m_sim.MouseMove(Canvas()->ClientToScreen(Centre()));
            m_sim.MouseDown();
            After(150, [&, before, key] {
                m_sim.MouseMove(Canvas()->ClientToScreen(Centre() + wxPoint(30, 0)));
                const auto fourFramesLater = [before] { return View()->FramesDrawn() - before >= 4; };
                WhenReady(fourFramesLater, [&, before, key] {
                    m_sim.MouseUp();
                    framesBehind = View()->FramesDrawn() - before;
                    m_sim.Char(key);
                });
            });
        });
        // Whatever goes wrong above, the box does not stay up for ever.
        wxTimer watchdog;
        watchdog.Bind(wxEVT_TIMER, [](wxTimerEvent&) {
            if (CAboutBox* box = FindAboutBox())
                box->EndModal(wxID_CANCEL);
        });
        watchdog.StartOnce(30000);
        Key('h', wxMOD_ALT);
        Key('v');
        // The box ran its own loop inside the key press and has ended by now.
        PumpUntil([&] { return sawBox && wxTopLevelWindows.size() == 1; }, 40000);
        ASSERT_TRUE(sawBox) << "Alt+H, V did not open the about box";
        EXPECT_TRUE(modal);
        EXPECT_EQ(State().m_fAngle, 0.0f) << "the main window took input behind the box";
        EXPECT_EQ(caption, wxString::FromUTF8(kAboutCaption));
        EXPECT_TRUE(face == wxString::FromUTF8(kAboutFontFace) || face == kAboutFallbackFontFace) << face;
        EXPECT_EQ(points, 9);
        EXPECT_EQ(size, wantSize) << "the box is not 117 x 79 dialog units";
        EXPECT_GE(framesBehind, 4) << "the scene stopped behind the box";
        EXPECT_EQ(wxTopLevelWindows.size(), 1u) << "the box is still open";
        EXPECT_TRUE(Frame()->IsShown()) << "the key that closed the box also closed the program";
    }
}

// Catches any input that could push the scene out of its bounds or stop it drawing: 10,000
// random keys, mouse moves with any buttons and modifiers, inside and outside the canvas,
// view commands through the frame, and window sizes, given straight to the real windows.
TEST_F(ShellTest, AStormOfInputKeepsEveryBoundAndTheSceneStillDraws)
{
    Start();
    std::mt19937 random(2026);
    const int keys[] = {WXK_LEFT,   WXK_RIGHT, WXK_UP, WXK_DOWN,    'A',    'R',     '1',       '2',
                        '3',        '4',       'Q',    WXK_NUMPAD1, WXK_F1, WXK_TAB, WXK_SPACE, WXK_NUMPAD_LEFT,
                        WXK_PAGEUP, WXK_RETURN};
    const int commands[] = {ID_FLARE_SPIN,   ID_LIGHT_PATTERN1, ID_LIGHT_PATTERN2, ID_LIGHT_PATTERN3, ID_LIGHT_STRONGER,
                            ID_LIGHT_WEAKER, ID_VIEW_RESET,     ID_SPREAD_WIDEN,   ID_SPREAD_NARROW};
    const long framesBefore = View()->FramesDrawn();
    for (int i = 0; i < 10000; ++i) {
        switch (random() % 10) {
        case 0:
        case 1:
        case 2: {
            wxKeyEvent key(wxEVT_KEY_DOWN);
            key.m_keyCode = keys[random() % std::size(keys)];
            key.SetShiftDown(random() % 4 == 0);
            key.SetControlDown(random() % 4 == 0);
            Canvas()->GetEventHandler()->ProcessEvent(key);
            break;
        }
        case 3:
        case 4:
        case 5:
        case 6: {
            wxMouseEvent move(wxEVT_MOTION);
            move.m_x = static_cast<int>(random() % 700) - 100;
            move.m_y = static_cast<int>(random() % 700) - 100;
            move.m_leftDown = random() % 2 == 0;
            move.m_rightDown = random() % 2 == 0;
            move.m_middleDown = random() % 8 == 0;
            move.SetShiftDown(random() % 6 == 0);
            move.SetControlDown(random() % 6 == 0);
            Canvas()->GetEventHandler()->ProcessEvent(move);
            break;
        }
        case 7:
        case 8: {
            wxCommandEvent command(wxEVT_MENU, commands[random() % std::size(commands)]);
            Frame()->ProcessWindowEvent(command);
            break;
        }
        default:
            if (random() % 50 == 0)
                Frame()->SetSize(200 + static_cast<int>(random() % 700), 150 + static_cast<int>(random() % 600));
            break;
        }
        if (i % 200 == 0)
            Pump(5);
    }
    Pump(200);
    const SceneState& s = State();
    EXPECT_TRUE(s.m_fDistance >= 20.0f && s.m_fDistance <= 35.0f) << s.m_fDistance;
    EXPECT_TRUE(s.m_fAngle >= -20.0f && s.m_fAngle <= 20.0f) << s.m_fAngle;
    EXPECT_TRUE(s.m_fSpotDiffuse[0] >= 0.05f && s.m_fSpotDiffuse[0] <= 0.8f) << s.m_fSpotDiffuse[0];
    EXPECT_EQ(s.m_fSpotDiffuse[1], s.m_fSpotDiffuse[0]);
    EXPECT_EQ(s.m_fSpotDiffuse[2], s.m_fSpotDiffuse[0]);
    EXPECT_EQ(s.m_fSpotDiffuse[3], 1.0f);
    EXPECT_TRUE(s.m_fSpotCutoff >= 21.0f && s.m_fSpotCutoff <= 60.0f) << s.m_fSpotCutoff;
    EXPECT_TRUE(s.m_nPattern >= 1 && s.m_nPattern <= 3) << s.m_nPattern;
    EXPECT_TRUE(s.m_bFlareSpin == 0 || s.m_bFlareSpin == 1) << s.m_bFlareSpin;

    // And it still draws: frames go on, and the backdrop's corner is the backdrop.
    EXPECT_GT(View()->FramesDrawn(), framesBefore + 10);
    Frame()->SetSize(500, 500);
    const long resized = View()->FramesDrawn();
    ASSERT_TRUE(PumpUntil([resized] { return View()->FramesDrawn() > resized + 1; }, 20000));
    // What the canvas shows, as the X server has it.
    GdkWindow* shown = gtk_widget_get_window(Canvas()->GetHandle());
    ASSERT_TRUE(shown);
    XImage* image = XGetImage(GDK_WINDOW_XDISPLAY(shown), GDK_WINDOW_XID(shown), 2, 2, 1, 1, AllPlanes, ZPixmap);
    ASSERT_TRUE(image);
    const unsigned long corner = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    const int red = static_cast<int>(corner >> 16 & 0xff), blue = static_cast<int>(corner & 0xff);
    EXPECT_GT(red, blue + 10) << "the corner is not the brown backdrop";
}

TEST_F(ShellTest, TitleStaysLumettaWithADocumentAndTheDocumentEntersTheRecentList)
{
    const std::filesystem::path doc = m_work.Path() / "notes.pell";
    {
        std::ofstream(doc) << "anything";
    }
    Start(doc.string());
    EXPECT_EQ(Frame()->GetTitle(), "Lumetta");
    EXPECT_EQ(View()->GetDocument()->GetFilename(), wxString(doc.c_str()));
    wxFileHistory* recent = wxGetApp().GetDocManager()->GetFileHistory();
    ASSERT_EQ(recent->GetCount(), 1u);
    EXPECT_EQ(recent->GetHistoryFile(0), wxString(doc.c_str()));
    EXPECT_EQ(recent->GetMaxFiles(), 4u);
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // A failed wx check would otherwise wait for someone to press a button in its dialog.
    wxSetAssertHandler(
        [](const wxString& file, int line, const wxString& func, const wxString& cond, const wxString& msg) {
            std::fprintf(stderr, "wx check failed at %s:%d in %s: %s %s\n", static_cast<const char*>(file.utf8_str()),
                         line, static_cast<const char*>(func.utf8_str()), static_cast<const char*>(cond.utf8_str()),
                         static_cast<const char*>(msg.utf8_str()));
            std::abort();
        });
    ::testing::AddGlobalTestEnvironment(new WxEnvironment);
    return RUN_ALL_TESTS();
}
