// The real program's headless pictures: no X server, a PNG of the scene, clear failures.
#include "tests/support/png_read.h"
#include "tests/support/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <csignal>
#include <fstream>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <iterator>
#include <tuple>

namespace {

namespace fs = std::filesystem;

// A folder to run the program in, holding the shipped backdrop picture.
class RenderCliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const fs::path panel = fs::path(LUMETTA_SOURCE_DIR) / "assets" / "panel.bmp";
        if (fs::exists(panel))
            fs::copy_file(panel, dir.Path() / "panel.bmp");
    }
    TempDir dir;
};

// Where a point of the scene lands at the start camera (distance 27, yaw 0) in a square
// picture of side pixels, in GL pixel coordinates.
void ProjectAtStartCamera(double x, double y, double z, int side, int& px, int& py)
{
    const double f = 1.0 / std::tan(22.5 * M_PI / 180.0);
    const double depth = 27.0 - z;
    px = static_cast<int>((f * x / depth + 1.0) * 0.5 * side);
    py = static_cast<int>((f * y / depth + 1.0) * 0.5 * side);
}

TEST_F(RenderCliTest, WritesA500By500PictureWithTheFlaresWithoutAnXServer)
{
    const ProcessResult run = RunLumetta({"--render", "out.png"}, dir.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out.empty());
    const RgbImage image = ReadPng(dir.Path() / "out.png");
    ASSERT_EQ(image.width, 500);
    ASSERT_EQ(image.height, 500);

    const struct {
        double x, y;
    } flares[] = {{3.5, 5.0}, {5.0, -0.5}, {2.9, -6.0}, {-3.3, -4.0}, {-6.5, 1.5}};
    for (const auto& f : flares) {
        int px, py;
        ProjectAtStartCamera(f.x, f.y, 2.0, 500, px, py);
        const std::uint8_t* c = image.AtGl(px, py);
        EXPECT_GT(c[0], 150) << "flare at " << f.x << ", " << f.y;
        EXPECT_GT(c[0], c[1] + 40);
        EXPECT_GT(c[0], c[2] + 40);
    }
}

// Catches a camera or frame count read but not rendered: each moves the picture away from
// the default one, which is the same every time.
TEST_F(RenderCliTest, YawDistanceAndFramesReachThePicture)
{
    const auto render = [&](std::vector<std::string> options) {
        options.insert(options.begin(), {"--render", "p.png"});
        const ProcessResult run = RunLumetta(options, dir.Path());
        EXPECT_EQ(run.status, 0) << run.err;
        return ReadPng(dir.Path() / "p.png").rgb;
    };
    const std::vector<std::uint8_t> standard = render({});
    ASSERT_FALSE(standard.empty());
    EXPECT_TRUE(render({"--yaw", "0", "--distance", "27", "--frames", "1"}) == standard) << "the defaults differ";
    const std::vector<std::string> changes[] = {{"--yaw", "20"}, {"--distance", "35"}, {"--frames", "10"}};
    for (const auto& change : changes)
        EXPECT_TRUE(render(change) != standard) << change[0] << " " << change[1] << " left the picture as it was";
}

// Catches a file made before the backdrop picture is read: the run ends at once, and no
// picture, animation or temporary file of one is left.
TEST_F(RenderCliTest, MissingBackdropPictureEndsWithItsMessageAndStatus1)
{
    fs::remove(dir.Path() / "panel.bmp");
    for (const char* name : {"out.png", "out.gif", "out.mp4", "out.webp", "out.webm"}) {
        const ProcessResult run = RunLumetta({"--render", name}, dir.Path());
        EXPECT_EQ(run.status, 1) << name;
        // One line, the reason for each place looked in: here, then the installed data folder.
        const std::string installed = fs::path(LUMETTA_BINARY).parent_path().parent_path() / "share/lumetta";
        EXPECT_EQ(run.err, "lumetta: cannot read panel.bmp in " + dir.Path().string() +
                               ": No such file or directory, nor in " + installed + ": No such file or directory\n");
        EXPECT_TRUE(fs::is_empty(dir.Path())) << name << " left something behind";
    }
}

TEST_F(RenderCliTest, OddBackdropFilesStillRenderAndAFifoEndsAtOnce)
{
    const fs::path panel = dir.Path() / "panel.bmp";
    for (const std::uintmax_t size : {std::uintmax_t{0}, std::uintmax_t{1}, std::uintmax_t{6} << 20}) {
        fs::remove_all(panel);
        std::ofstream(panel, std::ios::binary).close();
        fs::resize_file(panel, size);
        const ProcessResult run = RunLumetta({"--render", "out.png"}, dir.Path());
        EXPECT_EQ(run.status, 0) << "panel.bmp of " << size << " bytes: " << run.err;
    }
    // A FIFO would block an ordinary open for ever: it is a picture that cannot be read.
    fs::remove(panel);
    ASSERT_EQ(mkfifo(panel.c_str(), 0600), 0);
    const ProcessResult run = RunLumetta({"--render", "fifo.png"}, dir.Path());
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("lumetta: cannot read panel.bmp in "), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir.Path() / "fifo.png"));
}

TEST_F(RenderCliTest, SizeSetsThePictureSize)
{
    const ProcessResult run = RunLumetta({"--render", "wide.png", "--size", "320x200", "--frames", "3"}, dir.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    const RgbImage image = ReadPng(dir.Path() / "wide.png");
    EXPECT_EQ(image.width, 320);
    EXPECT_EQ(image.height, 200);
}

TEST_F(RenderCliTest, UnwritableOutputFailsClearlyBeforeRenderingAndLeavesNothing)
{
    fs::create_directory(dir.Path() / "taken.png");
    fs::create_directory(dir.Path() / "locked");
    chmod((dir.Path() / "locked").c_str(), 0500);
    const bool root = geteuid() == 0;  // root writes anywhere; the folder case still fails

    for (const std::string& target : {std::string("missing/out.png"), std::string("taken.png"),
                                      std::string(root ? "taken.png" : "locked/out.png")}) {
        const ProcessResult run = RunLumetta({"--render", target}, dir.Path());
        EXPECT_EQ(run.status, 1) << target;
        EXPECT_NE(run.err.find("cannot write '" + target + "'"), std::string::npos) << run.err;
    }
    // A name with a line break in it is shown escaped: the message stays one line.
    const ProcessResult broken = RunLumetta({"--render", "two\nlines/out.gif"}, dir.Path());
    EXPECT_EQ(broken.status, 1);
    EXPECT_EQ(broken.err, "lumetta: cannot write 'two\\nlines/out.gif': No such file or directory\n");
    // A sticker played faster says so only once it can be written: the error is the one line.
    const ProcessResult sticker = RunLumetta({"--render", "missing/s.webm", "--sticker"}, dir.Path());
    EXPECT_EQ(sticker.err, "lumetta: cannot write 'missing/s.webm': No such file or directory\n");
    EXPECT_TRUE(fs::is_empty(dir.Path() / "locked"));
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

// Catches the data loss of renaming a new file over whatever bears the name: a link is
// followed to its file, a hard link stays one file, a mode stays, and nothing that is not a
// regular file is ever replaced.
TEST_F(RenderCliTest, OnlyARegularFileIsReplacedAndItStaysTheSameFile)
{
    const fs::path d = dir.Path();
    auto picture = [](const fs::path& p) { return ReadPng(p).width == 500; };

    std::ofstream(d / "real.png") << "old";
    chmod((d / "real.png").c_str(), 0640);
    fs::create_symlink("real.png", d / "link.png");
    fs::create_hard_link(d / "real.png", d / "other-name.png");
    ASSERT_EQ(RunLumetta({"--render", "link.png"}, d).status, 0);
    EXPECT_TRUE(fs::is_symlink(d / "link.png")) << "the link was replaced by a file";
    EXPECT_TRUE(picture(d / "real.png"));
    EXPECT_TRUE(fs::equivalent(d / "real.png", d / "other-name.png")) << "the hard link was broken";
    EXPECT_TRUE(picture(d / "other-name.png"));
    EXPECT_EQ(fs::status(d / "real.png").permissions() & fs::perms::all, fs::perms(0640));

    ASSERT_EQ(mkfifo((d / "fifo.png").c_str(), 0600), 0);
    fs::create_directory(d / "folder.png");
    fs::create_symlink("/dev/null", d / "device.png");
    std::ofstream(d / "readonly.png") << "keep";
    chmod((d / "readonly.png").c_str(), 0444);
    const bool root = geteuid() == 0;  // root may write a read-only file, as with any tool
    for (const char* target : {"fifo.png", "folder.png", "device.png", root ? "fifo.png" : "readonly.png"}) {
        const ProcessResult run = RunLumetta({"--render", target}, d);
        EXPECT_EQ(run.status, 1) << target;
        EXPECT_NE(run.err.find(std::string("cannot write '") + target + "'"), std::string::npos) << run.err;
    }
    EXPECT_TRUE(fs::is_fifo(d / "fifo.png"));
    EXPECT_TRUE(fs::is_directory(d / "folder.png"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_symlink(d / "device.png"));
    std::string kept;
    std::ifstream(d / "readonly.png") >> kept;
    EXPECT_EQ(kept, "keep");
}

// Catches a write error reported in other words than the system's, or a half-written file.
TEST_F(RenderCliTest, AFullDiskIsSaidInTheSystemsWordsAndLeavesNothing)
{
    const fs::path small = dir.Path() / "small";
    fs::create_directory(small);
    const std::string mount = "mount -t tmpfs -o size=32k tmpfs '" + small.string() + "' 2>/dev/null";
    if (std::system(mount.c_str()) != 0)
        GTEST_SKIP() << "cannot mount a small file system here (needs root)";
    for (const char* name : {"x.png", "x.webp", "x.mp4", "x.gif", "x.webm"}) {
        const ProcessResult run = RunLumetta({"--render", (small / name).string(), "--frames", "3"}, dir.Path());
        EXPECT_EQ(run.status, 1) << name;
        EXPECT_EQ(run.err, "lumetta: cannot write '" + (small / name).string() + "': No space left on device\n");
        EXPECT_TRUE(fs::is_empty(small)) << name << ": a part of it was left behind";
    }
    EXPECT_EQ(std::system(("umount '" + small.string() + "'").c_str()), 0);
}

// Catches new pictures and animations made private (mode 0600), which other users and web
// servers could not read: a new file's mode follows the umask, as any other program's.
TEST_F(RenderCliTest, ANewFilesModeFollowsTheUmask)
{
    for (const int umask : {022, 027}) {
        RunOptions options;
        options.umask = umask;
        for (const char* name : {"new.png", "new.gif"}) {
            ASSERT_EQ(RunLumetta({"--render", name, "--size", "32x32", "--frames", "2"}, dir.Path(), options).status,
                      0);
            EXPECT_EQ(fs::status(dir.Path() / name).permissions() & fs::perms::all, fs::perms(0666 & ~umask))
                << name << " under umask 0" << std::oct << umask;
            fs::remove(dir.Path() / name);
        }
    }
}

// Catches a failure where the file system cannot reserve room (NFSv3, many FUSE file systems,
// where fallocate fails and the C library's stand-in reads through a write-only descriptor):
// a picture and an animation with another hard link are still written in place, and the
// links stay one file.
TEST_F(RenderCliTest, AFileWithHardLinksIsWrittenInPlaceWhereRoomCannotBeReserved)
{
    RunOptions noFallocate;
    noFallocate.unsupportedCalls = {SYS_fallocate};
    for (const char* name : {"a.png", "a.gif"}) {
        const fs::path file = dir.Path() / name, link = dir.Path() / (std::string("link-") + name);
        std::ofstream(file) << "old";
        fs::create_hard_link(file, link);
        const ProcessResult run =
            RunLumetta({"--render", name, "--size", "32x32", "--frames", "3"}, dir.Path(), noFallocate);
        EXPECT_EQ(run.status, 0) << name << ": " << run.err;
        EXPECT_TRUE(fs::equivalent(file, link)) << name << ": the hard link was broken";
        EXPECT_GT(fs::file_size(link), 3u) << name << " was not written";
    }
}

// Catches an old file left half overwritten: where room cannot be reserved, a file written in
// place (it has another hard link) on a disk that fills midway keeps its old bytes, under both
// names, and the program says why. The disk is a small file system of the test's own, mounted
// where only this test sees it.
TEST_F(RenderCliTest, AFileWrittenInPlaceOnADiskThatFillsKeepsItsOldBytes)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    const ProcessResult measure = RunLumetta({"--render", "measure.png", "--size", "700x700"}, dir.Path());
    ASSERT_EQ(measure.status, 0) << measure.err;
    const auto picture = static_cast<long>(fs::file_size(dir.Path() / "measure.png"));
    constexpr long kOld = 300000, kDisk = 1400 * 1024;
    ASSERT_GT(picture, kOld + 100000) << "the picture is too small to outgrow the old file";
    // This thread's own mounts, which the program it starts inherits.
    ASSERT_EQ(::unshare(CLONE_NEWNS), 0) << std::strerror(errno);
    ASSERT_EQ(::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0) << std::strerror(errno);
    const fs::path disk = dir.Path() / "disk";
    fs::create_directory(disk);
    ASSERT_EQ(::mount("tmpfs", disk.c_str(), "tmpfs", 0, ("size=" + std::to_string(kDisk)).c_str()), 0)
        << std::strerror(errno);
    std::string old(kOld, '\0');
    for (long i = 0; i < kOld; ++i)
        old[static_cast<std::size_t>(i)] = static_cast<char>(i * 7 % 251);
    std::ofstream(disk / "t.png", std::ios::binary) << old;
    fs::create_hard_link(disk / "t.png", disk / "u.png");
    // Room for the temporary file, and for less than half of what the old one must grow by.
    const long filler = kDisk - kOld - picture - (picture - kOld) / 2;
    std::ofstream(disk / "filler", std::ios::binary) << std::string(static_cast<std::size_t>(filler), 'x');

    RunOptions noFallocate;
    noFallocate.unsupportedCalls = {SYS_fallocate};
    const ProcessResult run = RunLumetta({"--render", "disk/t.png", "--size", "700x700"}, dir.Path(), noFallocate);
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, ::testing::HasSubstr("No space left on device"));
    for (const char* name : {"t.png", "u.png"}) {
        std::ifstream in(disk / name, std::ios::binary);
        const std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_TRUE(kept == old) << name << " is no longer the old file: " << kept.size() << " bytes";
    }
    EXPECT_TRUE(fs::equivalent(disk / "t.png", disk / "u.png"));
    EXPECT_EQ(std::distance(fs::directory_iterator(disk), fs::directory_iterator()), 3) << "left behind";
    ::umount2(disk.c_str(), MNT_DETACH);
}

// Catches a write to a reader that has gone ending the program with SIGPIPE: it is one line
// and status 1, as any other failed write.
TEST_F(RenderCliTest, AReaderThatGoesIsAFailedWrite)
{
    RunOptions closed;
    closed.closedPipeForStdout = true;
    const ProcessResult run = RunLumetta({"--render", "-", "--size", "64x64"}, dir.Path(), closed);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "lumetta: cannot write 'standard output': Broken pipe\n");
}

// Catches an animation planned far past the longest that may be made: with --cycle and no
// --frames, one loop of the three patterns with the flares turning is refused in one line;
// and so is a sticker's loop that no sticker holds.
TEST_F(RenderCliTest, ALoopLongerThanAnyAnimationIsRefused)
{
    const ProcessResult run = RunLumetta({"--render", "x.gif", "--cycle", "3599", "--spin"}, dir.Path());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err,
              "lumetta: one loop of this scene is 1295640 frames, more than the 1000000 an animation may have; "
              "choose its length with --frames N (1 to 1000000)\n");
    EXPECT_FALSE(fs::exists(dir.Path() / "x.gif"));
    // A sticker ends a frame before 3 seconds at 30 frames a second: the flares' half turn is
    // longer, and so are the three patterns two seconds each; the line says which.
    for (const auto& [option, value, why] :
         {std::tuple{"--spin", "", "the flares take that long to come round; leave out --spin"},
          {"--cycle", "2", "the three patterns take that long to come round; choose --cycle 1"}}) {
        std::vector<std::string> args = {"--render", "s.webm", "--sticker", option};
        if (*value)
            args.emplace_back(value);
        const ProcessResult sticker = RunLumetta(args, dir.Path());
        EXPECT_EQ(sticker.status, 2);
        EXPECT_EQ(sticker.err, std::string("lumetta: one loop of this scene is ") + (*value ? "120" : "630") +
                                   " frames, more than a Telegram sticker holds (89, under 3 seconds at 30 a "
                                   "second): " +
                                   why + "\n");
        EXPECT_FALSE(fs::exists(dir.Path() / "s.webm"));
    }
}

TEST_F(RenderCliTest, DashWritesThePictureToStandardOutput)
{
    const ProcessResult run = RunLumetta({"--render", "-", "--size", "64x48"}, dir.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    const fs::path saved = dir.Path() / "saved";
    std::ofstream(saved, std::ios::binary) << run.out;
    const RgbImage image = ReadPng(saved);
    EXPECT_EQ(image.width, 64);
    EXPECT_EQ(image.height, 48);
}

// Catches a run cut short that leaves a part behind, or that exits with 128 + 2 rather than
// dying of the signal (a calling shell loop or make would then carry on): Ctrl+C once its
// first file has something in it, the temporary file of an animation or a sequence's first
// frame.
TEST_F(RenderCliTest, CtrlCDuringALongExportLeavesNothingBehindAndDiesOfIt)
{
    const auto made = [&](const char* file) {
        return [&, file](int) {
            std::error_code gone;
            for (const auto& entry : fs::directory_iterator(dir.Path())) {
                const auto size = entry.file_size(gone);
                if (entry.path().filename().string().rfind(file, 0) == 0 && !gone && size > 0)
                    return true;
            }
            return false;
        };
    };
    const struct {
        const char* name;
        const char* first;  // the file that shows the export is under way
    } cases[] = {
        {"frame%05d.png", "frame00001.png"}, {"loop.webp", ".lumetta.tmp-"}, {"loop.mp4", ".lumetta.tmp-"},
        {"loop.gif", ".lumetta.tmp-"},       {"loop.webm", ".lumetta.tmp-"},
    };
    for (const auto& c : cases) {
        RunOptions options;
        options.signalWhen = made(c.first);
        const ProcessResult run =
            RunLumetta({"--render", c.name, "--frames", "100000", "--size", "100x100"}, dir.Path(), options);
        EXPECT_TRUE(WIFSIGNALED(run.waitStatus) && WTERMSIG(run.waitStatus) == SIGINT) << c.name << ": " << run.err;
        for (const auto& entry : fs::directory_iterator(dir.Path()))
            EXPECT_EQ(entry.path().filename(), "panel.bmp") << c.name << " left behind " << entry.path();
    }
}

// Catches a handler that may run on any thread: every thread but the drawing one, those the
// program starts and those the driver and the encoders start, keeps the end signals out.
TEST_F(RenderCliTest, OnlyTheDrawingThreadTakesTheEndSignals)
{
    for (const char* name : {"loop.gif", "loop.mp4"}) {
        std::vector<std::string> open;  // the threads that would take SIGINT, SIGTERM or SIGHUP
        int threads = 0;
        RunOptions options;
        options.signal = SIGTERM;
        options.signalWhen = [&](int pid) {
            std::error_code gone;
            bool started = false;
            for (const auto& entry : fs::directory_iterator(dir.Path()))
                started |= entry.path().filename().string().rfind(".lumetta.tmp-", 0) == 0 &&
                           entry.file_size(gone) > 0 && !gone;
            if (!started)
                return false;
            open = ThreadsTakingEndSignals(pid, &threads);
            return true;
        };
        const ProcessResult run =
            RunLumetta({"--render", name, "--frames", "100000", "--size", "64x64"}, dir.Path(), options);
        EXPECT_EQ(run.status, 128 + SIGTERM) << name;
        EXPECT_GT(threads, 4) << name;
        EXPECT_TRUE(open.empty()) << name << ": " << open.size() << " of " << threads << " threads take them";
    }
}

// Catches an export killed by a signal it was told to ignore (nohup, a script's job in the
// background): it runs to its end and keeps every frame.
TEST_F(RenderCliTest, SignalsIgnoredAtTheStartStayIgnored)
{
    for (const int signal : {SIGHUP, SIGINT}) {
        RunOptions options;
        options.ignored = {signal};
        options.signal = signal;
        options.signalAfterMs = 400;
        const ProcessResult run =
            RunLumetta({"--render", "f%03d.png", "--frames", "200", "--size", "64x64"}, dir.Path(), options);
        EXPECT_EQ(run.status, 0) << strsignal(signal) << ": " << run.err;
        EXPECT_TRUE(fs::exists(dir.Path() / "f200.png")) << strsignal(signal);
    }
}

// Catches a limit of the system that kills an export, crashes it in the GL driver or leaves a
// part behind: a file-size limit is a write error as a full disk is, and a picture too large
// for the memory left is refused before the driver is asked for it; a small one still renders.
TEST_F(RenderCliTest, LimitsAreClearFailuresThatLeaveNothing)
{
    RunOptions fileSize;
    fileSize.limits = {{RLIMIT_FSIZE, 100 * 1024}};
    for (const char* name : {"fsz.png", "fsz.gif", "fsz.webp", "fsz.mp4", "fsz.webm"}) {
        const ProcessResult large =
            RunLumetta({"--render", name, "--size", "1000x1000", "--frames", "12"}, dir.Path(), fileSize);
        EXPECT_EQ(large.status, 1) << name;
        EXPECT_EQ(large.err, "lumetta: cannot write '" + std::string(name) + "': File too large\n");
    }
#ifndef LUMETTA_SANITIZED  // the sanitizer's shadow memory needs far more address space than any limit
    RunOptions memory;
    memory.limits = {{RLIMIT_AS, 400000L * 1024}};
    for (const char* name : {"big.png", "big.webp"}) {
        const ProcessResult huge =
            RunLumetta({"--render", name, "--size", "8192x8192", "--frames", "3"}, dir.Path(), memory);
        EXPECT_EQ(huge.status, 1) << name;
        EXPECT_THAT(huge.err,
                    ::testing::MatchesRegex("lumetta: a 8192x8192 picture needs about [0-9]+ MiB; only [0-9]+ "
                                            "MiB are available\n"))
            << name;
        // What is available is the limit (391 MiB) less what the program already holds.
        if (const std::size_t only = huge.err.find("only "); only != std::string::npos) {
            EXPECT_LT(std::stoi(huge.err.substr(only + 5)), 385) << "the address space in use was not counted";
        }
    }
    const ProcessResult small = RunLumetta({"--render", "small.png"}, dir.Path(), memory);
    EXPECT_EQ(small.status, 0) << small.err;
    fs::remove(dir.Path() / "small.png");
    // Planned for the samples the driver gives, not the 64 asked for, which would not fit.
    RunOptions twoGiB;
    twoGiB.limits = {{RLIMIT_AS, 2048L * 1024 * 1024}};
    const ProcessResult many =
        RunLumetta({"--render", "many.png", "--samples", "64", "--size", "1920x1080"}, dir.Path(), twoGiB);
    EXPECT_EQ(many.status, 0) << many.err;
    EXPECT_EQ(many.err.find("not the memory to smooth"), std::string::npos) << many.err;
    EXPECT_NE(many.err.find("smooths with 4 samples a pixel, the nearest it can to 64"), std::string::npos) << many.err;
    fs::remove(dir.Path() / "many.png");
#endif
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        EXPECT_EQ(entry.path().filename(), "panel.bmp") << "left behind";
}

// Catches --cycle taken by --render and not used, or used a frame early or late: the pattern
// changes after the 20 frames of one second, as in the window.
TEST_F(RenderCliTest, CycleChangesThePatternAtTheWindowsFrames)
{
    const auto render = [&](const char* frames, bool cycle) {
        std::vector<std::string> args = {"--render", "c.png", "--size", "120x120", "--frames", frames};
        if (cycle)
            args.insert(args.end(), {"--cycle", "1"});
        const ProcessResult run = RunLumetta(args, dir.Path());
        EXPECT_EQ(run.status, 0) << run.err;
        return ReadPng(dir.Path() / "c.png").rgb;
    };
    EXPECT_TRUE(render("20", true) == render("20", false)) << "the pattern changed before its second was up";
    EXPECT_TRUE(render("21", true) != render("21", false)) << "the pattern did not change after a second";
}

TEST_F(RenderCliTest, WithoutADisplayTheWindowSaysWhatToDoInOneLineAndEnds1)
{
    const ProcessResult run = RunLumetta({}, dir.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "lumetta: cannot open the display; use --render FILE.png for pictures without a window\n");
}

TEST_F(RenderCliTest, HelpAndVersionPrintToStdout)
{
    const ProcessResult help = RunLumetta({"--help"}, dir.Path());
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--render"), std::string::npos);
    const ProcessResult version = RunLumetta({"--version"}, dir.Path());
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find("Lumetta 1.1"), std::string::npos);
}

// Loading wxWidgets and GTK would cost these runs time and memory for nothing.
TEST_F(RenderCliTest, PicturesHelpAndVersionNeverLoadTheToolkit)
{
    ::setenv("LD_DEBUG", "files", 1);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--render", "x.png"}, {"--help"}, {"--version"}}) {
        const ProcessResult run = RunLumetta(args, dir.Path());
        EXPECT_EQ(run.status, 0) << args[0];
        EXPECT_NE(run.err.find("libGL"), std::string::npos) << "the loader said nothing for " << args[0];
        EXPECT_EQ(run.err.find("libwx_"), std::string::npos) << args[0];
        EXPECT_EQ(run.err.find("libgtk-3"), std::string::npos) << args[0];
    }
    ::unsetenv("LD_DEBUG");
}

TEST_F(RenderCliTest, BadArgumentExitsNonZeroWithAMessage)
{
    const ProcessResult run = RunLumetta({"--render", "x.png", "--size", "big"}, dir.Path());
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--size"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.Path() / "x.png"));
}

}  // namespace
