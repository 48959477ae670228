// The build links and the test runner works: the smallest possible integration check.
#include <gtest/gtest.h>

TEST(Smoke, BuildRuns) { EXPECT_EQ(1 + 1, 2); }
