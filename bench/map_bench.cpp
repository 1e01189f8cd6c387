// Measures the map window on the offscreen platform, opened from the main window as a user opens
// it: the time from the click on "Map..." to the map drawn, a whole-world draw of every station
// of the list and the outlines (with the stations of a result marked), the redraws while the
// map is dragged (panning at the whole-world view and closer in, and a box being drawn), and the
// anonymous memory that opening the map adds to the program.
//
//   QT_QPA_PLATFORM=offscreen map_bench [redraws] [width height]
//
// The map window is sized width x height (default 1280 x 760, larger than it opens) so the
// figures hold for a window a user has made larger.
#include "app/orvexdbmain.h"
#include "bench/silentmessages.h"
#include "finder/stationlist.h"
#include "map/mapview.h"
#include "map/mapwindow.h"
#include "map/outlines.h"
#include "tests/processlimits.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double maximum(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

double mib(std::uint64_t bytes)
{
    return double(bytes) / (1 << 20);
}

// The time of one step and the paint it causes, in ms; the paint is made at once, as the event
// loop would make it next.
double timed(QWidget *widget, const std::function<void()> &step)
{
    QElapsedTimer clock;
    clock.start();
    step();
    widget->repaint();
    return clock.nsecsElapsed() / 1e6;
}

// A drag of the left button over the map in steps of a few pixels, back and forth; the time
// of each move with its paint.
std::vector<double> dragRedraws(MapView *map, int moves, Qt::KeyboardModifiers modifiers)
{
    std::vector<double> times;
    const QPoint start(map->width() / 2, map->height() / 2);
    QTest::mousePress(map, Qt::LeftButton, modifiers, start);
    QPoint at = start;
    for (int i = 0; i < moves; ++i) {
        // Out to the right and down for half the moves, then back.
        const QPoint step = (i / 20) % 2 == 0 ? QPoint(6, 3) : QPoint(-6, -3);
        at += step;
        times.push_back(timed(map, [map, at] { QTest::mouseMove(map, at); }));
    }
    if (modifiers & Qt::ShiftModifier) {
        // Let go where it started, so no box is drawn.
        QTest::mouseMove(map, start);
        QTest::mouseRelease(map, Qt::LeftButton, modifiers, start);
    } else {
        QTest::mouseRelease(map, Qt::LeftButton, modifiers, at);
    }
    return times;
}

void zoomAt(MapView *map, QPoint point, int notches)
{
    for (int i = 0; i < notches; ++i) {
        QWheelEvent wheel(point, map->mapToGlobal(point), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(map, &wheel);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int redraws = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;
    const int width = argc > 3 ? std::atoi(argv[2]) : 1280;
    const int height = argc > 3 ? std::atoi(argv[3]) : 760;

    SilentMessages messages;
    TForm1 form(messages);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return 1;
    form.grab();
    QCoreApplication::processEvents();
    malloc_trim(0);
    const std::uint64_t before = AnonymousMemoryBytes();

    // The click: the window is made, shown and drawn.
    QElapsedTimer clock;
    clock.start();
    std::uint64_t peak = 0;
    MapWindow *map = nullptr;
    {
        const AnonymousPeak sampled;
        QTest::mouseClick(form.MapButton, Qt::LeftButton);
        map = form.findChild<MapWindow *>();
        if (!map || !QTest::qWaitForWindowExposed(map))
            return 1;
        map->Map->repaint();
        const double opened = clock.nsecsElapsed() / 1e6;
        map->resize(width, height);
        QCoreApplication::processEvents();
        map->Map->repaint();
        QCoreApplication::processEvents();
        malloc_trim(0);
        peak = sampled.bytes();
        std::printf("map on screen %.1f ms after the click (its first draw included)\n", opened);
    }
    const std::uint64_t after = AnonymousMemoryBytes();
    MapView *view = map->Map;
    std::printf("map %d x %d pixels; %d stations; outlines %zu + %zu points (%.1f MiB in memory)\n",
                view->width(), view->height(), StationList::builtIn().size(),
                Outlines::builtIn().levels.front().points.size() / 2,
                Outlines::builtIn().levels.back().points.size() / 2,
                mib(Outlines::builtIn().byteCount()));

    // Whole-world draws: a result arriving redraws everything. 1,400 stations are marked, one
    // in four of the list, as a month of the sample database at scale 4 has.
    std::vector<int> result;
    for (int s = 0; s < StationList::builtIn().size(); s += 4)
        result.push_back(s);
    std::vector<double> whole;
    for (int i = 0; i < redraws / 4; ++i)
        whole.push_back(timed(view, [view, &result, i] {
            view->setResultStations(i % 2 ? result : std::vector<int> {});
        }));
    view->setResultStations(result);
    view->repaint();

    const std::vector<double> panWorld = dragRedraws(view, redraws, Qt::NoModifier);
    const std::vector<double> boxWorld = dragRedraws(view, redraws, Qt::ShiftModifier);
    view->showWholeWorld();
    // Europe, close enough for the finer outlines (about 19 pixels a degree).
    zoomAt(view, view->projection().toScreen(10, 50).toPoint(), 9);
    const double closer = view->projection().pixelsPerDegree();
    const std::vector<double> panCloser = dragRedraws(view, redraws, Qt::NoModifier);

    std::printf("\n| measured | unit | median | max |\n|---|---|---:|---:|\n");
    std::printf("| whole world: every station, %zu marked, outlines | ms | %.1f | %.1f |\n",
                result.size(), median(whole), maximum(whole));
    std::printf("| pan drag redraw, whole world | ms | %.1f | %.1f |\n", median(panWorld),
                maximum(panWorld));
    std::printf("| box drag redraw, whole world | ms | %.2f | %.2f |\n", median(boxWorld),
                maximum(boxWorld));
    std::printf("| pan drag redraw, %.0f pixels a degree (finer outlines) | ms | %.1f | %.1f |\n",
                closer, median(panCloser), maximum(panCloser));
    std::printf("| anonymous memory before the click | MiB | %.1f | |\n", mib(before));
    std::printf("| added by opening the map, after | MiB | %.1f | |\n", mib(after - before));
    std::printf("| added by opening the map, peak | MiB | %.1f | |\n",
                mib(std::max(peak, after) - before));

    const double added = mib(std::max(peak, after) - before);
    const double drag = std::max(median(panWorld), median(panCloser));
    std::printf("\n| target | measured | limit | met |\n|---|---:|---:|---|\n");
    std::printf("| whole-world draw, ms | %.1f | 100 | %s |\n", maximum(whole),
                maximum(whole) <= 100 ? "yes" : "no");
    std::printf("| redraw while dragging (median), ms | %.1f | 16 | %s |\n", drag,
                drag <= 16 ? "yes" : "no");
    std::printf("| memory added by opening the map (peak), MiB | %.1f | 30 | %s |\n", added,
                added <= 30 ? "yes" : "no");
    return 0;
}
