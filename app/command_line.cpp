#include "app/command_line.h"

#include "res/texts.h"

#include <CLI/CLI.hpp>

#include <ostream>
#include <charconv>
#include <regex>
#include <sstream>

namespace {

constexpr int kMaxRenderSide = 8192;

// "WxH" with both sides from 1 to kMaxRenderSide.
std::string ParseSize(const std::string& text, int& width, int& height)
{
    static const std::regex form("([0-9]{1,5})[xX]([0-9]{1,5})");
    std::smatch m;
    if (!std::regex_match(text, m, form))
        return "--size takes WIDTHxHEIGHT, for example 800x600, not '" + text + "'";
    width = std::stoi(m[1]);
    height = std::stoi(m[2]);
    if (width < 1 || height < 1 || width > kMaxRenderSide || height > kMaxRenderSide)
        return "--size sides must be from 1 to " + std::to_string(kMaxRenderSide) + ", not '" + text + "'";
    return {};
}

// A number from low to high; unlike CLI::Range it also turns away "nan".
CLI::Validator NumberFromTo(float low, float high)
{
    std::ostringstream bounds;
    bounds << low << " to " << high;
    const std::string range = bounds.str();
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            float value = 0.0f;
            const char* end = text.data() + text.size();
            const auto [stop, error] = std::from_chars(text.data(), end, value);
            if (error != std::errc() || stop != end || !(value >= low && value <= high))
                return "must be a number from " + range + ", not '" + text + "'";
            return {};
        },
        range);
}

const char* const kHelpFooter = R"(In the window:
  Left, Right         turn the scene 0.8 degrees (from -20 to 20)
  Up, Down            move the scene away or closer by 0.3 (from 20 to 35)
  left-button drag    turn the scene, 0.2 degrees per pixel
  right-button drag   move the scene away (upwards) or closer, 0.1 per pixel
  R                   put the camera back
  A                   start or stop the flares turning inside the apples
  1, 2, 3             blink pattern 1, 2 or 3
  Esc                 quit
  The toolbar also makes the spot light stronger or weaker, and its beam
  wider or narrower; the menu and toolbar show the pattern and the flares.

Files:
  panel.bmp           the backdrop picture, read from the current folder
  $XDG_CONFIG_HOME/orbelle3/orbelle3.conf, by default
  ~/.config/orbelle3/orbelle3.conf
                      settings: the last four documents opened)";

// The version and the version block, one value to a line.
std::string VersionText()
{
    std::string text = std::string("Lumetta ") + kVersionNumber + "\n";
    for (const VersionEntry& entry : kVersionBlock) {
        if (entry.value[0] != '\0')
            text += std::string(entry.key) + ": " + entry.value + "\n";
    }
    text.pop_back();  // CLI11 ends the text with its own line break
    return text;
}

static_assert(std::string_view(LUMETTA_VERSION) == kVersionNumber, "the build's version is the program's");

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    CommandLine result;
    CLI::App app("Lumetta: an animated, lit wreath with blinking bulbs.\n"
                 "Without options it opens the window.",
                 "lumetta");
    app.set_version_flag("--version", VersionText());
    app.footer(kHelpFooter);

    std::string size;
    CLI::Option* render = app.add_option("--render", result.render.output,
                                         "render without a window and write the picture to FILE (PNG)")
                              ->type_name("FILE");
    app.add_option("--frames", result.render.frames, "frames to render, as that many timer ticks would (default 1)")
        ->type_name("N")
        ->check(CLI::Range(1, 1000000))
        ->needs(render);
    app.add_option("--size", size, "picture size in pixels (default 500x500)")->type_name("WxH")->needs(render);
    app.add_option("--yaw", result.render.yaw, "camera yaw in degrees, -20 to 20 (default 0)")
        ->type_name("DEG")
        ->check(NumberFromTo(-20.0f, 20.0f))
        ->needs(render);
    app.add_option("--distance", result.render.distance, "camera distance, 20 to 35 (default 27)")
        ->type_name("D")
        ->check(NumberFromTo(20.0f, 35.0f))
        ->needs(render);
    app.add_option("document", result.document, "file to open as the document (nothing is read from it)")
        ->type_name("FILE")
        ->excludes(render);

    try {
        app.parse(argc, argv);
        if (!size.empty()) {
            if (std::string error = ParseSize(size, result.render.width, result.render.height); !error.empty())
                throw CLI::ValidationError(error);
        }
        if (render->count() > 0 && result.render.output.empty())
            throw CLI::ValidationError("--render needs a file name");
    } catch (const CLI::Success& e) {  // --help or --version
        result.action = CommandLine::Action::Exit;
        result.exitStatus = app.exit(e, out, err);
        return result;
    } catch (const CLI::ParseError& e) {
        result.action = CommandLine::Action::Exit;
        err << "lumetta: " << e.what() << "\nRun 'lumetta --help' for the options.\n";
        result.exitStatus = 2;
        return result;
    }
    result.action = render->count() > 0 ? CommandLine::Action::Render : CommandLine::Action::Window;
    return result;
}
