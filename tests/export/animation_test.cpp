// The animations made to be sent: MP4 and GIF read back with the libraries that play them,
// frame by frame against the PNGs of the same frames.
#include "tests/support/decode.h"
#include "tests/support/png_read.h"
#include "tests/support/process.h"
#include "view/scene_start.h"

#include <gtest/gtest.h>
extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

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
        const ProcessResult run = RunLumetta(args, dir.Path(), options);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const SceneLoop loop = FindSceneLoop({2, false, 0, 28.0f});
        ASSERT_EQ(RunLumetta({"--render", "f%03d.png", "--pattern", "2", "--size", size, "--frames",
                              std::to_string(loop.lead + loop.frames)},
                             dir.Path(), options)
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
    RunOptions options;
    int lead = 0;
};

// The column x of an RGB8 picture of rows of width pixels.
std::vector<std::uint8_t> Column(const std::vector<std::uint8_t>& rgb, int width, int x)
{
    std::vector<std::uint8_t> column;
    for (std::size_t at = static_cast<std::size_t>(x) * 3; at < rgb.size(); at += static_cast<std::size_t>(width) * 3)
        column.insert(column.end(), rgb.begin() + static_cast<std::ptrdiff_t>(at),
                      rgb.begin() + static_cast<std::ptrdiff_t>(at) + 3);
    return column;
}

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
    // The colours it says it holds, which players turn back by.
    EXPECT_EQ(stream->codecpar->color_space, AVCOL_SPC_BT709);
    EXPECT_EQ(stream->codecpar->color_range, AVCOL_RANGE_MPEG);
    EXPECT_EQ(stream->codecpar->color_primaries, AVCOL_PRI_BT709);
    EXPECT_EQ(stream->codecpar->color_trc, AVCOL_TRC_BT709);
    EXPECT_EQ(stream->codecpar->width, 161);
    EXPECT_EQ(stream->codecpar->height, 121);
    EXPECT_NEAR(static_cast<double>(format->duration) / AV_TIME_BASE, 20 * 0.05, 1e-3);
    avformat_close_input(&format);

    const DecodedAnimation video = DecodeMp4(dir.Path() / "loop.mp4");
    ASSERT_EQ(video.frames.size(), 20u);
    EXPECT_EQ(video.width, 162);
    EXPECT_EQ(video.height, 122);
    double worst = 99, worstEdge = 99, worstStrong = 0;
    for (std::size_t k = 0; k < video.frames.size(); ++k) {
        const RgbImage png = Png(static_cast<int>(k));
        const std::vector<std::uint8_t> shown = Crop(video.frames[k], 162, 161, 121);
        worst = std::min(worst, Psnr(png.rgb, shown));
        // The last column shares its colour with the extra one encoded beside it: the
        // frame's edge repeated, not whatever was there.
        worstEdge = std::min(worstEdge, Psnr(Column(png.rgb, 161, 160), Column(shown, 161, 160)));
        // Strong colours are where a wrong colour matrix shows (the flares' red turns
        // orange): no channel pulled a few shades one way on average (4:2:0's errors go both).
        double off[3] = {0, 0, 0};
        int strong = 0;
        for (std::size_t q = 0; q < shown.size(); q += 3) {
            const std::uint8_t* drawn = &png.rgb[q];
            if (std::max({drawn[0], drawn[1], drawn[2]}) - std::min({drawn[0], drawn[1], drawn[2]}) < 80)
                continue;
            ++strong;
            for (int c = 0; c < 3; ++c)
                off[c] += shown[q + c] - drawn[c];
        }
        ASSERT_GT(strong, 1000);
        for (int c = 0; c < 3; ++c)
            worstStrong = std::max(worstStrong, std::abs(off[c] / strong));
    }
    // Its 4:2:0 colours alone keep this scene's frames at this size to about 30 dB of their
    // PNGs (34 at 500 x 500); x264 costs a little more.
    EXPECT_GT(worst, 28.0) << "the worst frame";
    EXPECT_GT(worstEdge, 40.0) << "the worst frame's last column";
    EXPECT_LT(worstStrong, 7.0) << "strong colours, shades off on average in the worst channel";
}

// Catches colour planes too small for swscale, which writes and reads whole vectors past a
// short row (a 3 x 3 MP4 corrupted the heap): small sizes of every kind make whole videos;
// under the sanitizers a stray byte fails the run.
TEST_F(AnimationTest, SmallMp4sAreWhole)
{
    for (const int width : {1, 3, 4, 9}) {
        for (const int height : {1, 3, 4, 9}) {
            const std::string size = std::to_string(width) + "x" + std::to_string(height);
            const ProcessResult run =
                RunLumetta({"--render", "small.mp4", "--size", size, "--frames", "2"}, dir.Path());
            ASSERT_EQ(run.status, 0) << size << ": " << run.err;
            const DecodedAnimation video = DecodeMp4(dir.Path() / "small.mp4");
            EXPECT_EQ(video.frames.size(), 2u) << size;
            EXPECT_EQ(video.width, width + width % 2) << size;
        }
    }
}

// Catches a GIF that stops after one round, keeps other time than the 50 ms tick, or loses its
// colours: frames after the first are the rectangles that changed, laid over the ones before,
// and what they add up to stays close to the frames drawn.
TEST_F(AnimationTest, AGifLoopsForEverAtFiveCentisecondsAFrameAndKeepsItsColours)
{
    Render("loop.gif", "160x120");
    const DecodedAnimation gif = DecodeGif(dir.Path() / "loop.gif");
    EXPECT_EQ(gif.width, 160);
    EXPECT_EQ(gif.height, 120);
    ASSERT_EQ(gif.frames.size(), 20u);
    EXPECT_TRUE(gif.loops) << "no loop-for-ever extension";
    EXPECT_EQ(gif.delays, std::vector<int>(20, 5));
    EXPECT_LT(gif.laterArea, 19L * 160 * 120 * 3 / 4) << "later frames are not the changed rectangles";
    double worst = 99;
    for (std::size_t k = 0; k < gif.frames.size(); ++k)
        worst = std::min(worst, Psnr(Png(static_cast<int>(k)).rgb, gif.frames[k]));
    // 256 colours a frame, dithered: within some shades of the frame drawn.
    EXPECT_GT(worst, 34.0) << "the worst frame";
}

// Catches a WebP whose frames do not add up to the frames drawn (a changed rectangle too
// small, a later frame that replaces the one below instead of being laid over it, unchanged
// pixels not fully transparent): lossless, every frame exactly as drawn; lossy, its colours
// close to them, and its transparency, which says what stays, kept lossless. Drawn by softpipe,
// which draws the same calls the same way in either run.
TEST_F(AnimationTest, WebpFramesAddUpToTheFramesDrawn)
{
    options.environment = {"GALLIUM_DRIVER=softpipe"};
    const struct {
        std::vector<std::string> quality;
        double least;  // dB
    } cases[] = {{{}, 99.0}, {{"--quality", "50"}, 24.0}};
    for (const auto& c : cases) {
        Render("loop.webp", "96x72", c.quality);
        const WebpFrames webp = DecodeWebp(dir.Path() / "loop.webp");
        ASSERT_EQ(webp.rgba.size(), 20u);
        double worst = 99;
        for (std::size_t k = 0; k < webp.rgba.size(); ++k) {
            std::vector<std::uint8_t> rgb;
            for (std::size_t p = 0; p < webp.rgba[k].size(); p += 4) {
                EXPECT_EQ(webp.rgba[k][p + 3], 255) << "frame " << k << " is not opaque";
                rgb.insert(rgb.end(), &webp.rgba[k][p], &webp.rgba[k][p] + 3);
            }
            worst = std::min(worst, Psnr(Png(static_cast<int>(k)).rgb, rgb));
        }
        EXPECT_GE(worst, c.least) << (c.quality.empty() ? "lossless" : "lossy") << ": the worst frame";
    }
    // Its transparency is two levels, which even a lossy alpha keeps; what says it stays
    // lossless is each frame's alpha chunk: no reduction of its levels (bits 4 and 5 of its
    // first byte).
    std::ifstream in(dir.Path() / "loop.webp", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int alphas = 0;
    for (std::size_t at = bytes.find("ALPH"); at != std::string::npos; at = bytes.find("ALPH", at + 4)) {
        ++alphas;
        EXPECT_EQ((static_cast<unsigned char>(bytes[at + 8]) >> 4) & 3, 0) << "the alpha of frame " << alphas;
    }
    EXPECT_GE(alphas, 19) << "the lossy frames after the first have no alpha of their own";
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
