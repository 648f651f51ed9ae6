// The settings file that the window and the ornament share: what a save changes in it, what
// it keeps, and two programs saving at once.
#include "os/settings_file.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// Catches a save that loses or moves another program's lines, or a key added where the
// toolkit would not read it: only the group's own keys change, new ones at its end, a new
// group at the file's end; with the whole group given, its other keys go.
TEST(SettingsMergeTest, OnlyTheGroupsOwnKeysChange)
{
    const Lines file = {"; kept by hand", "[RecentFiles]", "file1=/a.pell",    "file2=/b.pell", "",
                        "[Ornament]",     "X=17",          "odd line",         "Y=23",          "",
                        "# the end",      "[Other]",       "key=kept \xff\xfe"};
    struct Case {
        const char* what;
        const char* group;
        std::map<std::string, std::string> values;
        bool whole;
        Lines want;
    };
    const Case cases[] = {
        {"a key replaced where it stands",
         "Ornament",
         {{"X", "600"}},
         false,
         {"; kept by hand", "[RecentFiles]", "file1=/a.pell", "file2=/b.pell", "", "[Ornament]", "X=600", "odd line",
          "Y=23", "", "# the end", "[Other]", "key=kept \xff\xfe"}},
        {"a new key at the group's end",
         "Ornament",
         {{"Pattern", "2"}},
         false,
         {"; kept by hand", "[RecentFiles]", "file1=/a.pell", "file2=/b.pell", "", "[Ornament]", "X=17", "odd line",
          "Y=23", "Pattern=2", "", "# the end", "[Other]", "key=kept \xff\xfe"}},
        {"a new group at the file's end",
         "Window",
         {{"Size", "500"}},
         false,
         {"; kept by hand", "[RecentFiles]", "file1=/a.pell", "file2=/b.pell", "", "[Ornament]", "X=17", "odd line",
          "Y=23", "", "# the end", "[Other]", "key=kept \xff\xfe", "[Window]", "Size=500"}},
        {"a shorter list",
         "RecentFiles",
         {{"file1", "/c.pell"}},
         true,
         {"; kept by hand", "[RecentFiles]", "file1=/c.pell", "", "[Ornament]", "X=17", "odd line", "Y=23", "",
          "# the end", "[Other]", "key=kept \xff\xfe"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MergeSettings(file, c.group, c.values, c.whole), c.want) << c.what;
    std::vector<int> damaged;
    EXPECT_EQ(SettingsGroup(file, "Ornament", &damaged),
              (std::map<std::string, std::string>{{"X", "17"}, {"Y", "23"}}));
    EXPECT_EQ(damaged, std::vector<int>{8});
}

// Catches a file name that comes back changed: values are escaped as the toolkit escapes them
// (so that files it wrote read the same), and every value comes back as it went.
TEST(SettingsMergeTest, ValuesComeBackAsTheyWent)
{
    const std::pair<std::string, std::string> values[] = {
        {"plain $HOME.pell", "plain $HOME.pell"}, {" leading space", "\" leading space\""},
        {"back\\slash", "back\\\\slash"},         {"new\nline\ttab", "new\\nline\\ttab"},
        {"\"quoted\"", "\"\\\"quoted\\\"\""},     {"ノート \xff", "ノート \xff"},
    };
    for (const auto& [value, written] : values) {
        EXPECT_EQ(EscapeSettingsValue(value), written);
        const Lines file = MergeSettings({}, "G", {{"k", value}}, false);
        EXPECT_EQ(SettingsGroup(file, "G").at("k"), value);
    }
}

// Catches a save that changes what it does not own: a line rewritten in a file written on
// Windows keeps its carriage return (and a new key gets one there), and a value with spaces at
// either end comes back with them.
TEST(SettingsMergeTest, LineEndsAndSpacesAtTheEndsAreKept)
{
    const Lines crlf = {"[Ornament]\r", "X=17\r", "Y=23\r"};
    EXPECT_EQ(MergeSettings(crlf, "Ornament", {{"X", "600"}, {"Side", "480"}}, false),
              (Lines{"[Ornament]\r", "X=600\r", "Y=23\r", "Side=480\r"}));
    for (const char* value : {"~/notes ", "\tboth\t", " lead"}) {
        const Lines file = MergeSettings({}, "G", {{"k", value}}, false);
        EXPECT_EQ(SettingsGroup(file, "G").at("k"), value) << file[1];
    }
}

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1); }
    std::string File() const
    {
        std::ifstream in(SettingsFilePath(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    TempDir dir;
};

// Catches two programs saving at once losing each other's keys (each read the file, then
// wrote it whole): 50 saves of each group at once, and the other lines, all kept.
TEST_F(SettingsFileTest, TwoProgramsSavingAtOnceLoseNothing)
{
    ASSERT_TRUE(WriteSettings("Other", {{"kept", "yes"}}));
    std::vector<pid_t> writers;
    for (const char* group : {"Ornament", "RecentFiles"}) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            bool all = true;
            for (int i = 1; i <= 50; ++i)
                all &= WriteSettings(group, {{"count", std::to_string(i)}, {group, std::to_string(i)}});
            ::_exit(all ? 0 : 1);
        }
        writers.push_back(pid);
    }
    for (const pid_t pid : writers) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(ReadSettings("Ornament"), (std::map<std::string, std::string>{{"Ornament", "50"}, {"count", "50"}}));
    EXPECT_EQ(ReadSettings("RecentFiles"),
              (std::map<std::string, std::string>{{"RecentFiles", "50"}, {"count", "50"}}));
    EXPECT_EQ(ReadSettings("Other"), (std::map<std::string, std::string>{{"kept", "yes"}}));
}

// Catches a file the user made read-only being replaced anyway (a rename needs no write
// permission on the file): it stays as it is, and that is said once however often it is saved.
TEST_F(SettingsFileTest, AFileMadeReadOnlyIsNotWrittenAndThatIsSaidOnce)
{
    ASSERT_TRUE(WriteSettings("Ornament", {{"X", "17"}}));
    const std::string before = File();
    ASSERT_EQ(::chmod(SettingsFilePath().c_str(), 0444), 0);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(WriteSettings("Ornament", {{"X", "600"}}));
    EXPECT_FALSE(WriteSettings("Ornament", {{"X", "700"}}));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(File(), before);
    EXPECT_EQ(said,
              "lumetta: settings " + SettingsFilePath().string() + " are read-only, so nothing is saved in them\n");
}

// Catches a save that waits for ever on a lock another program holds (the ornament froze, and
// no end signal ended it), or a damaged file said line by line: with the folder locked by
// another, a save that may not wait comes back at once as locked and one that may comes back
// after a second, saying so once; a file of 20,000 damaged lines is said in one line.
TEST_F(SettingsFileTest, AHeldLockIsNeverWaitedOnForLongAndADamagedFileIsOneLine)
{
    ASSERT_TRUE(WriteSettings("Ornament", {{"X", "17"}}));
    const int held = ::open(SettingsFilePath().parent_path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    EXPECT_EQ(TryWriteSettings("Ornament", {{"X", "600"}}, false, 0), SettingsSave::Locked);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(WriteSettings("Ornament", {{"X", "700"}}));
    EXPECT_FALSE(WriteSettings("Ornament", {{"X", "800"}}));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "lumetta: settings " + SettingsFilePath().string() +
                        " are locked by another program, so nothing is saved in them\n");
    ::close(held);
    EXPECT_EQ(ReadSettings("Ornament").at("X"), "17");

    std::string damaged = "[Ornament]\nX=17\n";
    for (int i = 0; i < 20000; ++i)
        damaged += std::string(300, '\x01') + "\n";
    std::ofstream(SettingsFilePath(), std::ios::binary) << damaged;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ReadSettings("Ornament").at("X"), "17");
    const std::string lines = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines.substr(0, 400);
    EXPECT_LT(lines.size(), 400u);
    EXPECT_NE(lines.find("line 3: unexpected '\\x01\\x01"), std::string::npos) << lines.substr(0, 400);
    EXPECT_NE(lines.find("(and 19999 more lines like it)"), std::string::npos);
}

}  // namespace
