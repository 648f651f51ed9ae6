// Reading the command line: modes, defaults and the messages for bad arguments.
#include "app/command_line.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(p.command.render.frames, 1);
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
    };
    for (const auto& c : cases) {
        std::vector<const char*> args = {"--render", "a.png"};
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

// Catches a picture written under a name that says another format.
TEST(CommandLineTest, PicturesAreNamedPngOrGoToStandardOutput)
{
    for (const char* name : {"a.png", "A.PNG", "dir/x.Png", "-"})
        EXPECT_EQ(Parse({"--render", name}).command.action, CommandLine::Action::Render) << name;
    for (const char* name : {"a.jpg", "png", "a.png.bak", ".pn"}) {
        const Parsed p = Parse({"--render", name});
        EXPECT_EQ(p.command.exitStatus, 2) << name;
        EXPECT_NE(p.err.find("PNG"), std::string::npos) << name << ": " << p.err;
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
        {"--render"},                                 // no file
        {"--render", ""},                             // empty file name
        {"--render", "a.png", "--frames", "0"},       // no frames
        {"--render", "a.png", "--frames", "-3"},
        {"--render", "a.png", "--frames", "many"},
        {"--render", "a.png", "--size", "500"},       // no height
        {"--render", "a.png", "--size", "0x500"},
        {"--render", "a.png", "--size", "500x99999"},
        {"--render", "a.png", "--size", "axb"},
        {"--render", "a.png", "--yaw", "20.5"},       // outside the camera's bounds
        {"--render", "a.png", "--distance", "19"},
        {"--render", "a.png", "--distance", "nan"},
        {"--yaw", "10"},                              // camera without render
        {"--frames", "3"},                            // frames without render
        {"--size", "100x100"},
        {"--render", "a.png", "document.pell"},       // no document in a headless picture
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
