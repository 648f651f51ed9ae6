#include "export/frame_pipeline.h"

#include "os/end_signals.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

CFrameRect ChangedRect(const CFrame& previous, const CFrame& frame)
{
    const auto same = [&](const std::uint8_t* a, const std::uint8_t* b, int pixels) {
        return std::memcmp(a, b, static_cast<std::size_t>(pixels) * frame.channels) == 0;
    };
    int left = frame.width, top = frame.height, right = -1, bottom = -1;
    for (int y = 0; y < frame.height; ++y) {
        const std::uint8_t* a = previous.TopDown(0, y);
        const std::uint8_t* b = frame.TopDown(0, y);
        if (same(a, b, frame.width))
            continue;
        top = std::min(top, y);
        bottom = y;
        int x = 0;
        while (same(previous.TopDown(x, y), frame.TopDown(x, y), 1))
            ++x;
        left = std::min(left, x);
        int end = frame.width - 1;
        while (same(previous.TopDown(end, y), frame.TopDown(end, y), 1))
            --end;
        right = std::max(right, end);
    }
    if (right < 0)
        return {};
    return {left, top, right + 1 - left, bottom + 1 - top};
}

namespace {

// What a step of an encoder said, or the words for what it threw: an allocation that failed
// is a failure of the export like any other, never the end of the process.
template <typename Step>
std::string Guarded(Step step)
{
    try {
        return step();
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const std::exception& e) {
        return e.what();
    }
}

}  // namespace

CFramePipeline::CFramePipeline(CFrameSink& sink, int preparers, int depth) : m_sink(sink), m_nDepth(std::max(1, depth))
{
    // Ctrl+C and its kind reach the drawing thread alone: the threads started here, and those
    // the encoders' libraries start from them, keep them waiting.
    const CHoldEndSignals hold;
    try {
        for (int i = 0; i < std::max(1, preparers); ++i)
            m_preparers.emplace_back(&CFramePipeline::Prepare, this);
        m_writer = std::thread(&CFramePipeline::WriteInOrder, this);
    } catch (...) {
        Stop();
        throw;
    }
}

CFramePipeline::~CFramePipeline()
{
    Stop();
}

void CFramePipeline::Stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_changed.notify_all();
    for (std::thread& thread : m_preparers)
        thread.join();
    m_preparers.clear();
    if (m_writer.joinable())
        m_writer.join();
}

std::string CFramePipeline::Push(std::shared_ptr<const CFrame> frame)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_bStop || static_cast<int>(m_jobs.size()) < m_nDepth; });
    if (m_bStop)
        return m_error;
    auto job = std::make_unique<Job>();
    job->previous = m_last;
    job->frame = frame;
    m_last = std::move(frame);
    m_jobs.push_back(std::move(job));
    lock.unlock();
    m_changed.notify_all();
    return {};
}

std::string CFramePipeline::Finish()
{
    std::unique_lock lock(m_mutex);
    m_bNoMore = true;
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return m_bStop || m_bWritten; });
    return m_error;
}

void CFramePipeline::Fail(const std::string& error)
{
    // Called with the lock held.
    if (m_error.empty())
        m_error = error;
    m_bStop = true;
    m_changed.notify_all();
}

void CFramePipeline::Prepare()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        Job* job = nullptr;
        m_changed.wait(lock, [&] {
            if (m_bStop || m_bWritten)
                return true;
            const auto next = std::find_if(m_jobs.begin(), m_jobs.end(), [](const auto& j) { return !j->taken; });
            job = next == m_jobs.end() ? nullptr : next->get();
            return job != nullptr;
        });
        if (!job)
            return;
        job->taken = true;
        lock.unlock();
        const std::string error =
            Guarded([&] { return m_sink.Prepare(job->previous.get(), *job->frame, job->prepared); });
        lock.lock();
        job->ready = true;
        // The previous frame was needed for this one alone.
        job->previous.reset();
        if (!error.empty())
            Fail(error);
        m_changed.notify_all();
    }
}

void CFramePipeline::WriteInOrder()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] {
            return m_bStop || (m_bNoMore && m_jobs.empty()) || (!m_jobs.empty() && m_jobs.front()->ready);
        });
        if (m_bStop)
            return;
        if (m_jobs.empty()) {
            lock.unlock();
            const std::string error = Guarded([&] { return m_sink.Finish(); });
            lock.lock();
            if (!error.empty())
                Fail(error);
            m_bWritten = true;
            m_changed.notify_all();
            return;
        }
        std::unique_ptr<Job> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_changed.notify_all();  // room for the next frame
        lock.unlock();
        const std::string error = Guarded([&] { return m_sink.Write(*job->frame, job->prepared); });
        job.reset();
        lock.lock();
        if (!error.empty())
            Fail(error);
    }
}
