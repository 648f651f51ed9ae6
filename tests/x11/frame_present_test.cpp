// Frames brought to a GLX window a tile at a time, under Xvfb: what the window shows against
// the frame drawn, what the X server is given, and a window that changes size.

// Before GLX and Xlib, which define None and Bool as macros.
#include <gtest/gtest.h>

#include "view/scene.h"
#include "view/scene_start.h"
#include "x11/frame_present.h"

#include <GL/gl.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>

#include <filesystem>
#include <memory>
#include <vector>

namespace {

namespace fs = std::filesystem;

class FramePresentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        display = XOpenDisplay(nullptr);
        ASSERT_TRUE(display) << "no display: run under Xvfb";
        int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8,   GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE,
                            8,        GLX_DEPTH_SIZE,   24,           None};
        XVisualInfo* visual = glXChooseVisual(display, DefaultScreen(display), attributes);
        ASSERT_TRUE(visual);
        XSetWindowAttributes set{};
        set.colormap = XCreateColormap(display, DefaultRootWindow(display), visual->visual, AllocNone);
        window = XCreateWindow(display, DefaultRootWindow(display), 0, 0, 500, 500, 0, visual->depth, InputOutput,
                               visual->visual, CWColormap, &set);
        XMapWindow(display, window);
        XSync(display, False);
        context = glXCreateContext(display, visual, nullptr, True);
        XFree(visual);
        ASSERT_TRUE(context && glXMakeCurrent(display, window, context));
        presenter = std::make_unique<CFramePresenter>(display, DefaultScreen(display), window, true);
        ASSERT_TRUE(presenter->CopiesParts()) << "this X server's GLX cannot copy part of a back buffer";

        scene = std::make_unique<CScene>();
        scene->OnCreate((fs::path(LUMETTA_SOURCE_DIR) / "assets").string());
        scene->SetFrameDrawing(FrameDrawing::Cached);
        scene->OnCreateContext();
        scene->OnSize(500, 500);
        // Alternation with the flares turning: the most that changes from one frame to the next.
        SceneStart start;
        start.pattern = 2;
        start.spin = true;
        ApplySceneStart(scene->State(), start);
    }
    void TearDown() override
    {
        if (scene && context)
            scene->OnDestroyContext();
        if (context) {
            glXMakeCurrent(display, None, nullptr);
            glXDestroyContext(display, context);
        }
        if (display)
            XCloseDisplay(display);
    }

    void DrawAndShow()
    {
        scene->OnDraw();
        presenter->CopyIn(*scene);
        presenter->Show();
        XSync(display, False);
    }

    // How many pixels of the window differ from the whole of the frame last drawn.
    int PixelsNotAsDrawn()
    {
        const PixelRect all = scene->Bounds();
        scene->PutFrame({all});
        std::vector<unsigned char> frame(static_cast<std::size_t>(all.width) * all.height * 4);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, all.width, all.height, GL_RGBA, GL_UNSIGNED_BYTE, frame.data());
        XImage* shown = XGetImage(display, window, 0, 0, static_cast<unsigned>(all.width),
                                  static_cast<unsigned>(all.height), AllPlanes, ZPixmap);
        if (!shown)
            return all.width * all.height;
        int differing = 0;
        for (int y = 0; y < all.height; ++y) {
            for (int x = 0; x < all.width; ++x) {
                const unsigned long pixel = XGetPixel(shown, x, all.height - 1 - y);
                const unsigned char* want = &frame[(static_cast<std::size_t>(y) * all.width + x) * 4];
                differing += (pixel >> 16 & 0xff) != want[0] || (pixel >> 8 & 0xff) != want[1] ||
                             (pixel & 0xff) != want[2];
            }
        }
        XDestroyImage(shown);
        return differing;
    }

    Display* display = nullptr;
    Window window = 0;
    GLXContext context = nullptr;
    std::unique_ptr<CFramePresenter> presenter;
    std::unique_ptr<CScene> scene;
};

// Catches a changed part left out of what is brought (the window would keep a stale bulb or
// flare), and whole frames brought when a few tiles would do: the window shows every frame as
// drawn, while the X server is given well under the whole window.
TEST_F(FramePresentTest, TheWindowShowsEachFrameWholeThoughOnlyItsChangedTilesAreBrought)
{
    DrawAndShow();
    int damageEvent = 0, damageError = 0;
    ASSERT_TRUE(XDamageQueryExtension(display, &damageEvent, &damageError));
    const Damage damage = XDamageCreate(display, window, XDamageReportRawRectangles);
    XSync(display, False);
    constexpr int kFrames = 30;
    double damaged = 0.0;
    for (int frame = 1; frame <= kFrames; ++frame) {
        DrawAndShow();
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == damageEvent + XDamageNotify) {
                const auto& area = reinterpret_cast<const XDamageNotifyEvent&>(event).area;
                damaged += static_cast<double>(area.width) * area.height;
            }
        }
        EXPECT_EQ(PixelsNotAsDrawn(), 0) << "frame " << frame;
    }
    XDamageDestroy(display, damage);
    EXPECT_LT(damaged / kFrames, 0.7 * 500 * 500) << "as good as whole frames";
}

// Catches a window whose new size the driver has not taken (the frame would be copied out of
// place, or not at all): after each change of size, the very next frame shows whole.
TEST_F(FramePresentTest, AfterANewSizeTheNextFrameShowsWhole)
{
    DrawAndShow();
    DrawAndShow();
    for (const auto& [width, height] : {std::pair{320, 200}, {240, 260}, {640, 480}}) {
        XResizeWindow(display, window, static_cast<unsigned>(width), static_cast<unsigned>(height));
        XSync(display, False);
        scene->OnSize(width, height);
        DrawAndShow();
        EXPECT_EQ(PixelsNotAsDrawn(), 0) << width << " x " << height;
        DrawAndShow();
        EXPECT_EQ(PixelsNotAsDrawn(), 0) << width << " x " << height << ", the frame after";
    }
}

}  // namespace
