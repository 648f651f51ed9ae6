// An export planned before anything is drawn: from the command line's options, what it makes
// (the file and its kind, a sticker's rules), how many frames are drawn and which go to the
// file, the rate they play at, the memory it needs and what the output is asked; and what is
// said once it is made.
#pragma once

#include "export/headless_render.h"
#include "export/memory_room.h"
#include "export/outputs.h"
#include "export/picture_name.h"
#include "export/sticker.h"

#include <string>

// What one export makes, settled from its options before anything is drawn: the file and its
// kind, a sticker's rules, the frames drawn and which of them go to the output, and the rate
// they play at.
struct RenderPlan {
    PictureName picture;
    const StickerRules* rules = nullptr;  // a sticker's; null for any other picture
    bool still = false;                   // a still sticker: one picture, whatever its format
    bool animation = false;               // a loop, which starts where the scene has settled into it
    bool everyFrame = false;              // every frame drawn goes to the output, not only the last
    int frames = 1;
    int lead = 0;  // ticks advanced unseen before the first frame
    int framesPerSecond = 1000 / kFrameMilliseconds;
};

// The plan for options: an empty string, or why there is none, with status the program's
// to end with (2 where the command line asks what cannot be).
std::string PlanRender(const RenderOptions& options, RenderPlan& plan, int& status);
// The memory an export of render needs, for the memory plan.
ExportWork WorkOf(const RenderOptions& options, const RenderPlan& render);
// What the output is asked to make.
OutputRequest RequestOf(const RenderOptions& options, const RenderPlan& render, const ExportPlan& plan);
// Once made: a faster rate is worth a word, and so is what the output says it made.
void SayMade(const RenderPlan& render, const std::string& made);

// The samples a pixel the GL driver gives nearest to wanted (at most wanted), asked of a
// context of its own, so that the plan is made before this process's context is.
int DriverSamples(int wanted);

// A length of time as people say it: "42 s", "3 min 5 s", "2 h 10 min".
std::string SpokenDuration(double seconds);
