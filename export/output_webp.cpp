// The animated WebP, written as its frames come. libwebp encodes each frame: the first whole,
// each later one as the rectangle where it differs from the one before, with the pixels that
// stayed the same made transparent so that the frame below shows through. Lossless unless a
// quality is given. The container around the frames (a few chunk headers, RIFF) is written
// here, since libwebp's animation encoder and muxer hold the whole file in memory, and
// frames written one by one can be encoded several at once.
#include "export/outputs.h"
#include "view/scene_start.h"

#include <webp/encode.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

void Put16(std::vector<std::uint8_t>& out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put24(std::vector<std::uint8_t>& out, unsigned value)
{
    Put16(out, value);
    out.push_back(static_cast<std::uint8_t>(value >> 16));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    Put16(out, value);
    Put16(out, value >> 16);
}

void PutChunkHeader(std::vector<std::uint8_t>& out, const char* fourCc, std::uint32_t size)
{
    out.insert(out.end(), fourCc, fourCc + 4);
    Put32(out, size);
}

std::uint32_t Get32(const std::uint8_t* in)
{
    return in[0] | in[1] << 8 | in[2] << 16 | static_cast<std::uint32_t>(in[3]) << 24;
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

class CWebpOutput : public CAnimationOutput {
public:
    using CAnimationOutput::CAnimationOutput;

    std::string Prepare(const CFrame* previous, const CFrame& frame, std::vector<std::uint8_t>& prepared) override
    {
        const CFrameRect rect = previous ? WebpRect(*previous, frame) : CFrameRect{0, 0, frame.width, frame.height};
        WebPConfig config;
        WebPPicture picture;
        if (!WebPConfigInit(&config) || !WebPPictureInit(&picture))
            return Failure("the WebP library is not the one Lumetta was built with");
        if (m_request.quality < 0) {
            // Lossless, with little effort spent on squeezing: a greeting of a few seconds is
            // made in seconds rather than minutes.
            WebPConfigLosslessPreset(&config, 1);
        } else {
            config.quality = static_cast<float>(m_request.quality);
            // What stays the same shows through, so transparency must stay exact.
            config.alpha_quality = 100;
        }
        picture.use_argb = 1;
        picture.width = rect.width;
        picture.height = rect.height;
        if (!WebPPictureAlloc(&picture))
            return Failure("out of memory for a frame");
        for (int y = 0; y < rect.height; ++y) {
            std::uint32_t* out = picture.argb + static_cast<std::size_t>(y) * picture.argb_stride;
            for (int x = 0; x < rect.width; ++x) {
                const std::uint8_t* p = frame.TopDown(rect.x + x, rect.y + y);
                const bool same = previous && std::memcmp(p, previous->TopDown(rect.x + x, rect.y + y), 3) == 0;
                out[x] = same ? 0u : 0xFF000000u | p[0] << 16 | p[1] << 8 | p[2];
            }
        }
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
        // The frame's own chunks (ALPH and VP8, or VP8L) follow the RIFF header and any VP8X.
        std::size_t at = 12;
        if (encoded.size >= at + 8 && std::memcmp(encoded.mem + at, "VP8X", 4) == 0)
            at += 8 + Get32(encoded.mem + at + 4);
        prepared.clear();
        Put24(prepared, static_cast<unsigned>(rect.x / 2));
        Put24(prepared, static_cast<unsigned>(rect.y / 2));
        Put24(prepared, static_cast<unsigned>(rect.width - 1));
        Put24(prepared, static_cast<unsigned>(rect.height - 1));
        Put24(prepared, kFrameMilliseconds);
        // The first frame covers the canvas; every later one is laid over the one before.
        const std::uint8_t doNotBlend = 0x02;
        prepared.push_back(previous ? 0 : doNotBlend);
        prepared.insert(prepared.end(), encoded.mem + std::min(at, encoded.size), encoded.mem + encoded.size);
        WebPMemoryWriterClear(&encoded);
        return {};
    }

    std::string Write(const CFrame& frame, std::vector<std::uint8_t>& prepared) override
    {
        std::vector<std::uint8_t> out;
        if (frame.index == 0) {
            m_out = std::fopen(TemporaryPath().c_str(), "wb");
            if (!m_out)
                return Failure(std::strerror(errno));
            out.insert(out.end(), {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'});
            PutChunkHeader(out, "VP8X", 10);
            out.push_back(kAnimation | (m_request.frames > 1 ? kAlpha : 0));
            out.insert(out.end(), 3, 0);
            Put24(out, static_cast<unsigned>(m_request.width - 1));
            Put24(out, static_cast<unsigned>(m_request.height - 1));
            PutChunkHeader(out, "ANIM", 6);
            Put32(out, 0xFFFFFFFF);  // background: white, as libwebp's own
            Put16(out, 0);           // loop for ever
        }
        PutChunkHeader(out, "ANMF", static_cast<std::uint32_t>(prepared.size()));
        out.insert(out.end(), prepared.begin(), prepared.end());
        if (prepared.size() % 2 != 0)
            out.push_back(0);
        m_size += out.size();
        // RIFF counts its size in 32 bits.
        if (m_size > 0xFFFFFFF0u)
            return Failure("an animation this long is larger than a WebP file can be (4 GiB)");
        if (std::fwrite(out.data(), 1, out.size(), m_out) != out.size())
            return Failure(std::strerror(errno));
        return {};
    }

    std::string Finish() override
    {
        if (!m_out)
            return Failure("no frames");
        std::vector<std::uint8_t> size;
        Put32(size, static_cast<std::uint32_t>(m_size - 8));
        const bool ok = std::fseek(m_out, 4, SEEK_SET) == 0 && std::fwrite(size.data(), 1, 4, m_out) == 4 &&
                        std::fflush(m_out) == 0;
        const int error = errno;
        const bool closed = std::fclose(m_out) == 0;
        m_out = nullptr;
        if (!ok || !closed)
            return Failure(std::strerror(ok ? errno : error));
        return {};
    }

    ~CWebpOutput() override
    {
        // A file given up: its temporary file goes with the output.
        if (m_out)
            (void)std::fclose(m_out);
    }

private:
    static constexpr std::uint8_t kAnimation = 0x02;
    static constexpr std::uint8_t kAlpha = 0x10;

    std::FILE* m_out = nullptr;
    std::uint64_t m_size = 0;
};

}  // namespace

std::unique_ptr<COutput> MakeWebpOutput(const OutputRequest& request)
{
    return std::make_unique<CWebpOutput>(request);
}
