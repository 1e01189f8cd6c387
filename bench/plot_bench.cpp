// Measures the plot window over a large result held in a result store, as the grid holds it
// after a run: records of the 25 "surfaceshort" columns, every station once an hour, ordered by
// time as a search orders them. Prints the time from opening the window to the plot being on
// screen, the longest stall of the window's thread meanwhile (a 5 ms probe timer, as run_bench
// uses), the medians of zoom and pan redraws with the whole result loaded, and the memory the
// open plot adds against the size of the result as CSV.
//
//   QT_QPA_PLATFORM=offscreen plot_bench [records] [stations] [redraws]
//
// The store is filled synthetically (a load of the sample database at that size takes long);
// the stations default to 1,400 (the sample database's scale 4 has 1,400 station-months).
#include "plot/plotwindow.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

long statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLong();
    return -1;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Records of surfaceshort's columns: every station at each hour from 1995-07-01 on.
ResultStore syntheticResult(long records, int stations)
{
    static const char *const names[] = {"id",   "year", "month", "day",    "hour",  "faa",  "icao",
                                        "wmo",  "lat",  "lon",   "temp",   "dewpt", "relh", "feel",
                                        "wdir", "wspd", "gust",  "vis",    "alti",  "slp",  "p01i",
                                        "skyc", "skyl", "ceil",  "wxcodes"};
    const int columns = 25;
    ResultStore store(columns, 1);
    store.setHeader(std::vector<std::string>(std::begin(names), std::end(names)));
    RecordBatchBuilder builder(columns);
    std::uint64_t random = 0x9e3779b97f4a7c15u;
    const auto next = [&random] {
        random ^= random << 13;
        random ^= random >> 7;
        random ^= random << 17;
        return static_cast<std::uint32_t>(random >> 16);
    };
    char text[64];
    const auto field = [&](const char *format, auto... values) {
        std::snprintf(text, sizeof text, format, values...);
        builder.appendField(text);
    };
    for (long record = 0; record < records; ++record) {
        const long hourIndex = record / stations;
        const int station = static_cast<int>(record % stations);
        const long day = hourIndex / 24;
        const int hour = static_cast<int>(hourIndex % 24);
        // Days from 1995-07-01, months of 31 days for simplicity's sake: still valid dates
        // up to a year ahead since only the order of magnitude matters here.
        const int month = 7 + static_cast<int>(day / 28) % 6;
        field("%ld", record + 1);
        field("%d", 1995 + static_cast<int>(day / 168));
        field("%d", month);
        field("%d", 1 + static_cast<int>(day % 28));
        field("%d", hour);
        field("%c%c%c", 'A' + station % 26, 'A' + station / 26 % 26, 'A' + station / 676 % 26);
        field("K%c%c%c", 'A' + station % 26, 'A' + station / 26 % 26, 'A' + station / 676 % 26);
        field("%d", 70000 + station);
        field("%.4f", 30 + station % 200 * 0.1);
        field("%.4f", -120 + station / 200 * 0.5);
        const double temp =
            70 + 12 * std::sin((hour - 9) * 0.2618) + station % 30 - 15 + (next() % 100) * 0.05;
        if (next() % 40 == 0)
            builder.appendField({});
        else
            field("%.1f", temp);
        field("%.1f", temp - 15);
        field("%.1f", 40 + next() % 600 * 0.1);
        field("%.1f", temp + 1);
        field("%d", next() % 36 * 10);
        field("%d", next() % 25);
        builder.appendField({});
        field("%.2f", 10.0);
        field("%.2f", 29.5 + next() % 100 * 0.01);
        field("%.1f", 1000 + next() % 400 * 0.1);
        builder.appendField({});
        builder.appendField("CLR");
        builder.appendField({});
        builder.appendField({});
        builder.appendField({});
        builder.endRecord();
        if (builder.recordCount() == 1000)
            store.appendRecords(builder.finish());
    }
    store.appendRecords(builder.finish());
    return store;
}

// The CSV text's size: every cell, a comma between cells and a line break after each row.
double csvBytes(const ResultStore &store)
{
    return static_cast<double>(store.cellBytes())
        + static_cast<double>(store.recordCount() + 1) * store.columnCount();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const long records = argc > 1 ? std::atol(argv[1]) : 1000000;
    const int stations = argc > 2 ? std::atoi(argv[2]) : 1400;
    const int redraws = argc > 3 ? std::atoi(argv[3]) : 15;

    QElapsedTimer clock;
    clock.start();
    const ResultStore store = syntheticResult(records, stations);
    std::printf("%ld records of %d stations filled in %.1f s; CSV size %.0f MB\n", records,
                stations, clock.elapsed() / 1000.0, csvBytes(store) / 1e6);
    // The program has its main window on screen when a plot opens: fonts, style and the window
    // system's buffers are set up already. A window of the same kinds of controls stands in.
    {
        QWidget mainWindow;
        auto *layout = new QVBoxLayout(&mainWindow);
        layout->addWidget(new QLabel(QStringLiteral("Idle"), &mainWindow));
        layout->addWidget(new QPushButton(QStringLiteral("Plot..."), &mainWindow));
        auto *list = new QListWidget(&mainWindow);
        list->addItem(QStringLiteral("temp"));
        layout->addWidget(list);
        mainWindow.resize(1272, 818);
        mainWindow.show();
        mainWindow.grab();
    }
    malloc_trim(0);
    const long residentBefore = statusKiB("VmRSS");

    // The probe: the longest time between its ticks is the longest stall of the window.
    QElapsedTimer probeClock;
    qint64 lastTick = 0, longestStall = 0;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = probeClock.nsecsElapsed();
        if (lastTick)
            longestStall = std::max(longestStall, now - lastTick);
        lastTick = now;
    });

    // The click: the window is made and shown; it is on screen once it has painted its points.
    probeClock.start();
    probe.start();
    clock.restart();
    auto *window = new PlotWindow(store, QStringLiteral("the benchmark"), QStringLiteral("temp"));
    window->resize(1200, 700);
    bool shown = false;
    QObject::connect(window, &PlotWindow::plotShown, [&] { shown = true; });
    window->show();
    while (!shown)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double onScreen = clock.nsecsElapsed() / 1e6;
    // Ticks for a while longer, so a stall right after the plot shows counts too.
    QEventLoop ticking;
    QTimer::singleShot(100, &ticking, &QEventLoop::quit);
    ticking.exec();
    probe.stop();
    malloc_trim(0);
    const long residentAfter = statusKiB("VmRSS");
    const double added = (residentAfter - residentBefore) * 1024.0;

    QCustomPlot *plot = window->plotWidget();
    // A change of the range picks the points anew at once; the replot paints them. Each zoom
    // in is followed by the zoom out and each pan by its way back, so every redraw shows about
    // the whole result.
    std::vector<double> zooms, pans, picks;
    const auto redraw = [&](std::vector<double> &times, const std::function<void()> &change) {
        clock.restart();
        change();
        picks.push_back(clock.nsecsElapsed() / 1e6);
        plot->replot(QCustomPlot::rpImmediateRefresh);
        times.push_back(clock.nsecsElapsed() / 1e6);
    };
    for (int i = 0; i < redraws; ++i) {
        redraw(zooms, [plot] { plot->xAxis->scaleRange(0.8); });
        redraw(zooms, [plot] { plot->xAxis->scaleRange(1 / 0.8); });
        const double step = plot->xAxis->range().size() * 0.1;
        redraw(pans, [plot, step] { plot->xAxis->moveRange(step); });
        redraw(pans, [plot, step] { plot->xAxis->moveRange(-step); });
    }
    std::size_t drawn = 0;
    for (int g = 0; g < plot->graphCount(); ++g)
        drawn += static_cast<std::size_t>(plot->graph(g)->data()->size());

    std::printf("plot on screen after %.0f ms; longest stall of the window %.1f ms\n", onScreen,
                longestStall / 1e6);
    std::printf("%zu series, %zu points, %zu drawn after the redraws\n",
                window->data().series.size(), window->data().points, drawn);
    std::printf("zoom redraw median %.1f ms, pan redraw median %.1f ms (%d each); picking the "
                "points takes %.1f ms of one\n",
                median(zooms), median(pans), 2 * redraws, median(picks));
    std::printf("memory added by the open plot %.0f MB = %.1f%% of the CSV size (arrays %.0f MB)\n",
                added / 1e6, 100 * added / csvBytes(store), window->data().byteCount() / 1e6);
    delete window;
    return 0;
}
