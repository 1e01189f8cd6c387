// The plot window after real runs of the main window against the test server: when "Plot..." is
// offered, the series and their points, the chosen column and the axis titles, zoom, pan and
// the rubber band, hovering, hiding a station, the saved and copied image, and a plot that keeps
// its result while the next query runs.
#include "app/gridmodel.h"
#include "app/orvexapplication.h"
#include "app/orvexdbmain.h"
#include "common/backgroundthread.h"
#include "db/clientlibrary.h"
#include "plot/plotwindow.h"
#include "tests/personactions.h"
#include "tests/platformnotices.h"
#include "tests/scriptedmessages.h"
#include "tests/windowtest.h"

#include <qcustomplot.h>

#include <QClipboard>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestPlotWindow : public WindowTest
{
    Q_OBJECT

private:
    void waitForRunEnd() { QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 30000); }

    // Runs the statement as "Submit SQL" does and waits for its end.
    void submit(const QString &statement)
    {
        form->SQLEdit->setPlainText(statement);
        QTest::mouseClick(form->SubmitSQL, Qt::LeftButton);
        waitForRunEnd();
    }

    // Clicks "Plot..." and waits until the new window shows its points.
    PlotWindow *openPlot()
    {
        const QList<PlotWindow *> before = form->findChildren<PlotWindow *>();
        QTest::mouseClick(form->PlotButton, Qt::LeftButton);
        PlotWindow *window = nullptr;
        const bool opened = QTest::qWaitFor([&] {
            for (PlotWindow *w : form->findChildren<PlotWindow *>())
                if (!before.contains(w))
                    window = w;
            return window && !window->data().series.empty();
        });
        if (!opened || !QTest::qWaitForWindowExposed(window))
            return nullptr;
        window->activateWindow();
        return QTest::qWaitForWindowActive(window) ? window : nullptr;
    }

    // The points of the column in the grid that hold something: what the plot must show.
    int filledCells(const QString &columnName) const
    {
        const ResultStore &store = form->gridModel->store();
        int column = 0;
        while (store.cellText(column, 0) != columnName)
            ++column;
        int filled = 0;
        for (int row = 1; row <= store.recordCount(); ++row)
            filled += !store.cell(column, row).empty();
        return filled;
    }

    static void clickEntry(QListWidget *list, const QString &text)
    {
        const QListWidgetItem *item = list->findItems(text, Qt::MatchExactly).value(0);
        QVERIFY(item);
        list->scrollToItem(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(item).center());
    }

    static QString label(PlotWindow *window, const char *name)
    {
        return window->findChild<QLabel *>(QString::fromLatin1(name))->text();
    }

private slots:
    void initTestCase() { requireTestServer(); }

    void init() { openWindow(); }

    void cleanup() { closeWindow(); }

    void plotOfTheSearchResult()
    {
        QVERIFY(!form->PlotButton->isEnabled());
        QCOMPARE(form->PlotButton->toolTip(), QStringLiteral("The grid holds no finished result."));
        QTest::mouseClick(form->SearchButton, Qt::LeftButton);
        QVERIFY(!form->PlotButton->isEnabled());
        QCOMPARE(form->PlotButton->toolTip(), QStringLiteral("A query is running."));
        waitForRunEnd();
        QCOMPARE(form->gridModel->store().recordCount(), 48);
        QVERIFY(form->PlotButton->isEnabled());

        PlotWindow *window = openPlot();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QVERIFY(
            window->windowTitle().startsWith(QStringLiteral("Plot of the result finished at ")));
        QVERIFY(window->windowTitle().endsWith(QStringLiteral(" (48 records)")));
        QCustomPlot *plot = window->plotWidget();
        const auto chooser = window->findChild<QListWidget *>(QStringLiteral("ColumnList"));

        // The first weather column after lon, for KSWF, every filled cell a point.
        QCOMPARE(chooser->currentItem()->text(), QStringLiteral("temp"));
        QCOMPARE(plot->graphCount(), 1);
        QCOMPARE(plot->graph(0)->name(), QStringLiteral("KSWF"));
        QCOMPARE(window->data().series.at(0).minutes.size(), std::size_t(48));
        QCOMPARE(window->data().points, std::size_t(filledCells(QStringLiteral("temp"))));
        QCOMPARE(plot->xAxis->label(), QStringLiteral("Observation time (UTC)"));
        QCOMPARE(plot->yAxis->label(), QStringLiteral("temp (°F)"));
        QCOMPARE(label(window, "PlotStatus"),
                 QStringLiteral("%1 points of temp in 1 series.").arg(window->data().points));
        // The list holds the numeric columns, the weather values first and the station's number
        // and position after them: not the row's id, not the time, not the station texts, and
        // not slp and p01i, which hold no number in this result.
        QCOMPARE(filledCells(QStringLiteral("slp")), 0);
        QCOMPARE(filledCells(QStringLiteral("p01i")), 0);
        QStringList listed;
        for (int i = 0; i < chooser->count(); ++i)
            listed << chooser->item(i)->text();
        QCOMPARE(listed.join(QLatin1Char(' ')),
                 QStringLiteral("temp dewpt relh feel wdir wspd gust vis alti skyl ceil wmo lat "
                                "lon"));

        // 1995-07-15 00:00 to 1995-07-16 23:00 UTC, in seconds.
        const QCPRange full = plot->xAxis->range();
        QCOMPARE(full.lower, 805766400.0);
        QCOMPARE(full.upper, 805766400.0 + 47 * 3600);

        // Another column, picked from the list.
        clickEntry(chooser, QStringLiteral("alti"));
        QTRY_COMPARE(plot->yAxis->label(), QStringLiteral("alti (inHg)"));
        QCOMPARE(window->valueColumn(), 18);
        QCOMPARE(window->data().points, std::size_t(filledCells(QStringLiteral("alti"))));

        // Hovering over a point names it.
        const QCPGraphData first = *plot->graph(0)->data()->constBegin();
        const QPoint at(qRound(plot->xAxis->coordToPixel(first.key)),
                        qRound(plot->yAxis->coordToPixel(first.value)));
        QTest::mouseMove(plot, at);
        QTRY_VERIFY(
            label(window, "HoverPoint").startsWith(QStringLiteral("KSWF  1995-07-15 00:00 UTC  ")));

        // The wheel zooms in, dragging pans, a rectangle drawn with Shift zooms to it, and
        // "Reset view" brings the whole result back.
        const QPoint centre = plot->axisRect()->rect().center();
        QWheelEvent wheel(centre, plot->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(plot, &wheel);
        const QCPRange zoomed = plot->xAxis->range();
        QVERIFY(zoomed.size() < full.size());
        QTest::mousePress(plot, Qt::LeftButton, {}, centre);
        QTest::mouseMove(plot, centre + QPoint(100, 0));
        QTest::mouseRelease(plot, Qt::LeftButton, {}, centre + QPoint(100, 0));
        QVERIFY(plot->xAxis->range().lower < zoomed.lower);
        QCOMPARE(plot->xAxis->range().size(), zoomed.size());
        const QPoint corner = plot->axisRect()->topLeft() + QPoint(20, 20);
        QTest::mousePress(plot, Qt::LeftButton, Qt::ShiftModifier, corner);
        QTest::mouseMove(plot, corner + QPoint(60, 60));
        QTest::mouseRelease(plot, Qt::LeftButton, Qt::ShiftModifier, corner + QPoint(60, 60));
        QVERIFY(plot->xAxis->range().size() < zoomed.size() / 2);
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("ResetViewButton")),
                          Qt::LeftButton);
        QCOMPARE(plot->xAxis->range().lower, full.lower);
        QCOMPARE(plot->xAxis->range().upper, full.upper);
        // The same from the keyboard: + zooms in, Right pans later, Home shows everything.
        QTest::keyClick(plot, Qt::Key_Plus);
        QCOMPARE(plot->xAxis->range().size(), full.size() * 0.8);
        QTest::keyClick(plot, Qt::Key_Right);
        QVERIFY(plot->xAxis->range().lower > full.lower + full.size() * 0.1);
        QTest::keyClick(plot, Qt::Key_Home);
        QCOMPARE(plot->xAxis->range().lower, full.lower);
        QCOMPARE(plot->xAxis->range().upper, full.upper);

        // The saved image is a PNG of the plot's size; the copied one too.
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("kswf"));
        window->chooseImagePath = [path] {
            return path;
        };
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("SaveImageButton")),
                          Qt::LeftButton);
        const QImage saved(path + QStringLiteral(".png"), "PNG");
        QVERIFY(!saved.isNull());
        QCOMPARE(saved.size(), plot->size());
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("CopyImageButton")),
                          Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->image().size(), plot->size());

        // The next query leaves the plot with its own result.
        const QString title = window->windowTitle();
        submit(QStringLiteral("SELECT icao, temp FROM surfaceshort LIMIT 3;"));
        QVERIFY(!form->PlotButton->isEnabled());
        QCOMPARE(form->PlotButton->toolTip(),
                 QStringLiteral("The result has no year, month, day and hour columns."));
        QCOMPARE(window->windowTitle(), title);
        clickEntry(chooser, QStringLiteral("temp"));
        QTRY_COMPARE(plot->yAxis->label(), QStringLiteral("temp (°F)"));
        QCOMPARE(window->data().series.at(0).minutes.size(), std::size_t(48));
    }

    void stationsGapsAndTextsOfASubmittedStatement()
    {
        // Two stations, a NULL, an empty text and a text that is no number.
        submit(QStringLiteral(
            "SELECT 1995 AS year, 7 AS month, 31 AS day, 23 AS hour, 'KAAA' AS icao, "
            "'1.5' AS v UNION ALL SELECT 1995, 8, 1, 0, 'KAAA', NULL "
            "UNION ALL SELECT 1995, 8, 1, 1, 'KAAA', '2' UNION ALL SELECT 1995, 8, 1, 0, "
            "'KBBB', 'n/a' UNION ALL SELECT 1995, 8, 1, 1, 'KBBB', '' "
            "UNION ALL SELECT 1995, 8, 1, 2, 'KBBB', '-4';"));
        QVERIFY(form->PlotButton->isEnabled());
        PlotWindow *window = openPlot();
        QVERIFY(window);
        QCustomPlot *plot = window->plotWidget();
        QCOMPARE(plot->graphCount(), 2);
        QCOMPARE(plot->graph(0)->name(), QStringLiteral("KAAA"));
        QCOMPARE(plot->graph(1)->name(), QStringLiteral("KBBB"));
        // Gaps are NaN points, the text is left out.
        QCOMPARE(window->data().series.at(0).minutes.size(), std::size_t(3));
        QCOMPARE(window->data().series.at(1).minutes.size(), std::size_t(2));
        QCOMPARE(plot->graph(0)->data()->size(), 3);
        QVERIFY(std::isnan((plot->graph(0)->data()->constBegin() + 1)->value));
        QCOMPARE(plot->yAxis->label(), QStringLiteral("v"));
        QCOMPARE(label(window, "PlotStatus"),
                 QStringLiteral("3 points of v in 2 series; 1 cell that is not a number skipped."));

        // Unchecking a station in the legend hides its line.
        auto *legend = window->findChild<QListWidget *>(QStringLiteral("Legend"));
        QStyleOptionViewItem option;
        option.initFrom(legend->viewport());
        option.rect = legend->visualItemRect(legend->item(1));
        option.features = QStyleOptionViewItem::HasCheckIndicator;
        const QRect box =
            legend->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, legend);
        QTest::mouseClick(legend->viewport(), Qt::LeftButton, {}, box.center());
        QCOMPARE(legend->item(1)->checkState(), Qt::Unchecked);
        QVERIFY(!plot->graph(1)->visible());
        QVERIFY(plot->graph(0)->visible());
    }
};

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ClientLibraryScope clientLibrary;
    OrvexApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    TestPlotWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_plotwindow.moc"
