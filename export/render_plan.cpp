#include "export/render_plan.h"

#include "core/scene_host.h"
#include "os/headless_context.h"
#include "view/frame_targets.h"
#include "view/scene_start.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// An animation longer than this is said on stderr before it starts, terminal or not.
constexpr int kLongAnimationFrames = 5 * 60 * 1000 / kFrameMilliseconds;

// Whether an animation's length, chosen by its loop when --frames does not say, can be made;
// says on stderr how long a long one will be. Returns an empty string, or why not.
std::string CheckLength(const RenderOptions& options, int frames)
{
    if (options.frames > 0)
        return {};
    const std::string choose = "choose its length with --frames N (1 to " + std::to_string(kMaxRenderFrames) + ")";
    if (frames > kMaxRenderFrames)
        return "one loop of this scene is " + std::to_string(frames) + " frames, more than the " +
               std::to_string(kMaxRenderFrames) + " an animation may have; " + choose;
    // A sticker's loop is held to 3 seconds, and said so, further on.
    if (frames > kLongAnimationFrames && !options.sticker)
        std::fprintf(stderr, "lumetta: one loop of this scene is %d frames, an animation of %s; %s\n", frames,
                     SpokenDuration(frames * kFrameMilliseconds / 1000.0).c_str(), choose.c_str());
    return {};
}

// Why a loop of frames is too long for a sticker of rules, and what would make it fit: the
// flares at rest, or a shorter pattern cycle.
std::string TooLongForASticker(const StickerRules& rules, const SceneStart& start, int frames)
{
    const int most = StickerMostFrames(rules);
    std::string line = "one loop of this scene is " + std::to_string(frames) + " frames, more than " + rules.what +
                       " holds (" + std::to_string(most) + ", under " + std::to_string(rules.mostMilliseconds / 1000) +
                       " seconds at " + std::to_string(rules.mostFramesPerSecond) + " a second)";
    SceneStart fitting = start;
    fitting.spin = false;
    if (start.spin && FindSceneLoop(fitting).frames <= most)
        return line + ": the flares take that long to come round; leave out --spin";
    if (start.cycleSeconds > 0) {
        const std::string spin = start.spin ? "leave out --spin and " : "";
        for (int seconds = start.cycleSeconds - 1; seconds >= 1; --seconds) {
            fitting.cycleSeconds = seconds;
            if (FindSceneLoop(fitting).frames <= most)
                return line + ": the three patterns take that long to come round; " + spin + "choose --cycle " +
                       std::to_string(seconds) + (seconds > 1 ? " or less" : "");
        }
        return line + ": the three patterns take that long to come round; " + spin + "leave out --cycle";
    }
    return line;
}

// What makes a moving sticker that does not fit its bytes one that does: each pattern's own
// loop, with the flares at rest, fits every messenger's.
std::string StickerAdvice(const SceneStart& start)
{
    const bool cycle = start.cycleSeconds > 0;
    if (!start.spin && !cycle)
        return {};
    return std::string("leave out ") + (start.spin ? "--spin" : "") + (start.spin && cycle ? " and " : "") +
           (cycle ? "--cycle" : "");
}

}  // namespace

std::string SpokenDuration(double seconds)
{
    const long s = std::lround(seconds);
    char text[32];
    if (s < 60)
        (void)std::snprintf(text, sizeof text, "%ld s", s);
    else if (s < 3600)
        (void)std::snprintf(text, sizeof text, "%ld min %ld s", s / 60, s % 60);
    else
        (void)std::snprintf(text, sizeof text, "%ld h %ld min", s / 3600, s / 60 % 60);
    return text;
}

// The plan for options: an empty string, or why there is none, with status the program's
// to end with (2 where the command line asks what cannot be).
std::string PlanRender(const RenderOptions& options, RenderPlan& plan, int& status)
{
    status = 2;
    if (std::string error = ReadPictureName(options.output, plan.picture); !error.empty())
        return error;
    const PictureName& picture = plan.picture;
    plan.rules = options.sticker ? &RulesOf(options.stickerProfile) : nullptr;
    plan.still = plan.rules && !plan.rules->Moves(picture.kind);
    // A moving sticker's frames, as numbered PNGs, are its loop as it plays.
    plan.animation = (picture.IsAnimation() || (plan.rules && picture.kind == PictureName::Kind::Sequence)) &&
                     !plan.still;
    plan.everyFrame = (picture.kind == PictureName::Kind::Sequence || picture.IsAnimation()) && !plan.still;
    // An animation loops: it starts where the scene has settled into its loop, so that its
    // first frame follows its last as any frame follows the one before. A picture or a
    // sequence shows the ticks of a new scene, as the window would; a still sticker the one
    // where the bulbs shine most, unless told.
    const SceneLoop loop = plan.animation ? FindSceneLoop(options.start) : SceneLoop{};
    plan.lead = loop.lead;
    plan.frames = options.frames > 0 ? options.frames
                  : plan.animation   ? loop.frames
                  : plan.still       ? BrightestFrame(options.start)
                                     : 1;
    if (std::string error = CheckLength(options, plan.frames); !error.empty())
        return error;
    if (plan.rules && plan.animation) {
        plan.framesPerSecond = StickerFramesPerSecond(*plan.rules, plan.frames);
        if (plan.framesPerSecond == 0)
            return TooLongForASticker(*plan.rules, options.start, plan.frames);
    }
    status = 1;
    return {};
}

// The memory an export of plan needs, for the memory plan.
ExportWork WorkOf(const RenderOptions& options, const RenderPlan& render)
{
    ExportWork work;
    work.kind = render.still ? PictureName::Kind::Png : render.picture.kind;
    work.width = options.width;
    work.height = options.height;
    work.transparent = options.transparent;
    work.framesKept = render.rules ? (render.animation ? render.frames : 1) : 0;
    // A picture of one sample a pixel is drawn whole, exactly as the window draws it; frames
    // that follow each other, and frames of several samples, are drawn over the still parts
    // kept, in framebuffers of their own.
    const int samples = options.samples == 0 ? kDefaultSamples : options.samples;
    work.frameCache = render.animation || render.picture.kind == PictureName::Kind::Sequence || samples > 1 ||
                      !kHeadlessFramebufferDraws;
    // Every driver that smooths at all gives four; more is asked of this one.
    work.samples = samples > kDefaultSamples ? DriverSamples(samples) : samples;
    return work;
}

// What the output is asked to make.
OutputRequest RequestOf(const RenderOptions& options, const RenderPlan& render, const ExportPlan& plan)
{
    OutputRequest request;
    request.picture = render.picture;
    request.name = options.output;
    request.width = options.width;
    request.height = options.height;
    request.frames = render.frames;
    request.quality = options.quality;
    request.transparent = options.transparent;
    request.framesPerSecond = render.framesPerSecond;
    request.sticker = render.rules != nullptr;
    request.still = render.still;
    if (render.rules) {
        request.stickerWhat = render.rules->what;
        // A sticker's frames are not the sticker, and hold any number of bytes.
        if (render.picture.kind != PictureName::Kind::Sequence)
            request.mostBytes = render.still ? render.rules->mostBytesStill : render.rules->mostBytesMoving;
        request.stickerAdvice = StickerAdvice(options.start);
    }
    request.encoderThreads = plan.encoderThreads;
    request.lookahead = plan.lookahead;
    return request;
}

// Once made: a faster rate is worth a word, and so is what the output says it made. A WebP's
// frames last whole milliseconds, and the length said is the one the file holds.
void SayMade(const RenderPlan& render, const std::string& made)
{
    const int fps = render.framesPerSecond;
    if (fps * kFrameMilliseconds != 1000) {
        const int frameMilliseconds = 1000 / fps;
        const double seconds = render.picture.kind == PictureName::Kind::Webp
                                   ? render.frames * frameMilliseconds / 1000.0
                                   : static_cast<double>(render.frames) / fps;
        std::fprintf(stderr,
                     "lumetta: the loop of %d frames plays at %d frames a second rather than 20, so that %s "
                     "lasts %.2f seconds, under %d\n",
                     render.frames, fps, render.rules->what, seconds, render.rules->mostMilliseconds / 1000);
    }
    if (!made.empty())
        std::fprintf(stderr, "lumetta: made %s\n", made.c_str());
}
