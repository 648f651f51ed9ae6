// Frames drawn on one thread and encoded on others: each frame's own work (compressing it,
// turning its colours) runs on several frames at once, beside the drawing of the next ones,
// and the frames go into the output one at a time, in order. Only a few frames are held at
// any time, however many there are.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One frame as read back from GL: width x height pixels, rows bottom-up, RGB8, or for a
// transparent scene RGBA8 with premultiplied colour.
struct CFrame {
    int index = 0;  // from 0
    int width = 0;
    int height = 0;
    int channels = 3;  // 3: RGB; 4: premultiplied RGBA
    std::vector<std::uint8_t> rgb;
    // The pixel at (x, y), y counted from the top.
    const std::uint8_t* TopDown(int x, int y) const
    {
        return &rgb[(static_cast<std::size_t>(height - 1 - y) * width + x) * channels];
    }
};

// A colour level premultiplied by coverage a (both 0 to 255) made straight, as files and
// videos hold it: divided by the coverage and rounded to the nearest level, at most 255; 0
// where nothing is covered.
constexpr std::uint8_t StraightLevel(unsigned level, unsigned a)
{
    return a == 0 ? 0 : static_cast<std::uint8_t>(std::min(255u, (level * 255u + a / 2) / a));
}

// A rectangle of a frame, in pixels from its top left corner.
struct CFrameRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool Empty() const { return width == 0; }
};
// The smallest rectangle holding every pixel in which frame differs from previous (frames of
// one size); empty when none does.
CFrameRect ChangedRect(const CFrame& previous, const CFrame& frame);

// What an output does with the frames. Prepare runs on several frames at once, from any
// thread; Write and Finish run on one thread, Write for each frame in order.
class CFrameSink {
public:
    virtual ~CFrameSink() = default;
    // The work on frame that needs no other frame's output; previous is the frame before it,
    // or null for the first. Leaves in prepared what Write needs. Returns an empty string, or
    // what went wrong.
    virtual std::string Prepare(const CFrame* previous, const CFrame& frame, std::vector<std::uint8_t>& prepared) = 0;
    // Puts the prepared frame into the output. Returns an empty string, or what went wrong.
    virtual std::string Write(const CFrame& frame, std::vector<std::uint8_t>& prepared) = 0;
    // After the last frame's Write: completes the output. Returns an empty string, or why not.
    virtual std::string Finish() = 0;
};

class CFramePipeline {
public:
    // Starts preparers threads that prepare frames for sink, which must outlive it, and one that
    // writes them; at most depth frames (at least 1) are held at once. Throws std::system_error
    // when a thread cannot be started, having stopped those that were.
    CFramePipeline(CFrameSink& sink, int preparers, int depth);
    // Waits for the threads; frames not yet written are dropped.
    ~CFramePipeline();
    CFramePipeline(const CFramePipeline&) = delete;
    CFramePipeline& operator=(const CFramePipeline&) = delete;

    // Hands the next frame over, waiting while the pipeline is full. Returns the first error
    // any frame has met so far (then nothing more should be pushed), or an empty string.
    std::string Push(std::shared_ptr<const CFrame> frame);
    // Waits until every frame pushed is written, then finishes the sink. Returns the first
    // error met, or an empty string.
    std::string Finish();

private:
    struct Job {
        std::shared_ptr<const CFrame> previous;
        std::shared_ptr<const CFrame> frame;
        std::vector<std::uint8_t> prepared;
        bool taken = false;
        bool ready = false;
    };
    void Prepare();
    void WriteInOrder();
    void Fail(const std::string& error);
    void Stop();

    CFrameSink& m_sink;
    const int m_nDepth;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::unique_ptr<Job>> m_jobs;  // in frame order; the front is written next
    std::shared_ptr<const CFrame> m_last;
    std::string m_error;
    bool m_bNoMore = false;
    bool m_bStop = false;
    bool m_bWritten = false;
    std::vector<std::thread> m_preparers;
    std::thread m_writer;
};
