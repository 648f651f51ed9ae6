// The backdrop: the picture's byte rule, the missing-file path, the texture and the panel.
#include "export/headless_render.h"
#include "view/gl_query.h"
#include "tests/support/gl_test.h"
#include "tests/support/process.h"
#include "view/panel.h"
#include "view/scene.h"
#include "core/scene_host.h"

#include <GL/gl.h>
#include <gmock/gmock.h>
#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <fstream>
#include <memory>
#include <vector>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Texels = std::vector<std::uint8_t>;

Texels Decode(const Bytes& file)
{
    std::FILE* f = std::tmpfile();
    if (!file.empty())
        std::fwrite(file.data(), 1, file.size(), f);
    std::rewind(f);
    Texels texels(kPanelTexelBytes, 0);
    DecodePanelTexels(f, texels.data());
    std::fclose(f);
    return texels;
}

// A standard 256 x 256 24-bit picture file whose every pixel differs from its neighbours:
// pixel k is stored blue, green, red = (k % 251, k % 241 + 1, k % 239 + 2).
Bytes StandardPicture()
{
    Bytes file(54, 0);
    file[0] = 'B';
    file[1] = 'M';
    for (std::uint32_t k = 0; k < 256 * 256; ++k) {
        file.push_back(static_cast<std::uint8_t>(k % 251));
        file.push_back(static_cast<std::uint8_t>(k % 241 + 1));
        file.push_back(static_cast<std::uint8_t>(k % 239 + 2));
    }
    return file;
}

std::uint8_t Blue(std::uint32_t k)
{
    return static_cast<std::uint8_t>(k % 251);
}
std::uint8_t Green(std::uint32_t k)
{
    return static_cast<std::uint8_t>(k % 241 + 1);
}
std::uint8_t Red(std::uint32_t k)
{
    return static_cast<std::uint8_t>(k % 239 + 2);
}

TEST(PanelBytesTest, EmptyOrTinyFileGivesWhiteTexels)
{
    for (const Bytes& file : {Bytes{}, Bytes{0x42}, Bytes(56, 0)}) {
        const Texels texels = Decode(file);
        for (std::size_t i = 0; i < texels.size(); ++i)
            ASSERT_EQ(texels[i], 255) << "file of " << file.size() << " bytes, byte " << i;
    }
}

TEST(PanelBytesTest, StandardPictureTakesRedFromItsPixelAndGreenAndBlueFromTheNext)
{
    const Texels texels = Decode(StandardPicture());
    // Texel 0: red of pixel 0, green and blue of pixel 1.
    EXPECT_EQ(texels[0], Red(0));
    EXPECT_EQ(texels[1], Green(1));
    EXPECT_EQ(texels[2], Blue(1));
    // Everywhere the same rule, across row ends too (texel 255 takes from pixel 256).
    for (std::uint32_t k : {1u, 255u, 256u, 40000u, 65534u}) {
        EXPECT_EQ(texels[3 * k + 0], Red(k)) << k;
        EXPECT_EQ(texels[3 * k + 1], Green(k + 1)) << k;
        EXPECT_EQ(texels[3 * k + 2], Blue(k + 1)) << k;
    }
    // The last texel's green and blue lie past the end of the file.
    const std::size_t last = kPanelTexelBytes - 3;
    EXPECT_EQ(texels[last + 0], Red(65535));
    EXPECT_EQ(texels[last + 1], 255);
    EXPECT_EQ(texels[last + 2], 255);
}

TEST(PanelBytesTest, ShortFileFillsWhatItHasAndTheRestIsWhite)
{
    Bytes file(56, 0);
    for (std::uint8_t b : {10, 20, 30, 40, 50})
        file.push_back(b);
    const Texels texels = Decode(file);
    EXPECT_EQ(texels[0], 10);
    EXPECT_EQ(texels[2], 20);  // the second byte read is blue
    EXPECT_EQ(texels[1], 30);  // the third is green
    EXPECT_EQ(texels[3], 40);
    EXPECT_EQ(texels[5], 50);
    EXPECT_EQ(texels[4], 255);
    for (std::size_t i = 6; i < texels.size(); ++i)
        ASSERT_EQ(texels[i], 255) << i;
}

TEST(PanelBytesTest, BytesBeyondThePictureAreIgnored)
{
    Bytes longer = StandardPicture();
    const Texels exact = Decode(longer);
    longer.resize(5 * 1024 * 1024, 0x11);  // several megabytes of anything
    const Texels texels = Decode(longer);
    // Only the last texel changes: its green and blue now come from bytes that exist.
    EXPECT_TRUE(std::equal(texels.begin(), texels.end() - 2, exact.begin()));
    EXPECT_EQ(texels[kPanelTexelBytes - 2], 0x11);
    EXPECT_EQ(texels[kPanelTexelBytes - 1], 0x11);
}

TEST(PanelFileTest, ReadsPanelBmpFromTheCurrentFolderWhateverItHolds)
{
    TempDir dir;
    std::ofstream(dir.Path() / "panel.bmp", std::ios::binary)
            .write("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrst", 56)
        << "RBG";
    // Read by a child standing in the folder, which says what it read: the test's own process
    // stays in its folder.
    EXPECT_EXIT(
        {
            if (chdir(dir.Path().c_str()) != 0)
                std::exit(2);
            auto state = std::make_unique<SceneState>();
            ReadPanelTexels(*state);
            std::fprintf(stderr, "read %c%c%c", state->m_Texels[0], state->m_Texels[1], state->m_Texels[2]);
            // Through a symbolic link, the picture it points at.
            fs::rename("panel.bmp", "real.bmp");
            fs::create_symlink("real.bmp", "panel.bmp");
            state->m_Texels.fill('-');
            ReadPanelTexels(*state);
            std::fprintf(stderr, ", through a link %c\n", state->m_Texels[0]);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "^read RGB, through a link R\n$");
}

// A host that says on stderr what the view's window would do, in order.
class LoggingHost : public CSceneHost {
public:
    void ShowMessage(const std::string& text, const std::string& caption, MessageOwner owner) override
    {
        std::fprintf(stderr, "box[%s|%s|%s] ", caption.c_str(), text.c_str(),
                     owner == MessageOwner::View ? "view" : "focus");
    }
    void DestroyView() override { std::fprintf(stderr, "destroyed "); }
};

// Catches a hang on a FIFO, a folder read as an empty picture, and a reason left unsaid: each
// of these is a picture that cannot be opened, said in the box and, with the reason and the
// folder, on stderr.
TEST(PanelFileDeathTest, APictureThatCannotBeOpenedShowsItsMessageThenDestroysTheViewThenExits1)
{
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> make;
        const char* reason;
    };
    const Case cases[] = {
        {"missing", [](const fs::path&) {}, "No such file or directory"},
        {"a folder", [](const fs::path& p) { fs::create_directory(p); }, "Is a directory"},
        {"a FIFO", [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, "not a regular file"},
        {"a dangling link", [](const fs::path& p) { fs::create_symlink("nowhere.bmp", p); }, "No such file"},
        {"a link loop", [](const fs::path& p) { fs::create_symlink(p.filename(), p); }, "Too many levels"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        c.make(dir.Path() / "panel.bmp");
        LoggingHost host;
        // The child reads in a temporary folder of its own.
        const auto expected = ::testing::AllOf(
            ::testing::HasSubstr("lumetta: cannot read panel.bmp in " + fs::temp_directory_path().string()),
            ::testing::HasSubstr(std::string(": ") + c.reason),
            ::testing::HasSubstr("box[orbelle3|ファイル名<panel.bmp>が見つかりません。|view] destroyed"));
        EXPECT_EXIT(
            {
                if (chdir(dir.Path().c_str()) != 0)
                    std::exit(2);
                SetSceneHost(&host);
                auto state = std::make_unique<SceneState>();
                ReadPanelTexels(*state);
            },
            ::testing::ExitedWithCode(1), expected)
            << c.what;
    }
}

class PanelGlTest : public ::testing::Test {
protected:
    void SetUp() override { ResetGlToSceneBaseline(); }
};

TEST_F(PanelGlTest, TextureIsMipmappedRepeatingNearestUpLinearMipmapDownAndModulated)
{
    auto state = std::make_unique<SceneState>();
    for (std::size_t i = 0; i < kPanelTexelBytes; ++i)
        state->m_Texels[i] = static_cast<std::uint8_t>(i * 7 % 256);
    glEnable(GL_TEXTURE_2D);
    UploadPanelTexture(*state);
    ExpectNoGlError();
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));

    GLint value;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &value);
    EXPECT_EQ(value, GL_REPEAT);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &value);
    EXPECT_EQ(value, GL_REPEAT);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &value);
    EXPECT_EQ(value, GL_NEAREST);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
    EXPECT_EQ(value, GL_LINEAR_MIPMAP_LINEAR);
    GLfloat mode;
    glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    EXPECT_EQ(mode, static_cast<GLfloat>(GL_MODULATE));
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
    EXPECT_EQ(value, 0) << "the default texture, no texture object";

    // The whole chain down to 1 x 1, and the base level holds the texels unchanged.
    for (int level = 0; level <= 8; ++level) {
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &value);
        EXPECT_EQ(value, 256 >> level) << "level " << level;
    }
    std::vector<std::uint8_t> base(kPanelTexelBytes);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, base.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    EXPECT_TRUE(std::equal(base.begin(), base.end(), state->m_Texels.begin()));
}

TEST_F(PanelGlTest, PanelIs1936QuadsOfOneUnitTiledFourByFourInStripOrder)
{
    const auto quads = JoinQuads(CaptureFeedback(DrawPanel, true));
    ASSERT_EQ(quads.size(), 1936u);
    std::size_t i = 0;
    for (int strip = -22; strip < 22; strip += 4) {
        for (int y = -22; y < 22; ++y) {
            for (int x = strip; x < strip + 4; ++x, ++i) {
                const FeedbackPolygon& q = quads[i];
                ASSERT_EQ(q.size(), 4u);
                const float s0 = ((x + 22) % 4) * 0.25f, t0 = ((y + 22) % 4) * 0.25f;
                const float corners[4][4] = {{0, 0, 0, 0}, {1, 0, 0.25f, 0}, {1, 1, 0.25f, 0.25f}, {0, 1, 0, 0.25f}};
                for (int k = 0; k < 4; ++k) {
                    ASSERT_NEAR(q[k].x, x + corners[k][0], 1e-3) << "quad " << i << " corner " << k;
                    ASSERT_NEAR(q[k].y, y + corners[k][1], 1e-3) << "quad " << i << " corner " << k;
                    ASSERT_NEAR(q[k].z, 0.0f, 1e-3);
                    ASSERT_EQ(q[k].s, s0 + corners[k][2]) << "quad " << i << " corner " << k;
                    ASSERT_EQ(q[k].t, t0 + corners[k][3]) << "quad " << i << " corner " << k;
                }
            }
        }
    }
}

TEST_F(PanelGlTest, PictureCentreLiesAtTheOriginAndSeamsCarryOneAgainstZero)
{
    const auto quads = JoinQuads(CaptureFeedback(DrawPanel, true));
    int atOrigin = 0;
    int seamRight = 0, seamLeft = 0;
    for (const FeedbackPolygon& q : quads) {
        for (const FeedbackVertex& v : q) {
            EXPECT_GE(v.s, 0.0f);
            EXPECT_LE(v.s, 1.0f);
            if (std::abs(v.x) < 1e-3 && std::abs(v.y) < 1e-3) {
                ++atOrigin;
                EXPECT_EQ(v.s, 0.5f);
                EXPECT_EQ(v.t, 0.5f);
            }
            if (std::abs(v.x + 18.0f) < 1e-3) {
                // Cells left of the seam end at s = 1, cells right of it begin at s = 0.
                const bool leftCell = q[0].x < -18.5f;
                EXPECT_EQ(v.s, leftCell ? 1.0f : 0.0f);
                (leftCell ? seamLeft : seamRight)++;
            }
        }
    }
    EXPECT_EQ(atOrigin, 4);
    EXPECT_EQ(seamLeft, 88);
    EXPECT_EQ(seamRight, 88);
}

TEST_F(PanelGlTest, EveryPanelVertexIsLitWithTheNormalTowardsTheViewer)
{
    // With only the directional light, a vertex's lit colour depends on its normal alone.
    glDisable(GL_LIGHT1);
    const auto quads = JoinQuads(CaptureFeedback(DrawPanel));
    glEnable(GL_LIGHT1);
    GLfloat normal[3];
    glGetFloatv(GL_CURRENT_NORMAL, normal);
    EXPECT_EQ(normal[0], 0.0f);
    EXPECT_EQ(normal[1], 0.0f);
    EXPECT_EQ(normal[2], 1.0f);
    ASSERT_FALSE(quads.empty());
    // Emission + ambient + diffuse and specular of light 0 for a normal along +z; the emission
    // (0.05, 0.1, 0.05) is the panel's faint green glow.
    const float red = 0.05f + 0.2f * (0.2f + 0.1f) + 0.25f * 0.5f + 0.5f * 0.3f;
    const float green = 0.1f + 0.2f * (0.2f + 0.05f) + 0.25f * 0.5f + 0.5f * 0.2f;
    const float blue = 0.05f + 0.2f * (0.2f + 0.05f) + 0.25f * 0.5f + 0.5f * 0.2f;
    for (const FeedbackPolygon& q : quads) {
        for (const FeedbackVertex& v : q) {
            ASSERT_NEAR(v.r, red, 1e-5);
            ASSERT_NEAR(v.g, green, 1e-5);
            ASSERT_NEAR(v.b, blue, 1e-5);
        }
    }
}

TEST_F(PanelGlTest, PanelLeavesTexturingOffAndTheMaterialAsFound)
{
    // Give the material a value the panel never uses, so a missing pop would show.
    const GLfloat marker[4] = {0.123f, 0.456f, 0.789f, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, marker);
    ExpectLeavesGlStateAsFound(DrawPanel);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    GLfloat diffuse[4];
    glGetMaterialfv(GL_BACK, GL_DIFFUSE, diffuse);
    EXPECT_EQ(diffuse[1], 0.456f);
}

TEST_F(PanelGlTest, ShippedPictureMakesAVisibleTexturedBackdropBehindEverything)
{
    CScene scene;
    scene.OnCreate((fs::path(LUMETTA_SOURCE_DIR) / "assets").string());
    scene.OnCreateContext();
    scene.OnSize(500, 500);
    scene.OnDraw();
    const std::vector<std::uint8_t> pixels = ReadPixels({0, 0, 500, 500}, 3);
    // The panel fills the view: no clear colour in the corners, and the weave shows as
    // varying brightness from pixel to pixel.
    for (auto [x, y] : {std::pair{1, 1}, {498, 1}, {1, 498}, {498, 498}}) {
        const std::uint8_t* c = &pixels[(y * 500 + x) * 3];
        EXPECT_FALSE(c[0] == 0 && c[1] == 0 && c[2] == 51) << x << ", " << y;
    }
    int lo = 255, hi = 0;
    for (int x = 200; x < 260; ++x) {
        const int red = pixels[(20 * 500 + x) * 3];
        lo = std::min(lo, red);
        hi = std::max(hi, red);
    }
    EXPECT_GT(hi - lo, 10) << "the texture does not show";
}

TEST(PanelAssetTest, ShippedPictureIsWhatItsGeneratorMakes)
{
    TempDir dir;
    const fs::path made = dir.Path() / "panel.bmp";
    const std::string command = "'" + std::string(PANEL_GEN_BINARY) + "' '" + made.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream a(made, std::ios::binary), b(fs::path(LUMETTA_SOURCE_DIR) / "assets" / "panel.bmp", std::ios::binary);
    const std::string madeBytes{std::istreambuf_iterator<char>(a), {}}, shipped{std::istreambuf_iterator<char>(b), {}};
    EXPECT_EQ(madeBytes.size(), 54u + 196608u + 2u);
    EXPECT_TRUE(madeBytes == shipped) << "assets/panel.bmp is stale: run tools/panel_gen again";
}

}  // namespace
