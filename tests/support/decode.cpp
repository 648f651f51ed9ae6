#include "tests/support/decode.h"

#include <gif_lib.h>
#include <webp/demux.h>
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// A video's frames, decoded by codec, as players turn them to RGB.
DecodedAnimation DecodeVideo(const std::filesystem::path& path, const AVCodec* codec)
{
    DecodedAnimation result;
    AVFormatContext* format = nullptr;
    if (!codec || avformat_open_input(&format, path.c_str(), nullptr, nullptr) != 0)
        return result;
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    if (avformat_find_stream_info(format, nullptr) >= 0 && format->nb_streams == 1 &&
        avcodec_parameters_to_context(decoder, format->streams[0]->codecpar) >= 0) {
        decoder->width = decoder->height = 0;  // the decoder's own, from the stream
        avcodec_open2(decoder, codec, nullptr);
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const auto take = [&] {
        while (avcodec_receive_frame(decoder, frame) == 0) {
            result.width = frame->width;
            result.height = frame->height;
            SwsContext* rgb = sws_getContext(frame->width, frame->height, AV_PIX_FMT_YUV420P, frame->width,
                                             frame->height, AV_PIX_FMT_RGB24,
                                             SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr,
                                             nullptr);
            const int* matrix =
                sws_getCoefficients(frame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_ITU601);
            sws_setColorspaceDetails(rgb, matrix, frame->color_range == AVCOL_RANGE_JPEG, matrix, 1, 0, 1 << 16,
                                     1 << 16);
            std::vector<std::uint8_t> pixels(static_cast<std::size_t>(frame->width) * frame->height * 3);
            std::uint8_t* planes[] = {pixels.data()};
            const int strides[] = {frame->width * 3};
            sws_scale(rgb, frame->data, frame->linesize, 0, frame->height, planes, strides);
            sws_freeContext(rgb);
            result.frames.push_back(std::move(pixels));
            if (frame->format == AV_PIX_FMT_YUVA420P) {
                std::vector<std::uint8_t> alpha;
                for (int y = 0; y < frame->height; ++y)
                    alpha.insert(alpha.end(), frame->data[3] + static_cast<std::ptrdiff_t>(y) * frame->linesize[3],
                                 frame->data[3] + static_cast<std::ptrdiff_t>(y) * frame->linesize[3] + frame->width);
                result.alpha.push_back(std::move(alpha));
            }
        }
    };
    while (av_read_frame(format, packet) == 0) {
        avcodec_send_packet(decoder, packet);
        av_packet_unref(packet);
        take();
    }
    avcodec_send_packet(decoder, nullptr);
    take();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return result;
}

}  // namespace

DecodedAnimation DecodeMp4(const std::filesystem::path& path)
{
    return DecodeVideo(path, avcodec_find_decoder(AV_CODEC_ID_H264));
}

DecodedAnimation DecodeWebm(const std::filesystem::path& path)
{
    return DecodeVideo(path, avcodec_find_decoder_by_name("libvpx-vp9"));
}

DecodedAnimation DecodeGif(const std::filesystem::path& path)
{
    DecodedAnimation result;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (!gif)
        return result;
    if (DGifSlurp(gif) != GIF_OK) {
        DGifCloseFile(gif, &error);
        return result;
    }
    result.width = gif->SWidth;
    result.height = gif->SHeight;
    std::vector<std::uint8_t> canvas(static_cast<std::size_t>(gif->SWidth) * gif->SHeight * 3);
    std::vector<std::uint8_t> covered(static_cast<std::size_t>(gif->SWidth) * gif->SHeight, 0);
    result.shortestDelay = 0xFFFF;
    // Image k laid on the canvas, and then disposed of; whether it drew anything.
    const auto lay = [&](int k) {
        const SavedImage& image = gif->SavedImages[k];
        GraphicsControlBlock control{};
        DGifSavedExtensionToGCB(gif, k, &control);
        const GifImageDesc& d = image.ImageDesc;
        const ColorMapObject* colours = d.ColorMap ? d.ColorMap : gif->SColorMap;
        const std::vector<std::uint8_t> before = canvas, coveredBefore = covered;
        bool drew = false;
        for (int y = 0; y < d.Height; ++y) {
            for (int x = 0; x < d.Width; ++x) {
                const int index = image.RasterBits[y * d.Width + x];
                if (index == control.TransparentColor)
                    continue;
                drew = true;
                const GifColorType& c = colours->Colors[index];
                std::uint8_t* out = &canvas[(static_cast<std::size_t>(d.Top + y) * gif->SWidth + d.Left + x) * 3];
                out[0] = c.Red;
                out[1] = c.Green;
                out[2] = c.Blue;
                covered[static_cast<std::size_t>(d.Top + y) * gif->SWidth + d.Left + x] = 255;
            }
        }
        result.shortestDelay = std::min(result.shortestDelay, control.DelayTime);
        // An image that draws nothing shows the frame before for longer.
        if (drew || k == 0) {
            result.frames.push_back(canvas);
            result.alpha.push_back(covered);
            result.delays.push_back(control.DelayTime);
            if (k > 0)
                result.laterArea += static_cast<long>(d.Width) * d.Height;
        } else if (!result.delays.empty()) {
            result.delays.back() += control.DelayTime;
        }
        // What the next frame is laid over: this one, its rectangle cleared, or the one before.
        if (control.DisposalMode == DISPOSE_PREVIOUS) {
            canvas = before;
            covered = coveredBefore;
        } else if (control.DisposalMode == DISPOSE_BACKGROUND) {
            for (int y = 0; y < d.Height; ++y) {
                const std::size_t at = static_cast<std::size_t>(d.Top + y) * gif->SWidth + d.Left;
                std::fill(&canvas[at * 3], &canvas[at * 3] + static_cast<std::size_t>(d.Width) * 3, 0);
                std::fill(&covered[at], &covered[at] + d.Width, 0);
            }
        }
    };
    for (int k = 0; k < gif->ImageCount; ++k) {
        const SavedImage& image = gif->SavedImages[k];
        for (int e = 0; e + 1 < image.ExtensionBlockCount; ++e) {
            const ExtensionBlock& block = image.ExtensionBlocks[e];
            const ExtensionBlock& count = image.ExtensionBlocks[e + 1];
            if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
                std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0)
                result.loops = count.ByteCount == 3 && count.Bytes[1] == 0 && count.Bytes[2] == 0;
        }
        lay(k);
    }
    // The loop come round: the first image laid over what the last left.
    if (gif->ImageCount > 0) {
        const std::size_t shown = result.alpha.size();
        lay(0);
        result.alphaAgain = result.alpha.back();
        result.frames.resize(shown);
        result.alpha.resize(shown);
        result.delays.resize(shown);
    }
    DGifCloseFile(gif, &error);
    return result;
}

WebpFrames DecodeWebp(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    WebPData data = {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
    WebPAnimDecoderOptions options;
    WebpFrames frames;
    if (!WebPAnimDecoderOptionsInit(&options))
        return frames;
    options.color_mode = MODE_RGBA;
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
    WebPAnimInfo info{};
    if (!decoder || !WebPAnimDecoderGetInfo(decoder, &info)) {
        WebPAnimDecoderDelete(decoder);
        return frames;
    }
    frames.width = static_cast<int>(info.canvas_width);
    frames.height = static_cast<int>(info.canvas_height);
    frames.loopCount = info.loop_count;
    const std::size_t size = std::size_t{4} * info.canvas_width * info.canvas_height;
    while (WebPAnimDecoderHasMoreFrames(decoder)) {
        std::uint8_t* rgba = nullptr;
        int end = 0;
        if (!WebPAnimDecoderGetNext(decoder, &rgba, &end))
            break;
        frames.rgba.emplace_back(rgba, rgba + size);
        frames.endMs.push_back(end);
    }
    WebPAnimDecoderDelete(decoder);
    return frames;
}

double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b)
{
    double squares = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        squares += (a[i] - b[i]) * (a[i] - b[i]);
    return squares == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * static_cast<double>(a.size()) / squares);
}

std::vector<std::uint8_t> Crop(const std::vector<std::uint8_t>& rgb, int rowWidth, int width, int height)
{
    std::vector<std::uint8_t> out;
    for (int y = 0; y < height; ++y) {
        const auto row = rgb.begin() + static_cast<std::ptrdiff_t>(y) * rowWidth * 3;
        out.insert(out.end(), row, row + static_cast<std::ptrdiff_t>(width) * 3);
    }
    return out;
}
