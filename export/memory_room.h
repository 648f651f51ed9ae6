// How much of the machine an export takes: the work is fitted to the memory there is before
// the GL driver starts, since the driver takes its buffers as it first draws and does not
// survive not getting them. The frames in flight, and the threads of the encoders and of the
// driver, are as many as the processors allow and as few as the memory needs.
#pragma once

#include "export/picture_name.h"

#include <cstdint>
#include <string>
#include <vector>

// What an export is asked to make.
struct ExportWork {
    PictureName::Kind kind = PictureName::Kind::Png;
    int width = 0;
    int height = 0;
    bool transparent = false;  // frames with alpha
    int framesKept = 0;        // frames an output keeps to its end (a sticker, to encode again)
    bool frameCache = false;   // frames drawn over still parts kept in a framebuffer of their own
};

// How it makes it, and what that is expected to cost at its peak.
struct ExportPlan {
    int preparers = 1;        // frames encoded at once, beside the drawing
    int framesInFlight = 1;   // frames held at once, from their reading back to their writing
    int driverThreads = 0;    // llvmpipe's rasteriser threads; 0: it draws on the drawing thread
    int encoderThreads = 0;   // x264's threads, or libimagequant's for each frame; 0: the library's own
    int lookahead = -1;       // x264's frames of lookahead; -1: its own
    bool frameCache = false;  // the still parts kept; given up last, for whole frames, when memory is short
    double addressSpace = 0;  // bytes, at the peak
    double resident = 0;      // bytes, at the peak
};

// What a machine gives an export when it is planned.
struct MachineRoom {
    static constexpr std::uint64_t kUnlimited = ~std::uint64_t{0};
    int processors = 1;
    int driverThreads = 1;             // llvmpipe's rasteriser threads unless told fewer
    double threadStack = 8 << 20;      // bytes of address space a new thread's stack takes
    double heldAddressSpace = 0;       // bytes the process holds already
    double heldResident = 0;
    std::uint64_t addressSpace = kUnlimited;  // bytes left under the address-space limit
    std::uint64_t memory = kUnlimited;        // bytes of memory the process may still take
};

// This machine now: its processors (those this process may run on), LP_NUM_THREADS, the
// default thread stack, what the process holds, the address space left under its limit
// (ulimit -v), and the least of the memory its control group may still use and the memory
// the system has available.
MachineRoom MachineRoomNow();

// Plans work for room: the richest plan whose estimate, with a tenth to spare, fits both the
// address space and the memory, stepping down from as many threads as the processors give
// work to. Returns an empty string with plan filled in, or, when even the leanest plan does
// not fit, the line saying what the picture needs and what there is.
std::string PlanExport(const ExportWork& work, const MachineRoom& room, ExportPlan& plan);
// The same for this machine now.
std::string PlanExport(const ExportWork& work, ExportPlan& plan);

// The plans one step leaner than plan: the video encoder's lookahead halved or its threads,
// the GIF quantiser's threads for each frame, the frames encoded at once, or the driver's
// threads; with videoOnly, only the video encoder's.
std::vector<ExportPlan> LeanerSteps(const ExportWork& work, const ExportPlan& plan, int processors, bool videoOnly);

// How many frames the frame pipeline may queue under plan.
inline int PipelineDepth(const ExportPlan& plan)
{
    return plan.framesInFlight > 2 ? plan.framesInFlight - 2 : 1;
}

// Readies the process for plan before the GL driver starts: its rasteriser threads, and under
// an address-space limit a single malloc arena (each thread would otherwise reserve 64 MiB of
// address space of its own).
void ApplyDriverPlan(const ExportPlan& plan);

// The plan and its estimate, on one line, for the memory benchmark (LUMETTA_SHOW_PLAN=1).
std::string DescribePlan(const ExportPlan& plan);
