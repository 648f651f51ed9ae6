// The MP4 encoder module. 4:2:0 keeps one colour for every 2 x 2 pixels, and H.264 can hide
// only whole pairs of rows or columns: an odd side is encoded one pixel longer, the picture's
// last row or column repeated, and the MP4 gives the picture's own size as the video's, which
// browsers show, cutting the extra pixels off.
#include "export/mp4_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// The quality a user gives, 0 to 100, as x264's constant rate factor (lower is better):
// 100 is 10, 0 is 40, and the default 80 is 16, at which frames decode within half a
// decibel of what their 4:2:0 colours allow (see the export benchmark) and a greeting stays small.
constexpr int kDefaultQuality = 80;
double RateFactor(int quality)
{
    return 40.0 - 0.3 * quality;
}

constexpr int kFramesPerSecond = 20;  // one frame a 50 ms tick

std::string AvError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// A colour converter for the thread it is used on: swscale's are not shared.
struct CConverter {
    SwsContext* context = nullptr;
    ~CConverter() { sws_freeContext(context); }
};

// Where the three planes of a 4:2:0 picture lie in its buffer, for swscale to write and x264 to
// read: each plane starts on a 64-byte boundary and each row is padded to 64 bytes, with 64
// bytes more at the end. swscale's vector code writes whole vectors, past the end of a short
// row (a 3 x 3 picture's rows of colour hold two bytes) and of the last.
constexpr std::size_t kAlign = 64;
struct CPlanes {
    int linesize[3];
    std::size_t offset[3];
    std::size_t bytes;  // the buffer to hold them, with room to align its start
};

CPlanes PlanesOf(int width, int height)
{
    const auto padded = [](std::size_t n) { return (n + kAlign - 1) / kAlign * kAlign; };
    CPlanes planes{};
    planes.linesize[0] = static_cast<int>(padded(static_cast<std::size_t>(width)));
    planes.linesize[1] = planes.linesize[2] = static_cast<int>(padded(static_cast<std::size_t>(width / 2)));
    const std::size_t sizes[] = {static_cast<std::size_t>(planes.linesize[0]) * height,
                                 static_cast<std::size_t>(planes.linesize[1]) * (height / 2),
                                 static_cast<std::size_t>(planes.linesize[2]) * (height / 2)};
    std::size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        planes.offset[i] = at;
        at += padded(sizes[i]);
    }
    planes.bytes = at + kAlign + kAlign;
    return planes;
}

// The first aligned byte of a buffer sized for PlanesOf.
std::uint8_t* AlignedStart(std::vector<std::uint8_t>& buffer)
{
    const auto address = reinterpret_cast<std::uintptr_t>(buffer.data());
    return buffer.data() + (kAlign - address % kAlign) % kAlign;
}

class CFfmpegMp4 : public CMp4Encoder {
public:
    explicit CFfmpegMp4(const Mp4Settings& settings)
        : m_pictureWidth(settings.width), m_pictureHeight(settings.height),
          m_width(settings.width + settings.width % 2), m_height(settings.height + settings.height % 2),
          m_quality(settings.quality < 0 ? kDefaultQuality : settings.quality), m_threads(settings.threads),
          m_lookahead(settings.lookahead), m_planes(PlanesOf(m_width, m_height))
    {
    }

    ~CFfmpegMp4() override
    {
        avcodec_free_context(&m_codec);
        if (m_format) {
            if (m_format->pb)
                avio_closep(&m_format->pb);
            avformat_free_context(m_format);
        }
    }

    void WriteTo(const std::string& path) override { m_path = path; }

    std::string Prepare(const CFrame& frame, std::vector<std::uint8_t>& yuv) override
    {
        // The frame top-down, each row padded as the planes' are, since swscale reads whole
        // vectors too; an odd side is made even with the frame's last row or column repeated.
        const std::size_t row = (static_cast<std::size_t>(m_width) * 3 + kAlign - 1) / kAlign * kAlign;
        std::vector<std::uint8_t> rgb(row * m_height + 2 * kAlign);
        std::uint8_t* const top = AlignedStart(rgb);
        const std::size_t frameRow = static_cast<std::size_t>(frame.width) * 3;
        for (int y = 0; y < m_height; ++y) {
            std::uint8_t* out = top + row * y;
            std::memcpy(out, frame.TopDown(0, std::min(y, frame.height - 1)), frameRow);
            if (m_width > frame.width)
                std::memcpy(out + frameRow, out + frameRow - 3, 3);
        }
        const int stride = static_cast<int>(row);
        thread_local CConverter converter;
        SwsContext* const before = converter.context;
        converter.context = sws_getCachedContext(converter.context, m_width, m_height, AV_PIX_FMT_RGB24, m_width,
                                                 m_height, AV_PIX_FMT_YUV420P, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr,
                                                 nullptr, nullptr);
        if (!converter.context)
            return "cannot convert the colours for H.264";
        // Full-range RGB to the limited-range BT.709 YUV that the stream says it holds: set once
        // for each converter made.
        if (converter.context != before) {
            const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
            sws_setColorspaceDetails(converter.context, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
        }
        yuv.resize(m_planes.bytes);
        std::uint8_t* const start = AlignedStart(yuv);
        std::uint8_t* planes[] = {start + m_planes.offset[0], start + m_planes.offset[1], start + m_planes.offset[2]};
        const std::uint8_t* source[] = {top};
        const int sourceStride[] = {stride};
        sws_scale(converter.context, source, sourceStride, 0, m_height, planes, m_planes.linesize);
        return {};
    }

    std::string Write(int index, std::vector<std::uint8_t>& yuv) override
    {
        if (index == 0) {
            if (std::string error = Open(); !error.empty())
                return error;
        }
        AVFrame* picture = av_frame_alloc();
        if (!picture)
            return "out of memory";
        picture->format = AV_PIX_FMT_YUV420P;
        picture->width = m_width;
        picture->height = m_height;
        picture->pts = index;
        std::uint8_t* const start = AlignedStart(yuv);
        for (int i = 0; i < 3; ++i) {
            picture->data[i] = start + m_planes.offset[i];
            picture->linesize[i] = m_planes.linesize[i];
        }
        // The encoder copies what it keeps: the planes are the caller's.
        const int sent = avcodec_send_frame(m_codec, picture);
        av_frame_free(&picture);
        if (sent < 0)
            return "the H.264 encoder failed: " + AvError(sent);
        return Drain();
    }

    std::string Finish() override
    {
        if (!m_format)
            return "no frames";
        if (const int sent = avcodec_send_frame(m_codec, nullptr); sent < 0)
            return "the H.264 encoder failed: " + AvError(sent);
        if (std::string error = Drain(); !error.empty())
            return error;
        // Moves the index to the front, reading the file back: faststart.
        if (const int done = av_write_trailer(m_format); done < 0)
            return AvError(done);
        const int closed = avio_closep(&m_format->pb);
        return closed < 0 ? AvError(closed) : std::string();
    }

private:
    std::string Open()
    {
        if (const int made = avformat_alloc_output_context2(&m_format, nullptr, "mp4", m_path.c_str()); made < 0)
            return AvError(made);
        const AVCodec* x264 = avcodec_find_encoder_by_name("libx264");
        m_codec = avcodec_alloc_context3(x264);
        if (!m_codec)
            return "out of memory";
        m_codec->width = m_width;
        m_codec->height = m_height;
        m_codec->pix_fmt = AV_PIX_FMT_YUV420P;
        m_codec->time_base = {1, kFramesPerSecond};
        m_codec->framerate = {kFramesPerSecond, 1};
        m_codec->color_range = AVCOL_RANGE_MPEG;
        m_codec->colorspace = AVCOL_SPC_BT709;
        m_codec->color_primaries = AVCOL_PRI_BT709;
        m_codec->color_trc = AVCOL_TRC_BT709;
        if (m_format->oformat->flags & AVFMT_GLOBALHEADER)
            m_codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        // veryfast: in this scene's frames no slower preset finds more than a few per cent.
        av_opt_set(m_codec->priv_data, "preset", "veryfast", 0);
        av_opt_set_double(m_codec->priv_data, "crf", RateFactor(m_quality), 0);
        // Fewer threads and a shorter lookahead hold fewer frames, where memory is short.
        if (m_threads > 0)
            m_codec->thread_count = m_threads;
        if (m_lookahead >= 0)
            av_opt_set_int(m_codec->priv_data, "rc-lookahead", m_lookahead, 0);
        if (const int opened = avcodec_open2(m_codec, x264, nullptr); opened < 0)
            return "the H.264 encoder would not start: " + AvError(opened);
        m_stream = avformat_new_stream(m_format, nullptr);
        if (!m_stream)
            return "out of memory";
        avcodec_parameters_from_context(m_stream->codecpar, m_codec);
        m_stream->codecpar->width = m_pictureWidth;
        m_stream->codecpar->height = m_pictureHeight;
        m_stream->time_base = m_codec->time_base;
        if (const int opened = avio_open(&m_format->pb, m_path.c_str(), AVIO_FLAG_WRITE); opened < 0)
            return AvError(opened);
        AVDictionary* options = nullptr;
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
                error = "the H.264 encoder failed: " + AvError(got);
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

    std::string m_path;
    const int m_pictureWidth;
    const int m_pictureHeight;
    const int m_width;  // the encoded size: the picture's, each side made even
    const int m_height;
    const int m_quality;
    const int m_threads;
    const int m_lookahead;
    const CPlanes m_planes;
    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVStream* m_stream = nullptr;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) CMp4Encoder* LumettaMakeMp4Encoder(const Mp4Settings& settings,
                                                                                     std::string* error)
{
    // FFmpeg's libraries talk on stderr; what goes wrong is said by the caller, in one line.
    av_log_set_level(AV_LOG_QUIET);
    if (!avcodec_find_encoder_by_name("libx264")) {
        *error = "this FFmpeg has no H.264 encoder (libx264)";
        return nullptr;
    }
    return new CFfmpegMp4(settings);
}
