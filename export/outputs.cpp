#include "export/outputs.h"

#include "export/safe_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

CAnimationOutput::CAnimationOutput(const OutputRequest& request) : m_request(request)
{
}

CAnimationOutput::~CAnimationOutput()
{
    // A file given up: its temporary file goes with the output.
    if (m_pStream)
        (void)std::fclose(m_pStream);
}

std::string CAnimationOutput::Start()
{
    m_bExisted = FileExists(m_request.name);
    m_pFile = std::make_unique<CFileBeingWritten>(m_request.name);
    return m_pFile->Error();
}

std::FILE* CAnimationOutput::Stream()
{
    if (!m_pStream)
        m_pStream = std::fopen(TemporaryPath().c_str(), "wb");
    return m_pStream;
}

std::string CAnimationOutput::Complete()
{
    if (m_pStream) {
        const bool flushed = std::fflush(m_pStream) == 0;
        const int flushError = errno;
        const bool closed = std::fclose(m_pStream) == 0;
        m_pStream = nullptr;
        if (!flushed || !closed)
            return Failure(std::strerror(!flushed ? flushError : errno));
    }
    if (std::string error = m_pFile->PutInPlace(); !error.empty())
        return error;
    m_bMade = !m_bExisted;
    return {};
}

void CAnimationOutput::TakeAway()
{
    if (m_bMade)
        TakeAwayFile(m_request.name);
    m_bMade = false;
}

const std::string& CAnimationOutput::TemporaryPath() const
{
    return m_pFile->TemporaryPath();
}

std::string CAnimationOutput::Failure(const std::string& reason) const
{
    return reason.empty() ? std::string() : CannotWrite(m_request.name, reason);
}

std::vector<std::uint8_t> RgbaOverPrevious(const CFrame* previous, const CFrame& frame, const CFrameRect& rect,
                                           bool* unchanged)
{
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(rect.width) * rect.height * 4);
    bool anySame = false;
    for (int y = 0; y < rect.height; ++y) {
        for (int x = 0; x < rect.width; ++x) {
            const std::uint8_t* p = frame.TopDown(rect.x + x, rect.y + y);
            if (previous && std::memcmp(p, previous->TopDown(rect.x + x, rect.y + y), 3) == 0) {
                anySame = true;
                continue;  // left transparent
            }
            std::uint8_t* out = &rgba[(static_cast<std::size_t>(y) * rect.width + x) * 4];
            out[0] = p[0];
            out[1] = p[1];
            out[2] = p[2];
            out[3] = 255;
        }
    }
    if (unchanged)
        *unchanged = anySame;
    return rgba;
}

std::vector<std::uint8_t> TransparentOverPrevious(const CFrame* previous, const CFrame& frame, const CFrameRect& rect,
                                                  bool& laidOver, double meanSquaredError,
                                                  std::vector<std::uint8_t>* shown)
{
    laidOver = false;
    // Taking the place of what was there, the rectangle shows frame's own pixels.
    const auto replace = [&] {
        if (shown) {
            shown->resize(static_cast<std::size_t>(frame.width) * frame.height * 4);
            for (int y = rect.y; y < rect.y + rect.height; ++y)
                std::memcpy(&(*shown)[(static_cast<std::size_t>(y) * frame.width + rect.x) * 4],
                            frame.TopDown(rect.x, y), static_cast<std::size_t>(rect.width) * 4);
        }
        return StraightRgba(frame, rect);
    };
    if (!previous || frame.channels != 4)
        return replace();
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(rect.width) * rect.height * 4, 0);
    std::vector<std::uint8_t> after = shown ? *shown : std::vector<std::uint8_t>{};
    // What laying over may miss by, at most, over the whole frame.
    const double mostSquaredError = meanSquaredError * frame.width * frame.height * 4;
    double squaredError = 0;
    for (int y = 0; y < rect.height; ++y) {
        for (int x = 0; x < rect.width; ++x) {
            const std::uint8_t* p = frame.TopDown(rect.x + x, rect.y + y);
            const std::size_t at = static_cast<std::size_t>(rect.y + y) * frame.width + rect.x + x;
            const std::uint8_t* below = shown ? &after[at * 4] : previous->TopDown(rect.x + x, rect.y + y);
            if (std::memcmp(p, below, 4) == 0)
                continue;
            // The nearest that laid over below comes to p: exact where p is opaque or below is
            // clear; elsewhere coverage can only grow.
            const unsigned a = p[3] == 255 || below[3] == 0 ? p[3]
                               : p[3] <= below[3]
                                   ? 0
                                   : (255u * (p[3] - below[3]) + (255u - below[3]) / 2) / (255u - below[3]);
            std::uint8_t* out = &rgba[(static_cast<std::size_t>(y) * rect.width + x) * 4];
            std::uint8_t result[4];
            for (int c = 0; c < 4; ++c) {
                const unsigned under = (below[c] * (255 - a) + 127) / 255;
                const unsigned own = c == 3 ? a
                                            : std::min<unsigned>(std::max<int>(p[c] - static_cast<int>(under), 0), a);
                out[c] = c == 3 ? static_cast<std::uint8_t>(a) : StraightLevel(own, a);
                const unsigned shownOwn = c == 3 ? a : (out[c] * a + 127) / 255;
                result[c] = static_cast<std::uint8_t>(std::min(255u, shownOwn + under));
                const double error = static_cast<double>(result[c]) - p[c];
                squaredError += error * error;
            }
            if (squaredError > mostSquaredError)
                return replace();
            if (shown)
                std::memcpy(&after[at * 4], result, 4);
        }
    }
    laidOver = true;
    if (shown)
        shown->swap(after);
    return rgba;
}

void MakeStraight(std::uint8_t* rgba, std::size_t pixels)
{
    for (std::uint8_t* p = rgba; p != rgba + pixels * 4; p += 4) {
        const unsigned a = p[3];
        for (int c = 0; c < 3; ++c)
            p[c] = StraightLevel(p[c], a);
    }
}

std::vector<std::uint8_t> StraightRgba(const CFrame& frame, const CFrameRect& rect)
{
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(rect.width) * rect.height * 4, 255);
    for (int y = 0; y < rect.height; ++y) {
        std::uint8_t* out = &rgba[static_cast<std::size_t>(y) * rect.width * 4];
        for (int x = 0; x < rect.width; ++x)
            std::memcpy(out + static_cast<std::size_t>(x) * 4, frame.TopDown(rect.x + x, rect.y + y), frame.channels);
    }
    if (frame.channels == 4)
        MakeStraight(rgba.data(), static_cast<std::size_t>(rect.width) * rect.height);
    return rgba;
}

std::unique_ptr<COutput> MakeOutput(const OutputRequest& request)
{
    switch (request.picture.kind) {
    case PictureName::Kind::Webp:
        return MakeWebpOutput(request);
    case PictureName::Kind::Mp4:
        return MakeMp4Output(request);
    case PictureName::Kind::Gif:
        return MakeGifOutput(request);
    case PictureName::Kind::Webm:
        return MakeWebmOutput(request);
    case PictureName::Kind::Png:
    case PictureName::Kind::Sequence:
        break;
    }
    return MakePngOutput(request);
}

void CKeptFrames::Keep(const CFrame& frame)
{
    auto kept = std::make_shared<const CFrame>(frame);
    const std::lock_guard lock(m_mutex);
    m_frames.resize(std::max<std::size_t>(m_frames.size(), static_cast<std::size_t>(frame.index) + 1));
    m_frames[static_cast<std::size_t>(frame.index)] = std::move(kept);
}

std::vector<const CFrame*> CKeptFrames::InOrder() const
{
    const std::lock_guard lock(m_mutex);
    std::vector<const CFrame*> frames;
    for (const auto& frame : m_frames)
        if (frame)
            frames.push_back(frame.get());
    return frames;
}
