// The hosts' once-a-frame look at GL errors.
#include "view/gl_check.h"

#include "tests/support/gl_test.h"

#include <cstdio>
#include <memory>
#include <string>

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

std::string Contents(std::FILE* f)
{
    std::string text;
    std::rewind(f);
    for (int c; (c = std::fgetc(f)) != EOF;)
        text += static_cast<char>(c);
    return text;
}

// Catches errors that go unreported, and a report repeated every frame.
TEST(GlCheckTest, EachKindOfErrorIsReportedOnceInWords)
{
    std::unique_ptr<std::FILE, FileCloser> out(std::tmpfile());
    ASSERT_TRUE(out);
    CGlErrorCheck check;
    EXPECT_EQ(check.Check("before anything", out.get()), 0);
    EXPECT_EQ(Contents(out.get()), "");

    glEnable(0x7fff);  // no such capability
    EXPECT_EQ(check.Check("in frame 1", out.get()), 1);
    const std::string first = Contents(out.get());
    EXPECT_NE(first.find("0x0500"), std::string::npos) << first;
    EXPECT_NE(first.find("invalid enumerant"), std::string::npos) << first;
    EXPECT_NE(first.find("in frame 1"), std::string::npos) << first;

    glEnable(0x7fff);
    EXPECT_EQ(check.Check("in frame 2", out.get()), 1);
    EXPECT_EQ(Contents(out.get()), first) << "the same kind was reported again";

    glLineWidth(-1.0f);  // invalid value: a new kind
    EXPECT_EQ(check.Check("in frame 3", out.get()), 1);
    EXPECT_NE(Contents(out.get()).find("0x0501"), std::string::npos);
    ExpectNoGlError();
}

}  // namespace
