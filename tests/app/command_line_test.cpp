// Reading the command line: modes, defaults and the messages for bad arguments.
#include "app/command_line.h"
#include "export/picture_name.h"
#include "view/scene_start.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <vector>

namespace {

struct Parsed {
    CommandLine command;
    std::string out;
    std::string err;
};

Parsed Parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "lumetta");
    std::ostringstream out, err;
    Parsed p{ParseCommandLine(static_cast<int>(args.size()), args.data(), out, err), {}, {}};
    p.out = out.str();
    p.err = err.str();
    return p;
}

TEST(CommandLineTest, NoArgumentsOpensTheWindowWithANewDocument)
{
    const Parsed p = Parse({});
    EXPECT_EQ(p.command.action, CommandLine::Action::Window);
    EXPECT_TRUE(p.command.document.empty());
    EXPECT_TRUE(p.out.empty());
    EXPECT_TRUE(p.err.empty());
}

TEST(CommandLineTest, AFileNameIsOpenedAsTheDocument)
{
    const Parsed p = Parse({"notes.pell"});
    EXPECT_EQ(p.command.action, CommandLine::Action::Window);
    EXPECT_EQ(p.command.document, "notes.pell");
}

TEST(CommandLineTest, RenderDefaultsToOneFrameOf500By500)
{
    const Parsed p = Parse({"--render", "out.png"});
    EXPECT_EQ(p.command.action, CommandLine::Action::Render);
    EXPECT_EQ(p.command.render.output, "out.png");
    EXPECT_EQ(p.command.render.frames, 0) << "0: one frame for a picture, one loop for an animation";
    EXPECT_EQ(p.command.render.width, 500);
    EXPECT_EQ(p.command.render.height, 500);
}

TEST(CommandLineTest, RenderTakesFramesAndSizeInEitherOrder)
{
    for (const auto& args : {std::vector<const char*>{"--render", "a.png", "--frames", "70", "--size", "640x480"},
                             std::vector<const char*>{"--size=640X480", "--frames=70", "--render=a.png"}}) {
        const Parsed p = Parse(args);
        ASSERT_EQ(p.command.action, CommandLine::Action::Render) << p.err;
        EXPECT_EQ(p.command.render.frames, 70);
        EXPECT_EQ(p.command.render.width, 640);
        EXPECT_EQ(p.command.render.height, 480);
    }
}

TEST(CommandLineTest, RenderTakesTheCameraWithinItsBounds)
{
    const Parsed p = Parse({"--render", "a.png", "--yaw", "-20", "--distance", "35"});
    ASSERT_EQ(p.command.action, CommandLine::Action::Render) << p.err;
    EXPECT_EQ(p.command.render.yaw, -20.0f);
    EXPECT_EQ(p.command.render.distance, 35.0f);
    EXPECT_EQ(Parse({"--render", "a.png"}).command.render.distance, 27.0f);
    EXPECT_EQ(Parse({"--render", "a.png"}).command.render.yaw, 0.0f);
}

// Catches numbers read by different rules: every option takes plain decimal, with a sign
// only where negative values make sense, and the message names the option, value and range.
TEST(CommandLineTest, EveryNumberOptionFollowsOneRule)
{
    const struct {
        std::vector<const char*> args;
        const char* message;  // empty: accepted
    } cases[] = {
        {{"--frames", "1e3"}, "--frames takes a whole number from 1 to 1000000, not '1e3'"},
        {{"--frames", "0x10"}, "--frames takes a whole number from 1 to 1000000, not '0x10'"},
        {{"--frames", "+5"}, "--frames takes a whole number from 1 to 1000000, not '+5'"},
        {{"--frames", "2.5"}, "not '2.5'"},
        {{"--frames", "99999999999999999999"}, "not '99999999999999999999'"},
        {{"--yaw", "0x10"}, "--yaw takes a number from -20 to 20, not '0x10'"},
        {{"--yaw", "1e1"}, "--yaw takes a number from -20 to 20, not '1e1'"},
        {{"--yaw", "inf"}, "not 'inf'"},
        {{"--distance", "-30"}, "--distance takes a number from 20 to 35, not '-30'"},
        {{"--distance", "35.01"}, "not '35.01'"},
        {{"--size", "123456x1"}, "each side a whole number from 1 to 8192, not '123456x1'"},
        {{"--size", "+5x5"}, "not '+5x5'"},
        {{"--yaw", "+5"}, ""},
        {{"--yaw", "-0.5"}, ""},
        {{"--distance", "20.25"}, ""},
        {{"--frames", "1000000"}, ""},
        {{"--size", "8192x1"}, ""},
        // The ends of each range: the documented ones taken, one past them refused.
        {{"--quality", "0"}, ""},
        {{"--quality", "100"}, ""},
        {{"--quality", "101"}, "--quality takes a whole number from 0 to 100, not '101'"},
        {{"--cycle", "0"}, "--cycle takes a whole number from 1 to 3600, not '0'"},
        {{"--cycle", "1"}, ""},
        {{"--cycle", "3600"}, ""},
        {{"--samples", "0"}, "--samples takes a whole number from 1 to 64, not '0'"},
        {{"--samples", "1"}, ""},
        {{"--samples", "64"}, ""},
        {{"--samples", "65"}, "not '65'"},
    };
    for (const auto& c : cases) {
        std::vector<const char*> args = {"--render", "a.webp"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Parsed p = Parse(args);
        const std::string what = std::string(c.args[0]) + " " + c.args[1];
        if (*c.message == '\0') {
            EXPECT_EQ(p.command.action, CommandLine::Action::Render) << what << ": " << p.err;
            continue;
        }
        EXPECT_EQ(p.command.exitStatus, 2) << what;
        EXPECT_NE(p.err.find(c.message), std::string::npos) << what << ": " << p.err;
    }
    EXPECT_EQ(Parse({"--render", "a.png", "--yaw", "+5"}).command.render.yaw, 5.0f);
    EXPECT_EQ(Parse({"--render", "a.png", "--yaw", "-0.5"}).command.render.yaw, -0.5f);
}

// Catches a picture written under a name that says another format, a sequence name handed to
// printf, and a wide frame number cut short (every frame would get one name): only one plain
// frame number is read, padded to its width, and %% is a percent sign.
TEST(CommandLineTest, PictureNamesSayTheirFormatAndASequenceHoldsOneFrameNumber)
{
    const struct {
        const char* name;
        const char* frame7;  // the name of frame 7; null: refused
    } cases[] = {
        // clang-format off
        {"a.png", "a.png"},           {"A.PNG", "A.PNG"},         {"-", "-"},
        {"loop.WebP", "loop.WebP"},   {"f%03d.png", "f007.png"},  {"%d.png", "7.png"},
        {"f%3d.png", "f  7.png"},     {"100%%-%02d.png", "100%-07.png"},
        {"a.jpg", nullptr},           {"png", nullptr},           {"a.png.bak", nullptr},
        {"a%d%d.png", nullptr},       {"%s.png", nullptr},        {"%n.png", nullptr},
        {"f%03d.webp", nullptr},      {"f%123d.png", nullptr},    {"f%.png", nullptr},
        {"clip.MP4", "clip.MP4"},     {"card.gif", "card.gif"},   {"f%02d.gif", nullptr},
        // clang-format on
    };
    for (const auto& c : cases) {
        PictureName picture;
        const std::string error = ReadPictureName(c.name, picture);
        if (!c.frame7) {
            EXPECT_FALSE(error.empty()) << c.name;
            EXPECT_EQ(Parse({"--render", c.name}).command.exitStatus, 2) << c.name;
            continue;
        }
        EXPECT_EQ(error, "") << c.name;
        EXPECT_EQ(FrameFileName(picture, c.name, 7), c.frame7) << c.name;
    }
    PictureName wide;
    ASSERT_EQ(ReadPictureName("f%040d.png", wide), "");
    EXPECT_EQ(FrameFileName(wide, "f%040d.png", 1234567), "f" + std::string(33, '0') + "1234567.png");
    // An MP4 larger than H.264's highest level allows is refused, with what to do instead; the
    // largest it allows, and any size of another format, is taken.
    const Parsed huge = Parse({"--render", "a.mp4", "--size", "8192x8192"});
    EXPECT_EQ(huge.command.exitStatus, 2);
    EXPECT_NE(huge.err.find("make a FILE.webp, or a smaller size"), std::string::npos) << huge.err;
    for (const char* allowed : {"8192x4352", "4352x8192"})
        EXPECT_EQ(Parse({"--render", "a.mp4", "--size", allowed}).command.action, CommandLine::Action::Render);
    EXPECT_EQ(Parse({"--render", "a.webp", "--size", "8192x8192"}).command.action, CommandLine::Action::Render);
    for (const char* lossless : {"a.png", "f%03d.png", "-"}) {
        const Parsed p = Parse({"--render", lossless, "--quality", "50"});
        EXPECT_EQ(p.command.exitStatus, 2) << lossless;
        EXPECT_NE(p.err.find("a PNG is always lossless"), std::string::npos) << p.err;
    }
}

TEST(CommandLineTest, StateOptionsTakeWhatTheCommandsReach)
{
    const Parsed p = Parse({"--render", "a.webp", "--pattern", "3", "--spin", "--grey", "0.55", "--cutoff", "23"});
    ASSERT_EQ(p.command.action, CommandLine::Action::Render) << p.err;
    EXPECT_EQ(p.command.render.start.pattern, 3);
    EXPECT_TRUE(p.command.render.start.spin);
    EXPECT_EQ(p.command.render.start.greySteps, 3);
    EXPECT_EQ(p.command.render.start.cutoff, 23.0f);
    for (const auto& bad : {std::vector<const char*>{"--pattern", "4"},
                            {"--pattern", "0"},
                            {"--grey", "0.33"},
                            {"--grey", "0.85"},
                            {"--cutoff", "20"},
                            {"--cutoff", "22.5"}}) {
        std::vector<const char*> args = {"--render", "a.png"};
        args.insert(args.end(), bad.begin(), bad.end());
        EXPECT_EQ(Parse(args).command.exitStatus, 2) << bad[0] << " " << bad[1];
    }
    EXPECT_EQ(Parse({"--pattern", "2"}).command.start.pattern, 2) << "state options serve the window too";
}

// Catches a grey level reached one command short or long, below the start's 0.4 as above it.
TEST(CommandLineTest, EveryGreyLevelStartsTheSpotLightAtThatLevel)
{
    for (int twentieths = 1; twentieths <= 16; ++twentieths) {
        char grey[8];
        std::snprintf(grey, sizeof grey, "%.2f", twentieths * 0.05);
        const Parsed p = Parse({"--grey", grey});
        ASSERT_EQ(p.command.action, CommandLine::Action::Window) << grey << ": " << p.err;
        auto state = std::make_unique<SceneState>();
        ApplySceneStart(*state, p.command.start);
        EXPECT_NEAR(state->m_fSpotDiffuse[0], twentieths * 0.05, 1e-5) << "--grey " << grey;
    }
}

// Catches a window id that X cannot have (29 bits, not 0) taken, or one above 32 bits cut
// down to another window's.
TEST(CommandLineTest, WindowIdsAreTakenOnlyWithinTheirTwentyNineBits)
{
    const std::pair<const char*, unsigned long> good[] = {{"1", 1},
                                                          {"0x1fffffff", 0x1fffffff},
                                                          {"536870911", 0x1fffffff},
                                                          {"0X2a", 42}};
    for (const auto& [text, id] : good) {
        const Parsed p = Parse({"--window-id", text});
        EXPECT_EQ(p.command.action, CommandLine::Action::Saver) << text << ": " << p.err;
        EXPECT_EQ(p.command.saver.window, id) << text;
    }
    for (const char* bad : {"0", "0x20000000", "536870912", "0x100000001", "4294967297", "-5", "0x", "12abc", ""}) {
        const Parsed p = Parse({"--window-id", bad});
        EXPECT_EQ(p.command.exitStatus, 2) << "'" << bad << "'";
    }
}

TEST(CommandLineTest, HelpAndVersionGoToStdoutAndSucceed)
{
    const Parsed help = Parse({"--help"});
    EXPECT_EQ(help.command.action, CommandLine::Action::Exit);
    EXPECT_EQ(help.command.exitStatus, 0);
    for (const char* said : {"--render", "1000000", "8192", "-20 to 20", "20 to 35", "Exit status", "orbelle3.conf"})
        EXPECT_NE(help.out.find(said), std::string::npos) << said;
    EXPECT_TRUE(help.err.empty());

    const Parsed version = Parse({"--version"});
    EXPECT_EQ(version.command.action, CommandLine::Action::Exit);
    EXPECT_EQ(version.command.exitStatus, 0);
    EXPECT_NE(version.out.find("Lumetta 1.1"), std::string::npos);
}

TEST(CommandLineTest, BadArgumentsExitWithStatus2AndSayWhatIsWrong)
{
    const std::vector<std::vector<const char*>> bad = {
        {"--render"},                            // no file
        {"--render", ""},                        // empty file name
        {"--render", "a.png", "--frames", "0"},  // no frames
        {"--render", "a.png", "--frames", "-3"},
        {"--render", "a.png", "--frames", "many"},
        {"--render", "a.png", "--size", "500"},  // no height
        {"--render", "a.png", "--size", "0x500"},
        {"--render", "a.png", "--size", "500x99999"},
        {"--render", "a.png", "--size", "axb"},
        {"--render", "a.png", "--yaw", "20.5"},  // outside the camera's bounds
        {"--render", "a.png", "--distance", "19"},
        {"--render", "a.png", "--distance", "nan"},
        {"--yaw", "10"},    // camera without render
        {"--frames", "3"},  // frames without render
        {"--size", "100x100"},
        {"--render", "a.png", "document.pell"},                    // no document in a headless picture
        {"--render", "a.mp4", "--transparent"},                    // H.264 has no alpha
        {"--render", "a.gif", "--sticker"},                        // a sticker is WebM, PNG or WebP
        {"--render", "a.webm", "--sticker", "--size", "100x100"},  // a sticker's size is its own
        {"--render", "a.webm", "--sticker", "signal"},             // no such messenger
        {"--render", "a.webm", "--sticker="},                      // a profile named, and empty
        {"--render", "a.webm", "--sticker", "whatsapp"},           // WhatsApp's move in WebP
        {"--render", "a.png", "--sticker", "whatsapp-still"},      // and stand still in WebP
        {"--render", "a.png", "--sticker", "--spin"},              // a still sticker's flares rest
        {"--render", "a.webm", "--sticker", "--frames", "5"},      // a moving one is its whole loop
        {"--bogus"},
        {"one.pell", "two.pell"},
    };
    for (const auto& args : bad) {
        const Parsed p = Parse(args);
        std::string joined;
        for (const char* a : args)
            joined += std::string(a) + " ";
        EXPECT_EQ(p.command.action, CommandLine::Action::Exit) << joined;
        EXPECT_EQ(p.command.exitStatus, 2) << joined;
        EXPECT_EQ(p.err.rfind("lumetta: ", 0), 0u) << joined << "-> " << p.err;
        EXPECT_NE(p.err.find("--help"), std::string::npos) << joined;
        EXPECT_TRUE(p.out.empty()) << joined;
    }
}

}  // namespace
