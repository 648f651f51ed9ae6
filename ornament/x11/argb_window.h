// The X11 ornament's window: 32-bit ARGB with premultiplied alpha, as compositors take it,
// drawn by GLX; no frame, on every workspace, below or above ordinary windows, out of the
// taskbar, pager and window switcher, never given the focus by a window manager; shaped to
// the wreath's outline where no compositor shows its alpha.
#pragma once

#include "ornament/outline.h"

#include <GL/glx.h>
#include <X11/Xlib.h>

#include <string>
#include <vector>

// The desktop's scale: GDK_SCALE when it says, else the resources' Xft.dpi against 96, else 1.
double DesktopScale(Display* display);

class CArgbWindow {
public:
    explicit CArgbWindow(Display* display);
    // The context, the window and its colormap go.
    ~CArgbWindow();
    CArgbWindow(const CArgbWindow&) = delete;
    CArgbWindow& operator=(const CArgbWindow&) = delete;

    // Makes the window at (x, y), width x height, not yet shown, showing nothing and taking no
    // click, with the hints below and a GLX context current on it. The driver starts with the
    // end signals held. Returns an empty string, or why it cannot be made.
    std::string Make(int x, int y, int width, int height, bool above);
    Window Id() const { return m_window; }
    Display* GetDisplay() const { return m_d; }

    // Asks to be kept above or below ordinary windows: of the window manager when one runs,
    // else by raising or lowering the window itself.
    void SetAbove(bool above);
    // A new size, kept fixed as the hints say; a new place.
    void Resize(int width, int height);
    void Move(int x, int y);
    // Where the window stands on the root, asked of the X server (a window manager's frame
    // may hold it).
    void QueryPlace(int& x, int& y) const;

    // The input shape to rows, and the bounding shape too unless a compositor shows the alpha.
    void SetOutline(const std::vector<OutlineRow>& rows);
    bool CompositorRunning() const;
    // The compositor selection's atom, whose owner comes and goes with the compositor.
    Atom CompositorAtom() const { return m_compositor; }
    // Takes the keys, as a click on it asks (the focus that was is remembered), or gives them
    // back to that focus when it still has them.
    void TakeKeys(Time time);
    void ReleaseKeys();

private:
    void SetHints(int x, int y, int width, int height, bool above);
    void SetState(bool above);

    Display* const m_d;
    const int m_screen;
    const Window m_root;
    Atom m_compositor;
    Colormap m_colormap = 0;
    Window m_window = 0;
    GLXContext m_context = nullptr;
    Window m_before = PointerRoot;  // the focus before it took the keys
    bool m_bKeys = false;
};
