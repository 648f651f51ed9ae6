// The GIF: 256 colours at most, so each frame gets a palette of its own, chosen by
// libimagequant and dithered. The first frame is whole; each later one is the rectangle
// where it differs from the one before, its unchanged pixels transparent so that the frame
// below shows through. giflib writes the file. It loops for ever, 5 centiseconds a frame:
// the 50 ms tick exactly.
#include "export/little_endian.h"
#include "export/outputs.h"
#include "view/scene.h"
#include "view/scene_start.h"

#include <dlfcn.h>
#include <gif_lib.h>
#include <libimagequant.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kNoTransparency = 0xFFFF;

// libimagequant shares a frame's work among OpenMP threads, as many as there are processors
// unless the calling thread says otherwise; each thread that prepares frames has a team of
// its own. Where memory is short the plan asks for fewer. Without OpenMP, nothing to say.
void LimitQuantiserThreads(int threads)
{
    if (threads <= 0)
        return;
    using SetThreads = void (*)(int);
    static const auto set = reinterpret_cast<SetThreads>(::dlsym(RTLD_DEFAULT, "omp_set_num_threads"));
    thread_local int told = 0;
    if (set && told != threads) {
        set(threads);
        told = threads;
    }
}

// A GIF holds one level of transparency: a pixel at least half covered (kHalfCovered) is
// shown whole, in its straight colour, and any other not at all.

// The smallest rectangle holding every pixel of a transparent frame that a GIF shows; one
// pixel at the corner when there is none.
CFrameRect CoveredRect(const CFrame& frame)
{
    int left = frame.width, top = frame.height, right = -1, bottom = -1;
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            if (frame.TopDown(x, y)[3] < kHalfCovered)
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0)
        return {0, 0, 1, 1};
    return {left, top, right + 1 - left, bottom + 1 - top};
}

// The rectangle rect of a transparent frame as RGBA with one bit of alpha; transparent says
// whether any pixel is left out.
std::vector<std::uint8_t> OneBitAlpha(const CFrame& frame, const CFrameRect& rect, bool& transparent)
{
    std::vector<std::uint8_t> rgba = StraightRgba(frame, rect);
    transparent = false;
    for (std::size_t p = 0; p < rgba.size(); p += 4) {
        if (rgba[p + 3] >= kHalfCovered) {
            rgba[p + 3] = 255;
        } else {
            std::fill(&rgba[p], &rgba[p] + 4, 0);
            transparent = true;
        }
    }
    return rgba;
}

// A prepared frame: its rectangle, transparent index, palette and pixel indices.
constexpr std::size_t kHeaderBytes = 12;

class CGifOutput : public CAnimationOutput {
public:
    using CAnimationOutput::CAnimationOutput;

    ~CGifOutput() override
    {
        // A file given up: giflib's state goes, and the end it would write goes nowhere.
        m_bGivenUp = true;
        if (m_gif)
            EGifCloseFile(m_gif, nullptr);
    }

    std::string Prepare(const CFrame* previous, const CFrame& frame, std::vector<std::uint8_t>& prepared) override
    {
        bool anySame = false;  // pixels left transparent
        std::vector<std::uint8_t> rgba;
        CFrameRect rect;
        if (frame.channels == 4) {
            rect = CoveredRect(frame);
            rgba = OneBitAlpha(frame, rect, anySame);
        } else {
            rect = previous ? ChangedRect(*previous, frame) : CFrameRect{0, 0, frame.width, frame.height};
            // A frame that changed nothing is one transparent pixel, for its time.
            if (rect.Empty())
                rect = {0, 0, 1, 1};
            rgba = RgbaOverPrevious(previous, frame, rect, &anySame);
        }
        LimitQuantiserThreads(m_request.encoderThreads);
        liq_attr* attributes = liq_attr_create();
        if (!attributes)
            return Failure("out of memory");
        // A little of the quantiser's best search is given up for speed; the palette is as good.
        liq_set_speed(attributes, 7);
        liq_set_quality(attributes, 0, m_request.quality < 0 ? 100 : m_request.quality);
        liq_image* image = liq_image_create_rgba(attributes, rgba.data(), rect.width, rect.height, 0);
        liq_result* result = nullptr;
        std::string error;
        if (!image || liq_image_quantize(image, attributes, &result) != LIQ_OK) {
            error = Failure("cannot choose the colours of a frame");
        } else {
            liq_set_dithering_level(result, 1.0f);
            const std::size_t pixels = static_cast<std::size_t>(rect.width) * rect.height;
            const liq_palette* palette = liq_get_palette(result);
            prepared.assign(kHeaderBytes, 0);
            prepared.reserve(kHeaderBytes + std::size_t{palette->count} * 3 + pixels);
            int transparent = kNoTransparency;
            for (unsigned i = 0; i < palette->count; ++i) {
                const liq_color& c = palette->entries[i];
                prepared.insert(prepared.end(), {c.r, c.g, c.b});
                if (anySame && c.a == 0 && transparent == kNoTransparency)
                    transparent = static_cast<int>(i);
            }
            std::vector<std::uint8_t> header;
            for (const int value :
                 {rect.x, rect.y, rect.width, rect.height, transparent, static_cast<int>(palette->count)})
                PutLittleEndian(header, static_cast<std::uint32_t>(value), 2);
            std::copy(header.begin(), header.end(), prepared.begin());
            prepared.resize(prepared.size() + pixels);
            if (liq_write_remapped_image(result, image, prepared.data() + prepared.size() - pixels, pixels) != LIQ_OK)
                error = Failure("cannot map the colours of a frame");
        }
        if (result)
            liq_result_destroy(result);
        if (image)
            liq_image_destroy(image);
        liq_attr_destroy(attributes);
        return error;
    }

    std::string Write(const CFrame& frame, std::vector<std::uint8_t>& prepared) override
    {
        const std::uint8_t* header = prepared.data();
        const auto field = [&](std::size_t i) { return static_cast<int>(GetLittleEndian(header + 2 * i, 2)); };
        const int x = field(0), y = field(1), width = field(2), height = field(3);
        const int transparent = field(4), colours = field(5);
        // A colour map holds a power of two colours, 2 at least; the rest stay black.
        int size = 2;
        while (size < colours)
            size *= 2;
        std::vector<GifColorType> table(static_cast<std::size_t>(size), GifColorType{0, 0, 0});
        const std::uint8_t* rgb = header + kHeaderBytes;
        for (std::size_t i = 0; i < static_cast<std::size_t>(colours); ++i)
            table[i] = {rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]};
        ColorMapObject* map = GifMakeMapObject(size, table.data());
        if (!map)
            return Failure("out of memory");
        std::string error;
        if (frame.index == 0)
            error = Open(map);
        GraphicsControlBlock control{};
        // An opaque frame stays for the next to be laid over; a transparent one is cleared, so
        // that what it covered and the next does not shows through again.
        control.DisposalMode = m_request.transparent ? DISPOSE_BACKGROUND : DISPOSE_DO_NOT;
        control.DelayTime = kFrameMilliseconds / 10;
        control.TransparentColor = transparent == kNoTransparency ? NO_TRANSPARENT_COLOR : transparent;
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        // The first frame's colours are the file's own; each later frame brings its own.
        if (error.empty() &&
            (EGifPutExtension(m_gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_ERROR ||
             EGifPutImageDesc(m_gif, x, y, width, height, false, frame.index == 0 ? nullptr : map) == GIF_ERROR))
            error = GifFailure();
        GifPixelType* pixels = prepared.data() + kHeaderBytes + static_cast<std::size_t>(colours) * 3;
        for (int row = 0; error.empty() && row < height; ++row) {
            if (EGifPutLine(m_gif, pixels + static_cast<std::size_t>(row) * width, width) == GIF_ERROR)
                error = GifFailure();
        }
        GifFreeMapObject(map);
        return error;
    }

    std::string Finish() override
    {
        if (!m_gif)
            return Failure("no frames");
        // Its end; the stream is flushed and closed with the file.
        int code = 0;
        const bool ended = EGifCloseFile(m_gif, &code) == GIF_OK;
        m_gif = nullptr;
        if (m_nWriteError != 0)
            return Failure(std::strerror(m_nWriteError));
        return ended ? std::string() : Failure(GifErrorString(code));
    }

private:
    std::string GifFailure() const
    {
        // giflib says a failed write as such; the system said why.
        if (m_nWriteError != 0)
            return Failure(std::strerror(m_nWriteError));
        return Failure(m_gif ? GifErrorString(m_gif->Error) : "cannot start a GIF");
    }

    // giflib's writes, through the output's stream, so that a failed one keeps the system's
    // reason.
    static int WriteBytes(GifFileType* gif, const GifByteType* bytes, int length)
    {
        auto* self = static_cast<CGifOutput*>(gif->UserData);
        if (self->m_bGivenUp)
            return length;
        const std::size_t written = std::fwrite(bytes, 1, static_cast<std::size_t>(length), self->Stream());
        if (written != static_cast<std::size_t>(length) && self->m_nWriteError == 0)
            self->m_nWriteError = errno;
        return static_cast<int>(written);
    }

    // The file's header: the screen with the first frame's colours, and the loop for ever.
    std::string Open(const ColorMapObject* colours)
    {
        if (!Stream())
            return Failure(std::strerror(errno));
        int code = 0;
        m_gif = EGifOpen(this, WriteBytes, &code);
        if (!m_gif)
            return Failure(GifErrorString(code));
        EGifSetGifVersion(m_gif, true);
        static const char kLoop[] = "NETSCAPE2.0";
        const GifByteType forEver[] = {1, 0, 0};
        if (EGifPutScreenDesc(m_gif, m_request.width, m_request.height, 8, 0, colours) == GIF_ERROR ||
            EGifPutExtensionLeader(m_gif, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
            EGifPutExtensionBlock(m_gif, 11, kLoop) == GIF_ERROR ||
            EGifPutExtensionBlock(m_gif, 3, forEver) == GIF_ERROR || EGifPutExtensionTrailer(m_gif) == GIF_ERROR)
            return GifFailure();
        return {};
    }

    GifFileType* m_gif = nullptr;
    int m_nWriteError = 0;  // the system's reason for the first write that failed
    bool m_bGivenUp = false;
};

}  // namespace

std::unique_ptr<COutput> MakeGifOutput(const OutputRequest& request)
{
    return std::make_unique<CGifOutput>(request);
}
