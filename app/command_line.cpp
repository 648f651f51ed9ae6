#include "app/command_line.h"

#include "core/files.h"
#include "export/picture_name.h"
#include "export/sticker.h"
#include "res/texts.h"
#include "view/input.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <vector>

namespace {

constexpr int kMaxRenderSide = 8192;

// Every number option follows one rule: plain decimal, a sign only where negative values
// make sense, a fraction only where it does; the message names the option, the value and
// what is allowed.
struct NumberRule {
    const char* option;
    double low;
    double high;
    bool whole;  // digits only
};

std::string NumberMessage(const NumberRule& rule, const std::string& text)
{
    std::ostringstream message;
    message << std::setprecision(12) << rule.option << " takes " << (rule.whole ? "a whole number" : "a number")
            << " from " << rule.low << " to " << rule.high << ", not '" << text << "'";
    return message.str();
}

// The value of text under rule, or an exception carrying the message.
double ParseNumber(const std::string& text, const NumberRule& rule)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    const bool signAllowed = rule.low < 0;
    bool negative = false;
    if (signAllowed && begin != end && (*begin == '+' || *begin == '-')) {
        negative = *begin == '-';
        ++begin;
    }
    double value = 0.0;
    // Only digits and a point may follow: no exponent, no hexadecimal, no "inf" or "nan".
    const bool plain = begin != end && std::all_of(begin, end, [&](char c) {
                           return (c >= '0' && c <= '9') || (!rule.whole && c == '.');
                       });
    const auto [stop, error] = std::from_chars(begin, end, value, std::chars_format::fixed);
    if (!plain || error == std::errc::invalid_argument || stop != end)
        throw CLI::ValidationError(NumberMessage(rule, text));
    value = negative ? -value : value;
    // A value too long to hold is out of range all the same.
    if (error == std::errc::result_out_of_range || !(value >= rule.low && value <= rule.high))
        throw CLI::ValidationError(NumberMessage(rule, text));
    return value;
}

// "WxH" with both sides from 1 to kMaxRenderSide.
void ParseSize(const std::string& text, int& width, int& height)
{
    const auto x = text.find_first_of("xX");
    if (x == std::string::npos)
        throw CLI::ValidationError("--size takes WIDTHxHEIGHT, for example 800x600, not '" + text + "'");
    const NumberRule side{"--size", 1, kMaxRenderSide, true};
    try {
        width = static_cast<int>(ParseNumber(text.substr(0, x), side));
        height = static_cast<int>(ParseNumber(text.substr(x + 1), side));
    } catch (const CLI::ValidationError&) {
        throw CLI::ValidationError("--size takes WIDTHxHEIGHT, each side a whole number from 1 to " +
                                   std::to_string(kMaxRenderSide) + ", not '" + text + "'");
    }
}

// An X window id, decimal or 0x hexadecimal, as screensaver daemons write them.
unsigned long ParseWindowId(const std::string& text)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* begin = text.data() + (hex ? 2 : 0);
    const char* end = text.data() + text.size();
    unsigned long id = 0;
    const auto [stop, error] = std::from_chars(begin, end, id, hex ? 16 : 10);
    // X ids have 29 bits; 0 is no window.
    if (begin == end || error != std::errc() || stop != end || id == 0 || id > 0x1FFFFFFFul)
        throw CLI::ValidationError("--window-id takes an X window id, decimal or 0x hexadecimal, not '" + text + "'");
    return id;
}

// H.264's largest frame, at its highest level (6.2): 139,264 blocks of 16 x 16 pixels. A
// larger MP4 would claim a level it breaks, which players may refuse.
constexpr long kMp4MostBlocks = 139264;

void CheckMp4Size(int width, int height)
{
    const long blocks = static_cast<long>((width + 15) / 16) * ((height + 15) / 16);
    if (blocks > kMp4MostBlocks)
        throw CLI::ValidationError("--size " + std::to_string(width) + "x" + std::to_string(height) +
                                   " is larger than any MP4 may be: H.264 allows 139264 blocks of 16x16 pixels, "
                                   "such as 8192x4352; make a FILE.webp, or a smaller size");
}

PictureName CheckPictureName(const std::string& name)
{
    if (name.empty())
        throw CLI::ValidationError("--render needs a file name");
    PictureName picture;
    if (std::string error = ReadPictureName(name, picture); !error.empty())
        throw CLI::ValidationError(error);
    return picture;
}

// The grey level as the number of stronger (+) or weaker (-) commands from the start's 0.4:
// the commands' own values, and no others, are taken.
int GreySteps(const std::string& text)
{
    // The bounds as written: the single-precision 0.05 lies above the decimal one.
    const NumberRule rule{"--grey", 0.05, 0.8, false};
    const double grey = ParseNumber(text, rule);
    const double steps = (grey - kSpotGreyStart) / kSpotGreyStep;
    if (std::abs(steps - std::round(steps)) > 1e-6)
        throw CLI::ValidationError("--grey takes a grey level from 0.05 to 0.8 in steps of 0.05, not '" + text + "'");
    return static_cast<int>(std::lround(steps));
}

const char* const kHelpFooter = R"(In the window:
  Left, Right         turn the scene 0.8 degrees (from -20 to 20)
  Up, Down            move the scene away or closer by 0.3 (from 20 to 35)
  left-button drag    turn the scene, 0.2 degrees per pixel
  right-button drag   move the scene away (upwards) or closer, 0.1 per pixel
  R                   put the camera back
  A                   start or stop the flares turning inside the apples
  1, 2, 3             blink pattern 1, 2 or 3: the digit row's first three keys,
                      whatever the keyboard layout types on them
  Esc                 quit
  The toolbar also makes the spot light stronger or weaker, and its beam
  wider or narrower; the menu and toolbar show the pattern and the flares.

Files:
  panel.bmp           the backdrop picture: from the current folder, so that a
                      picture of your own wins, else from the installed data
                      folder ({DATA})
  $XDG_CONFIG_HOME/orbelle3/orbelle3.conf, by default
  ~/.config/orbelle3/orbelle3.conf
                      settings: the last four documents opened, and
                      what the ornament was given (its place, size,
                      pattern, flares, above and lock)

Signals:
  Ctrl+C (SIGINT), SIGTERM and SIGHUP end a --render run and remove every file
  it wrote; they end the screensaver and the ornament quietly. A signal that
  was ignored when Lumetta started (nohup, a job in the background) stays
  ignored.

Exit status:
  0  success
  1  a failure while running: no backdrop picture, a document that cannot be
     opened, no display, a picture that cannot be written or that does not fit
     in the memory available
  2  a bad command line, or an animation whose loop is longer than 1000000
     frames (choose its length with --frames))";

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

// The options as given, kept as text until every one is read, and the options themselves, to
// ask whether they were given and to tie them to each other.
struct Given {
    std::string size, frames, yaw, distance, pattern, grey, cutoff, cycle, windowId, quality, geometry, samples,
        sticker;
    bool hang = false, x11 = false, wayland = false;
    CLI::Option *render = nullptr, *frameCount = nullptr, *window = nullptr, *root = nullptr, *ornament = nullptr,
                *stop = nullptr, *stickerOption = nullptr, *fullscreen = nullptr;
};

// The options that choose a window, a picture or a screensaver.
void AddWays(CLI::App& app, CommandLine& result, Given& given)
{
    given.render =
        app.add_option("--render", result.render.output,
                       "render without a window and write FILE.png (- for standard output), every frame as a "
                       "sequence when FILE holds a frame number (frame%03d.png), or a looping animation: FILE.mp4 "
                       "to send (plays everywhere, small), FILE.gif for where only pictures go (256 colours a "
                       "frame), FILE.webp for every frame exactly as drawn (lossless, large), FILE.webm (VP9, "
                       "with --transparent as browsers and messengers show it)")
            ->type_name("FILE");
    given.frameCount =
        app.add_option("--frames", given.frames,
                       "frames to render, as that many timer ticks would, 1 to " + std::to_string(kMaxRenderFrames) +
                           "; a picture is the last (default 1), an animation all of them (default: one whole loop)")
            ->type_name("N")
            ->needs(given.render);
    CLI::Option* fullscreen =
        app.add_flag("--fullscreen", result.fullscreen, "open the window full screen, with no menu or toolbar");
    given.window =
        app.add_option("--window-id", given.windowId,
                       "screensaver: draw in the existing X window ID (decimal or 0x hexadecimal) until ended")
            ->type_name("ID");
    given.root = app.add_flag("--root", result.saver.root,
                              "screensaver: draw in the window named by XSCREENSAVER_WINDOW, or the root window");
    given.fullscreen = fullscreen;
}

// The ornament's options, and what no two ways of showing the scene may share.
void AddOrnament(CLI::App& app, CommandLine& result, Given& given)
{
    CLI::Option* fullscreen = given.fullscreen;
    given.ornament = app.add_flag("--ornament", given.hang,
                                  "hang the wreath on the desktop: no frame and no backdrop, on every "
                                  "workspace, below other windows; Esc takes it down");
    CLI::Option* above =
        app.add_flag("--above", result.ornament.above, "with --ornament: above other windows rather than below")
            ->needs(given.ornament);
    CLI::Option* geometry =
        app.add_option("--geometry", given.geometry,
                       "with --ornament: its size and place, WxH+X+Y as X programs take it, each side 16 to 8192 and "
                       "each place within 32767 (default: 360x360, scaled as the desktop is, at the top right of the "
                       "primary monitor or where it was left)")
            ->type_name("WxH+X+Y")
            ->needs(given.ornament);
    CLI::Option* x11 =
        app.add_flag("--x11", given.x11,
                     "with --ornament: hang it as an X11 window (Xwayland's on a Wayland desktop), even where the "
                     "Wayland compositor offers layer surfaces")
            ->needs(given.ornament);
    app.add_flag("--wayland", given.wayland,
                 "with --ornament: hang it on a layer surface of the Wayland compositor, or fail; by default it "
                 "does where the compositor offers them, and is an X11 window elsewhere")
        ->needs(given.ornament)
        ->excludes(x11);
    given.stop = app.add_flag("--stop", result.ornament.stop,
                              "with --ornament: take down the ornament that hangs on this desktop")
                     ->needs(given.ornament)
                     ->excludes(above)
                     ->excludes(geometry);
    given.render->excludes(fullscreen)->excludes(given.window)->excludes(given.root)->excludes(given.ornament);
    given.window->excludes(given.root)->excludes(fullscreen)->excludes(given.ornament);
    given.root->excludes(fullscreen)->excludes(given.ornament);
    given.ornament->excludes(fullscreen);
    app.add_option("document", result.document, "file to open as the document (nothing is read from it)")
        ->type_name("FILE")
        ->excludes(given.ornament)
        ->excludes(given.render)
        ->excludes(given.window)
        ->excludes(given.root);
}

// How the scene starts, in every way of showing it.
void AddScene(CLI::App& app, CommandLine& result, Given& given)
{
    app.add_option("--pattern", given.pattern, "blink pattern, 1 to 3, as its key selects it (default 1)")
        ->type_name("N");
    app.add_flag("--spin", result.start.spin, "the flares turn, as after the A key");
    app.add_option("--grey", given.grey,
                   "spot light grey level, 0.05 to 0.8 in steps of 0.05, as the light commands reach (default 0.4)")
        ->type_name("G");
    app.add_option("--cutoff", given.cutoff,
                   "spot spread in whole degrees, 21 to 60, as the spread commands reach (default 28)")
        ->type_name("C");
    app.add_option("--cycle", given.cycle,
                   "move on to the next blink pattern every so many seconds, 1 to 3600, as the pattern keys do; in "
                   "--render at the frames where the window would, and an animation then loops through the patterns")
        ->type_name("SECONDS");
}

// What --render makes, and a sticker.
void AddPicture(CLI::App& app, CommandLine& result, Given& given)
{
    CLI::Option* size =
        app.add_option("--size", given.size,
                       "picture size in pixels, each side 1 to " + std::to_string(kMaxRenderSide) +
                           " (default 500x500); an MP4 up to 2048x1088 plays everywhere (H.264 level 4.2), one up to "
                           "8192x4352 or as many pixels on players that take the largest levels")
            ->type_name("WxH")
            ->needs(given.render);
    CLI::Option* quality =
        app.add_option("--quality", given.quality,
                       "0 to 100, for a lossy animation: a lossy WebP (without it a WebP is lossless), or an MP4 "
                       "or GIF other than their defaults; a PNG is always lossless")
            ->type_name("Q")
            ->needs(given.render);
    app.add_option("--samples", given.samples,
                   "samples a pixel, 1 to 64, which smooth the edges (default " + std::to_string(kDefaultSamples) +
                       "; the nearest the GL driver can); 1 draws hard edges")
        ->type_name("N")
        ->needs(given.render);
    CLI::Option* yaw = app.add_option("--yaw", given.yaw, "camera yaw in degrees, -20 to 20 (default 0)")
                           ->type_name("DEG")
                           ->needs(given.render);
    CLI::Option* distance = app.add_option("--distance", given.distance, "camera distance, 20 to 35 (default 27)")
                                ->type_name("D")
                                ->needs(given.render);
    app.add_flag("--transparent", result.render.transparent,
                 "no backdrop: what is not the scene is transparent, halos and glass partly so. PNG, WebP and WebM "
                 "keep every level of it; a GIF only one, so a halo's soft edge is cut where it is less than half "
                 "covered; an MP4 has none")
        ->needs(given.render);
    given.stickerOption =
        app.add_option("--sticker", given.sticker,
                       "a messenger's sticker, the whole wreath centred with no backdrop, its quality chosen for "
                       "the messenger's limits; says what it made. PROFILE: telegram (the default; 512x512: "
                       "FILE.webm moves, VP9 with transparency, under 3 seconds and at most 256 KB; FILE.png or "
                       "FILE.webp stands still), telegram-emoji (the same at 100x100), whatsapp (FILE.webp moves, "
                       "512x512, at most 500 KB and under 10 seconds), whatsapp-still (FILE.webp, 512x512, at most "
                       "100 KB), whatsapp-tray (FILE.png, a pack's 96x96 tray picture, at most 50 KB). FRAME%03d.png "
                       "writes a moving sticker's frames, lossless. A still sticker shows the moment the bulbs "
                       "show best, or the last of --frames N")
            ->type_name("[PROFILE]")
            ->expected(0, 1)
            ->needs(given.render);
    given.stickerOption->excludes(size)->excludes(quality)->excludes(yaw)->excludes(distance);
}

// A sticker's profile, and what it sets of the picture; throws what does not make one.
// namedEmpty: "--sticker=" was given, which names no profile.
void ReadSticker(const Given& given, const PictureName& picture, bool namedEmpty, CommandLine& result)
{
    StickerProfile profile = StickerProfile::Telegram;
    if (namedEmpty || (!given.sticker.empty() && !FindStickerProfile(given.sticker, profile)))
        throw CLI::ValidationError("--sticker takes " + StickerProfileNames() + ", not '" + ShownName(given.sticker) +
                                   "'");
    const StickerRules& rules = RulesOf(profile);
    if (!rules.Takes(picture.kind))
        throw CLI::ValidationError("--sticker " + std::string(rules.name) + " makes " + rules.Endings() + ", not '" +
                                   ShownName(result.render.output) + "'");
    const bool moves = rules.Moves(picture.kind);
    if (moves && given.frameCount->count() > 0)
        throw CLI::ValidationError("--frames chooses a still sticker's moment; a moving sticker is one whole loop");
    if (!moves && result.start.spin)
        throw CLI::ValidationError(
            std::string("--spin turns the flares, which a still sticker shows at rest: leave it out") +
            (rules.webmMoves ? ", or make a moving sticker, FILE.webm" : ""));
    result.render.sticker = true;
    result.render.stickerProfile = profile;
    result.render.transparent = true;
    result.render.width = result.render.height = rules.side;
    result.render.distance = kWholeWreathDistance;
}

// The picture's options; throws the first that is wrong.
void ReadPicture(const Given& given, bool stickerNamedEmpty, CommandLine& result)
{
    const PictureName picture = given.render->count() > 0 ? CheckPictureName(result.render.output) : PictureName{};
    if (!given.size.empty())
        ParseSize(given.size, result.render.width, result.render.height);
    if (picture.kind == PictureName::Kind::Mp4)
        CheckMp4Size(result.render.width, result.render.height);
    if (result.render.transparent && picture.kind == PictureName::Kind::Mp4)
        throw CLI::ValidationError("--transparent makes a PNG, WebP, GIF or WebM; H.264 in an MP4 cannot hold "
                                   "transparency");
    if (given.stickerOption->count() > 0)
        ReadSticker(given, picture, stickerNamedEmpty, result);
    if (!given.quality.empty()) {
        result.render.quality = static_cast<int>(ParseNumber(given.quality, {"--quality", 0, 100, true}));
        if (!picture.IsAnimation())
            throw CLI::ValidationError("--quality is for an animation (.webp, .mp4 or .gif); a PNG is always "
                                       "lossless, so it takes none");
    }
    if (!given.samples.empty())
        result.render.samples = static_cast<int>(ParseNumber(given.samples, {"--samples", 1, 64, true}));
    if (!given.frames.empty())
        result.render.frames = static_cast<int>(ParseNumber(given.frames, {"--frames", 1, kMaxRenderFrames, true}));
    if (!given.yaw.empty())
        result.render.yaw = static_cast<float>(ParseNumber(given.yaw, {"--yaw", -20, 20, false}));
    if (!given.distance.empty())
        result.render.distance = static_cast<float>(ParseNumber(given.distance, {"--distance", 20, 35, false}));
}

// How the scene starts, the screensaver's window and the ornament's options; throws the first
// that is wrong.
void ReadSceneAndWays(const Given& given, CommandLine& result)
{
    if (!given.pattern.empty())
        result.start.pattern = static_cast<int>(ParseNumber(given.pattern, {"--pattern", 1, 3, true}));
    if (!given.grey.empty())
        result.start.greySteps = GreySteps(given.grey);
    if (!given.cutoff.empty())
        result.start.cutoff =
            static_cast<float>(ParseNumber(given.cutoff, {"--cutoff", kSpotCutoffLowest, kSpotCutoffHighest, true}));
    if (!given.cycle.empty())
        result.start.cycleSeconds = static_cast<int>(ParseNumber(given.cycle, {"--cycle", 1, 3600, true}));
    if (given.window->count() > 0)
        result.saver.window = ParseWindowId(given.windowId);
    if (!given.geometry.empty()) {
        if (const std::string why = ReadGeometry(given.geometry, result.ornament.geometry); !why.empty())
            throw CLI::ValidationError("--geometry takes WxH+X+Y, WxH or +X+Y, and " + why + ": not '" +
                                       ShownName(given.geometry) + "'");
        result.ornament.geometryText = given.geometry;
    }
    if (given.stop->count() > 0 && (!given.pattern.empty() || result.start.spin || !given.grey.empty() ||
                                    !given.cutoff.empty() || !given.cycle.empty()))
        throw CLI::ValidationError("--stop takes down the ornament that hangs, and takes no other option");
    result.ornament.patternGiven = !given.pattern.empty();
    result.ornament.way = given.x11 ? OrnamentWay::X11 : given.wayland ? OrnamentWay::Wayland : OrnamentWay::Desktop;
    for (const auto& [set, option] : {std::pair{!given.grey.empty(), "--grey"},
                                      {!given.cutoff.empty(), "--cutoff"},
                                      {!given.cycle.empty(), "--cycle"}})
        if (set)
            result.ornament.notHanded.emplace_back(option);
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                             const std::string& installedData)
{
    CommandLine result;
    CLI::App app("Lumetta: an animated, lit wreath with blinking bulbs.\n"
                 "Without options it opens the window.",
                 "lumetta");
    app.set_version_flag("--version", VersionText());
    std::string footer = kHelpFooter;
    footer.replace(footer.find("{DATA}"), 6,
                   installedData.empty() ? "share/lumetta beside the program's folder" : installedData);
    app.footer(footer);
    Given given;
    AddWays(app, result, given);
    AddScene(app, result, given);
    AddOrnament(app, result, given);
    AddPicture(app, result, given);

    // Screensaver daemons write their options with one dash, as X programs of old did.
    std::vector<std::string> args;
    for (int i = argc - 1; i >= 1; --i) {
        const std::string arg = argv[i];
        args.push_back(arg == "-window-id" ? "--window-id" : arg == "-root" ? "--root" : arg);
    }
    // "--sticker=" names a profile, and an empty one is none: only "--sticker" alone means
    // Telegram's. The parser takes the arguments it reads, so this is asked first.
    const bool stickerNamedEmpty = std::find(args.begin(), args.end(), "--sticker=") != args.end();
    try {
        app.parse(args);
        ReadPicture(given, stickerNamedEmpty, result);
        ReadSceneAndWays(given, result);
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
    result.render.start = result.start;
    result.saver.start = result.start;
    result.ornament.start = result.start;
    result.action = given.render->count() > 0                              ? CommandLine::Action::Render
                    : given.window->count() > 0 || given.root->count() > 0 ? CommandLine::Action::Saver
                    : given.ornament->count() > 0                          ? CommandLine::Action::Ornament
                                                                           : CommandLine::Action::Window;
    return result;
}
