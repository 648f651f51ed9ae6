// The animated WebP, written as its frames come. libwebp encodes each frame: the first whole,
// each later one as the rectangle where it differs from the one before, with the pixels that
// stayed the same made transparent so that the frame below shows through. Lossless unless a
// quality is given. The container around the frames (a few chunk headers, RIFF) is written
// here, since libwebp's animation encoder and muxer hold the whole file in memory, and
// frames written one by one can be encoded several at once.
#include "export/little_endian.h"
#include "export/outputs.h"
#include "view/scene_start.h"

#include <webp/encode.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

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

class CWebpOutput : public CAnimationOutput {
public:
    using CAnimationOutput::CAnimationOutput;

    std::string Prepare(const CFrame* previous, const CFrame& frame, std::vector<std::uint8_t>& prepared) override
    {
        const bool still = m_request.still;
        const CFrameRect rect = previous && !still ? WebpRect(*previous, frame)
                                                   : CFrameRect{0, 0, frame.width, frame.height};
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
        for (const int value : {rect.x / 2, rect.y / 2, rect.width - 1, rect.height - 1, kFrameMilliseconds})
            PutLittleEndian(prepared, static_cast<std::uint32_t>(value), 3);
        // The first frame covers the canvas; every later one is laid over the one before, or
        // with transparency of its own takes the place of what was there.
        const std::uint8_t doNotBlend = 0x02;
        prepared.push_back(previous && frame.channels != 4 ? 0 : doNotBlend);
        prepared.insert(prepared.end(), encoded.mem + std::min(at, encoded.size), encoded.mem + encoded.size);
        WebPMemoryWriterClear(&encoded);
        return {};
    }

    std::string Write(const CFrame& frame, std::vector<std::uint8_t>& prepared) override
    {
        std::FILE* out = Stream();
        if (!out)
            return Failure(std::strerror(errno));
        // A still picture is libwebp's own file, whole.
        if (m_request.still) {
            m_size = prepared.size();
            if (std::fwrite(prepared.data(), 1, prepared.size(), out) != prepared.size())
                return Failure(std::strerror(errno));
            return {};
        }
        std::vector<std::uint8_t> bytes;
        if (frame.index == 0) {
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
        if (std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size())
            return Failure(std::strerror(errno));
        return {};
    }

    std::string Finish() override
    {
        if (m_size == 0)
            return Failure("no frames");
        if (m_request.still)
            return {};
        // The RIFF size, now that it is known; the stream is flushed and closed with the file.
        std::vector<std::uint8_t> size;
        PutLittleEndian(size, static_cast<std::uint32_t>(m_size - 8), 4);
        std::FILE* out = Stream();
        if (std::fseek(out, 4, SEEK_SET) != 0 || std::fwrite(size.data(), 1, 4, out) != 4)
            return Failure(std::strerror(errno));
        return {};
    }

private:
    static constexpr std::uint8_t kAnimation = 0x02;
    static constexpr std::uint8_t kAlpha = 0x10;

    std::uint64_t m_size = 0;
};

}  // namespace

std::unique_ptr<COutput> MakeWebpOutput(const OutputRequest& request)
{
    return std::make_unique<CWebpOutput>(request);
}
