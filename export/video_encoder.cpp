// The video module. 4:2:0 keeps one colour for every 2 x 2 pixels. H.264 can hide only whole
// pairs of rows or columns: an odd side is encoded one pixel longer, the picture's last row or
// column repeated, and the MP4 gives the picture's own size as the video's, which browsers
// show, cutting the extra pixels off. VP9 encodes any size as it is.
#include "export/video_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/cpu.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// The quality a user gives, 0 to 100, as the encoder's constant rate factor (lower is
// better). x264's: 100 is 10, 0 is 40, and the default 80 is 16, at which frames decode
// within half a decibel of what their 4:2:0 colours allow (see the export benchmark) and a
// greeting stays small. VP9's runs from 0 to 63: 100 is 10, 0 is 63, 80 is 21.
constexpr int kDefaultQuality = 80;
double RateFactor(VideoCodec codec, int quality)
{
    if (codec == VideoCodec::Vp9)
        return std::round(63.0 - 0.53 * quality);
    return 40.0 - 0.3 * quality;
}

// Each codec's encoder, file format and names.
struct CodecNames {
    const char* encoder;
    const char* format;
    const char* name;  // in messages
};
CodecNames NamesOf(VideoCodec codec)
{
    if (codec == VideoCodec::Vp9)
        return {"libvpx-vp9", "webm", "VP9"};
    return {"libx264", "mp4", "H.264"};
}

std::string AvError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// A colour converter for the thread it is used on (swscale's are not shared), for one size
// and pair of formats, made anew when either changes, its colours set as it is made:
// full-range RGB to the limited-range BT.709 YUV that the stream says it holds.
struct CConverter {
    SwsContext* context = nullptr;
    int width = 0, height = 0;
    AVPixelFormat from = AV_PIX_FMT_NONE, to = AV_PIX_FMT_NONE;
    CConverter() = default;
    CConverter(const CConverter&) = delete;
    CConverter& operator=(const CConverter&) = delete;
    ~CConverter() { sws_freeContext(context); }

    // The converter for these, or null when swscale cannot make one.
    SwsContext* For(int w, int h, AVPixelFormat f, AVPixelFormat t)
    {
        if (context && w == width && h == height && f == from && t == to)
            return context;
        sws_freeContext(context);
        context = sws_getContext(w, h, f, w, h, t, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
        if (!context)
            return nullptr;
        width = w;
        height = h;
        from = f;
        to = t;
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(context, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
        return context;
    }
};

// Where the planes of a 4:2:0 picture (Y, U, V, and with alpha A) lie in its buffer, for
// swscale to write and the encoder to read: each plane starts on a 64-byte boundary and each
// row is padded to 64 bytes, with 64 bytes more at the end. swscale's vector code writes and
// reads whole vectors, past the end of a short row (a 3 x 3 picture's rows of colour hold two
// bytes) and of the last.
constexpr std::size_t kAlign = 64;
struct CPlanes {
    int count;  // 3, or 4 with alpha
    int linesize[4];
    std::size_t offset[4];
    std::size_t bytes;  // the buffer to hold them, with room to align its start
};

std::size_t Padded(std::size_t n)
{
    return (n + kAlign - 1) / kAlign * kAlign;
}

CPlanes PlanesOf(int width, int height, bool alpha)
{
    CPlanes planes{};
    planes.count = alpha ? 4 : 3;
    const int chromaWidth = (width + 1) / 2, chromaHeight = (height + 1) / 2;
    const int widths[] = {width, chromaWidth, chromaWidth, width};
    const int heights[] = {height, chromaHeight, chromaHeight, height};
    std::size_t at = 0;
    for (int i = 0; i < planes.count; ++i) {
        planes.linesize[i] = static_cast<int>(Padded(static_cast<std::size_t>(widths[i])));
        planes.offset[i] = at;
        at += Padded(static_cast<std::size_t>(planes.linesize[i]) * heights[i]);
    }
    planes.bytes = at + kAlign + kAlign;
    return planes;
}

// The first aligned byte of a buffer sized with room to align it.
std::uint8_t* AlignedStart(std::vector<std::uint8_t>& buffer)
{
    const auto address = reinterpret_cast<std::uintptr_t>(buffer.data());
    return buffer.data() + (kAlign - address % kAlign) % kAlign;
}

class CFfmpegVideo : public CVideoEncoder {
public:
    explicit CFfmpegVideo(const VideoSettings& settings)
        : m_settings(settings), m_names(NamesOf(settings.codec)),
          m_width(settings.codec == VideoCodec::H264 ? settings.width + settings.width % 2 : settings.width),
          m_height(settings.codec == VideoCodec::H264 ? settings.height + settings.height % 2 : settings.height),
          m_quality(settings.quality < 0 ? kDefaultQuality : settings.quality),
          m_planes(PlanesOf(m_width, m_height, settings.alpha))
    {
    }

    ~CFfmpegVideo() override
    {
        avcodec_free_context(&m_codec);
        if (m_format) {
            if (m_format->pb)
                avio_closep(&m_format->pb);
            avformat_free_context(m_format);
        }
    }

    void WriteTo(const std::string& path) override { m_path = path; }

    std::string Prepare(const CFrame& frame, std::vector<std::uint8_t>& planes) override
    {
        // The frame top-down, each row padded as the planes' are, since swscale reads whole
        // vectors too; an odd side made even with the frame's last row or column repeated. A
        // transparent frame's colours are made straight, as the video's alpha is.
        const int channels = m_settings.alpha ? 4 : 3;
        const std::size_t row = Padded(static_cast<std::size_t>(m_width) * channels);
        std::vector<std::uint8_t> pixels(row * m_height + 2 * kAlign);
        std::uint8_t* const top = AlignedStart(pixels);
        for (int y = 0; y < m_height; ++y) {
            std::uint8_t* out = top + row * y;
            const int from = std::min(y, frame.height - 1);
            for (int x = 0; x < m_width; ++x) {
                const std::uint8_t* p = frame.TopDown(std::min(x, frame.width - 1), from);
                std::uint8_t* o = out + static_cast<std::size_t>(x) * channels;
                const unsigned a = frame.channels == 4 ? p[3] : 255;
                for (int c = 0; c < 3; ++c)
                    o[c] = a == 255 ? p[c] : StraightLevel(p[c], a);
                if (channels == 4)
                    o[3] = static_cast<std::uint8_t>(a);
            }
        }
        const AVPixelFormat from = m_settings.alpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24;
        const AVPixelFormat to = m_settings.alpha ? AV_PIX_FMT_YUVA420P : AV_PIX_FMT_YUV420P;
        thread_local CConverter converter;
        SwsContext* const context = converter.For(m_width, m_height, from, to);
        if (!context)
            return std::string("cannot convert the colours for ") + m_names.name;
        planes.resize(m_planes.bytes);
        std::uint8_t* const start = AlignedStart(planes);
        std::uint8_t* out[4] = {};
        for (int i = 0; i < m_planes.count; ++i)
            out[i] = start + m_planes.offset[i];
        const std::uint8_t* source[] = {top};
        const int sourceStride[] = {static_cast<int>(row)};
        sws_scale(context, source, sourceStride, 0, m_height, out, m_planes.linesize);
        return {};
    }

    std::string Write(int index, std::vector<std::uint8_t>& planes) override
    {
        if (index == 0) {
            if (std::string error = Open(); !error.empty())
                return error;
        }
        AVFrame* picture = av_frame_alloc();
        if (!picture)
            return "out of memory";
        picture->format = m_codec->pix_fmt;
        picture->width = m_width;
        picture->height = m_height;
        picture->pts = index;
        std::uint8_t* const start = AlignedStart(planes);
        for (int i = 0; i < m_planes.count; ++i) {
            picture->data[i] = start + m_planes.offset[i];
            picture->linesize[i] = m_planes.linesize[i];
        }
        // The encoder copies what it keeps: the planes are the caller's.
        const int sent = avcodec_send_frame(m_codec, picture);
        av_frame_free(&picture);
        if (sent < 0)
            return Failed(sent);
        return Drain();
    }

    std::string Finish() override
    {
        if (!m_format)
            return "no frames";
        if (const int sent = avcodec_send_frame(m_codec, nullptr); sent < 0)
            return Failed(sent);
        if (std::string error = Drain(); !error.empty())
            return error;
        // An MP4's index is moved to the front, reading the file back: faststart.
        if (const int done = av_write_trailer(m_format); done < 0)
            return AvError(done);
        const int closed = avio_closep(&m_format->pb);
        return closed < 0 ? AvError(closed) : std::string();
    }

private:
    std::string Failed(int code) const
    {
        return std::string("the ") + m_names.name + " encoder failed: " + AvError(code);
    }

    std::string Open()
    {
        if (const int made = avformat_alloc_output_context2(&m_format, nullptr, m_names.format, m_path.c_str());
            made < 0)
            return AvError(made);
        const AVCodec* encoder = avcodec_find_encoder_by_name(m_names.encoder);
        m_codec = avcodec_alloc_context3(encoder);
        if (!m_codec)
            return "out of memory";
        const bool vp9 = m_settings.codec == VideoCodec::Vp9;
        m_codec->width = m_width;
        m_codec->height = m_height;
        m_codec->pix_fmt = m_settings.alpha ? AV_PIX_FMT_YUVA420P : AV_PIX_FMT_YUV420P;
        m_codec->time_base = {1, m_settings.framesPerSecond};
        m_codec->framerate = {m_settings.framesPerSecond, 1};
        m_codec->color_range = AVCOL_RANGE_MPEG;
        m_codec->colorspace = AVCOL_SPC_BT709;
        m_codec->color_primaries = AVCOL_PRI_BT709;
        m_codec->color_trc = AVCOL_TRC_BT709;
        if (m_format->oformat->flags & AVFMT_GLOBALHEADER)
            m_codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (vp9) {
            // Constant quality, at libvpx's good deadline with its faster settings: a greeting
            // of a few seconds is made in seconds.
            m_codec->bit_rate = 0;
            av_opt_set_double(m_codec->priv_data, "crf", RateFactor(VideoCodec::Vp9, m_quality), 0);
            av_opt_set(m_codec->priv_data, "deadline", "good", 0);
            av_opt_set_int(m_codec->priv_data, "cpu-used", 5, 0);
            av_opt_set_int(m_codec->priv_data, "row-mt", 1, 0);
            // libvpx's hidden reference frames do not carry the alpha stream.
            if (m_settings.alpha)
                av_opt_set_int(m_codec->priv_data, "auto-alt-ref", 0, 0);
            if (m_settings.lookahead >= 0)
                av_opt_set_int(m_codec->priv_data, "lag-in-frames", m_settings.lookahead, 0);
        } else {
            // veryfast: in this scene's frames no slower preset finds more than a few per cent.
            av_opt_set(m_codec->priv_data, "preset", "veryfast", 0);
            av_opt_set_double(m_codec->priv_data, "crf", RateFactor(VideoCodec::H264, m_quality), 0);
            if (m_settings.lookahead >= 0)
                av_opt_set_int(m_codec->priv_data, "rc-lookahead", m_settings.lookahead, 0);
        }
        // Fewer threads hold fewer frames, where memory is short. libvpx left to itself takes
        // one; it is given one for each processor, as x264 takes for itself.
        if (m_settings.threads > 0)
            m_codec->thread_count = m_settings.threads;
        else if (vp9)
            m_codec->thread_count = std::min(16, av_cpu_count());
        if (const int opened = avcodec_open2(m_codec, encoder, nullptr); opened < 0)
            return std::string("the ") + m_names.name + " encoder would not start: " + AvError(opened);
        m_stream = avformat_new_stream(m_format, nullptr);
        if (!m_stream)
            return "out of memory";
        avcodec_parameters_from_context(m_stream->codecpar, m_codec);
        m_stream->codecpar->width = m_settings.width;
        m_stream->codecpar->height = m_settings.height;
        m_stream->time_base = m_codec->time_base;
        if (const int opened = avio_open(&m_format->pb, m_path.c_str(), AVIO_FLAG_WRITE); opened < 0)
            return AvError(opened);
        AVDictionary* options = nullptr;
        if (!vp9)
            av_dict_set(&options, "movflags", "+faststart", 0);
        const int written = avformat_write_header(m_format, &options);
        av_dict_free(&options);
        return written < 0 ? AvError(written) : std::string();
    }

    // Writes every packet the encoder has ready.
    std::string Drain()
    {
        AVPacket* packet = av_packet_alloc();
        if (!packet)
            return "out of memory";
        std::string error;
        for (;;) {
            const int got = avcodec_receive_packet(m_codec, packet);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                break;
            if (got < 0) {
                error = Failed(got);
                break;
            }
            // Every frame lasts one tick, the last one too.
            packet->duration = 1;
            av_packet_rescale_ts(packet, m_codec->time_base, m_stream->time_base);
            packet->stream_index = m_stream->index;
            if (const int written = av_interleaved_write_frame(m_format, packet); written < 0) {
                error = AvError(written);
                break;
            }
        }
        av_packet_free(&packet);
        return error;
    }

    const VideoSettings m_settings;
    const CodecNames m_names;
    std::string m_path;
    const int m_width;  // the encoded size: an H.264 picture's made even
    const int m_height;
    const int m_quality;
    const CPlanes m_planes;
    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVStream* m_stream = nullptr;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) CVideoEncoder* LumettaMakeVideoEncoder(const VideoSettings& settings,
                                                                                         std::string* error)
{
    // FFmpeg's libraries talk on stderr; what goes wrong is said by the caller, in one line.
    av_log_set_level(AV_LOG_QUIET);
    const CodecNames names = NamesOf(settings.codec);
    if (!avcodec_find_encoder_by_name(names.encoder)) {
        *error = std::string("this FFmpeg has no ") + names.name + " encoder (" + names.encoder + ")";
        return nullptr;
    }
    return new CFfmpegVideo(settings);
}
