// Ending signals in the modes without a window: caught one way, never against the caller's wish.
#include "os/end_signals.h"
#include "export/safe_file.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <csignal>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Catches a file put in place after Ctrl+C, a signal caught that the caller ignored, and
// handlers left behind: once a signal is caught no file is put in place (the target stays as
// it was, nothing is left beside it), the wait wakes, and what was there before comes back.
TEST(EndSignalsTest, ACaughtSignalKeepsTargetsAsTheyWereAndIgnoredOnesStayIgnored)
{
    TempDir dir;
    const fs::path kept = dir.Path() / "kept.png";
    std::ofstream(kept) << "old";
    std::signal(SIGHUP, SIG_IGN);
    {
        const CEndSignals signals;
        std::raise(SIGHUP);
        EXPECT_EQ(CEndSignals::Caught(), 0) << "a signal ignored at the start was caught";
        std::raise(SIGINT);
        EXPECT_EQ(CEndSignals::Caught(), SIGINT);
        pollfd wake = {signals.WakeDescriptor(), POLLIN, 0};
        EXPECT_EQ(::poll(&wake, 1, 0), 1) << "a wait for the signal would not wake";

        EXPECT_NE(WriteFileSafely(kept.string(), {'n', 'e', 'w'}), "");
        EXPECT_NE(WriteFileSafely((dir.Path() / "new.png").string(), {'n', 'e', 'w'}), "");
    }
    EXPECT_EQ(Contents(kept), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1) << "left beside it";

    struct sigaction now {};
    sigaction(SIGINT, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL) << "the handler stayed";
    sigaction(SIGHUP, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
    std::signal(SIGHUP, SIG_DFL);
}

}  // namespace
