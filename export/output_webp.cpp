// The animated WebP, written as its frames come. libwebp encodes each frame: the first whole,
// each later one as the rectangle where it differs from the one before, with the pixels that
// stayed the same made transparent so that the frame below shows through. Lossless unless a
// quality is given. The container around the frames (a few chunk headers, RIFF) is written
// here, since libwebp's animation encoder and muxer hold the whole file in memory, and
// frames written one by one can be encoded several at once.
#include "export/little_endian.h"
#include "export/outputs.h"
#include "core/files.h"
#include "os/end_signals.h"

#include <webp/encode.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>

namespace {

void PutChunkHeader(std::vector<std::uint8_t>& out, const char* fourCc, std::uint32_t size)
{
    out.insert(out.end(), fourCc, fourCc + 4);
    PutLittleEndian(out, size, 4);
}

// The part of frame that differs from previous, its left and top edges on even pixels (the
// container keeps them halved); 2 x 2 at the corner, all of it transparent, when none does.
CFrameRect WebpRect(const CFrame& previous, const CFrame& frame)
{
    CFrameRect rect = ChangedRect(previous, frame);
    if (rect.Empty())
        return {0, 0, std::min(2, frame.width), std::min(2, frame.height)};
    rect.width += rect.x % 2;
    rect.height += rect.y % 2;
    rect.x -= rect.x % 2;
    rect.y -= rect.y % 2;
    return rect;
}

// How a frame is encoded: lossless, with near_lossless below 100 letting its colours move by
// as much as keeps edges unseen (100 is exact, 0 the most), or lossy at quality 0 to 100.
struct WebpStep {
    int quality = -1;  // -1: lossless
    int nearLossless = 100;

    std::string Said() const
    {
        return quality >= 0         ? "quality " + std::to_string(quality)
               : nearLossless < 100 ? "near-lossless " + std::to_string(nearLossless)
                                    : "lossless";
    }
};

class CWebpOutput : public CAnimationOutput {
public:
    using CAnimationOutput::CAnimationOutput;

    std::string Prepare(const CFrame* previous, const CFrame& frame, std::vector<std::uint8_t>& prepared) override
    {
        // A sticker's frames are kept, and encoded at the end at the quality that fits.
        if (m_request.mostBytes > 0) {
            m_kept.Keep(frame);
            return {};
        }
        return Encode(previous, frame, WebpStep{m_request.quality}, prepared);
    }

    std::string Write(const CFrame& frame, std::vector<std::uint8_t>& prepared) override
    {
        if (m_request.mostBytes > 0)
            return {};
        std::vector<std::uint8_t> bytes;
        if (std::string error = Lay(frame.index, prepared, bytes); !error.empty())
            return error;
        std::FILE* out = Stream();
        if (!out)
            return Failure(std::strerror(errno));
        if (std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size())
            return Failure(std::strerror(errno));
        return {};
    }

    std::string Finish() override
    {
        if (m_request.mostBytes > 0)
            return FinishFitted();
        return Close();
    }

    std::string Made() const override { return m_made; }

private:
    static constexpr std::uint8_t kAnimation = 0x02;
    static constexpr std::uint8_t kAlpha = 0x10;

    // Encodes frame as step says: a still picture as libwebp's own file, an animation's frame
    // as the rectangle where it differs from previous, with its frame header.
    std::string Encode(const CFrame* previous, const CFrame& frame, const WebpStep& step,
                       std::vector<std::uint8_t>& prepared) const
    {
        const bool still = m_request.still;
        const CFrameRect rect = previous && !still ? WebpRect(*previous, frame)
                                                   : CFrameRect{0, 0, frame.width, frame.height};
        WebPConfig config;
        WebPPicture picture;
        if (!WebPConfigInit(&config) || !WebPPictureInit(&picture))
            return Failure("the WebP library is not the one Lumetta was built with");
        if (step.quality < 0) {
            // Lossless, with little effort spent on squeezing: a greeting of a few seconds is
            // made in seconds rather than minutes. One still picture is worth the most.
            WebPConfigLosslessPreset(&config, still ? 6 : 1);
            config.near_lossless = step.nearLossless;
        } else {
            config.quality = static_cast<float>(step.quality);
            // What stays the same shows through, so transparency must stay exact.
            config.alpha_quality = 100;
        }
        picture.use_argb = 1;
        picture.width = rect.width;
        picture.height = rect.height;
        // A transparent frame's rectangle is laid in as it is, its transparency too; an opaque
        // one's unchanged pixels are left transparent, to show the frame below.
        const std::vector<std::uint8_t> rgba = frame.channels == 4 ? StraightRgba(frame, rect)
                                                                   : RgbaOverPrevious(previous, frame, rect);
        if (!WebPPictureImportRGBA(&picture, rgba.data(), rect.width * 4))
            return Failure("out of memory for a frame");
        WebPMemoryWriter encoded;
        WebPMemoryWriterInit(&encoded);
        picture.writer = WebPMemoryWrite;
        picture.custom_ptr = &encoded;
        const bool ok = WebPEncode(&config, &picture) != 0;
        const WebPEncodingError error = picture.error_code;
        WebPPictureFree(&picture);
        if (!ok) {
            WebPMemoryWriterClear(&encoded);
            return Failure("the WebP encoder failed (error " + std::to_string(error) + ")");
        }
        if (still) {
            prepared.assign(encoded.mem, encoded.mem + encoded.size);
            WebPMemoryWriterClear(&encoded);
            return {};
        }
        // The frame's own chunks (ALPH and VP8, or VP8L) follow the RIFF header and any VP8X.
        std::size_t at = 12;
        if (encoded.size >= at + 8 && std::memcmp(encoded.mem + at, "VP8X", 4) == 0)
            at += 8 + GetLittleEndian(encoded.mem + at + 4, 4);
        prepared.clear();
        // Each frame lasts as the rate says, in whole milliseconds: 50 at the scene's 20.
        const int milliseconds = 1000 / m_request.framesPerSecond;
        for (const int value : {rect.x / 2, rect.y / 2, rect.width - 1, rect.height - 1, milliseconds})
            PutLittleEndian(prepared, static_cast<std::uint32_t>(value), 3);
        // The first frame covers the canvas; every later one is laid over the one before, or
        // with transparency of its own takes the place of what was there.
        const std::uint8_t doNotBlend = 0x02;
        prepared.push_back(previous && frame.channels != 4 ? 0 : doNotBlend);
        prepared.insert(prepared.end(), encoded.mem + std::min(at, encoded.size), encoded.mem + encoded.size);
        WebPMemoryWriterClear(&encoded);
        return {};
    }

    // The bytes of the file that frame index adds: a still picture whole; an animation's
    // frame in its chunk, after the file's header for the first.
    std::string Lay(int index, const std::vector<std::uint8_t>& prepared, std::vector<std::uint8_t>& bytes)
    {
        if (m_request.still) {
            bytes = prepared;
            m_size = prepared.size();
            return {};
        }
        bytes.clear();
        if (index == 0) {
            bytes.insert(bytes.end(), {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'});
            PutChunkHeader(bytes, "VP8X", 10);
            bytes.push_back(kAnimation | (m_request.frames > 1 || m_request.transparent ? kAlpha : 0));
            bytes.insert(bytes.end(), 3, 0);
            PutLittleEndian(bytes, static_cast<std::uint32_t>(m_request.width - 1), 3);
            PutLittleEndian(bytes, static_cast<std::uint32_t>(m_request.height - 1), 3);
            PutChunkHeader(bytes, "ANIM", 6);
            // The background a viewer may clear to: white, as libwebp's own, or nothing at all.
            PutLittleEndian(bytes, m_request.transparent ? 0x00000000 : 0xFFFFFFFF, 4);
            PutLittleEndian(bytes, 0, 2);  // loop for ever
        }
        PutChunkHeader(bytes, "ANMF", static_cast<std::uint32_t>(prepared.size()));
        bytes.insert(bytes.end(), prepared.begin(), prepared.end());
        if (prepared.size() % 2 != 0)
            bytes.push_back(0);
        m_size += bytes.size();
        // RIFF counts its size in 32 bits.
        if (m_size > 0xFFFFFFF0u)
            return Failure("an animation this long is larger than a WebP file can be (4 GiB)");
        return {};
    }

    // After the last frame: an animation's RIFF size, now that it is known; the stream is
    // flushed and closed with the file.
    std::string Close()
    {
        if (m_size == 0)
            return Failure("no frames");
        if (m_request.still)
            return {};
        std::vector<std::uint8_t> size;
        PutLittleEndian(size, static_cast<std::uint32_t>(m_size - 8), 4);
        std::FILE* out = Stream();
        if (std::fseek(out, 4, SEEK_SET) != 0 || std::fwrite(size.data(), 1, 4, out) != 4)
            return Failure(std::strerror(errno));
        return {};
    }

    // The whole file of frames, each encoded as step says.
    std::string EncodeAll(const std::vector<const CFrame*>& frames, const WebpStep& step,
                          std::vector<std::uint8_t>& file)
    {
        file.clear();
        m_size = 0;
        std::vector<std::uint8_t> prepared, bytes;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            // Ctrl+C is heard between frames, not after every quality has been tried.
            if (CEndSignals::Caught() != 0)
                return Failure("interrupted");
            const CFrame* previous = i > 0 ? frames[i - 1] : nullptr;
            std::string error = Encode(previous, *frames[i], step, prepared);
            if (error.empty())
                error = Lay(static_cast<int>(i), prepared, bytes);
            if (!error.empty())
                return error;
            file.insert(file.end(), bytes.begin(), bytes.end());
        }
        if (!m_request.still && file.size() >= 8) {
            std::vector<std::uint8_t> size;
            PutLittleEndian(size, static_cast<std::uint32_t>(file.size() - 8), 4);
            std::copy(size.begin(), size.end(), file.begin() + 4);
        }
        return {};
    }

    // A sticker: the frames kept, encoded whole at the best quality whose file fits in the
    // sticker's bytes, lossless the best; written once found. A file is smaller at a lower
    // quality, so the best that fits is halved for, a few encodings rather than all.
    std::string FinishFitted()
    {
        // A still sticker keeps its one frame, the last of those drawn.
        const std::vector<const CFrame*> frames = m_kept.InOrder();
        // A still picture takes the steps between lossless and lossy too: near-lossless keeps
        // edges and alpha exact to the eye where lossy would blur the small stars, and a still
        // sticker is worth the few seconds they take.
        static const std::vector<WebpStep> kMoving = {{-1}, {90}, {80}, {70}, {60}, {50}, {40}, {30}, {20}, {10}, {0}};
        static const std::vector<WebpStep> kStill = {{-1}, {-1, 80}, {-1, 60}, {-1, 40}, {-1, 20}, {100},
                                                     {95}, {90},     {80},     {70},     {60},     {50},
                                                     {40}, {30},     {20},     {10},     {0}};
        const std::vector<WebpStep>& steps = m_request.still ? kStill : kMoving;
        std::vector<std::uint8_t> file, fitting, smallest;
        int best = -1;  // the index in steps of the best step found to fit
        int low = 0, high = static_cast<int>(steps.size()) - 1;
        while (low <= high) {
            const int middle = (low + high) / 2;
            if (std::string error = EncodeAll(frames, steps[middle], file); !error.empty())
                return error;
            if (file.size() <= static_cast<std::size_t>(m_request.mostBytes)) {
                best = middle;
                fitting.swap(file);
                high = middle - 1;
            } else {
                if (smallest.empty() || file.size() < smallest.size())
                    smallest.swap(file);
                low = middle + 1;
            }
        }
        if (best < 0)
            return Failure(m_request.stickerWhat + " holds at most " + std::to_string(m_request.mostBytes) +
                           " bytes, and at the lowest quality this one takes " + std::to_string(smallest.size()));
        std::FILE* out = Stream();
        if (!out || std::fwrite(fitting.data(), 1, fitting.size(), out) != fitting.size())
            return Failure(std::strerror(errno));
        const std::string how = steps[best].Said();
        // Each frame lasts whole milliseconds, as the file says.
        const int frameMilliseconds = 1000 / m_request.framesPerSecond;
        const double seconds = static_cast<double>(frames.size()) * frameMilliseconds / 1000.0;
        char made[320];
        if (m_request.still)
            (void)std::snprintf(made, sizeof made,
                                "%s: %s, %dx%d, a still WebP with transparency, %zu bytes (at most %ld), %s",
                                ShownName(m_request.name).c_str(), m_request.stickerWhat.c_str(), m_request.width,
                                m_request.height, fitting.size(), m_request.mostBytes, how.c_str());
        else
            (void)std::snprintf(made, sizeof made,
                                "%s: %s, %dx%d, an animated WebP with transparency, %zu frames at %d a second "
                                "(%.2f s), %zu bytes (at most %ld), %s",
                                ShownName(m_request.name).c_str(), m_request.stickerWhat.c_str(), m_request.width,
                                m_request.height, frames.size(), m_request.framesPerSecond, seconds, fitting.size(),
                                m_request.mostBytes, how.c_str());
        m_made = made;
        return {};
    }

    std::uint64_t m_size = 0;
    CKeptFrames m_kept;
    std::string m_made;
};

}  // namespace

std::unique_ptr<COutput> MakeWebpOutput(const OutputRequest& request)
{
    return std::make_unique<CWebpOutput>(request);
}
