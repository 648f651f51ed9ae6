// How a scene starts and runs on its own, apart from what the user does to it: the state it
// starts in, the pattern cycle, and the loop that an animation of it is made of.
#pragma once

#include "core/scene_state.h"

// The clock of the scene: one frame, one step of every animation, every 50 ms.
inline constexpr int kFrameMilliseconds = 50;

// The camera's distance at which the whole wreath, its leaves and halos too, fits a square
// picture with a small margin, whatever the pattern and flares: at 512 pixels the leaves on
// the right come within 25 pixels of the edge, the top within 70 (the wreath is wider than it
// is tall). The window starts at 27, where the leaves on the right touch its edge.
inline constexpr float kWholeWreathDistance = 30.0f;

// How a scene starts when it is not the window's default: the state that the keys and
// commands would have made from a new scene.
struct SceneStart {
    int pattern = 1;       // 1 to 3, selected as its key would
    bool spin = false;     // the flares turning, as A would
    int greySteps = 0;     // spot light stronger (+) or weaker (-) commands, as the toolbar's
    float cutoff = 28.0f;  // spot cutoff, 21 to 60 whole degrees, as the spread commands reach
    int cycleSeconds = 0;  // every so many seconds the next pattern is selected; 0: never
};
// Applies start to a new scene's state by running the same commands.
void ApplySceneStart(SceneState& state, const SceneStart& start);

// Moves on to the next blink pattern (1, 2, 3, 1, ...) every so many frames of the 50 ms
// clock, selecting it as its key would.
class CPatternCycle {
public:
    explicit CPatternCycle(const SceneStart& start);
    // Counts one frame drawn.
    void AfterFrame(SceneState& state);
    // Frames in one round of the three patterns; 0 when the patterns do not change.
    int RoundFrames() const { return 3 * m_nFramesPerPattern; }

    bool operator==(const CPatternCycle&) const = default;

private:
    int m_nFramesPerPattern;  // 0: never
    int m_nFrames = 0;
};

// An animation that loops without a seam: a new scene is first advanced, unseen, until it
// runs round the same looks for ever (a blink pattern takes some steps to settle, and the
// blink variables carry over from one selection of a pattern to the next); from there, after
// frames more frames the scene looks exactly as it did.
struct SceneLoop {
    int lead = 0;    // frames advanced unseen before the first frame shown
    int frames = 0;  // frames in one loop
};
// The loop of a new scene started as start says, with the blink variables as they are now.
// With a pattern cycle the loop starts as a round does, with start's pattern just selected.
SceneLoop FindSceneLoop(const SceneStart& start);

// Of the frames a new scene started as start draws in its first loop (its lead included),
// counted from 1, the one whose bulbs shine the most in all; the first of those.
int BrightestFrame(const SceneStart& start);

// The process-wide blink variables kept as they are now, and put back when it goes: frames
// drawn meanwhile leave the scene's next frames as they would have been.
class CBlinkVariablesKept {
public:
    CBlinkVariablesKept();
    ~CBlinkVariablesKept();
    CBlinkVariablesKept(const CBlinkVariablesKept&) = delete;
    CBlinkVariablesKept& operator=(const CBlinkVariablesKept&) = delete;

private:
    const int m_nAlternateDir, m_nCascadeStage;
};

// Advances state and cycle by frames frames, as drawing them would, without drawing.
void AdvanceUnseen(SceneState& state, CPatternCycle& cycle, int frames);
