// What an ornament does with its menu's choices, its keys and the options another lumetta
// hands it, whichever window system it hangs on, and what of them it keeps in the settings
// file for the next ornament. What only its window can do, it asks of the window.
#pragma once

#include "core/scene_state.h"
#include "ornament/kept.h"
#include "ornament/menu.h"
#include "ornament/options.h"
#include "ornament/placement.h"
#include "ornament/request.h"
#include "view/scene_start.h"

// What an ornament's window is asked to do.
class COrnamentWindow {
public:
    virtual ~COrnamentWindow() = default;
    // Above or below ordinary windows.
    virtual void SetAbove(bool above) = 0;
    // A new side at scale 1: the window keeps its centre, and stays on its monitor; the place
    // is kept with the side.
    virtual void SetSide(int side) = 0;
    // A --geometry handed over (a size, a place, or both), for this run only.
    virtual void TakeGeometry(const Geometry& geometry) = 0;
    // The ornament is taken down.
    virtual void TakeDown() = 0;
};

class COrnamentChoices {
public:
    // What was kept, with options on the command line winning for this run; what changes is
    // kept by saver.
    COrnamentChoices(const OrnamentOptions& options, COrnamentWindow& window, CKeptSaver& saver);

    const OrnamentKept& Kept() const { return m_kept; }
    // How the scene starts: the command line's options, with the kept pattern and flares unless
    // it gave them.
    SceneStart Start() const;
    // What the menu shows, for a side of side at scale 1.
    OrnamentMenuState MenuState(const SceneState& state, int side) const;

    // A choice from the menu, side being the ornament's now: done, and kept.
    void Choose(OrnamentChoice choice, SceneState& state, int side);
    // A scene key (view/input.h's codes): done, a pattern or the flares kept. Returns whether
    // the key changed the view; R puts the camera back where the ornament starts.
    bool Key(int code, SceneState& state);
    // What another lumetta handed over: for this run only, as options on its command line
    // would be.
    void Apply(const OrnamentRequest& request, SceneState& state);

private:
    const OrnamentOptions& m_options;
    COrnamentWindow& m_window;
    CKeptSaver& m_saver;
    OrnamentKept m_kept;  // as chosen now, the command line's options included
};
