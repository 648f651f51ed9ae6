// The animated WebP, written as its frames come. libwebp encodes each frame: the first whole,
// each later one as the rectangle where it differs from the one before, with the pixels that
// stayed the same made transparent so that the frame below shows through. Lossless unless a
// quality is given. The container around the frames (a few chunk headers, RIFF) is written
// here, since libwebp's animation encoder and muxer hold the whole file in memory, and
// frames written one by one can be encoded several at once.
#include "export/little_endian.h"
#include "export/outputs.h"
#include "export/shown_quality.h"
#include "core/files.h"
#include "os/end_signals.h"

#include <webp/decode.h>
#include <webp/encode.h>

#include <algorithm>
#include <cmath>
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

    // How far, as a mean squared error over the frame, laying a frame over what a viewer shows
    // may miss it where it cannot reach it exactly: a transparent edge that dims or takes
    // another colour. Not at all when lossless; at 2, some 45 dB, well above what lossy
    // steps lose, and laying over is most of a frame's bytes saved.
    double Tolerance() const { return quality < 0 ? (nearLossless == 100 ? 0 : 0.5) : 2; }

    std::string Said() const
    {
        return quality >= 0         ? "quality " + std::to_string(quality)
               : nearLossless < 100 ? "near-lossless " + std::to_string(nearLossless)
                                    : "lossless";
    }
};

// A sticker's steps, best first. A still picture takes the steps between lossless and lossy
// too: near-lossless keeps edges and alpha exact to the eye where lossy would blur the small
// stars, and a still sticker is worth the few seconds they take.
const std::vector<WebpStep> kMoving = {{-1}, {100}, {95}, {90}, {80}, {70}, {60}, {50}, {40}, {30}, {20}, {10}, {0}};
const std::vector<WebpStep> kStill = {{-1}, {-1, 80}, {-1, 60}, {-1, 40}, {-1, 20}, {100}, {95}, {90}, {80},
                                      {70}, {60},     {50},     {40},     {30},     {20},  {10}, {0}};

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

    // Runs of a moving sticker's frames, encoded at the least step that keeps them near enough
    // to what was drawn: the bytes a whole frame took and those each later one took on
    // average tell what the whole loop will take. Well over its bytes is refused now, seconds
    // in, rather than after every frame has been drawn and every step tried.
    std::string Probe(const std::vector<std::vector<const CFrame*>>& runs, int total) override
    {
        if (m_request.mostBytes == 0 || m_request.still || runs.empty())
            return {};
        // The steps are tried on every run at once, as one: each run's first frame is whole.
        const auto encodeRuns = [&](const WebpStep& step, double* psnr, double& whole, double& each) {
            std::vector<std::uint8_t> file, one;
            double worst = 99, wholeBytes = 0, laterBytes = 0, later = 0;
            for (const std::vector<const CFrame*>& run : runs) {
                double runPsnr = 0;
                std::string error = EncodeAll(run, step, file, psnr ? &runPsnr : nullptr);
                if (error.empty())
                    error = EncodeAll({run.front()}, step, one);
                if (!error.empty())
                    return error;
                worst = std::min(worst, runPsnr);
                wholeBytes += static_cast<double>(one.size());
                laterBytes += static_cast<double>(file.size()) - static_cast<double>(one.size());
                later += static_cast<double>(run.size() - 1);
            }
            if (psnr)
                *psnr = worst;
            whole = wholeBytes / static_cast<double>(runs.size());
            each = later > 0 ? std::max(0.0, laterBytes / later) : 0;
            return std::string();
        };
        int low = 0, high = static_cast<int>(kMoving.size()) - 1, least = -1;
        double whole = 0, each = 0;
        while (low <= high) {
            const int middle = (low + high) / 2;
            double psnr = 0, middleWhole = 0, middleEach = 0;
            if (std::string error = encodeRuns(kMoving[middle], &psnr, middleWhole, middleEach); !error.empty())
                return error;
            if (psnr >= kLeastStickerPsnr) {
                least = middle;
                whole = middleWhole;
                each = middleEach;
                low = middle + 1;
            } else {
                high = middle - 1;
            }
        }
        if (least < 0)
            return {};
        const double bytes = whole + each * (total - 1);
        // The first frames tell the rest only roughly: near the bytes, every frame is tried.
        if (bytes <= kProbeMargin * static_cast<double>(m_request.mostBytes))
            return {};
        char line[256];
        (void)std::snprintf(line, sizeof line,
                            " holds at most %ld bytes, and this one would take some %.0f at %s, the "
                            "least that keeps %.0f dB",
                            m_request.mostBytes, std::round(bytes / 1000) * 1000, kMoving[least].Said().c_str(),
                            kLeastStickerPsnr);
        return m_request.stickerWhat + line + (m_request.stickerAdvice.empty() ? "" : "; " + m_request.stickerAdvice);
    }

private:
    static constexpr std::uint8_t kAnimation = 0x02;
    static constexpr double kProbeMargin = 1.3;
    static constexpr std::uint8_t kAlpha = 0x10;

    // Encodes frame as step says: a still picture as libwebp's own file, an animation's frame
    // as the rectangle where it differs from previous, with its frame header. shown, when
    // given, is shown the frame as it decodes.
    std::string Encode(const CFrame* previous, const CFrame& frame, const WebpStep& step,
                       std::vector<std::uint8_t>& prepared, CShownQuality* shown = nullptr,
                       std::vector<std::uint8_t>* laid = nullptr) const
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
        bool laidOver = frame.channels != 4 && previous;
        const std::vector<std::uint8_t> rgba =
            frame.channels == 4 && !still
                ? TransparentOverPrevious(previous, frame, rect, laidOver, laid ? step.Tolerance() : 0, laid)
            : frame.channels == 4 ? StraightRgba(frame, rect)
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
        if (shown) {
            int width = 0, height = 0;
            std::uint8_t* decoded = WebPDecodeRGBA(encoded.mem, encoded.size, &width, &height);
            if (decoded && width == rect.width && height == rect.height)
                shown->Lay(frame, rect, decoded, laidOver);
            WebPFree(decoded);
            if (!decoded) {
                WebPMemoryWriterClear(&encoded);
                return Failure("the WebP library cannot read back what it wrote");
            }
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
        // takes the place of what was there where its transparency cannot be laid over it.
        const std::uint8_t doNotBlend = 0x02;
        prepared.push_back(laidOver ? 0 : doNotBlend);
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

    // The whole file of frames, each encoded as step says; psnr, when given, is how near it
    // shows them.
    std::string EncodeAll(const std::vector<const CFrame*>& frames, const WebpStep& step,
                          std::vector<std::uint8_t>& file, double* psnr = nullptr)
    {
        file.clear();
        m_size = 0;
        CShownQuality shown;
        std::vector<std::uint8_t> prepared, bytes, laid;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            // Ctrl+C is heard between frames, not after every quality has been tried.
            if (CEndSignals::Caught() != 0)
                return Failure("interrupted");
            const CFrame* previous = i > 0 ? frames[i - 1] : nullptr;
            std::string error = Encode(previous, *frames[i], step, prepared, psnr ? &shown : nullptr, &laid);
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
        if (psnr)
            *psnr = shown.Psnr();
        return {};
    }

    // A sticker: the frames kept, encoded whole at the best quality whose file fits in the
    // sticker's bytes, lossless the best; written once found. A file is smaller at a lower
    // quality, so the best that fits is halved for, a few encodings rather than all.
    std::string FinishFitted()
    {
        // A still sticker keeps its one frame, the last of those drawn.
        const std::vector<const CFrame*> frames = m_kept.InOrder();
        const std::vector<WebpStep>& steps = m_request.still ? kStill : kMoving;
        std::vector<std::uint8_t> file, fitting, smallest;
        int best = -1;  // the index in steps of the best step found to fit
        double bestPsnr = 0;
        int low = 0, high = static_cast<int>(steps.size()) - 1;
        while (low <= high) {
            const int middle = (low + high) / 2;
            double psnr = 0;
            if (std::string error = EncodeAll(frames, steps[middle], file, &psnr); !error.empty())
                return error;
            if (file.size() <= static_cast<std::size_t>(m_request.mostBytes)) {
                best = middle;
                bestPsnr = psnr;
                fitting.swap(file);
                high = middle - 1;
            } else {
                if (smallest.empty() || file.size() < smallest.size())
                    smallest.swap(file);
                low = middle + 1;
            }
        }
        // Smeared is not made: the line says what is, and what would fit.
        const std::string holds = m_request.stickerWhat + " holds at most " + std::to_string(m_request.mostBytes) +
                                  " bytes, and this one";
        const std::string advice = m_request.stickerAdvice.empty() ? "" : "; " + m_request.stickerAdvice;
        char psnr[32], least[32];
        (void)std::snprintf(psnr, sizeof psnr, "%.1f dB", bestPsnr);
        (void)std::snprintf(least, sizeof least, "%.0f dB", kLeastStickerPsnr);
        if (best < 0)
            return holds + " takes " + std::to_string(smallest.size()) + " even at the lowest quality" + advice;
        if (bestPsnr < kLeastStickerPsnr)
            return holds + " fits only at " + steps[best].Said() + ", " + psnr +
                   " from the frames drawn, too smeared " + "to make (" + least + " is the least)" + advice;
        std::FILE* out = Stream();
        if (!out || std::fwrite(fitting.data(), 1, fitting.size(), out) != fitting.size())
            return Failure(std::strerror(errno));
        const std::string how = steps[best].Said() + (bestPsnr >= 99 ? "" : ", " + std::string(psnr));
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
