// Every input kept for the fuzzers, seeds and the inputs that once found a fault, replayed in
// the ordinary test build: what was mended stays mended.
#include "tests/fuzz/targets.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

namespace fs = std::filesystem;

void ReplayAll(const char* folder, void (*target)(const std::uint8_t*, std::size_t))
{
    int replayed = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(LUMETTA_SOURCE_DIR) / "tests/fuzz/corpus" / folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        SCOPED_TRACE(entry.path().string());
        target(bytes.data(), bytes.size());
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}

TEST(FuzzRegressionTest, PanelInputsReplay)
{
    ReplayAll("panel", FuzzPanelBytes);
}
TEST(FuzzRegressionTest, CommandLineInputsReplay)
{
    ReplayAll("cli", FuzzCommandLine);
}

}  // namespace
