// The export planner on machines of the test's making: how many threads and frames it takes
// for the processors there are, and how it steps down to fit the room.
#include "export/memory_room.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Kind = PictureName::Kind;
constexpr double kMiB = 1024.0 * 1024.0;

MachineRoom Machine(int processors)
{
    MachineRoom room;
    room.processors = processors;
    room.driverThreads = processors;
    room.threadStack = 8 * kMiB;
    room.heldAddressSpace = 300 * kMiB;
    room.heldResident = 100 * kMiB;
    return room;
}

ExportWork Work(Kind kind, int side, bool transparent = false)
{
    ExportWork work;
    work.kind = kind;
    work.width = work.height = side;
    work.transparent = transparent;
    return work;
}

// Catches a plan that leaves the samples a pixel out: four take about four times the memory of
// the framebuffers one takes.
TEST(PlanExportTest, SeveralSamplesAPixelTakeTheirMemory)
{
    ExportWork one = Work(Kind::Png, 1920), four = one;
    one.frameCache = four.frameCache = true;
    four.samples = 4;
    ExportPlan planOne, planFour;
    ASSERT_EQ(PlanExport(one, Machine(2), planOne), "");
    ASSERT_EQ(PlanExport(four, Machine(2), planFour), "");
    // Per pixel and sample, two framebuffers' colour and depth: 16 bytes.
    EXPECT_GT(planFour.resident - planOne.resident, 3 * 16.0 * 1920 * 1920 * 0.9);
}

// Catches frames encoded one at a time on a machine with many processors, or a thread for
// every processor of a very large one: an animation encodes as many frames at once as there
// are processors, up to 16, and one picture takes one frame whatever the machine.
TEST(PlanExportTest, FramesAtOnceFollowTheProcessorsUpTo16)
{
    struct Case {
        Kind kind;
        int processors, preparers;
    };
    const Case cases[] = {
        {Kind::Webp, 1, 1}, {Kind::Webp, 2, 2}, {Kind::Gif, 16, 16}, {Kind::Sequence, 64, 16}, {Kind::Png, 64, 1},
    };
    for (const Case& c : cases) {
        ExportPlan plan;
        ASSERT_EQ(PlanExport(Work(c.kind, 500), Machine(c.processors), plan), "");
        EXPECT_EQ(plan.preparers, c.preparers) << c.processors << " processors";
        EXPECT_GE(plan.framesInFlight, c.kind == Kind::Png ? 1 : plan.preparers + 2) << c.processors << " processors";
    }
}

// Catches a plan made without room to spare: the estimate is within a few per cent of what is
// measured, either way, so with room for the richest plan's estimate but not a tenth more, a
// leaner plan is taken, one that fits with its tenth; the same for memory.
TEST(PlanExportTest, APlanFitsWithATenthToSpare)
{
    for (const bool addressSpace : {true, false}) {
        const ExportWork work = Work(Kind::Gif, 1920);
        MachineRoom room = Machine(8);
        ExportPlan richest;
        ASSERT_EQ(PlanExport(work, room, richest), "");
        const double added = addressSpace ? richest.addressSpace - room.heldAddressSpace
                                          : richest.resident - room.heldResident;
        (addressSpace ? room.addressSpace : room.memory) = static_cast<std::uint64_t>(added * 1.05);
        ExportPlan plan;
        ASSERT_EQ(PlanExport(work, room, plan), "") << (addressSpace ? "address space" : "memory");
        const double planned = addressSpace ? plan.addressSpace - room.heldAddressSpace
                                            : plan.resident - room.heldResident;
        EXPECT_LE(planned * 1.1, added * 1.05) << (addressSpace ? "address space" : "memory");
    }
}

// Catches a refusal that is not said, or said of a plan that would fit: where even one frame
// on one thread does not fit, the line says what the picture needs and what there is.
TEST(PlanExportTest, WhereNothingFitsItSaysWhatThePictureNeeds)
{
    MachineRoom room = Machine(2);
    room.addressSpace = static_cast<std::uint64_t>(200 * kMiB);
    ExportPlan plan;
    const std::string said = PlanExport(Work(Kind::Mp4, 1920), room, plan);
    EXPECT_EQ(said.rfind("a 1920x1920 picture needs about ", 0), 0u) << said;
    EXPECT_NE(said.find("; only 200 MiB are available"), std::string::npos) << said;
    EXPECT_EQ(plan.preparers, 1);
    EXPECT_EQ(plan.driverThreads, 0);
}

// Catches the alpha stream's encoder left out of a transparent WebM's plan: libvpx encodes
// the alpha with a second encoder and its own threads, each with a stack.
TEST(PlanExportTest, ATransparentWebmCountsTheAlphaEncodersThreads)
{
    ExportPlan opaque, transparent;
    ASSERT_EQ(PlanExport(Work(Kind::Webm, 64), Machine(8), opaque), "");
    ASSERT_EQ(PlanExport(Work(Kind::Webm, 64, true), Machine(8), transparent), "");
    // libvpx takes a thread for each processor.
    EXPECT_GE(transparent.addressSpace - opaque.addressSpace, 8 * 8 * kMiB);
}

// Catches a step that never ends, or a thread that cannot be given up: from the richest plan
// on 16 processors, leaner steps end in one frame at a time, the drawing on its own thread
// and a video encoder on one thread with no lookahead.
TEST(LeanerStepsTest, StepsEndInTheLeanestPlan)
{
    for (const Kind kind : {Kind::Png, Kind::Webp, Kind::Gif, Kind::Mp4, Kind::Webm}) {
        ExportPlan plan;
        ASSERT_EQ(PlanExport(Work(kind, 500), Machine(16), plan), "");
        int steps = 0;
        for (std::vector<ExportPlan> next = LeanerSteps(Work(kind, 500), plan, 16, false); !next.empty() && steps < 100;
             next = LeanerSteps(Work(kind, 500), plan, 16, false), ++steps)
            plan = next.back();
        EXPECT_LT(steps, 100) << static_cast<int>(kind);
        EXPECT_EQ(plan.preparers, 1) << static_cast<int>(kind);
        EXPECT_EQ(plan.driverThreads, 0) << static_cast<int>(kind);
        if (kind == Kind::Mp4 || kind == Kind::Webm) {
            EXPECT_EQ(plan.encoderThreads, 1) << static_cast<int>(kind);
            EXPECT_EQ(plan.lookahead, 0) << static_cast<int>(kind);
        }
        if (kind == Kind::Webp) {
            EXPECT_TRUE(LeanerSteps(Work(kind, 500), plan, 16, true).empty()) << "a video step for a picture";
        }
    }
}

}  // namespace
