#include "common/groupthousands.h"
#include "run/progresstext.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <iomanip>
#include <limits>

namespace {

struct GroupCase
{
    const char *text;
    const char *grouped;
    friend void PrintTo(const GroupCase &c, std::ostream *out) { *out << '"' << c.text << '"'; }
};

class Grouping : public testing::TestWithParam<GroupCase>
{
};

TEST_P(Grouping, PutsACommaBeforeEveryThirdDigit)
{
    EXPECT_EQ(GroupThousands(QString::fromLatin1(GetParam().text)).toStdString(),
              GetParam().grouped)
        << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Progress, Grouping,
    testing::Values(GroupCase {"", ""}, GroupCase {"0", "0"}, GroupCase {"7", "7"},
                    GroupCase {"12", "12"}, GroupCase {"123", "123"}, GroupCase {"999", "999"},
                    GroupCase {"1000", "1,000"}, GroupCase {"1234", "1,234"},
                    GroupCase {"123456", "123,456"}, GroupCase {"1234567", "1,234,567"},
                    GroupCase {"9876536", "9,876,536"},
                    GroupCase {"9223372036854775807", "9,223,372,036,854,775,807"},
                    GroupCase {"-", "-"}, GroupCase {"-1", "-1"}, GroupCase {"-12", "-12"},
                    GroupCase {"-123", "-123"}, GroupCase {"-1234", "-1,234"},
                    GroupCase {"-123456", "-123,456"}, GroupCase {"-1234567", "-1,234,567"},
                    GroupCase {"-9223372036854775808", "-9,223,372,036,854,775,808"},
                    // The characters are not examined; only a leading "-" is set apart.
                    GroupCase {"abcd", "a,bcd"}, GroupCase {"1-234", "1-,234"}));

struct RoundCase
{
    long double value;
    std::optional<std::int64_t> rounded;
    friend void PrintTo(const RoundCase &c, std::ostream *out)
    {
        *out << std::setprecision(21) << c.value;
    }
};

class Rounding : public testing::TestWithParam<RoundCase>
{
};

TEST_P(Rounding, GoesToTheNearestTieToEven)
{
    EXPECT_EQ(roundHalfEven(GetParam().value), GetParam().rounded)
        << static_cast<double>(GetParam().value);
}

constexpr std::int64_t int64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t int64Min = std::numeric_limits<std::int64_t>::min();

INSTANTIATE_TEST_SUITE_P(
    Progress, Rounding,
    testing::Values(RoundCase {12.5L, 12}, RoundCase {13.5L, 14}, RoundCase {-0.5L, 0},
                    RoundCase {0.5L, 0}, RoundCase {1.5L, 2}, RoundCase {2.5L, 2},
                    RoundCase {-1.5L, -2}, RoundCase {-2.5L, -2}, RoundCase {-13.5L, -14},
                    RoundCase {0.0L, 0}, RoundCase {-0.0L, 0}, RoundCase {7.0L, 7},
                    RoundCase {-7.0L, -7}, RoundCase {0.4999999L, 0}, RoundCase {0.5000001L, 1},
                    RoundCase {-0.5000001L, -1}, RoundCase {-0.01L, 0}, RoundCase {99.9L, 100},
                    RoundCase {100.1L, 100},
                    RoundCase {9223372036854775806.5L, 9223372036854775806LL},
                    RoundCase {9223372036854775807.0L, int64Max},
                    RoundCase {9223372036854775807.5L, std::nullopt},
                    RoundCase {9223372036854775808.0L, std::nullopt},
                    RoundCase {-9223372036854775807.5L, int64Min},
                    RoundCase {-9223372036854775808.0L, int64Min},
                    RoundCase {-9223372036854775809.0L, std::nullopt},
                    RoundCase {1e30L, std::nullopt}, RoundCase {-1e30L, std::nullopt},
                    RoundCase {std::numeric_limits<long double>::infinity(), std::nullopt},
                    RoundCase {std::numeric_limits<long double>::quiet_NaN(), std::nullopt}));

struct DayCase
{
    QDate date;
    QTime time;
    double days;
    friend void PrintTo(const DayCase &c, std::ostream *out)
    {
        *out << c.date.toString(Qt::ISODate).toStdString() << 'T'
             << c.time.toString(Qt::ISODateWithMs).toStdString();
    }
};

class DayCount : public testing::TestWithParam<DayCase>
{
};

TEST_P(DayCount, CountsDaysWithTheTimeOfDayAsFraction)
{
    EXPECT_DOUBLE_EQ(localDays(GetParam().date, GetParam().time), GetParam().days)
        << GetParam().date.toString(Qt::ISODate).toStdString() << ' '
        << GetParam().time.toString(Qt::ISODateWithMs).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Progress, DayCount,
    testing::Values(DayCase {QDate(1899, 12, 30), QTime(0, 0), 0.0},
                    DayCase {QDate(1899, 12, 29), QTime(0, 0), -1.0},
                    DayCase {QDate(1899, 12, 31), QTime(12, 0), 1.5},
                    DayCase {QDate(1900, 1, 1), QTime(18, 0), 2.75},
                    DayCase {QDate(1995, 7, 15), QTime(12, 34, 56, 789), 34895.5242683912},
                    DayCase {QDate(2024, 1, 1), QTime(6, 0), 45292.25},
                    DayCase {QDate(2024, 2, 29), QTime(23, 59, 59, 999), 45351.999999988424}));

// The clock is the local one, not UTC: the tests run in a zone 5:30 hours east of UTC (see
// progress.cmake), where reading UTC instead would be off by 330 minutes.
TEST(Progress, CurrentLocalDaysIsTheLocalClockToTheMillisecond)
{
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    const double now = currentLocalDays();
    const qint64 after = QDateTime::currentMSecsSinceEpoch();

    const std::time_t seconds = std::time(nullptr);
    std::tm local {};
    localtime_r(&seconds, &local);
    const qint64 offsetMs = qint64(local.tm_gmtoff) * 1000;

    // 25569 is 1 January 1970 in these units.
    const qint64 nowMs = std::llround((now - 25569.0) * 86400000.0) - offsetMs;
    EXPECT_LE(before, nowMs);
    EXPECT_LE(nowMs, after);
}

struct TickCase
{
    const char *name;
    std::int64_t rowsRead;
    std::int64_t estimate;
    double startDays;
    double nowDays;
    const char *status;
    int bar;
    friend void PrintTo(const TickCase &c, std::ostream *out) { *out << c.name; }
};

class Tick : public testing::TestWithParam<TickCase>
{
};

TEST_P(Tick, WritesTheStatusLineAndSetsTheBar)
{
    const TickCase &c = GetParam();
    const ProgressTick tick = progressTick(c.rowsRead, c.estimate, c.startDays, c.nowDays);
    EXPECT_EQ(tick.status.toStdString(), c.status);
    EXPECT_EQ(tick.bar, c.bar);
}

// Day values that are multiples of 1/64 day (22.5 minutes) are exact, so they give true ties.
INSTANTIATE_TEST_SUITE_P(
    Progress, Tick,
    testing::Values(
        TickCase {"OneEighthAtFiveMinutes", 1234567, 9876536, 45000.5, 45000.50347222222,
                  "Read 1,234,567 of 9,876,536 observations... (12%)  (5 minutes "
                  "elapsed, 35 minutes to go)",
                  12},
        TickCase {"OneHalfAtTenMinutes", 4938268, 9876536, 45000.0, 45000.006944444445,
                  "Read 4,938,268 of 9,876,536 observations... (50%)  (10 minutes "
                  "elapsed, 10 minutes to go)",
                  50},
        TickCase {"TwiceTheEstimate", 19753072, 9876536, 45000.0, 45000.006944444445,
                  "Read 19,753,072 of 9,876,536 observations... (200%)  (10 minutes "
                  "elapsed, -5 minutes to go)",
                  100},
        TickCase {"AllRowsRead", 9876536, 9876536, 45000.0, 45000.006944444445,
                  "Read 9,876,536 of 9,876,536 observations... (100%)  (10 minutes "
                  "elapsed, 0 minutes to go)",
                  100},
        TickCase {"NineHundredNinetyNine", 999, 1000, 45000.0, 45000.006944444445,
                  "Read 999 of 1,000 observations... (100%)  (10 minutes elapsed, 0 "
                  "minutes to go)",
                  100},
        TickCase {"OneThousand", 1000, 999, 45000.0, 45000.006944444445,
                  "Read 1,000 of 999 observations... (100%)  (10 minutes elapsed, 0 "
                  "minutes to go)",
                  100},
        TickCase {"FirstTickAfterStart", 560, 9876536, 45000.0, 45000.0,
                  "Read 560 of 9,876,536 observations... (0%)  (0 minutes elapsed, 0 "
                  "minutes to go)",
                  0},
        TickCase {"AcrossMidnight", 1234567, 9876536, 34895.998611111111, 34896.002083333333,
                  "Read 1,234,567 of 9,876,536 observations... (12%)  (5 minutes "
                  "elapsed, 35 minutes to go)",
                  12},
        // Ties: 22.5 minutes elapsed and 22.5 to go both give 22.
        TickCase {"TiesGoDown", 1, 2, 45000.0, 45000.015625,
                  "Read 1 of 2 observations... (50%)  (22 minutes elapsed, 22 minutes "
                  "to go)",
                  50},
        // 67.5 minutes elapsed give 68, 472.5 to go give 472, 12.5 per cent give 12.
        TickCase {"TiesGoToEven", 1, 8, 45000.0, 45000.046875,
                  "Read 1 of 8 observations... (12%)  (68 minutes elapsed, 472 minutes "
                  "to go)",
                  12},
        TickCase {"PercentTieUp", 3, 8, 45000.0, 45000.0,
                  "Read 3 of 8 observations... (38%)  (0 minutes elapsed, 0 minutes to "
                  "go)",
                  38},
        TickCase {"PercentTieDown", 5, 8, 45000.0, 45000.0,
                  "Read 5 of 8 observations... (62%)  (0 minutes elapsed, 0 minutes to "
                  "go)",
                  62},
        TickCase {"PercentTieUpHigh", 7, 8, 45000.0, 45000.0,
                  "Read 7 of 8 observations... (88%)  (0 minutes elapsed, 0 minutes to "
                  "go)",
                  88},
        // -22.5 minutes to go give -22, -67.5 give -68.
        TickCase {"NegativeTieUp", 2, 1, 45000.0, 45000.03125,
                  "Read 2 of 1 observations... (200%)  (45 minutes elapsed, -22 "
                  "minutes to go)",
                  100},
        TickCase {"NegativeTieDown", 2, 1, 45000.0, 45000.09375,
                  "Read 2 of 1 observations... (200%)  (135 minutes elapsed, -68 "
                  "minutes to go)",
                  100},
        // A clock set back during the run: the formulas apply unchanged.
        TickCase {"ClockSetBack", 1, 2, 45000.015625, 45000.0,
                  "Read 1 of 2 observations... (50%)  (-22 minutes elapsed, -22 "
                  "minutes to go)",
                  50},
        TickCase {"ClockSetBackFurther", 1, 4, 45000.046875, 45000.0,
                  "Read 1 of 4 observations... (25%)  (-68 minutes elapsed, -202 "
                  "minutes to go)",
                  25},
        TickCase {"NegativeRowsRead", -1234, 9876536, 45000.0, 45000.006944444445,
                  "Read -1,234 of 9,876,536 observations... (0%)  (10 minutes "
                  "elapsed, -80047 minutes to go)",
                  0},
        // 2^59 + 1 of 2^62 is 12.5 per cent and a little: 13 with a 64-bit mantissa,
        // 12 if the count were first cut to the 53 bits of a double.
        TickCase {"ExtendedPrecision", 576460752303423489LL, 4611686018427387904LL, 45000.0,
                  45000.0,
                  "Read 576,460,752,303,423,489 of 4,611,686,018,427,387,904 "
                  "observations... (13%)  (0 minutes elapsed, 0 minutes to go)",
                  13},
        TickCase {"LargestCounts", int64Max, int64Max, 45000.0, 45000.0,
                  "Read 9,223,372,036,854,775,807 of 9,223,372,036,854,775,807 "
                  "observations... (100%)  (0 minutes elapsed, 0 minutes to go)",
                  100},
        // Figures beyond the 64-bit range.
        TickCase {"PercentBeyondRange", int64Max, 1, 45000.0, 45000.0,
                  "Read 9,223,372,036,854,775,807 of 1 observations... (?%)  (0 minutes "
                  "elapsed, 0 minutes to go)",
                  100},
        TickCase {"MinutesToGoBeyondRange", 1, int64Max, 45000.0, 45001.0,
                  "Read 1 of 9,223,372,036,854,775,807 observations... (0%)  (1440 "
                  "minutes elapsed, ? minutes to go)",
                  0},
        // Zero divisors.
        TickCase {"NoRowsReadYet", 0, 9876536, 45000.5, 45000.50347222222,
                  "Read 0 of 9,876,536 observations... (0%)  (5 minutes elapsed, ? "
                  "minutes to go)",
                  0},
        TickCase {"NoEstimate", 1234567, 0, 45000.5, 45000.50347222222,
                  "Read 1,234,567 of 0 observations... (?%)  (5 minutes elapsed, ? "
                  "minutes to go)",
                  0},
        TickCase {"NoRowsAndNoEstimate", 0, 0, 45000.5, 45000.50347222222,
                  "Read 0 of 0 observations... (?%)  (5 minutes elapsed, ? minutes to "
                  "go)",
                  0},
        TickCase {"NegativeRowsAndNoEstimate", -5, 0, 45000.0, 45000.0,
                  "Read -5 of 0 observations... (?%)  (0 minutes elapsed, ? minutes to "
                  "go)",
                  0}),
    [](const testing::TestParamInfo<TickCase> &info) { return std::string(info.param.name); });

} // namespace
