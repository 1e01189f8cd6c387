#include "run/servercounters.h"

#include <gtest/gtest.h>

namespace {

struct ParseCase
{
    const char *text;
    std::int64_t value;
};

class ServerInteger : public testing::TestWithParam<ParseCase>
{
};

TEST_P(ServerInteger, Parses)
{
    EXPECT_EQ(parseServerInteger(GetParam().text), GetParam().value)
        << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(Counters, ServerInteger,
                         testing::Values(ParseCase {"0", 0}, ParseCase {"123456", 123456},
                                         ParseCase {"", 0}, ParseCase {"   42", 42},
                                         ParseCase {"42abc", 42}, ParseCase {"abc42", 0},
                                         ParseCase {"-17", -17}, ParseCase {"+17", 17},
                                         ParseCase {"- 17", 0}, ParseCase {"--1", 0},
                                         ParseCase {"   ", 0}, ParseCase {"12 34", 12},
                                         ParseCase {"9876543210", 9876543210LL},
                                         ParseCase {"9223372036854775807", 9223372036854775807LL},
                                         ParseCase {"-9223372036854775808", INT64_MIN},
                                         ParseCase {"99999999999999999999", INT64_MAX}));

TEST(Counters, BaselineIsLoweredOnceForAReadingBelowIt)
{
    std::int64_t baseline = 4000000000LL;
    EXPECT_EQ(rowsReadSinceBaseline(100, baseline), 294967395LL);
    EXPECT_EQ(baseline, -294967295LL);
    EXPECT_EQ(rowsReadSinceBaseline(200, baseline), 294967495LL);
    EXPECT_EQ(baseline, -294967295LL);
}

TEST(Counters, ReadingAtOrAboveBaselineLeavesIt)
{
    std::int64_t baseline = 5000;
    EXPECT_EQ(rowsReadSinceBaseline(5000, baseline), 0);
    EXPECT_EQ(rowsReadSinceBaseline(7500, baseline), 2500);
    EXPECT_EQ(baseline, 5000);
}

TEST(Counters, MissingCounterReadsZeroAndLowersBaseline)
{
    std::int64_t baseline = 1000;
    EXPECT_EQ(rowsReadSinceBaseline(0, baseline), 4294967295LL - 1000);
    EXPECT_EQ(baseline, 1000 - 4294967295LL);
}

} // namespace
