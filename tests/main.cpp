#include "tests/support/gl_test.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Death tests re-run the binary rather than fork it: the GL driver runs threads.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    AddGlTestEnvironment();
    return RUN_ALL_TESTS();
}
