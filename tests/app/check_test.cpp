// The start-up guard: evaluated even in a build without assertions, silent when
// true, and on failure the text, file and line, then exit status 1.
#define NDEBUG 1
#include <gtest/gtest.h>

#include <string>

#include "app/check.h"

TEST(CheckDeathTest, EvaluatesAlwaysAndReportsFailures) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    int loads = 0;
    CHECK(++loads);
    CHECK_TEXT(++loads, "loads");
    EXPECT_EQ(loads, 2) << "the guarded expression runs once each, assertions or not";
    int* found = nullptr;
    EXPECT_EXIT(CHECK(found = nullptr), testing::ExitedWithCode(1), "File: .*check_test.cpp");
    EXPECT_EXIT(CHECK_TEXT(found, "s_envmap = jpeg_load2pixmap(\"r\xC3\xB6" "d.jpg\")"), testing::ExitedWithCode(1),
                "s_envmap = jpeg_load2pixmap");
    const int line = __LINE__ + 1;
    EXPECT_EXIT(CHECK(loads == 3), testing::ExitedWithCode(1), "Line: " + std::to_string(line) + "[^0-9]");
}
