// The frame pipeline: frames encoded on other threads, written in order, few held at once.
#include "export/frame_pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

std::atomic<int> g_alive{0};

// Frames that count themselves while alive.
std::shared_ptr<const CFrame> MakeFrame(int index)
{
    ++g_alive;
    auto* frame = new CFrame;
    frame->index = index;
    return std::shared_ptr<const CFrame>(frame, [](const CFrame* f) {
        --g_alive;
        delete f;
    });
}

class CCheckingSink : public CFrameSink {
public:
    std::string Prepare(const CFrame* previous, const CFrame& frame, std::vector<std::uint8_t>& prepared) override
    {
        // Frames take turns unevenly, so that they finish out of order.
        std::this_thread::sleep_for(std::chrono::microseconds(frame.index % 7 * 50));
        prepared.assign(1, static_cast<std::uint8_t>(previous ? previous->index % 251 : 255));
        mostAlive = std::max(mostAlive.load(), g_alive.load());
        return frame.index == failPrepareAt ? "frame " + std::to_string(failPrepareAt) + " failed" : std::string();
    }
    std::string Write(const CFrame& frame, std::vector<std::uint8_t>& prepared) override
    {
        inOrder = inOrder && frame.index == written;
        rightPrevious = rightPrevious && prepared[0] == (frame.index == 0 ? 255 : (frame.index - 1) % 251);
        ++written;
        return frame.index == failAt ? "frame " + std::to_string(failAt) + " failed" : std::string();
    }
    std::string Finish() override
    {
        finished = true;
        return {};
    }

    std::atomic<int> mostAlive{0};
    bool inOrder = true, rightPrevious = true, finished = false;
    int written = 0;
    int failAt = -1;
    int failPrepareAt = -1;
};

// Catches frames written out of order or given the wrong previous frame, and a pipeline
// that holds more and more frames when encoding is slower than drawing.
TEST(FramePipelineTest, FramesAreWrittenInOrderAndOnlyAFewAreHeldAtOnce)
{
    CCheckingSink sink;
    {
        CFramePipeline pipeline(sink, 3, 5);
        for (int i = 0; i < 3000; ++i)
            ASSERT_EQ(pipeline.Push(MakeFrame(i)), "");
        EXPECT_EQ(pipeline.Finish(), "");
    }
    EXPECT_EQ(sink.written, 3000);
    EXPECT_TRUE(sink.inOrder);
    EXPECT_TRUE(sink.rightPrevious);
    EXPECT_TRUE(sink.finished);
    // Three preparers and five frames queued: a dozen at the very most, of 3000.
    EXPECT_LE(sink.mostAlive.load(), 12) << "the pipeline held more than a few frames at once";
    EXPECT_EQ(g_alive.load(), 0);
}

// Catches an error that goes unsaid (a broken file reported as made) or a pipeline that goes
// on writing after it, whether a frame failed to be written or to be prepared.
TEST(FramePipelineTest, AnErrorStopsItAndIsSaid)
{
    for (const bool inPrepare : {false, true}) {
        CCheckingSink sink;
        (inPrepare ? sink.failPrepareAt : sink.failAt) = 40;
        std::string said;
        {
            CFramePipeline pipeline(sink, 3, 5);
            for (int i = 0; i < 3000 && said.empty(); ++i)
                said = pipeline.Push(MakeFrame(i));
            if (said.empty())
                said = pipeline.Finish();
        }
        EXPECT_EQ(said, "frame 40 failed") << (inPrepare ? "in Prepare" : "in Write");
        EXPECT_LE(sink.written, 41);
        EXPECT_FALSE(sink.finished);
        EXPECT_EQ(g_alive.load(), 0);
    }
}

}  // namespace
