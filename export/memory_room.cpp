#include "export/memory_room.h"

#include "os/headless_context.h"
#include "os/machine.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace {

constexpr double kMiB = 1024.0 * 1024.0;
constexpr std::uint64_t kUnknown = kNoBound;

// What the program costs before its first picture, measured on Mesa 22.3's llvmpipe and
// Debian 12's libraries: the code of the program, the driver and LLVM in address space, and
// what of it is resident. The video module brings FFmpeg's libraries with it.
constexpr double kBaseAddressSpace = 235.0 * kMiB;
constexpr double kBaseResident = 95.0 * kMiB;
constexpr double kVideoAddressSpace = 145.0 * kMiB;
constexpr double kVideoResident = 25.0 * kMiB;
// Per pixel: the driver's colour, depth and stencil buffers and its tiles.
constexpr double kDriverBytesPerPixel = 8.0;
// Per pixel and sample: the still parts kept and the frame drawn over them, two framebuffer
// objects' colour and depth; and with several samples, the frame shown, their average.
constexpr double kFrameCacheBytesPerPixel = 16.0;
constexpr double kShownFrameBytesPerPixel = 4.0;
// Each llvmpipe rasteriser thread comes with a second one; a thread's own memory beside its stack.
constexpr int kDriverThreadsPerThread = 2;
constexpr double kThreadResident = 0.25 * kMiB;

// An output's costs per pixel: what a frame holds once encoded, until it is written; and what
// encoding one frame takes while it runs, beside the frame itself.
struct FormatCost {
    PictureName::Kind kind;
    double preparedBytesPerPixel;
    double workBytesPerPixel;
    double workBytes;  // and whatever the size
};
// clang-format off
const FormatCost kFormatCosts[] = {
    // kind                      prepared  work per pixel, and in all
    {PictureName::Kind::Png,       1.0,     0.0,  0.0},          // the compressed picture
    {PictureName::Kind::Sequence,  1.0,     0.0,  0.0},
    {PictureName::Kind::Webp,      1.0,     9.0,  0.0},          // ARGB, the lossless encoder's references
    {PictureName::Kind::Gif,       1.0,     0.5,  10.0 * kMiB},  // the quantiser's histogram; a few rows at a time
    {PictureName::Kind::Mp4,       1.5,     3.0,  0.0},          // 4:2:0 planes; the frame's rows padded for swscale
    {PictureName::Kind::Webm,      2.5,     4.0,  0.0},          // the same, and the alpha plane
};
// clang-format on

// A video encoder keeps frames of its own, each with its padded planes, half-size copies for
// its lookahead and motion data. Measured at this program's settings (x264's veryfast preset
// with its three B-frames, libvpx's good deadline): what it holds with one thread and no
// lookahead, what each frame of lookahead adds (libvpx's lag), what threads add once there
// are more than one (frames for the threads to share), and what each thread adds; of that,
// how much is ever touched (x264 leaves part of its frames' padding and motion data alone);
// and what an alpha stream makes of it (libvpx encodes it with a second encoder, and more).
struct VideoCost {
    PictureName::Kind kind;
    double bytesPerPixel;
    double lookaheadBytesPerPixel;
    double threadedBytesPerPixel;
    double threadBytesPerPixel;
    int defaultLookahead;      // frames, when left to choose
    int threadsPerProcessor2;  // threads for every two processors, when left to choose
    int mostThreads;
    double touched;
    double withAlpha;
};
// clang-format off
const VideoCost kVideoCosts[] = {
    // kind                    alone  lookahead threaded thread  lookahead threads/2  most  touched  alpha
    {PictureName::Kind::Mp4,   44.4,  2.1,      15.0,    9.0,    10,       3,         128,  0.7,     1.0},  // x264
    {PictureName::Kind::Webm,  55.0,  1.9,      0.5,     1.0,    25,       2,         16,   1.0,     2.6},  // libvpx
};
// clang-format on
// Its frames together stay within this however large the video, and however many
// processors: a wider video gets fewer threads and a shorter lookahead rather than gigabytes.
constexpr double kVideoFrameBudget = 1024.0 * kMiB;

bool IsVideo(PictureName::Kind kind)
{
    return kind == PictureName::Kind::Mp4 || kind == PictureName::Kind::Webm;
}

const VideoCost& VideoCostOf(PictureName::Kind kind)
{
    return kind == PictureName::Kind::Webm ? kVideoCosts[1] : kVideoCosts[0];
}

const FormatCost& CostOf(PictureName::Kind kind)
{
    for (const FormatCost& cost : kFormatCosts) {
        if (cost.kind == kind)
            return cost;
    }
    return kFormatCosts[0];
}

// The rasteriser threads llvmpipe starts unless told: one for each processor, at most 16;
// LP_NUM_THREADS, when the user sets it, is the most it may have.
int DriverThreadsWanted(int processors)
{
    if (const char* told = std::getenv("LP_NUM_THREADS"); told && *told) {
        int threads = 0;
        const char* end = told + std::strlen(told);
        if (std::from_chars(told, end, threads).ptr == end)
            return std::clamp(threads, 0, 16);
    }
    return std::clamp(processors, 1, 16);
}

// The video encoder's threads: when left to choose, x264 takes one and a half for each
// processor, libvpx one.
int VideoThreads(const ExportWork& work, const ExportPlan& plan, int processors)
{
    const VideoCost& cost = VideoCostOf(work.kind);
    if (plan.encoderThreads > 0)
        return plan.encoderThreads;
    return std::clamp(processors * cost.threadsPerProcessor2 / 2, 1, cost.mostThreads);
}

int VideoLookahead(const ExportWork& work, const ExportPlan& plan)
{
    return plan.lookahead >= 0 ? plan.lookahead : VideoCostOf(work.kind).defaultLookahead;
}

// What the video encoder keeps, in bytes.
double VideoFrames(const ExportWork& work, const ExportPlan& plan, int processors)
{
    if (!IsVideo(work.kind))
        return 0.0;
    const VideoCost& cost = VideoCostOf(work.kind);
    const double pixels = static_cast<double>(work.width) * work.height;
    const int threads = VideoThreads(work, plan, processors);
    const double one = pixels *
                       (cost.bytesPerPixel + cost.lookaheadBytesPerPixel * VideoLookahead(work, plan) +
                        (threads > 1 ? cost.threadedBytesPerPixel + cost.threadBytesPerPixel * (threads - 1) : 0.0));
    return work.transparent ? cost.withAlpha * one : one;
}

// Every thread the plan starts, the drawing thread included.
int Threads(const ExportWork& work, const ExportPlan& plan, int processors)
{
    // The drawing thread, the driver's own queue, the preparers and the writer.
    int threads = 2 + plan.driverThreads * kDriverThreadsPerThread + plan.preparers + 1;
    if (work.kind == PictureName::Kind::Mp4) {
        const int x264 = VideoThreads(work, plan, processors);
        threads += x264 + (x264 > 1 ? 1 : 0);  // and its lookahead's
    } else if (work.kind == PictureName::Kind::Webm) {
        threads += VideoThreads(work, plan, processors) * (work.transparent ? 2 : 1);
    } else if (work.kind == PictureName::Kind::Gif) {
        const int perFrame = plan.encoderThreads > 0 ? plan.encoderThreads : processors;
        threads += plan.preparers * (perFrame - 1);
    }
    return threads;
}

// The plan's peak: what the process holds now and what the plan adds to it.
void Estimate(const ExportWork& work, ExportPlan& plan, const MachineRoom& room)
{
    const int processors = room.processors;
    const FormatCost& cost = CostOf(work.kind);
    const double pixels = static_cast<double>(work.width) * work.height;
    // A frame as read back, held from its drawing until it is written, and any kept to the end.
    const double frame = work.transparent ? 4.0 : 3.0;
    const double cache = plan.frameCache ? kFrameCacheBytesPerPixel * work.samples +
                                               (work.samples > 1 ? kShownFrameBytesPerPixel : 0.0)
                                         : 0.0;
    const double buffers = pixels * (kDriverBytesPerPixel + cache +
                                     plan.framesInFlight * (frame + cost.preparedBytesPerPixel) +
                                     plan.preparers * cost.workBytesPerPixel + work.framesKept * frame) +
                           plan.preparers * cost.workBytes;
    const bool video = IsVideo(work.kind);
    const double encoder = VideoFrames(work, plan, processors);
    const int threads = Threads(work, plan, processors);
    plan.addressSpace = room.heldAddressSpace + kBaseAddressSpace + (video ? kVideoAddressSpace : 0.0) +
                        threads * room.threadStack + buffers + encoder;
    plan.resident = room.heldResident + kBaseResident + (video ? kVideoResident : 0.0) + threads * kThreadResident +
                    buffers + encoder * (video ? VideoCostOf(work.kind).touched : 0.0);
}

// The frames an animation or a sequence holds at once with so many preparers: one waiting for
// each preparer while the next is drawn and one is written (the pipeline's depth), the one
// being read back, and the one being written.
int FramesInFlight(int preparers)
{
    return preparers + 4;
}

// The richest plan: as many threads as the processors give work to.
ExportPlan RichestPlan(const ExportWork& work, const MachineRoom& room)
{
    const int processors = room.processors;
    ExportPlan plan;
    plan.driverThreads = room.driverThreads;
    plan.frameCache = work.frameCache;
    switch (work.kind) {
    case PictureName::Kind::Png:
        // One picture: one frame, the last, is ever encoded.
        plan.preparers = 1;
        plan.framesInFlight = 1;
        return plan;
    case PictureName::Kind::Mp4:
    case PictureName::Kind::Webm:
        // The video encoders keep threads of their own; the colours are turned on two.
        plan.preparers = 2;
        break;
    case PictureName::Kind::Sequence:
    case PictureName::Kind::Webp:
    case PictureName::Kind::Gif:
        plan.preparers = std::min(processors, 16);
        break;
    }
    plan.framesInFlight = FramesInFlight(plan.preparers);
    return plan;
}

}  // namespace

std::vector<ExportPlan> LeanerSteps(const ExportWork& work, const ExportPlan& plan, int processors, bool videoOnly)
{
    std::vector<ExportPlan> steps;
    if (IsVideo(work.kind)) {
        if (const int lookahead = VideoLookahead(work, plan); lookahead > 0) {
            ExportPlan shorter = plan;
            shorter.lookahead = lookahead / 2;
            steps.push_back(shorter);
        }
        if (const int threads = VideoThreads(work, plan, processors); threads > 1) {
            ExportPlan fewer = plan;
            fewer.encoderThreads = threads / 2;
            steps.push_back(fewer);
        }
    }
    if (videoOnly)
        return steps;
    if (work.kind == PictureName::Kind::Gif) {
        if (const int perFrame = plan.encoderThreads > 0 ? plan.encoderThreads : processors; perFrame > 1) {
            ExportPlan fewer = plan;
            fewer.encoderThreads = perFrame / 2;
            steps.push_back(fewer);
        }
    }
    if (plan.preparers > 1) {
        ExportPlan fewer = plan;
        fewer.preparers = plan.preparers / 2;
        fewer.framesInFlight = FramesInFlight(fewer.preparers);
        steps.push_back(fewer);
    }
    if (plan.driverThreads > 0) {
        ExportPlan fewer = plan;
        fewer.driverThreads = plan.driverThreads / 2;
        steps.push_back(fewer);
    }
    // Whole frames take three or four times as long: the last thing given up, where the
    // context's own framebuffer can take them.
    if (steps.empty() && plan.frameCache && kHeadlessFramebufferDraws) {
        ExportPlan whole = plan;
        whole.frameCache = false;
        steps.push_back(whole);
    }
    return steps;
}

namespace {

// The room a plan needs for what it is estimated to add: the estimate is within a few per cent
// of what is measured, either way, and a peak moves with the timing of the threads, so a
// tenth more.
double Needed(double estimate)
{
    return estimate * 1.1;
}

std::string NotEnough(const ExportWork& work, double need, std::uint64_t room)
{
    char line[160];
    (void)std::snprintf(line, sizeof line, "a %dx%d picture needs about %.0f MiB; only %.0f MiB are available",
                        work.width, work.height, need / kMiB, static_cast<double>(room) / kMiB);
    return line;
}

}  // namespace

MachineRoom MachineRoomNow()
{
    MachineRoom room;
    room.processors = ProcessorsGiven();
    room.driverThreads = DriverThreadsWanted(room.processors);
    room.threadStack = ThreadStackReserved();
    std::tie(room.heldAddressSpace, room.heldResident) = ProcessHolds();
    room.addressSpace = AddressSpaceLeft();
    room.memory = MemoryAvailable();
    return room;
}

std::string PlanExport(const ExportWork& work, ExportPlan& plan)
{
    return PlanExport(work, MachineRoomNow(), plan);
}

std::string PlanExport(const ExportWork& work, const MachineRoom& room, ExportPlan& plan)
{
    const int processors = room.processors;
    const std::uint64_t space = room.addressSpace, memory = room.memory;
    // How far a plan is over each bound, in bytes; none is over when all are 0 or less. What a
    // plan adds is needed with some to spare.
    const auto spaceOver = [&](const ExportPlan& p) {
        return space == kUnknown ? 0.0 : Needed(p.addressSpace - room.heldAddressSpace) - static_cast<double>(space);
    };
    const auto memoryOver = [&](const ExportPlan& p) {
        return memory == kUnknown ? 0.0 : Needed(p.resident - room.heldResident) - static_cast<double>(memory);
    };
    const auto videoOver = [&](const ExportPlan& p) {
        return IsVideo(work.kind) ? VideoFrames(work, p, processors) - kVideoFrameBudget : 0.0;
    };

    plan = RichestPlan(work, room);
    Estimate(work, plan, room);
    // Each step takes the leaner plan that saves the most of what is over.
    for (;;) {
        const bool videoOnly = spaceOver(plan) <= 0 && memoryOver(plan) <= 0;
        if (videoOnly && videoOver(plan) <= 0)
            return {};
        std::vector<ExportPlan> steps = LeanerSteps(work, plan, processors, videoOnly);
        if (steps.empty())
            break;
        for (ExportPlan& step : steps)
            Estimate(work, step, room);
        const auto over = [&](const ExportPlan& p) {
            return videoOnly ? videoOver(p) : std::max(spaceOver(p), memoryOver(p));
        };
        plan = *std::min_element(steps.begin(), steps.end(),
                                 [&](const ExportPlan& a, const ExportPlan& b) { return over(a) < over(b); });
    }
    if (spaceOver(plan) > 0)
        return NotEnough(work, Needed(plan.addressSpace - room.heldAddressSpace), space);
    if (memoryOver(plan) > 0)
        return NotEnough(work, Needed(plan.resident - room.heldResident), memory);
    return {};  // only the video encoder's own bound is over: the leanest plan it is
}

void ApplyDriverPlan(const ExportPlan& plan)
{
    if (plan.driverThreads != DriverThreadsWanted(ProcessorsGiven()))
        SetEnvironment("LP_NUM_THREADS", std::to_string(plan.driverThreads));
    if (AddressSpaceLeft() != kUnknown)
        KeepOneMallocArena();
}

std::string DescribePlan(const ExportPlan& plan)
{
    const auto [heldAddressSpace, heldResident] = ProcessHolds();
    char line[320];
    (void)std::snprintf(line, sizeof line,
                        "plan: %d preparers, %d frames in flight, %d driver threads, %d encoder threads, "
                        "lookahead %d, %s; about %.0f MiB of address space, %.0f MiB resident at the peak (%.0f and "
                        "%.0f MiB now)",
                        plan.preparers, plan.framesInFlight, plan.driverThreads, plan.encoderThreads, plan.lookahead,
                        plan.frameCache ? "a frame cache" : "whole frames", plan.addressSpace / kMiB,
                        plan.resident / kMiB, heldAddressSpace / kMiB, heldResident / kMiB);
    return line;
}
