#include "plot/plotdata.h"

#include <QHash>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <numeric>
#include <string>
#include <unordered_map>

namespace {

bool leapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leapYear(year) ? 29 : days[month - 1];
}

// Days since 1970-01-01 of a valid date (the civil-from-days inverse, in whole eras of 400
// years so negative years work too).
std::int64_t daysFromCivil(std::int64_t year, int month, int day)
{
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::optional<int> parseInt(std::string_view text)
{
    int value = 0;
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || text.empty())
        return std::nullopt;
    return value;
}

bool sameName(const std::string &name, const char *wanted)
{
    return QString::fromUtf8(name).compare(QLatin1String(wanted), Qt::CaseInsensitive) == 0;
}

// Puts a NaN point into each step of the series (ordered by time) that is much longer than its
// usual one, so the line breaks there. The usual step is the median of the steps between
// different times.
void breakLongGaps(PlotSeries &series)
{
    std::vector<std::int32_t> steps;
    for (std::size_t i = 1; i < series.minutes.size(); ++i)
        if (series.minutes[i] > series.minutes[i - 1])
            steps.push_back(series.minutes[i] - series.minutes[i - 1]);
    if (steps.empty())
        return;
    const auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    const std::int64_t longest = std::max<std::int64_t>(
        std::int64_t(*middle) * PlotSeries::gapFactor, PlotSeries::minimumGapMinutes);
    std::vector<std::int32_t> minutes;
    std::vector<float> values;
    for (std::size_t i = 0; i < series.minutes.size(); ++i) {
        if (i > 0 && std::int64_t(series.minutes[i]) - series.minutes[i - 1] > longest) {
            if (minutes.empty()) {
                minutes.reserve(series.minutes.size() + 16);
                values.reserve(series.minutes.size() + 16);
                minutes.assign(series.minutes.begin(), series.minutes.begin() + long(i));
                values.assign(series.values.begin(), series.values.begin() + long(i));
            }
            // Halfway, so each side keeps its own last point in its pixel column.
            minutes.push_back(static_cast<std::int32_t>(
                series.minutes[i - 1]
                + (std::int64_t(series.minutes[i]) - series.minutes[i - 1]) / 2));
            values.push_back(std::numeric_limits<float>::quiet_NaN());
        }
        if (!minutes.empty()) {
            minutes.push_back(series.minutes[i]);
            values.push_back(series.values[i]);
        }
    }
    if (!minutes.empty()) {
        series.minutes = std::move(minutes);
        series.values = std::move(values);
    }
}

} // namespace

std::optional<std::int64_t> utcMinutes(int year, int month, int day, int hour, int minute)
{
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour < 0
        || hour > 23 || minute < 0 || minute > 59)
        return std::nullopt;
    return (daysFromCivil(year, month, day) * 24 + hour) * 60 + minute;
}

std::optional<double> parseNumber(std::string_view text)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || text.empty() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString columnUnit(const QString &column, bool sounding)
{
    static const QHash<QString, QString> surface = {
        {QStringLiteral("temp"), QStringLiteral("°F")},
        {QStringLiteral("dewpt"), QStringLiteral("°F")},
        {QStringLiteral("feel"), QStringLiteral("°F")},
        {QStringLiteral("relh"), QStringLiteral("%")},
        {QStringLiteral("wdir"), QStringLiteral("°")},
        {QStringLiteral("wspd"), QStringLiteral("kt")},
        {QStringLiteral("gust"), QStringLiteral("kt")},
        {QStringLiteral("vis"), QStringLiteral("mi")},
        {QStringLiteral("alti"), QStringLiteral("inHg")},
        {QStringLiteral("slp"), QStringLiteral("hPa")},
        {QStringLiteral("p01i"), QStringLiteral("in")},
        {QStringLiteral("skyl"), QStringLiteral("ft")},
        {QStringLiteral("ceil"), QStringLiteral("ft")},
        {QStringLiteral("lat"), QStringLiteral("°N")},
        {QStringLiteral("lon"), QStringLiteral("°E")},
    };
    static const QHash<QString, QString> upper = {
        {QStringLiteral("pres"), QStringLiteral("hPa")},
        {QStringLiteral("hght"), QStringLiteral("m")},
        {QStringLiteral("temp"), QStringLiteral("°C")},
        {QStringLiteral("dwpt"), QStringLiteral("°C")},
        {QStringLiteral("relh"), QStringLiteral("%")},
        {QStringLiteral("mixr"), QStringLiteral("g/kg")},
        {QStringLiteral("drct"), QStringLiteral("°")},
        {QStringLiteral("sknt"), QStringLiteral("kt")},
        {QStringLiteral("thta"), QStringLiteral("K")},
        {QStringLiteral("thte"), QStringLiteral("K")},
        {QStringLiteral("thtv"), QStringLiteral("K")},
        {QStringLiteral("lat"), QStringLiteral("°N")},
        {QStringLiteral("lon"), QStringLiteral("°E")},
    };
    return (sounding ? upper : surface).value(column.toLower());
}

bool PlotColumns::hasReportTime() const
{
    return std::all_of(std::begin(exact), std::end(exact), [](int c) { return c >= 0; });
}

QString PlotColumns::whyNot() const
{
    if (!hasObservationTime())
        return QStringLiteral("The result has no year, month, day and hour columns.");
    if (numeric.empty())
        return QStringLiteral("The result has no column with numbers besides the time.");
    return {};
}

std::vector<int> PlotColumns::valueColumns() const
{
    const auto lon = std::find_if(names.begin(), names.end(), [](const QString &name) {
        return name.compare(QLatin1String("lon"), Qt::CaseInsensitive) == 0;
    });
    const int lastPlace = lon == names.end() ? -1 : static_cast<int>(lon - names.begin());
    std::vector<int> values;
    std::vector<int> places;
    for (int column : numeric) {
        if (names[column].compare(QLatin1String("id"), Qt::CaseInsensitive) == 0)
            continue;
        (column > lastPlace ? values : places).push_back(column);
    }
    values.insert(values.end(), places.begin(), places.end());
    return values;
}

int PlotColumns::initialColumn(const QString &preferred) const
{
    const std::vector<int> offered = valueColumns();
    if (offered.empty())
        return -1;
    for (int column : offered)
        if (names[column].compare(preferred, Qt::CaseInsensitive) == 0)
            return column;
    return offered.front();
}

PlotColumns findPlotColumns(const ResultStore &store, int sampleRows)
{
    PlotColumns found;
    const int columns = store.columnCount();
    std::vector<std::string> header;
    for (int c = 0; c < columns; ++c) {
        header.emplace_back(store.cell(c, 0));
        found.names.push_back(QString::fromStdString(header.back()));
    }
    static const char *const exactNames[] = {"exactyear", "exactmonth", "exactday", "exacthour",
                                             "exactminute"};
    std::vector<bool> timeColumn(columns, false);
    for (int c = 0; c < columns; ++c) {
        const std::string &name = header[c];
        int *slot = nullptr;
        if (sameName(name, "year"))
            slot = &found.year;
        else if (sameName(name, "month"))
            slot = &found.month;
        else if (sameName(name, "day"))
            slot = &found.day;
        else if (sameName(name, "hour"))
            slot = &found.hour;
        for (int e = 0; e < 5 && !slot; ++e)
            if (sameName(name, exactNames[e]))
                slot = &found.exact[e];
        if (slot && *slot < 0) {
            *slot = c;
            timeColumn[c] = true;
        }
    }
    for (const char *station : {"icao", "faa", "wmo"})
        for (int c = 0; c < columns; ++c)
            if (sameName(header[c], station)) {
                found.stations.push_back(c);
                break;
            }
    const auto has = [&](const char *name) {
        return std::any_of(header.begin(), header.end(),
                           [&](const std::string &h) { return sameName(h, name); });
    };
    found.sounding = has("pres") && has("hght");

    // Numbers against other texts among each column's non-empty sampled cells.
    std::vector<int> numbers(columns, 0), others(columns, 0);
    ResultStore::RowReader reader(store);
    reader.next(); // the header
    for (int row = 0; row < std::min(sampleRows, store.recordCount()); ++row) {
        const std::string_view *cells = reader.next();
        if (!cells)
            break;
        for (int c = 0; c < columns; ++c)
            if (!cells[c].empty())
                ++(parseNumber(cells[c]) ? numbers : others)[c];
    }
    for (int c = 0; c < columns; ++c)
        if (!timeColumn[c] && numbers[c] > others[c])
            found.numeric.push_back(c);
    return found;
}

std::size_t PlotData::byteCount() const
{
    std::size_t total = sizeof(*this) + series.capacity() * sizeof(PlotSeries);
    for (const PlotSeries &s : series)
        total += s.minutes.capacity() * sizeof(std::int32_t) + s.values.capacity() * sizeof(float)
            + s.blocks.low.capacity() * 3
            + static_cast<std::size_t>(s.name.capacity()) * sizeof(QChar);
    return total;
}

PlotData readPlotData(const ResultStore &store, const PlotColumns &columns,
                      const PlotRequest &request)
{
    PlotData data;
    const bool exact = request.reportTime && columns.hasReportTime();
    const int timeColumns[5] = {
        exact ? columns.exact[0] : columns.year, exact ? columns.exact[1] : columns.month,
        exact ? columns.exact[2] : columns.day,  exact ? columns.exact[3] : columns.hour,
        exact ? columns.exact[4] : -1,
    };
    if (request.valueColumn < 0 || request.valueColumn >= store.columnCount() || timeColumns[0] < 0
        || timeColumns[1] < 0 || timeColumns[2] < 0 || timeColumns[3] < 0)
        return data;

    // Series are found by their station's bytes; the views point into the store's batches,
    // which outlive this function.
    std::unordered_map<std::string_view, int> seriesOf;
    std::string_view lastStation;
    int lastSeries = -1;
    // Rows come in runs of the same date: its day number is worked out once per run.
    int lastDate[3] = {0, 0, 0};
    std::optional<std::int64_t> lastDay;

    ResultStore::RowReader reader(store);
    reader.next();
    for (int row = 0; row < store.recordCount(); ++row) {
        const std::string_view *cells = reader.next();
        if (!cells)
            break;
        const std::string_view valueText = cells[request.valueColumn];
        float value = std::numeric_limits<float>::quiet_NaN();
        if (!valueText.empty()) {
            const std::optional<double> number = parseNumber(valueText);
            if (!number) {
                ++data.notNumbers;
                continue;
            }
            value = static_cast<float>(*number);
        }

        int parts[5] = {0, 0, 0, 0, 0};
        bool valid = true;
        for (int p = 0; p < 5 && valid; ++p) {
            if (timeColumns[p] < 0)
                continue;
            const std::optional<int> part = parseInt(cells[timeColumns[p]]);
            valid = part.has_value();
            parts[p] = part.value_or(0);
        }
        std::optional<std::int64_t> minutes;
        if (valid) {
            if (!lastDay || parts[0] != lastDate[0] || parts[1] != lastDate[1]
                || parts[2] != lastDate[2]) {
                lastDay = utcMinutes(parts[0], parts[1], parts[2], 0, 0);
                std::copy(parts, parts + 3, lastDate);
            }
            if (lastDay && parts[3] >= 0 && parts[3] <= 23 && parts[4] >= 0 && parts[4] <= 59)
                minutes = *lastDay + parts[3] * 60 + parts[4];
        }
        if (!minutes || *minutes < std::numeric_limits<std::int32_t>::min()
            || *minutes > std::numeric_limits<std::int32_t>::max()) {
            ++data.badTimes;
            continue;
        }

        std::string_view station;
        for (int c : columns.stations)
            if (!(station = cells[c]).empty())
                break;
        if (lastSeries < 0 || station != lastStation) {
            const auto [place, added] =
                seriesOf.try_emplace(station, static_cast<int>(data.series.size()));
            if (added)
                data.series.push_back(
                    {QString::fromUtf8(station.data(), static_cast<qsizetype>(station.size())),
                     {},
                     {},
                     {}});
            lastSeries = place->second;
            lastStation = station;
        }
        PlotSeries &series = data.series[lastSeries];
        series.minutes.push_back(static_cast<std::int32_t>(*minutes));
        series.values.push_back(value);
        if (!std::isnan(value))
            ++data.points;
    }

    for (PlotSeries &series : data.series) {
        // Results are usually ordered by time already; others are put in order, keeping the
        // order of points of the same time.
        if (!std::is_sorted(series.minutes.begin(), series.minutes.end())) {
            std::vector<std::uint32_t> order(series.minutes.size());
            std::iota(order.begin(), order.end(), 0u);
            std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
                return series.minutes[a] < series.minutes[b];
            });
            std::vector<std::int32_t> minutes(order.size());
            std::vector<float> values(order.size());
            for (std::size_t i = 0; i < order.size(); ++i) {
                minutes[i] = series.minutes[order[i]];
                values[i] = series.values[order[i]];
            }
            series.minutes = std::move(minutes);
            series.values = std::move(values);
        }
        breakLongGaps(series);
        series.minutes.shrink_to_fit();
        series.values.shrink_to_fit();
        series.blocks = summarise(series.values.data(), series.values.size());
        if (series.minutes.empty())
            continue;
        if (data.first > data.last) {
            data.first = series.minutes.front();
            data.last = series.minutes.back();
        }
        data.first = std::min<double>(data.first, series.minutes.front());
        data.last = std::max<double>(data.last, series.minutes.back());
        for (float value : series.values) {
            if (std::isnan(value))
                continue;
            if (data.low > data.high)
                data.low = data.high = value;
            data.low = std::min<double>(data.low, value);
            data.high = std::max<double>(data.high, value);
        }
    }
    std::sort(data.series.begin(), data.series.end(),
              [](const PlotSeries &a, const PlotSeries &b) { return a.name < b.name; });
    return data;
}

PointBlocks summarise(const float *values, std::size_t count)
{
    PointBlocks blocks;
    const std::size_t blockCount = (count + PointBlocks::size - 1) / PointBlocks::size;
    blocks.low.assign(blockCount, PointBlocks::none);
    blocks.high.assign(blockCount, PointBlocks::none);
    blocks.gap.assign(blockCount, PointBlocks::none);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t block = i / PointBlocks::size;
        const std::size_t base = block * PointBlocks::size;
        const auto offset = static_cast<std::uint8_t>(i - base);
        if (std::isnan(values[i])) {
            if (blocks.gap[block] == PointBlocks::none)
                blocks.gap[block] = offset;
            continue;
        }
        if (blocks.low[block] == PointBlocks::none || values[i] < values[base + blocks.low[block]])
            blocks.low[block] = offset;
        if (blocks.high[block] == PointBlocks::none
            || values[i] > values[base + blocks.high[block]])
            blocks.high[block] = offset;
    }
    return blocks;
}

void decimate(const std::int32_t *minutes, const float *values, std::size_t count, double from,
              double to, int width, DecimatedPoints &out, const PointBlocks *blocks)
{
    out.minutes.clear();
    out.values.clear();
    if (count == 0 || width <= 0 || !(to > from))
        return;
    const auto push = [&](std::size_t i) {
        out.minutes.push_back(minutes[i]);
        out.values.push_back(values[i]);
    };
    const std::int32_t *const end = minutes + count;
    const std::size_t first = static_cast<std::size_t>(
        std::lower_bound(minutes, end, from, [](std::int32_t m, double v) { return m < v; })
        - minutes);
    const std::size_t last = static_cast<std::size_t>(
        std::upper_bound(minutes, end, to, [](double v, std::int32_t m) { return v < m; })
        - minutes);
    if (first > 0)
        push(first - 1);

    const double scale = width / (to - from);
    const auto column = [&](std::size_t i) {
        return std::min(width - 1, static_cast<int>((minutes[i] - from) * scale));
    };
    constexpr std::size_t blockSize = PointBlocks::size;
    std::size_t i = first;
    while (i < last) {
        // The points of one pixel column: those after i in the same column (times are sorted,
        // so the column number only grows).
        const int bucket = column(i);
        std::size_t stop = i + 1, above = last;
        while (stop < above) {
            const std::size_t middle = stop + (above - stop) / 2;
            if (column(middle) == bucket)
                stop = middle + 1;
            else
                above = middle;
        }

        // The column's lowest and highest number and its first gap; the earliest of equals.
        std::size_t low = stop, high = stop, gap = stop;
        const auto number = [&](std::size_t j) {
            if (low == stop || values[j] < values[low])
                low = j;
            if (high == stop || values[j] > values[high])
                high = j;
        };
        const auto scan = [&](std::size_t from, std::size_t to) {
            for (std::size_t j = from; j < to; ++j) {
                if (std::isnan(values[j]))
                    gap = std::min(gap, j);
                else
                    number(j);
            }
        };
        if (blocks && stop - i >= 2 * blockSize) {
            const std::size_t firstBlock = (i + blockSize - 1) / blockSize;
            const std::size_t endBlock = stop / blockSize;
            scan(i, firstBlock * blockSize);
            for (std::size_t b = firstBlock; b < endBlock; ++b) {
                const std::size_t base = b * blockSize;
                if (blocks->gap[b] != PointBlocks::none)
                    gap = std::min(gap, base + blocks->gap[b]);
                if (blocks->low[b] != PointBlocks::none) {
                    number(base + blocks->low[b]);
                    number(base + blocks->high[b]);
                }
            }
            scan(endBlock * blockSize, stop);
        } else {
            scan(i, stop);
        }
        std::size_t firstNumber = i;
        while (firstNumber < stop && std::isnan(values[firstNumber]))
            ++firstNumber;
        std::size_t lastNumber = stop;
        if (firstNumber < stop) {
            lastNumber = stop - 1;
            while (std::isnan(values[lastNumber]))
                --lastNumber;
        }

        std::size_t picks[5];
        int picked = 0;
        for (std::size_t pick : {firstNumber, low, high, lastNumber, gap})
            if (pick != stop)
                picks[picked++] = pick;
        // At most five: put in time order by insertion.
        for (int p = 1; p < picked; ++p)
            for (int q = p; q > 0 && picks[q] < picks[q - 1]; --q)
                std::swap(picks[q], picks[q - 1]);
        for (int p = 0; p < picked; ++p)
            if (p == 0 || picks[p] != picks[p - 1])
                push(picks[p]);
        i = stop;
    }
    if (last < count)
        push(last);
}
