// How much of the machine an export takes: the work is fitted to the memory there is before
// the GL driver starts, since the driver takes its buffers as it first draws and does not
// survive not getting them. The frames in flight, and the threads of the encoders and of the
// driver, are as many as the processors allow and as few as the memory needs.
#pragma once

#include "export/picture_name.h"

#include <string>

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

// Plans work for this machine: its processors, the address space left under its limit
// (ulimit -v), the memory its control group may still use and the memory the system has
// available. Returns an empty string with plan filled in, or, when even the leanest plan does
// not fit, the line saying what the picture needs and what there is.
std::string PlanExport(const ExportWork& work, ExportPlan& plan);

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
