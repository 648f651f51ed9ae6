// The GIF: 256 colours at most, so each frame gets a palette of its own, chosen by
// libimagequant and dithered. The first frame is whole; each later one is the rectangle
// where it differs from the one before, its unchanged pixels transparent so that the frame
// below shows through. giflib writes the file. It loops for ever, 5 centiseconds a frame:
// the 50 ms tick exactly.
//
// A transparent frame can only add to what is shown, so where a pixel shown by one frame is
// clear in the next, the first is shown for 3 centiseconds and then, for the other 2, an
// image that draws nothing and is cleared afterwards takes the smallest rectangle around
// such pixels away. The next frame draws again what it covers inside that rectangle. The
// loop's first frame follows its last in the same way.
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

// The smallest rectangle around the pixels of a frame for which inside(x, y) holds; empty
// when there is none.
template <typename Inside>
CFrameRect Around(int width, int height, Inside inside)
{
    int left = width, top = height, right = -1, bottom = -1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!inside(x, y))
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0)
        return {};
    return {left, top, right + 1 - left, bottom + 1 - top};
}

bool Shown(const CFrame& frame, int x, int y)
{
    return frame.TopDown(x, y)[3] >= kHalfCovered;
}

bool Inside(const CFrameRect& rect, int x, int y)
{
    return x >= rect.x && x < rect.x + rect.width && y >= rect.y && y < rect.y + rect.height;
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

// What a transparent frame draws over the one before: cleared, the rectangle around what the
// one before showed and this one does not, to be taken away first; then the pixels it shows
// that differ, or that lie in cleared, the others left out. The first frame draws all it
// shows.
std::vector<std::uint8_t> TransparentChange(const CFrame* previous, const CFrame& frame, CFrameRect& cleared,
                                            CFrameRect& rect, bool& transparent)
{
    const CFrameRect whole{0, 0, frame.width, frame.height};
    bool any = false;
    const std::vector<std::uint8_t> now = OneBitAlpha(frame, whole, any);
    std::vector<std::uint8_t> before;
    if (previous)
        before = OneBitAlpha(*previous, whole, any);
    cleared = before.empty() ? CFrameRect{} : Around(frame.width, frame.height, [&](int x, int y) {
        const std::size_t p = (static_cast<std::size_t>(y) * frame.width + x) * 4;
        return before[p + 3] != 0 && now[p + 3] == 0;
    });
    const auto drawn = [&](int x, int y) {
        const std::size_t p = (static_cast<std::size_t>(y) * frame.width + x) * 4;
        return now[p + 3] != 0 && (before.empty() || Inside(cleared, x, y) || std::memcmp(&now[p], &before[p], 4) != 0);
    };
    rect = Around(frame.width, frame.height, drawn);
    // A frame that draws nothing is one transparent pixel, for its time.
    if (rect.Empty())
        rect = {0, 0, 1, 1};
    std::vector<std::uint8_t> rgba;
    rgba.reserve(static_cast<std::size_t>(rect.width) * rect.height * 4);
    transparent = false;
    for (int y = rect.y; y < rect.y + rect.height; ++y) {
        for (int x = rect.x; x < rect.x + rect.width; ++x) {
            const std::size_t p = (static_cast<std::size_t>(y) * frame.width + x) * 4;
            if (drawn(x, y)) {
                rgba.insert(rgba.end(), &now[p], &now[p] + 4);
            } else {
                rgba.insert(rgba.end(), 4, 0);
                transparent = true;
            }
        }
    }
    return rgba;
}

// A prepared frame: its rectangle, transparent index, the number of its colours and the
// rectangle to clear before it, two bytes each; then its palette and pixel indices.
constexpr std::size_t kHeaderBytes = 20;
constexpr std::size_t kColoursField = 5;  // the field that says how many colours

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
        CFrameRect cleared;
        if (frame.channels == 4) {
            rgba = TransparentChange(previous, frame, cleared, rect, anySame);
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
                 {rect.x, rect.y, rect.width, rect.height, transparent, static_cast<int>(palette->count), cleared.x,
                  cleared.y, cleared.width, cleared.height})
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
        // Each frame is written once the next is known, which may have to clear some of it.
        std::string error;
        if (frame.index == 0) {
            ColorMapObject* map = ColourMap(prepared);
            if (!map)
                return Failure("out of memory");
            error = Open(map);
            GifFreeMapObject(map);
        } else {
            error = WriteFrame(m_pending, Rect(prepared, 6));
        }
        // The loop's first frame follows the last: only those two are asked what they show.
        if (frame.channels == 4 && (frame.index == 0 || frame.index + 1 >= m_request.frames))
            FindLoopClearing(frame);
        m_pending.swap(prepared);
        return error;
    }

    std::string Finish() override
    {
        if (!m_gif)
            return Failure("no frames");
        if (std::string error = WriteFrame(m_pending, m_loopClearing); !error.empty())
            return error;
        // Its end; the stream is flushed and closed with the file.
        int code = 0;
        const bool ended = EGifCloseFile(m_gif, &code) == GIF_OK;
        m_gif = nullptr;
        if (m_nWriteError != 0)
            return Failure(std::strerror(m_nWriteError));
        return ended ? std::string() : Failure(GifErrorString(code));
    }

private:
    // Two bytes of a prepared frame's header from the field at, a rectangle from four.
    static int Field(const std::vector<std::uint8_t>& prepared, std::size_t at)
    {
        return static_cast<int>(GetLittleEndian(prepared.data() + 2 * at, 2));
    }
    static CFrameRect Rect(const std::vector<std::uint8_t>& prepared, std::size_t at)
    {
        return {Field(prepared, at), Field(prepared, at + 1), Field(prepared, at + 2), Field(prepared, at + 3)};
    }

    // A prepared frame's colours as giflib's map, a power of two of them, 2 at least, the rest
    // black; null when out of memory.
    static ColorMapObject* ColourMap(const std::vector<std::uint8_t>& prepared)
    {
        const int colours = Field(prepared, kColoursField);
        int size = 2;
        while (size < colours)
            size *= 2;
        std::vector<GifColorType> table(static_cast<std::size_t>(size), GifColorType{0, 0, 0});
        const std::uint8_t* rgb = prepared.data() + kHeaderBytes;
        for (std::size_t i = 0; i < static_cast<std::size_t>(colours); ++i)
            table[i] = {rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]};
        return GifMakeMapObject(size, table.data());
    }

    // What is shown when the loop comes round to its first frame again after frame: the
    // rectangle around what frame shows and the first does not, to be cleared after the last.
    void FindLoopClearing(const CFrame& frame)
    {
        if (frame.index == 0)
            m_firstShown.assign(static_cast<std::size_t>(frame.width) * frame.height, false);
        for (int y = 0; frame.index == 0 && y < frame.height; ++y) {
            for (int x = 0; x < frame.width; ++x)
                m_firstShown[static_cast<std::size_t>(y) * frame.width + x] = Shown(frame, x, y);
        }
        m_loopClearing = Around(frame.width, frame.height, [&](int x, int y) {
            return Shown(frame, x, y) && !m_firstShown[static_cast<std::size_t>(y) * frame.width + x];
        });
    }

    // One prepared frame, for its time; with cleared, it shows for 3 centiseconds, and an
    // image that draws nothing holds it for the other 2 and then clears that rectangle.
    std::string WriteFrame(std::vector<std::uint8_t>& prepared, const CFrameRect& cleared)
    {
        const int transparent = Field(prepared, 4);
        const CFrameRect rect = Rect(prepared, 0);
        constexpr int kHeld = 2;
        const int time = kFrameMilliseconds / 10;
        std::string error =
            WriteImage(rect, transparent, cleared.Empty() ? time : time - kHeld, m_bFirstWritten ? &prepared : nullptr,
                       prepared.data() + kHeaderBytes + static_cast<std::size_t>(Field(prepared, kColoursField)) * 3);
        m_bFirstWritten = true;
        if (error.empty() && !cleared.Empty()) {
            // Colours of its own, two: giflib forgets, unfreed, the last image's colours when
            // an image comes with none.
            std::vector<std::uint8_t> twoColours(kHeaderBytes + std::size_t{2} * 3, 0);
            twoColours[std::size_t{2} * kColoursField] = 2;
            std::vector<std::uint8_t> nothing(static_cast<std::size_t>(cleared.width) * cleared.height, 0);
            error = WriteImage(cleared, 0, kHeld, &twoColours, nothing.data(), DISPOSE_BACKGROUND);
        }
        return error;
    }

    // An image of rect, its pixel indices in pixels, shown for time centiseconds with index
    // transparent left out (kNoTransparency: none), then left as it is or disposed; in the
    // prepared frame's own colours, or the file's when none.
    std::string WriteImage(const CFrameRect& rect, int transparent, int time, const std::vector<std::uint8_t>* colours,
                           GifPixelType* pixels, int disposal = DISPOSE_DO_NOT)
    {
        ColorMapObject* map = colours ? ColourMap(*colours) : nullptr;
        if (colours && !map)
            return Failure("out of memory");
        GraphicsControlBlock control{};
        control.DisposalMode = disposal;
        control.DelayTime = time;
        control.TransparentColor = transparent == kNoTransparency ? NO_TRANSPARENT_COLOR : transparent;
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        std::string error;
        if (EGifPutExtension(m_gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_ERROR ||
            EGifPutImageDesc(m_gif, rect.x, rect.y, rect.width, rect.height, false, map) == GIF_ERROR)
            error = GifFailure();
        for (int row = 0; error.empty() && row < rect.height; ++row) {
            if (EGifPutLine(m_gif, pixels + static_cast<std::size_t>(row) * rect.width, rect.width) == GIF_ERROR)
                error = GifFailure();
        }
        if (map)
            GifFreeMapObject(map);
        return error;
    }

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
    std::vector<std::uint8_t> m_pending;  // the frame prepared last, written when the next comes
    bool m_bFirstWritten = false;
    std::vector<bool> m_firstShown;  // the pixels the first frame shows
    CFrameRect m_loopClearing;       // what to clear after the last frame for the first to follow
    int m_nWriteError = 0;           // the system's reason for the first write that failed
    bool m_bGivenUp = false;
};

}  // namespace

std::unique_ptr<COutput> MakeGifOutput(const OutputRequest& request)
{
    return std::make_unique<CGifOutput>(request);
}
