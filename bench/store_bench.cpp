// Measures the result store and the log memo with a large result: 1,000,000 records of 25
// weather-observation columns (by default) built into batches of 1,000 to 10,000 records, each
// appended to the grid's model and the log view as the main thread does during a run. Prints
// the memory held, the peak resident size of the process, and the main thread's times.
//
//   QT_QPA_PLATFORM=offscreen store_bench [records] [records per batch] [table|grid]
//
// The grid is shown in a QTableView, or with "grid" in the GridView.
#include "app/gridmodel.h"
#include "app/gridview.h"
#include "app/logview.h"

#include <QApplication>
#include <QFile>
#include <QScrollBar>
#include <QTableView>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Peak and current resident size in KiB, from the kernel's view of this process.
long statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// A small deterministic generator, so every run measures the same data.
struct Random
{
    std::uint64_t state = 0x9e3779b97f4a7c15u;
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

const char *const stations[][3] = {{"SWF", "KSWF", "72503"}, {"LAS", "KLAS", "72386"},
                                   {"VGT", "KVGT", "72382"}, {"HND", "KHND", "72383"},
                                   {"BVU", "KBVU", "72384"}, {"", "KIFP", "72378"}};

// One surface observation of 25 columns: id, date and hour, station identifiers and position,
// then weather values, some of them missing (NULL) as sensors often are.
void appendObservation(RecordBatchBuilder &builder, Random &random, int id)
{
    const auto &station = stations[random.below(6)];
    builder.appendField(std::to_string(id));
    builder.appendField(std::to_string(1990 + random.below(23)));
    builder.appendField(std::to_string(1 + random.below(12)));
    builder.appendField(std::to_string(1 + random.below(28)));
    builder.appendField(std::to_string(random.below(24)));
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
    builder.appendField(decimal(random, 60, 40, 1)); // heat index
    builder.appendField(decimal(random, 60, 30, 1)); // wind chill
    builder.endRecord();
}

void printStats(const char *what, const std::vector<double> &times)
{
    double total = 0;
    double worst = 0;
    for (const double t : times) {
        total += t;
        worst = std::max(worst, t);
    }
    std::printf("%-44s mean %8.3f ms   max %8.3f ms   total %9.1f ms   (%zu batches)\n", what,
                times.empty() ? 0.0 : total / times.size(), worst, total, times.size());
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int records = argc > 1 ? std::atoi(argv[1]) : 1000000;
    // Records per batch; by default 1,000 to 10,000 at random.
    const int batchSize = argc > 2 ? std::max(1, std::atoi(argv[2])) : 0;
    constexpr int columns = 25;

    // The grid's view: a QTableView, or with "grid" the GridView.
    const bool gridView = argc > 3 && std::string(argv[3]) == "grid";

    // The window's two views, shown, so model signals and appends reach real views.
    auto *model = new GridModel(15, 20, &app);
    QTableView table;
    GridView rows;
    QAbstractScrollArea &grid = gridView ? static_cast<QAbstractScrollArea &>(rows) : table;
    if (gridView)
        rows.setModel(model);
    else
        table.setModel(model);
    grid.resize(1260, 427);
    grid.show();
    LogView log;
    log.resize(497, 197);
    log.show();
    QCoreApplication::processEvents();
    const long baselineKiB = statusKiB("VmRSS");

    std::vector<std::string> names;
    for (int i = 0; i < columns; ++i)
        names.push_back("column" + std::to_string(i));
    model->startRun();
    model->setResultColumns(names);
    log.appendLine(QStringLiteral("Starting..."));

    Random random;
    RecordBatchBuilder builder(columns);
    std::vector<double> buildTimes, gridTimes, logTimes, eventTimes;
    std::size_t csvBytes = 0;
    int written = 0;
    while (written < records) {
        const int size =
            std::min(records - written, batchSize > 0 ? batchSize : 1000 + random.below(9001));

        // The worker's part: read records into a batch.
        Clock::time_point start = Clock::now();
        for (int r = 0; r < size; ++r)
            appendObservation(builder, random, written + r + 1);
        csvBytes += builder.byteCount() + static_cast<std::size_t>(size) * columns;
        auto batch = builder.finish();
        buildTimes.push_back(millisecondsSince(start));

        // The main thread's part: the grid and the log take the batch.
        start = Clock::now();
        model->appendRecords(batch);
        gridTimes.push_back(millisecondsSince(start));
        start = Clock::now();
        log.appendEchoLines(std::move(batch));
        logTimes.push_back(millisecondsSince(start));

        // What the event loop then does: fitting the log's scroll range, repainting.
        start = Clock::now();
        QCoreApplication::processEvents();
        eventTimes.push_back(millisecondsSince(start));
        written += size;
    }
    log.appendLine(QStringLiteral("All done!"));
    QCoreApplication::processEvents();

    const ResultStore &store = model->store();
    std::printf("records                    %d of %d columns in %zu batches\n", written, columns,
                gridTimes.size());
    std::printf("text as CSV (no quoting)   %.1f MB\n", csvBytes / 1e6);
    std::printf("result store holds         %.1f MB (%.1f bytes per record)\n",
                store.byteCount() / 1e6, double(store.byteCount()) / written);
    std::printf("log holds of its own       %zu bytes for %lld lines\n", log.store().byteCount(),
                static_cast<long long>(log.lineCount()));
    std::printf("resident at start          %.1f MB\n", baselineKiB / 1024.0);
    std::printf("resident now               %.1f MB\n", statusKiB("VmRSS") / 1024.0);
    std::printf("peak resident (VmHWM)      %.1f MB (%.2f x the CSV size)\n",
                statusKiB("VmHWM") / 1024.0, statusKiB("VmHWM") * 1024.0 / csvBytes);
    printStats("worker: build a batch", buildTimes);
    printStats("main thread: grid takes a batch", gridTimes);
    printStats("main thread: log takes a batch", logTimes);
    printStats("main thread: event processing after batch", eventTimes);

    Clock::time_point start = Clock::now();
    std::size_t echoBytes = 0;
    for (qsizetype i = 0; i < log.lineCount(); ++i)
        echoBytes += log.store().lineBytes(i).size();
    std::printf("format every log line      %.1f ms (%.1f MB of text)\n", millisecondsSince(start),
                echoBytes / 1e6);

    start = Clock::now();
    qsizetype utf16 = 0;
    for (qsizetype i = 0; i < log.lineCount(); ++i)
        utf16 += log.line(i).size();
    std::printf("every log line as QString  %.1f ms (%lld characters)\n", millisecondsSince(start),
                static_cast<long long>(utf16));

    start = Clock::now();
    std::size_t cellBytes = 0;
    for (int row = 0; row < store.rowCount(); ++row) {
        for (int column = 0; column < store.columnCount(); ++column)
            cellBytes += store.cell(column, row).size();
    }
    std::printf("read every cell once       %.1f ms (%.1f MB)\n", millisecondsSince(start),
                cellBytes / 1e6);

    start = Clock::now();
    qsizetype characters = 0;
    for (int row = 0; row < model->rowCount(); ++row) {
        for (int column = 0; column < model->columnCount(); ++column)
            characters += model->data(model->index(row, column), Qt::DisplayRole).toString().size();
    }
    std::printf("every cell through data()  %.1f ms (%lld characters)\n", millisecondsSince(start),
                static_cast<long long>(characters));

    start = Clock::now();
    log.verticalScrollBar()->setValue(static_cast<int>(log.lineCount() / 2));
    log.repaint();
    std::printf("log: scroll halfway, repaint  %.2f ms\n", millisecondsSince(start));
    start = Clock::now();
    log.repaint();
    std::printf("log: repaint                  %.2f ms\n", millisecondsSince(start));
    start = Clock::now();
    if (gridView)
        rows.scrollTo(model->index(written / 2, 0));
    else
        table.scrollTo(model->index(written / 2, 0));
    grid.repaint();
    std::printf("grid: scroll halfway, repaint %.2f ms\n", millisecondsSince(start));
    start = Clock::now();
    grid.repaint();
    std::printf("grid: repaint                 %.2f ms\n", millisecondsSince(start));
    return 0;
}
