// The station finder's search as the user types: each keystroke searches the whole built-in
// station list. Measures the search on its own and the finder window's whole keystroke (search,
// list refill, best match selected) on the offscreen platform, over words typed letter by
// letter, and the first use of the list (reading and folding the built-in resource).
//
//   QT_QPA_PLATFORM=offscreen finder_bench [rounds]
#include "bench/silentmessages.h"
#include "finder/stationfinder.h"
#include "finder/stationlist.h"
#include "finder/stationsearch.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// What users type: a town, a name with an accent typed without it, ids, a word found in
// thousands of places, and single letters, which match the most stations.
const char *const typed[] = {"newburgh",      "dubendorf", "kswf", "swf",           "zurich kloten",
                             "united states", "a",         "e",    "international", "las vegas"};

struct Figures
{
    double median = 0;
    double p95 = 0;
    double max = 0;
};

Figures figures(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    Figures f;
    f.median = ms[ms.size() / 2];
    f.p95 = ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
    f.max = ms.back();
    return f;
}

void row(const char *what, const Figures &f)
{
    std::printf("| %s | ms | %.3f | %.3f | %.3f |\n", what, f.median, f.p95, f.max);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    QElapsedTimer timer;
    timer.start();
    const StationList &list = StationList::builtIn();
    const double firstUse = double(timer.nsecsElapsed()) / 1e6;

    std::vector<double> search;
    std::size_t matches = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const char *word : typed) {
            const QString text = QString::fromUtf8(word);
            for (qsizetype length = 1; length <= text.size(); ++length) {
                timer.restart();
                matches += searchStations(list, text.left(length)).size();
                search.push_back(double(timer.nsecsElapsed()) / 1e6);
            }
        }
    }

    SilentMessages messages;
    StationFinder finder(list, messages, {});
    finder.show();
    std::vector<double> keystroke;
    for (int round = 0; round < rounds; ++round) {
        for (const char *word : typed) {
            finder.SearchEdit->clear();
            for (const QChar c : QString::fromUtf8(word)) {
                timer.restart();
                QTest::keyClick(finder.SearchEdit, c.toLatin1());
                keystroke.push_back(double(timer.nsecsElapsed()) / 1e6);
            }
        }
    }

    std::printf("%d stations, %d rounds, %zu searches (%zu matches in all)\n\n", list.size(),
                rounds, search.size(), matches);
    std::printf("| measured | unit | median | 95th percentile | max |\n");
    std::printf("|---|---|---:|---:|---:|\n");
    std::printf("| first use of the list (read and fold %d stations) | ms | %.3f | | |\n",
                list.size(), firstUse);
    row("search of the whole list, one keystroke", figures(search));
    row("finder window, one keystroke (search, list, selection)", figures(keystroke));
    return 0;
}
