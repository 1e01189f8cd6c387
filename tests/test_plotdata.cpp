// The plot's data without a window: the time axis from the date columns (run under a time zone
// far from UTC), the series per station with gaps and skipped cells, which columns count as
// numeric, and the points kept per pixel column against a brute-force reference.
#include "plot/plotdata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <time.h>

namespace {

// The whole program runs in a time zone far from UTC (UTC+14, set before any test starts, however
// the program is started), so that any conversion through local time shows in the results.
[[maybe_unused]] const bool farFromUtc = [] {
    ::setenv("TZ", "Pacific/Kiritimati", 1);
    ::tzset();
    return true;
}();

// A cell given as text, or NULL.
using Cell = std::optional<std::string>;
const Cell null = std::nullopt;

// A store of the header and the records, as a run leaves it in the grid.
ResultStore storeOf(const std::vector<std::string> &header,
                    const std::vector<std::vector<Cell>> &records)
{
    const int columns = static_cast<int>(header.size());
    ResultStore store(columns, 1);
    store.setHeader(header);
    RecordBatchBuilder builder(columns);
    for (const auto &record : records) {
        std::vector<const char *> fields;
        std::vector<unsigned long> lengths;
        for (const Cell &cell : record) {
            fields.push_back(cell ? cell->data() : nullptr);
            lengths.push_back(cell ? cell->size() : 0);
        }
        builder.appendRecord(fields.data(), lengths.data());
    }
    store.appendRecords(builder.finish());
    return store;
}

// A series as text: "name: minute=value ..." with "gap" for NaN.
std::string describe(const PlotSeries &series)
{
    std::string text = series.name.toStdString() + ":";
    for (std::size_t i = 0; i < series.minutes.size(); ++i) {
        text += " " + std::to_string(series.minutes[i]) + "=";
        if (std::isnan(series.values[i])) {
            text += "gap";
        } else {
            char number[32];
            std::snprintf(number, sizeof number, "%g", series.values[i]);
            text += number;
        }
    }
    return text;
}

} // namespace

TEST(PlotTime, CalendarTimesAreMinutesSince1970InUtc)
{
    // The program runs in a time zone of UTC+14 (farFromUtc): a local conversion would be off by
    // 14 hours.
    struct Case
    {
        int year, month, day, hour, minute;
        std::optional<std::int64_t> expected;
    };
    const Case cases[] = {
        {1970, 1, 1, 0, 0, 0},
        {1995, 7, 15, 0, 0, 13429440},
        {1995, 7, 15, 23, 0, 13429440 + 23 * 60},
        {1995, 7, 16, 0, 0, 13430880}, // day boundary: one hour after 23:00
        {1995, 7, 31, 23, 0, 13453920 - 60},
        {1995, 8, 1, 0, 0, 13453920}, // month boundary
        {2012, 2, 29, 0, 0, 22174560}, // leap day
        {2012, 3, 1, 0, 0, 22176000},
        {2000, 2, 29, 23, 0, 15864420}, // leap day of a year divisible by 400
        {1900, 3, 1, 0, 0, -36731520}, // before 1970
        {1995, 7, 14, 23, 53, 13429440 - 7}, // a report some minutes before the hour
        {1900, 2, 29, 0, 0, std::nullopt}, // 1900 was no leap year
        {2011, 2, 29, 0, 0, std::nullopt},
        {1995, 13, 1, 0, 0, std::nullopt},
        {1995, 4, 31, 0, 0, std::nullopt},
        {1995, 7, 15, 24, 0, std::nullopt},
        {1995, 7, 15, 0, 60, std::nullopt},
        {1995, 0, 15, 0, 0, std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(utcMinutes(c.year, c.month, c.day, c.hour, c.minute), c.expected)
            << c.year << "-" << c.month << "-" << c.day << " " << c.hour << ":" << c.minute;
}

TEST(PlotNumbers, CellTextsAsNumbers)
{
    const std::pair<std::string, std::optional<double>> cases[] = {
        {"87.3", 87.3},
        {"-12", -12},
        {"+4.5", 4.5},
        {"1e3", 1000},
        {"0", 0},
        {"", std::nullopt},
        {" 5", std::nullopt},
        {"5 ", std::nullopt},
        {"M", std::nullopt},
        {"12x", std::nullopt},
        {"nan", std::nullopt},
        {"inf", std::nullopt},
        {"-", std::nullopt},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(parseNumber(text), expected) << '"' << text << '"';
}

TEST(PlotColumnsTest, NumericColumnsAreThoseWhoseCellsAreMostlyNumbers)
{
    const ResultStore store = storeOf(
        {"id", "year", "month", "day", "hour", "faa", "icao", "lon", "temp", "skyc", "wxcodes",
         "mixed", "sparse"},
        {
            {"1", "1995", "7", "15", "0", "SWF", "KSWF", "-74.1", "70.2", "CLR", "", "12", null},
            {"2", "1995", "7", "15", "1", "SWF", "KSWF", "-74.1", null, "FEW", "", "x", null},
            {"3", "1995", "7", "15", "2", "SWF", "KSWF", "-74.1", "", "BKN", "", "13", "4"},
        });
    const PlotColumns columns = findPlotColumns(store);
    EXPECT_EQ(columns.year, 1);
    EXPECT_EQ(columns.hour, 4);
    EXPECT_FALSE(columns.hasReportTime());
    EXPECT_EQ(columns.stations, (std::vector<int> {6, 5}));
    // The time columns are the axis, not values; text and empty columns hold no numbers.
    EXPECT_EQ(columns.numeric, (std::vector<int> {0, 7, 8, 11, 12}));
    EXPECT_EQ(columns.whyNot(), QString());
    // Offered: the weather values after lon first, then the positions; not the row's id.
    EXPECT_EQ(columns.valueColumns(), (std::vector<int> {8, 11, 12, 7}));
    EXPECT_EQ(columns.initialColumn(QStringLiteral("sparse")), 12);
    EXPECT_EQ(columns.initialColumn(QStringLiteral("skyc")), 8); // first numeric after lon
    EXPECT_EQ(columns.initialColumn(QStringLiteral("none")), 8);
    EXPECT_EQ(columns.initialColumn(QStringLiteral("id")), 8);

    const ResultStore noTime =
        storeOf({"year", "month", "day", "temp"}, {{"1995", "7", "15", "1"}});
    EXPECT_EQ(findPlotColumns(noTime).whyNot(),
              QStringLiteral("The result has no year, month, day and hour columns."));
    const ResultStore noNumbers =
        storeOf({"year", "month", "day", "hour", "icao"}, {{"1995", "7", "15", "1", "KSWF"}});
    EXPECT_EQ(findPlotColumns(noNumbers).whyNot(),
              QStringLiteral("The result has no column with numbers besides the time."));
}

TEST(PlotSeriesTest, OneSeriesPerStationWithGapsAndSkippedCells)
{
    struct Case
    {
        const char *name;
        std::vector<std::string> header;
        std::vector<std::vector<Cell>> records;
        std::vector<std::string> expected;
        std::size_t points, notNumbers, badTimes;
    };
    const std::vector<std::string> stationHeader = {"year", "month", "day", "hour",
                                                    "faa",  "icao",  "wmo", "temp"};
    const std::vector<Case> cases = {
        {"stations interleaved by time",
         stationHeader,
         {{"1995", "7", "15", "0", "SWF", "KSWF", "1", "70"},
          {"1995", "7", "15", "0", "LAS", "KLAS", "2", "90"},
          {"1995", "7", "15", "1", "SWF", "KSWF", "1", "71"},
          {"1995", "7", "15", "1", "LAS", "KLAS", "2", "91.5"}},
         {"KLAS: 13429440=90 13429500=91.5", "KSWF: 13429440=70 13429500=71"},
         4,
         0,
         0},
        {"NULL and empty are gaps, a text is skipped and counted",
         stationHeader,
         {{"1995", "7", "15", "0", "SWF", "KSWF", "1", "70"},
          {"1995", "7", "15", "1", "SWF", "KSWF", "1", null},
          {"1995", "7", "15", "2", "SWF", "KSWF", "1", ""},
          {"1995", "7", "15", "3", "SWF", "KSWF", "1", "M"},
          {"1995", "7", "15", "4", "SWF", "KSWF", "1", "-3.5"}},
         {"KSWF: 13429440=70 13429500=gap 13429560=gap 13429680=-3.5"},
         2,
         1,
         0},
        {"no icao: faa, then wmo, names the station",
         stationHeader,
         {{"1995", "7", "15", "0", "SWF", "", "1", "1"},
          {"1995", "7", "15", "0", null, "", "72386", "2"},
          {"1995", "7", "15", "0", "", null, null, "3"}},
         {": 13429440=3", "72386: 13429440=2", "SWF: 13429440=1"},
         3,
         0,
         0},
        {"no station columns: one series",
         {"year", "month", "day", "hour", "temp"},
         {{"1995", "7", "15", "1", "5"}, {"1995", "7", "15", "0", "6"}},
         {": 13429440=6 13429500=5"},
         2,
         0,
         0},
        {"out of order records are put in order, a day and a month boundary crossed",
         {"year", "month", "day", "hour", "icao", "temp"},
         {{"1995", "8", "1", "0", "KSWF", "3"},
          {"1995", "7", "31", "23", "KSWF", "2"},
          {"1995", "7", "16", "0", "KSWF", "1"},
          {"1995", "7", "15", "23", "KSWF", "0"}},
         // The fortnight between the 16th and the 31st breaks the line.
         {"KSWF: 13430820=0 13430880=1 13442370=gap 13453860=2 13453920=3"},
         4,
         0,
         0},
        {"observations 17 years apart: the line breaks halfway between them",
         {"year", "month", "day", "hour", "icao", "temp"},
         {{"1995", "7", "15", "0", "KSWF", "70"},
          {"1995", "7", "15", "1", "KSWF", "71"},
          {"1995", "7", "15", "2", "KSWF", "72"},
          {"2012", "11", "1", "12", "KSWF", "40"},
          {"2012", "11", "1", "13", "KSWF", "41"}},
         {"KSWF: 13429440=70 13429500=71 13429560=72 17979540=gap 22529520=40 22529580=41"},
         5,
         0,
         0},
        {"hourly observations with a few hours missing keep their line",
         {"year", "month", "day", "hour", "icao", "temp"},
         {{"1995", "7", "15", "0", "KSWF", "70"},
          {"1995", "7", "15", "1", "KSWF", "71"},
          {"1995", "7", "15", "2", "KSWF", "72"},
          {"1995", "7", "15", "6", "KSWF", "76"}},
         {"KSWF: 13429440=70 13429500=71 13429560=72 13429800=76"},
         4,
         0,
         0},
        {"soundings twelve hours apart keep their line; two days without one break it",
         {"year", "month", "day", "hour", "icao", "temp"},
         {{"1995", "7", "15", "0", "KALB", "20"},
          {"1995", "7", "15", "12", "KALB", "21"},
          {"1995", "7", "16", "0", "KALB", "22"},
          {"1995", "7", "16", "12", "KALB", "23"},
          {"1995", "7", "18", "12", "KALB", "24"}},
         {"KALB: 13429440=20 13430160=21 13430880=22 13431600=23 13433040=gap 13434480=24"},
         5,
         0,
         0},
        {"an invalid time is skipped and counted",
         {"year", "month", "day", "hour", "icao", "temp"},
         {{"1995", "2", "29", "0", "KSWF", "1"},
          {"1995", "7", "15", "", "KSWF", "2"},
          {"1995", "7", "15", "0", "KSWF", "3"}},
         {"KSWF: 13429440=3"},
         1,
         0,
         2},
    };
    for (const Case &c : cases) {
        const ResultStore store = storeOf(c.header, c.records);
        const PlotColumns columns = findPlotColumns(store);
        const PlotData data =
            readPlotData(store, columns, {static_cast<int>(c.header.size()) - 1, false});
        std::vector<std::string> series;
        for (const PlotSeries &s : data.series)
            series.push_back(describe(s));
        EXPECT_EQ(series, c.expected) << c.name;
        EXPECT_EQ(data.points, c.points) << c.name;
        EXPECT_EQ(data.notNumbers, c.notNumbers) << c.name;
        EXPECT_EQ(data.badTimes, c.badTimes) << c.name;
    }
}

TEST(PlotSeriesTest, ReportTimeTakesTheExactColumns)
{
    const ResultStore store =
        storeOf({"year", "month", "day", "hour", "icao", "exactyear", "exactmonth", "exactday",
                 "exacthour", "exactminute", "temp"},
                {{"1995", "7", "15", "0", "KSWF", "1995", "7", "14", "23", "53", "70"}});
    const PlotColumns columns = findPlotColumns(store);
    ASSERT_TRUE(columns.hasReportTime());
    EXPECT_EQ(columns.numeric, (std::vector<int> {10}));
    EXPECT_EQ(describe(readPlotData(store, columns, {10, false}).series.at(0)),
              "KSWF: 13429440=70");
    EXPECT_EQ(describe(readPlotData(store, columns, {10, true}).series.at(0)), "KSWF: 13429433=70");
}

TEST(PlotDecimation, KeepsFirstLastLowestAndHighestOfEveryPixelColumn)
{
    std::mt19937 random(13);
    struct Shape
    {
        int points, width;
        double gapShare;
        int from, to; // the range shown, in minutes
    };
    const Shape shapes[] = {
        {5000, 100, 0.05, 0, 5000},      {5000, 100, 0.3, 1000, 1500}, {300, 1000, 0.1, 0, 300},
        {10000, 7, 0.0, -50, 20000},     {2000, 50, 0.5, 500, 501},    {1, 10, 0.0, 0, 10},
        {100000, 20, 0.001, 100, 90000}, {30000, 3, 0.9, 0, 30000},
    };
    for (const Shape &shape : shapes) {
        // Times with repeats and holes, values with NaN gaps.
        std::vector<std::int32_t> minutes;
        std::vector<float> values;
        std::int32_t time = 0;
        std::uniform_real_distribution<float> value(-50, 120);
        std::uniform_real_distribution<double> share(0, 1);
        for (int i = 0; i < shape.points; ++i) {
            time += static_cast<std::int32_t>(random() % 3);
            minutes.push_back(time);
            values.push_back(share(random) < shape.gapShare ? NAN : value(random));
        }

        // The reference: every point's column, then each column's picks from all its points.
        std::vector<std::size_t> expected;
        std::vector<int> column(minutes.size(), -1);
        const double scale = shape.width / double(shape.to - shape.from);
        std::size_t before = minutes.size(), after = minutes.size();
        for (std::size_t i = 0; i < minutes.size(); ++i) {
            if (minutes[i] < shape.from)
                before = i;
            else if (minutes[i] > shape.to && after == minutes.size())
                after = i;
            else if (minutes[i] <= shape.to)
                column[i] = std::min(shape.width - 1, int((minutes[i] - shape.from) * scale));
        }
        if (before < minutes.size())
            expected.push_back(before);
        for (int c = 0; c < shape.width; ++c) {
            std::vector<std::size_t> numbers, gaps;
            for (std::size_t i = 0; i < minutes.size(); ++i)
                if (column[i] == c)
                    (std::isnan(values[i]) ? gaps : numbers).push_back(i);
            std::vector<std::size_t> picks;
            if (!gaps.empty())
                picks.push_back(gaps.front());
            if (!numbers.empty()) {
                picks.push_back(numbers.front());
                picks.push_back(numbers.back());
                const auto byValue = [&](std::size_t a, std::size_t b) {
                    return values[a] < values[b];
                };
                picks.push_back(*std::min_element(numbers.begin(), numbers.end(), byValue));
                picks.push_back(*std::max_element(numbers.begin(), numbers.end(), byValue));
            }
            std::sort(picks.begin(), picks.end());
            picks.erase(std::unique(picks.begin(), picks.end()), picks.end());
            expected.insert(expected.end(), picks.begin(), picks.end());
        }
        if (after < minutes.size())
            expected.push_back(after);

        // Point by point, and with the blocks' summary for long columns.
        const PointBlocks blocks = summarise(values.data(), values.size());
        for (const PointBlocks *summary : {static_cast<const PointBlocks *>(nullptr), &blocks}) {
            DecimatedPoints out;
            decimate(minutes.data(), values.data(), minutes.size(), shape.from, shape.to,
                     shape.width, out, summary);
            ASSERT_EQ(out.minutes.size(), expected.size()) << shape.points << " " << shape.width;
            for (std::size_t k = 0; k < expected.size(); ++k) {
                EXPECT_EQ(out.minutes[k], minutes[expected[k]]) << k;
                if (std::isnan(values[expected[k]])) {
                    EXPECT_TRUE(std::isnan(out.values[k])) << k;
                } else {
                    EXPECT_EQ(out.values[k], values[expected[k]]) << k;
                }
            }
            // Few points per column however many points there are.
            EXPECT_LE(out.minutes.size(), std::size_t(5 * shape.width + 2));
        }
    }
}
