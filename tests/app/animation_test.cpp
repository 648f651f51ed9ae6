// The animations made to be sent: MP4 and GIF read back with the libraries that play them,
// frame by frame against the PNGs of the same frames.
#include "tests/support/png_read.h"
#include "tests/support/process.h"
#include "view/scene_start.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

// Peak signal-to-noise ratio of b against a, both RGB8 of the same size, in dB.
double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b)
{
    double squares = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        squares += (a[i] - b[i]) * (a[i] - b[i]);
    return squares == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * a.size() / squares);
}

class AnimationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::copy_file(fs::path(LUMETTA_SOURCE_DIR) / "assets/panel.bmp", dir.Path() / "panel.bmp");
    }

    // Renders name (pattern 2, one loop of 20 frames, at size) and the PNGs of the same frames.
    void Render(const std::string& name, const std::string& size, std::vector<std::string> extra = {})
    {
        std::vector<std::string> args = {"--render", name, "--pattern", "2", "--size", size};
        args.insert(args.end(), extra.begin(), extra.end());
        const ProcessResult run = RunLumetta(args, dir.Path());
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const SceneLoop loop = FindSceneLoop({2, false, 0, 28.0f});
        ASSERT_EQ(RunLumetta({"--render", "f%03d.png", "--pattern", "2", "--size", size, "--frames",
                              std::to_string(loop.lead + loop.frames)},
                             dir.Path())
                      .status,
                  0);
        lead = loop.lead;
    }
    // The PNG of the animation's frame k, from 0.
    RgbImage Png(int k) const
    {
        char name[32];
        std::snprintf(name, sizeof name, "f%03d.png", lead + k + 1);
        return ReadPng(dir.Path() / name);
    }

    TempDir dir;
    int lead = 0;
};

// Catches an MP4 that would not play as meant everywhere: H.264 in yuv420p, exactly 20 frames
// a second and one loop long, its index before its frames (it plays while it loads), the
// picture's size though a side is odd (4:2:0 encodes one more, which players cut off), and
// every frame within a few shades of the frame drawn.
TEST_F(AnimationTest, AnMp4IsH264At20FramesASecondAndLooksLikeTheFramesDrawn)
{
    Render("loop.mp4", "161x121");
    std::ifstream in(dir.Path() / "loop.mp4", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_NE(bytes.find("moov"), std::string::npos);
    EXPECT_LT(bytes.find("moov"), bytes.find("mdat")) << "the index is not at the front";

    AVFormatContext* format = nullptr;
    ASSERT_EQ(avformat_open_input(&format, (dir.Path() / "loop.mp4").c_str(), nullptr, nullptr), 0);
    ASSERT_GE(avformat_find_stream_info(format, nullptr), 0);
    ASSERT_EQ(format->nb_streams, 1u);
    const AVStream* stream = format->streams[0];
    EXPECT_EQ(stream->codecpar->codec_id, AV_CODEC_ID_H264);
    EXPECT_EQ(stream->codecpar->format, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(av_q2d(stream->avg_frame_rate), 20.0);
    EXPECT_EQ(stream->codecpar->width, 161);
    EXPECT_EQ(stream->codecpar->height, 121);
    EXPECT_NEAR(static_cast<double>(format->duration) / AV_TIME_BASE, 20 * 0.05, 1e-3);

    const AVCodec* h264 = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* decoder = avcodec_alloc_context3(h264);
    avcodec_parameters_to_context(decoder, stream->codecpar);
    decoder->width = decoder->height = 0;  // the decoder's own, from the stream
    ASSERT_EQ(avcodec_open2(decoder, h264, nullptr), 0);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int frames = 0;
    double worst = 99;
    const auto take = [&] {
        while (avcodec_receive_frame(decoder, frame) == 0) {
            ASSERT_EQ(frame->width, 162);
            ASSERT_EQ(frame->height, 122);
            // Back to RGB as players do: BT.709, limited range; then the picture's 161 x 121.
            SwsContext* rgb = sws_getContext(162, 122, AV_PIX_FMT_YUV420P, 162, 122, AV_PIX_FMT_RGB24,
                                             SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr,
                                             nullptr);
            const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
            sws_setColorspaceDetails(rgb, bt709, 0, bt709, 1, 0, 1 << 16, 1 << 16);
            std::vector<std::uint8_t> decoded(162 * 122 * 3), pixels;
            std::uint8_t* planes[] = {decoded.data()};
            const int strides[] = {162 * 3};
            sws_scale(rgb, frame->data, frame->linesize, 0, 122, planes, strides);
            sws_freeContext(rgb);
            for (int y = 0; y < 121; ++y)
                pixels.insert(pixels.end(), &decoded[y * 162 * 3], &decoded[y * 162 * 3] + 161 * 3);
            worst = std::min(worst, Psnr(Png(frames).rgb, pixels));
            ++frames;
        }
    };
    while (av_read_frame(format, packet) == 0) {
        ASSERT_EQ(avcodec_send_packet(decoder, packet), 0);
        av_packet_unref(packet);
        take();
    }
    avcodec_send_packet(decoder, nullptr);
    take();
    EXPECT_EQ(frames, 20);
    // Its 4:2:0 colours alone keep this scene's frames at this size to about 30 dB of their
    // PNGs (34 at 500 x 500); x264 costs a little more.
    EXPECT_GT(worst, 28.0) << "the worst frame";
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
}

// Catches a GIF that stops after one round, keeps other time than the 50 ms tick, or loses its
// colours: frames after the first are the rectangles that changed, laid over the ones before,
// and what they add up to stays close to the frames drawn.
TEST_F(AnimationTest, AGifLoopsForEverAtFiveCentisecondsAFrameAndKeepsItsColours)
{
    Render("loop.gif", "160x120");
    int error = 0;
    GifFileType* gif = DGifOpenFileName((dir.Path() / "loop.gif").c_str(), &error);
    ASSERT_TRUE(gif) << GifErrorString(error);
    ASSERT_EQ(DGifSlurp(gif), GIF_OK);
    EXPECT_EQ(gif->SWidth, 160);
    EXPECT_EQ(gif->SHeight, 120);
    ASSERT_EQ(gif->ImageCount, 20);
    bool loops = false;
    std::vector<std::uint8_t> canvas(160 * 120 * 3);
    double worst = 99;
    long changed = 0;
    for (int k = 0; k < gif->ImageCount; ++k) {
        const SavedImage& image = gif->SavedImages[k];
        GraphicsControlBlock control{};
        ASSERT_EQ(DGifSavedExtensionToGCB(gif, k, &control), GIF_OK);
        EXPECT_EQ(control.DelayTime, 5) << "frame " << k;
        for (int e = 0; e < image.ExtensionBlockCount; ++e) {
            const ExtensionBlock& block = image.ExtensionBlocks[e];
            if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
                std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0 && e + 1 < image.ExtensionBlockCount) {
                const ExtensionBlock& count = image.ExtensionBlocks[e + 1];
                loops = count.ByteCount == 3 && count.Bytes[1] == 0 && count.Bytes[2] == 0;
            }
        }
        const GifImageDesc& d = image.ImageDesc;
        const ColorMapObject* colours = d.ColorMap ? d.ColorMap : gif->SColorMap;
        if (k > 0)
            changed += d.Width * d.Height;
        for (int y = 0; y < d.Height; ++y) {
            for (int x = 0; x < d.Width; ++x) {
                const int index = image.RasterBits[y * d.Width + x];
                if (index == control.TransparentColor)
                    continue;
                const GifColorType& c = colours->Colors[index];
                std::uint8_t* out = &canvas[((d.Top + y) * 160 + d.Left + x) * 3];
                out[0] = c.Red;
                out[1] = c.Green;
                out[2] = c.Blue;
            }
        }
        worst = std::min(worst, Psnr(Png(k).rgb, canvas));
    }
    EXPECT_TRUE(loops) << "no loop-for-ever extension";
    EXPECT_LT(changed, 19L * 160 * 120 * 3 / 4) << "later frames are not the changed rectangles";
    // 256 colours a frame, dithered: within some shades of the frame drawn.
    EXPECT_GT(worst, 34.0) << "the worst frame";
    DGifCloseFile(gif, &error);
}

// Catches --quality lost on the way: a lossy WebP is smaller than the lossless one and still
// close to the frames drawn; a lower quality makes a smaller MP4.
TEST_F(AnimationTest, QualityMakesLossyAnimationsSmaller)
{
    const auto size = [&](const std::vector<std::string>& args) {
        std::vector<std::string> all = {"--render"};
        all.insert(all.end(), args.begin(), args.end());
        all.insert(all.end(), {"--pattern", "2", "--size", "160x120"});
        EXPECT_EQ(RunLumetta(all, dir.Path()).status, 0);
        return fs::file_size(dir.Path() / args[0]);
    };
    EXPECT_LT(size({"lossy.webp", "--quality", "75"}), size({"lossless.webp"}) / 2);
    EXPECT_LT(size({"low.mp4", "--quality", "20"}), size({"high.mp4", "--quality", "95"}));
    EXPECT_LT(size({"low.gif", "--quality", "20"}), size({"high.gif"}));
}

}  // namespace
