#include "export/memory_room.h"

#include <malloc.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <thread>
#include <vector>

namespace {

constexpr double kMiB = 1024.0 * 1024.0;
constexpr std::uint64_t kUnknown = std::numeric_limits<std::uint64_t>::max();

// What the program costs before its first picture, measured on Mesa 22.3's llvmpipe and
// Debian 12's libraries: the code of the program, the driver and LLVM in address space, and
// what of it is resident. The MP4 encoder's module brings FFmpeg's libraries with it.
constexpr double kBaseAddressSpace = 235.0 * kMiB;
constexpr double kBaseResident = 95.0 * kMiB;
constexpr double kMp4AddressSpace = 145.0 * kMiB;
constexpr double kMp4Resident = 25.0 * kMiB;
// Per pixel: the driver's colour, depth and stencil buffers and its tiles; and a frame as
// read back, held from its drawing until it is written.
constexpr double kDriverBytesPerPixel = 8.0;
constexpr double kFrameBytesPerPixel = 3.0;
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
};
// clang-format on

// x264 keeps frames of its own, each with its padded planes, half-size copies for the
// lookahead and motion data. Measured with the veryfast preset's three B-frames: what it holds
// with one thread and no lookahead, what each frame of lookahead adds, what threads add once
// there are more than one (frames for the threads to share), and what each thread adds.
constexpr double kX264BytesPerPixel = 44.4;
constexpr double kX264LookaheadBytesPerPixel = 2.1;
constexpr double kX264ThreadedBytesPerPixel = 15.0;
constexpr double kX264ThreadBytesPerPixel = 9.0;
// Of what it holds, this much is ever touched: a frame's padding and motion data partly not.
constexpr double kX264Resident = 0.7;
constexpr int kX264DefaultLookahead = 10;  // the veryfast preset's
// Its frames together stay within this however large the video, and however many
// processors: a wider video gets fewer threads and a shorter lookahead rather than gigabytes.
constexpr double kX264FrameBudget = 1024.0 * kMiB;

const FormatCost& CostOf(PictureName::Kind kind)
{
    for (const FormatCost& cost : kFormatCosts) {
        if (cost.kind == kind)
            return cost;
    }
    return kFormatCosts[0];
}

// A "Name: value kB" line of a /proc file, in bytes.
std::uint64_t ProcKilobytes(const char* file, const std::string& name)
{
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, name.size() + 1, name + ":") != 0)
            continue;
        std::istringstream value(line.substr(name.size() + 1));
        std::uint64_t kilobytes = 0;
        if (value >> kilobytes)
            return kilobytes * 1024;
    }
    return kUnknown;
}

// A number in a file, or kUnknown ("max", or no such file).
std::uint64_t FileNumber(const std::string& path)
{
    std::ifstream in(path);
    std::uint64_t value = 0;
    return in >> value ? value : kUnknown;
}

// What this process's control group may still use, in bytes, or kUnknown without a limit;
// version 2 (memory.max) or version 1 (the memory controller's limit_in_bytes).
std::uint64_t GroupRoom()
{
    std::ifstream self("/proc/self/cgroup");
    std::uint64_t limit = kUnknown, used = kUnknown;
    for (std::string line; std::getline(self, line) && limit == kUnknown;) {
        if (line.compare(0, 3, "0::") == 0) {
            const std::string group = "/sys/fs/cgroup" + line.substr(3);
            limit = FileNumber(group + "/memory.max");
            used = FileNumber(group + "/memory.current");
        } else if (const auto at = line.find(":memory:"); at != std::string::npos) {
            const std::string group = "/sys/fs/cgroup/memory" + line.substr(at + 8);
            limit = FileNumber(group + "/memory.limit_in_bytes");
            used = FileNumber(group + "/memory.usage_in_bytes");
        }
    }
    // Version 1 writes "no limit" as a number near 2^63.
    if (limit == kUnknown || used == kUnknown || limit >= (std::uint64_t{1} << 62))
        return kUnknown;
    return used < limit ? limit - used : 0;
}

// The address space left under the limit (ulimit -v), or kUnknown without one: the limit
// less what the process already uses.
std::uint64_t AddressSpaceLeft()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return kUnknown;
    const std::uint64_t used = ProcKilobytes("/proc/self/status", "VmSize");
    return used != kUnknown && used < limit.rlim_cur ? limit.rlim_cur - used : 0;
}

// The processors this process may run on (taskset and containers give fewer than there are).
int Processors()
{
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

// The stack a new thread reserves: the system's default, which follows ulimit -s.
double ThreadStack()
{
    pthread_attr_t attributes;
    std::size_t size = 8 << 20;
    if (::pthread_getattr_default_np(&attributes) == 0) {
        (void)::pthread_attr_getstacksize(&attributes, &size);
        ::pthread_attr_destroy(&attributes);
    }
    return static_cast<double>(size);
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

// x264's threads when left to choose: one and a half for each processor.
int X264Threads(const ExportPlan& plan, int processors)
{
    return plan.encoderThreads > 0 ? plan.encoderThreads : std::max(1, processors * 3 / 2);
}

int X264Lookahead(const ExportPlan& plan)
{
    return plan.lookahead >= 0 ? plan.lookahead : kX264DefaultLookahead;
}

double X264Frames(const ExportWork& work, const ExportPlan& plan, int processors)
{
    const double pixels = static_cast<double>(work.width) * work.height;
    const int threads = X264Threads(plan, processors);
    return pixels * (kX264BytesPerPixel + kX264LookaheadBytesPerPixel * X264Lookahead(plan) +
                     (threads > 1 ? kX264ThreadedBytesPerPixel + kX264ThreadBytesPerPixel * (threads - 1) : 0.0));
}

// Every thread the plan starts, the drawing thread included.
int Threads(const ExportWork& work, const ExportPlan& plan, int processors)
{
    // The drawing thread, the driver's own queue, the preparers and the writer.
    int threads = 2 + plan.driverThreads * kDriverThreadsPerThread + plan.preparers + 1;
    if (work.kind == PictureName::Kind::Mp4) {
        const int x264 = X264Threads(plan, processors);
        threads += x264 + (x264 > 1 ? 1 : 0);  // and its lookahead's
    } else if (work.kind == PictureName::Kind::Gif) {
        const int perFrame = plan.encoderThreads > 0 ? plan.encoderThreads : processors;
        threads += plan.preparers * (perFrame - 1);
    }
    return threads;
}

// What the process holds already, when the plan is made.
struct Held {
    double addressSpace = 0;
    double resident = 0;
};

Held HeldNow()
{
    const std::uint64_t size = ProcKilobytes("/proc/self/status", "VmSize");
    const std::uint64_t resident = ProcKilobytes("/proc/self/status", "VmRSS");
    return {size == kUnknown ? 0.0 : static_cast<double>(size),
            resident == kUnknown ? 0.0 : static_cast<double>(resident)};
}

// The plan's peak: what the process holds now and what the plan adds to it.
void Estimate(const ExportWork& work, ExportPlan& plan, int processors, const Held& held)
{
    const FormatCost& cost = CostOf(work.kind);
    const double pixels = static_cast<double>(work.width) * work.height;
    const double buffers = pixels * (kDriverBytesPerPixel +
                                     plan.framesInFlight * (kFrameBytesPerPixel + cost.preparedBytesPerPixel) +
                                     plan.preparers * cost.workBytesPerPixel) +
                           plan.preparers * cost.workBytes;
    const bool mp4 = work.kind == PictureName::Kind::Mp4;
    const double x264 = mp4 ? X264Frames(work, plan, processors) : 0.0;
    const int threads = Threads(work, plan, processors);
    plan.addressSpace = held.addressSpace + kBaseAddressSpace + (mp4 ? kMp4AddressSpace : 0.0) +
                        threads * ThreadStack() + buffers + x264;
    plan.resident = held.resident + kBaseResident + (mp4 ? kMp4Resident : 0.0) + threads * kThreadResident + buffers +
                    x264 * kX264Resident;
}

// The frames an animation or a sequence holds at once with so many preparers: one waiting for
// each preparer while the next is drawn and one is written (the pipeline's depth), the one
// being read back, and the one being written.
int FramesInFlight(int preparers)
{
    return preparers + 4;
}

// The richest plan: as many threads as the processors give work to.
ExportPlan RichestPlan(const ExportWork& work, int processors)
{
    ExportPlan plan;
    plan.driverThreads = DriverThreadsWanted(processors);
    switch (work.kind) {
    case PictureName::Kind::Png:
        // One picture: one frame, the last, is ever encoded.
        plan.preparers = 1;
        plan.framesInFlight = 1;
        return plan;
    case PictureName::Kind::Mp4:
        // x264 keeps threads of its own; the colours are turned on two.
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

// The leaner plans one step from plan: x264's lookahead halved or its threads, an encoder's
// threads for each frame, the frames encoded at once, or the driver's threads.
std::vector<ExportPlan> LeanerSteps(const ExportWork& work, const ExportPlan& plan, int processors, bool x264Only)
{
    std::vector<ExportPlan> steps;
    if (work.kind == PictureName::Kind::Mp4) {
        if (X264Lookahead(plan) > 0) {
            ExportPlan shorter = plan;
            shorter.lookahead = X264Lookahead(plan) / 2;
            steps.push_back(shorter);
        }
        if (const int threads = X264Threads(plan, processors); threads > 1) {
            ExportPlan fewer = plan;
            fewer.encoderThreads = threads / 2;
            steps.push_back(fewer);
        }
    }
    if (x264Only)
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
    return steps;
}

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

std::string PlanExport(const ExportWork& work, ExportPlan& plan)
{
    const int processors = Processors();
    const Held held = HeldNow();
    const std::uint64_t space = AddressSpaceLeft();
    const std::uint64_t memory = std::min(ProcKilobytes("/proc/meminfo", "MemAvailable"), GroupRoom());
    // How far a plan is over each bound, in bytes; none is over when all are 0 or less. What a
    // plan adds is needed with some to spare.
    const auto spaceOver = [&](const ExportPlan& p) {
        return space == kUnknown ? 0.0 : Needed(p.addressSpace - held.addressSpace) - static_cast<double>(space);
    };
    const auto memoryOver = [&](const ExportPlan& p) {
        return memory == kUnknown ? 0.0 : Needed(p.resident - held.resident) - static_cast<double>(memory);
    };
    const auto x264Over = [&](const ExportPlan& p) {
        return work.kind == PictureName::Kind::Mp4 ? X264Frames(work, p, processors) - kX264FrameBudget : 0.0;
    };

    plan = RichestPlan(work, processors);
    Estimate(work, plan, processors, held);
    // Each step takes the leaner plan that saves the most of what is over.
    for (;;) {
        const bool x264Only = spaceOver(plan) <= 0 && memoryOver(plan) <= 0;
        if (x264Only && x264Over(plan) <= 0)
            return {};
        std::vector<ExportPlan> steps = LeanerSteps(work, plan, processors, x264Only);
        if (steps.empty())
            break;
        for (ExportPlan& step : steps)
            Estimate(work, step, processors, held);
        const auto over = [&](const ExportPlan& p) {
            return x264Only ? x264Over(p) : std::max(spaceOver(p), memoryOver(p));
        };
        plan = *std::min_element(steps.begin(), steps.end(),
                                 [&](const ExportPlan& a, const ExportPlan& b) { return over(a) < over(b); });
    }
    if (spaceOver(plan) > 0)
        return NotEnough(work, Needed(plan.addressSpace - held.addressSpace), space);
    if (memoryOver(plan) > 0)
        return NotEnough(work, Needed(plan.resident - held.resident), memory);
    return {};  // only x264's own bound is over: the leanest plan it is
}

void ApplyDriverPlan(const ExportPlan& plan)
{
    if (plan.driverThreads != DriverThreadsWanted(Processors()))
        ::setenv("LP_NUM_THREADS", std::to_string(plan.driverThreads).c_str(), 1);
    if (AddressSpaceLeft() != kUnknown)
        ::mallopt(M_ARENA_MAX, 1);
}

std::string DescribePlan(const ExportPlan& plan)
{
    const Held held = HeldNow();
    char line[320];
    (void)std::snprintf(line, sizeof line,
                        "plan: %d preparers, %d frames in flight, %d driver threads, %d encoder threads, "
                        "lookahead %d; about %.0f MiB of address space, %.0f MiB resident at the peak (%.0f and "
                        "%.0f MiB now)",
                        plan.preparers, plan.framesInFlight, plan.driverThreads, plan.encoderThreads, plan.lookahead,
                        plan.addressSpace / kMiB, plan.resident / kMiB, held.addressSpace / kMiB, held.resident / kMiB);
    return line;
}
