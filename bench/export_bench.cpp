// Measures the exports with a large result: 1,000,000 records (by default) of 25 surface
// observation columns in the grid, which then has 27 columns. Times the CSV text, the file
// write, both clipboard texts and a text's conversion to a QString, each a few times; prints the
// best and median times, the processor time, the sizes and the peak resident size.
//
//   export_bench [records, 1000000] [repeats, 3] [folder for the file, the temporary folder]
#include "export/csvfile.h"
#include "export/gridtext.h"
#include "store/resultstore.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <time.h>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// A small deterministic generator, so every run measures the same data.
struct Random
{
    std::uint64_t state = 0x2545f4914f6cdd1du;
    std::uint32_t next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<std::uint32_t>(state >> 16);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }
};

std::string decimal(Random &random, int whole, int lowest, int places)
{
    std::string text = std::to_string(lowest + random.below(whole)) + '.';
    for (int i = 0; i < places; ++i)
        text += static_cast<char>('0' + random.below(10));
    return text;
}

const char *const stations[][3] = {{"SWF", "KSWF", "72503"},
                                   {"LAS", "KLAS", "72386"},
                                   {"VGT", "KVGT", "72382"},
                                   {"HND", "KHND", "72383"},
                                   {"", "KIFP", "72378"}};

// One observation of 25 columns: identifiers, date, position, weather values with some missing,
// a time stamp and the raw report, whose blanks make the CSV quote them.
void appendObservation(RecordBatchBuilder &builder, Random &random, int id)
{
    const auto &station = stations[random.below(5)];
    const int year = 1990 + random.below(23);
    const int month = 1 + random.below(12);
    const int day = 1 + random.below(28);
    const int hour = random.below(24);
    builder.appendField(std::to_string(id));
    builder.appendField(std::to_string(year));
    builder.appendField(std::to_string(month));
    builder.appendField(std::to_string(day));
    builder.appendField(std::to_string(hour));
    builder.appendField(station[0]);
    builder.appendField(station[1]);
    builder.appendField(station[2]);
    builder.appendField(decimal(random, 10, 32, 2));
    builder.appendField('-' + decimal(random, 10, 110, 2));
    builder.appendField(decimal(random, 60, 40, 1)); // temperature, °F
    builder.appendField(decimal(random, 50, 10, 1)); // dew point
    builder.appendField(std::to_string(random.below(100))); // humidity
    builder.appendField(std::to_string(random.below(36) * 10)); // wind direction
    builder.appendField(std::to_string(random.below(30))); // wind speed
    builder.appendField(random.below(4) == 0 ? std::to_string(20 + random.below(30)) : "");
    builder.appendField(decimal(random, 2, 29, 2)); // altimeter
    builder.appendField(decimal(random, 30, 1000, 1)); // sea-level pressure
    builder.appendField(random.below(3) == 0 ? "" : decimal(random, 10, 0, 2)); // visibility
    builder.appendField(std::to_string(random.below(12000))); // ceiling
    builder.appendField(random.below(2) == 0 ? "" : decimal(random, 1, 0, 2)); // precipitation
    builder.appendField(random.below(5) == 0 ? "RA" : "");
    builder.appendField(std::to_string(random.below(9))); // sky cover
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:00", year, month, day, hour,
                  random.below(60));
    builder.appendField(stamp);
    std::string report = std::string(station[1]) + ' ' + std::to_string(10 + day) + "1256Z "
        + std::to_string(random.below(36) * 10) + "05KT 10SM CLR 27/18 A3002";
    builder.appendField(report);
    builder.endRecord();
}

std::string megabytes(qsizetype bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
    return text;
}

// This thread's processor time, which other processes on the machine disturb less than the
// time on the clock.
double threadMilliseconds()
{
    timespec now {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// Runs the work repeats times and prints the best and the median time on the clock, the best
// processor time, and the work's note.
template<typename Work> void measure(const char *what, int repeats, Work work)
{
    std::vector<double> times;
    double processor = 1e300;
    std::string note;
    for (int i = 0; i < repeats; ++i) {
        const Clock::time_point start = Clock::now();
        const double startProcessor = threadMilliseconds();
        note = work();
        times.push_back(millisecondsSince(start));
        processor = std::min(processor, threadMilliseconds() - startProcessor);
    }
    std::sort(times.begin(), times.end());
    std::printf("%-36s best %7.1f ms  median %7.1f ms  processor %7.1f ms  %s\n", what,
                times.front(), times[times.size() / 2], processor, note.c_str());
}

} // namespace

int main(int argc, char *argv[])
{
    const int records = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int repeats = argc > 2 ? std::max(std::atoi(argv[2]), 1) : 3;
    const QString folder = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QDir::tempPath();
    constexpr int columns = 25;

    ResultStore grid(15, 20);
    grid.setColumnCount(columns + 2);
    std::vector<std::string> names;
    for (int i = 0; i < columns; ++i)
        names.push_back("column" + std::to_string(i));
    grid.setHeader(names);
    Random random;
    RecordBatchBuilder builder(columns);
    for (int written = 0; written < records;) {
        const int size = std::min(records - written, 1000);
        for (int r = 0; r < size; ++r)
            appendObservation(builder, random, written + r + 1);
        grid.appendRecords(builder.finish());
        written += size;
    }
    std::printf("grid                          %d columns, %d rows, store %.1f MB\n",
                grid.columnCount(), grid.rowCount(), grid.byteCount() / 1e6);

    QTemporaryDir scratch(folder + QStringLiteral("/export_bench-XXXXXX"));
    if (!scratch.isValid()) {
        std::fprintf(stderr, "cannot make a folder in %s\n", qPrintable(folder));
        return 1;
    }
    const QString path = scratch.filePath(QStringLiteral("observations.csv"));

    measure("read every cell once", repeats, [&] {
        std::size_t bytes = 0;
        for (int row = 0; row < grid.rowCount(); ++row) {
            for (int column = 0; column < grid.columnCount(); ++column)
                bytes += grid.cell(column, row).size();
        }
        return megabytes(bytes);
    });
    measure("read every row once", repeats, [&] {
        std::size_t bytes = 0;
        ResultStore::RowReader reader(grid);
        while (const std::string_view *cells = reader.next()) {
            for (int column = 0; column < grid.columnCount(); ++column)
                bytes += cells[column].size();
        }
        return megabytes(bytes);
    });
    measure("CSV text", repeats, [&] { return megabytes(BuildCSVText(grid).size()); });
    {
        const QByteArray csv = BuildCSVText(grid);
        const std::string_view bytes(csv.constData(), static_cast<std::size_t>(csv.size()));
        measure("file write (replacing from the 2nd)", repeats, [&] {
            WriteCSVFile(path, bytes);
            return std::string();
        });
    }
    measure("whole save: text written as it is made", repeats, [&] {
        SaveCSVFile(grid, path);
        return std::string();
    });
    measure("clipboard text, comma-delimited", repeats, [&] {
        return megabytes(BuildClipboardText(grid, ClipboardMode::CommaDelimited).size());
    });
    measure("clipboard text, space-aligned", repeats, [&] {
        return megabytes(BuildClipboardText(grid, ClipboardMode::SpaceAligned).size());
    });
    {
        const QByteArray text = BuildClipboardText(grid, ClipboardMode::SpaceAligned);
        measure("  space-aligned text as a QString", repeats,
                [&] { return std::to_string(QString::fromUtf8(text).size()) + " characters"; });
    }
    std::printf("peak resident (VmHWM)         %.1f MB\n", peakResidentKiB() / 1024.0);
    return 0;
}
