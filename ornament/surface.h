// One way the ornament reaches the screen: an X11 window (x11/) or a Wayland layer surface
// (wayland/). A surface adapts its window system's window, input, monitors and menu and
// nothing more; what the ornament is and does lives once, in COrnament (ornament.h), which a
// surface drives with what happened (COrnamentEvents) and asks for what it needs.
#pragma once

#include "ornament/menu.h"
#include "ornament/outline.h"
#include "ornament/placement.h"
#include "ornament/request.h"
#include "view/scene.h"

#include <cstdint>
#include <string>
#include <vector>

class COrnamentSurface {
public:
    virtual ~COrnamentSurface() = default;

    // The monitors or outputs whose size is known, the primary first, in the desktop's layout.
    virtual std::vector<Monitor> Monitors() = 0;
    // Places and sizes per logical pixel: the desktop's scale on X11, whose places are pixels
    // of the root window; 1 on Wayland, whose layout is in logical pixels.
    virtual double PlaceScale() const = 0;
    // Pixels of a frame per place: a Wayland output's buffer scale; 1 on X11.
    virtual int FrameScale() const = 0;

    // Makes the surface at place, above or below ordinary windows, and shows it. Returns an
    // empty string, or why it cannot be made.
    virtual std::string Show(const PlaceRect& place, bool above) = 0;
    // Moves and sizes it. A new size reaches the frames through OnFrameSize.
    virtual void PutAt(const PlaceRect& place) = 0;
    virtual void SetAbove(bool above) = 0;
    // Whether a compositor shows the frames' alpha.
    virtual bool Composited() const = 0;
    // Whether a frame is wanted now: shown, the screen not blanked, the compositor asking.
    virtual bool WantsFrame() const = 0;

    // After scene.OnDraw: puts the frame where ReadFrame reads it and ShowFrame shows it; the
    // parts that changed only, unless whole.
    virtual void PutFrame(CScene& scene, bool whole) = 0;
    // The frame put, RGBA rows bottom-up as GL reads them.
    virtual std::vector<std::uint8_t> ReadFrame(const CScene& scene) = 0;
    // The pixels that take the clicks (and, with no compositor, that are shown), in the
    // frame's pixels.
    virtual void SetOutline(const std::vector<OutlineRow>& rows) = 0;
    // Brings the frame put to the screen.
    virtual void ShowFrame() = 0;

    // The keys are the ornament's, after a click on it at time (the window system's), or they
    // go back where they were.
    virtual void TakeKeys(unsigned long time) = 0;
    virtual void ReleaseKeys() = 0;
    // Pops up the menu where it was asked for (OnMenuAsked), showing state; OnMenuClosed says
    // what was chosen. Returns an empty string, or why it cannot be shown.
    virtual std::string PopUpMenu(const OrnamentMenuState& state) = 0;
};

// What a surface tells the ornament. Places and moves are in the desktop's layout.
class COrnamentEvents {
public:
    virtual ~COrnamentEvents() = default;
    // The left button pressed on the wreath, or let go anywhere.
    virtual void OnPress(unsigned long time) = 0;
    virtual void OnRelease() = 0;
    // While the left button is held: the pointer is dx, dy from where it was pressed.
    virtual void OnDrag(double dx, double dy) = 0;
    // The pointer came onto the wreath, or left it.
    virtual void OnPointerOver(bool over) = 0;
    // The right button on the wreath, at time.
    virtual void OnMenuAsked(unsigned long time) = 0;
    virtual void OnMenuClosed(OrnamentChoice choice) = 0;
    // A key while the keys are the ornament's: Esc, or a scene key (view/input.h's codes; 0
    // for none).
    virtual void OnKey(int sceneCode, bool escape) = 0;
    // The surface stands at place now: where the window system put it.
    virtual void OnPlaced(const PlaceRect& place) = 0;
    // Its frames are width x height pixels now.
    virtual void OnFrameSize(int width, int height) = 0;
    // Monitors or outputs came, went or changed.
    virtual void OnMonitorsChanged() = 0;
    // A compositor came or went.
    virtual void OnCompositorChanged() = 0;
    // What was shown was lost: the next frame goes whole.
    virtual void OnExposed() = 0;
    // Another lumetta asked this of it.
    virtual void OnRequest(const OrnamentRequest& request) = 0;
    // The ornament is to go: its window closed or destroyed, another took its place.
    virtual void TakeDown() = 0;
    // It cannot go on: line says why, and it ends with status 1.
    virtual void Fail(const std::string& line) = 0;
};
