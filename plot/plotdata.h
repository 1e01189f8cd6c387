#pragma once

#include "store/resultstore.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// What the plot window draws, worked out from a result without widgets: the time of each row,
// the series per station, the numbers of one column, and the points a screen can show of them.

// Minutes since 1970-01-01 00:00 UTC of a calendar time, by the proleptic Gregorian calendar.
// Pure arithmetic: no time zone is involved. Nothing for a date or time that does not exist
// (month 13, 30 February, hour 24, minute 60).
std::optional<std::int64_t> utcMinutes(int year, int month, int day, int hour, int minute = 0);

// The cell's text as a number: decimal or exponent notation as the server writes numbers,
// with an optional sign; nothing for empty text, blanks or anything else.
std::optional<double> parseNumber(std::string_view text);

// How a column's numbers are labelled: its unit in the sample schema ("°F", "kt", "inHg", ...),
// empty for columns without one. Soundings ("upper") keep temperatures in °C.
QString columnUnit(const QString &column, bool sounding);

// The columns of a result that a plot uses.
struct PlotColumns
{
    // year, month, day, hour of the observation; -1 where the result lacks one.
    int year = -1, month = -1, day = -1, hour = -1;
    // exactyear .. exactminute of the report ("surface"); -1 where the result lacks one.
    int exact[5] = {-1, -1, -1, -1, -1};
    // The station identifiers, in the order a series name is taken from: icao, faa, wmo.
    std::vector<int> stations;
    // The columns holding numbers, other than the time columns, in the result's order.
    std::vector<int> numeric;
    // The result's column names.
    std::vector<QString> names;
    // The result is a sounding (it has the upper-air columns pres and hght).
    bool sounding = false;

    bool hasObservationTime() const { return year >= 0 && month >= 0 && day >= 0 && hour >= 0; }
    bool hasReportTime() const;
    // Why the result cannot be plotted; empty when it can.
    QString whyNot() const;
    // The numeric columns as the plot offers them: the weather values (those after lon) first,
    // then the identifiers and positions before them; a column named id, a mere row number, is
    // left out.
    std::vector<int> valueColumns() const;
    // The column a plot starts with: the named one when it is offered, else the first offered;
    // -1 when none is.
    int initialColumn(const QString &preferred) const;
};

// Reads the header and judges which columns hold numbers: a column does when most of the
// non-empty cells among its first sampleRows records are numbers. Quick enough for the window's
// thread: it reads only the sample.
PlotColumns findPlotColumns(const ResultStore &store, int sampleRows = 1000);

// For each block of a series' points, where its lowest and its highest number and its first gap
// are (offsets in the block; none where the block has no number or no gap), so that picking the
// points of a long stretch reads a few bytes a block rather than every point. 3 bytes a block.
struct PointBlocks
{
    static constexpr std::size_t size = 64;
    static constexpr std::uint8_t none = 255;
    std::vector<std::uint8_t> low, high, gap;
};
PointBlocks summarise(const float *values, std::size_t count);

// One station's points, ordered by time: minutes since 1970 UTC, and the value, NaN for a NULL
// or empty cell (a gap in the line). Where two observations lie much farther apart than the
// station's usual step (gapFactor times its median step, and at least minimumGapMinutes), a NaN
// point between them breaks the line, so no line is drawn across a time without observations.
// Compact: 8 bytes a point and the blocks' summary.
struct PlotSeries
{
    static constexpr int gapFactor = 3;
    static constexpr std::int32_t minimumGapMinutes = 6 * 60;

    QString name;
    std::vector<std::int32_t> minutes;
    std::vector<float> values;
    PointBlocks blocks;
};

struct PlotData
{
    std::vector<PlotSeries> series;
    // Points with a value, NaN gaps not counted.
    std::size_t points = 0;
    // Cells of the column that hold something other than a number.
    std::size_t notNumbers = 0;
    // Records whose time columns do not make a valid time.
    std::size_t badTimes = 0;
    // The span of all series' times (minutes) and of their values; first > last when there
    // is no point, low > high when there is no value.
    double first = 1, last = 0, low = 1, high = 0;

    std::size_t byteCount() const;
};

// What to read: the column of values and which time to put them at.
struct PlotRequest
{
    int valueColumn = -1;
    bool reportTime = false;
};

// Reads the records of the store once, per column, into one series per station. Meant for a
// worker thread, on a copy of the grid's store (the copy shares the grid's batches, which never
// change).
PlotData readPlotData(const ResultStore &store, const PlotColumns &columns,
                      const PlotRequest &request);

// The points of one series that a screen shows of the time range [from, to] in width columns
// of equal time: for each column its first, last, lowest and highest number in time order, so
// spikes stay visible, and its first NaN, so a gap stays a break in the line (one narrower
// than a column is drawn where the column's first gap is). A column of one point keeps it as it
// is. The last point before the range and the first after it are kept, so lines run on to the
// edges. Keys are minutes, as in PlotSeries.
struct DecimatedPoints
{
    std::vector<double> minutes;
    std::vector<double> values;
};
// blocks, when given, is the summary of the values and makes long columns quick.
void decimate(const std::int32_t *minutes, const float *values, std::size_t count, double from,
              double to, int width, DecimatedPoints &out, const PointBlocks *blocks = nullptr);
