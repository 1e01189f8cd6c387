// The result grid's view over the grid's model, offscreen: where cells are and which cell is at
// a point, scrolling by rows, the current cell under the keys and the mouse, column widths, and
// that it paints only the rows on screen and leaves the screen alone when rows are added below.
#include "app/gridmodel.h"
#include "app/gridview.h"
#include "tests/resultrows.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<std::string> names(int count)
{
    std::vector<std::string> result;
    for (int i = 0; i < count; ++i)
        result.push_back("col" + std::to_string(i));
    return result;
}

// A model that notes which rows a view asks for.
class CountingModel : public QAbstractTableModel
{
public:
    CountingModel(int rows, int columns)
        : rows(rows)
        , columns(columns)
    { }
    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : rows;
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : columns;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role == Qt::DisplayRole)
            asked.insert(index.row());
        return role == Qt::DisplayRole ? QVariant(QStringLiteral("x")) : QVariant();
    }

    mutable std::set<int> asked;

private:
    int rows;
    int columns;
};

// Counts the paint events a widget gets.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget *widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

class TestGridView : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<GridModel> model;
    std::unique_ptr<GridView> view;

    // A grid of 27 columns of 64 pixels and rows of 16, shown, holding the given records.
    void showGrid(int records)
    {
        model = std::make_unique<GridModel>(15, 20);
        view = std::make_unique<GridView>();
        view->setModel(model.get());
        view->setRowHeight(16);
        view->horizontalHeader()->setDefaultSectionSize(64);
        view->horizontalHeader()->setFixedHeight(16);
        view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        view->resize(640, 300);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        model->startRun();
        model->setResultColumns(names(25));
        if (records > 0)
            model->appendRecords(numbered(25, 1, records));
        QCoreApplication::processEvents();
    }

private slots:
    void cleanup()
    {
        view.reset();
        model.reset();
    }

    void emptyGridHasItsInitialSize()
    {
        model = std::make_unique<GridModel>(15, 20);
        view = std::make_unique<GridView>();
        view->setModel(model.get());
        view->resize(640, 300);
        view->show();
        QCOMPARE(view->model()->columnCount(), 15);
        QCOMPARE(view->model()->rowCount(), 19);
        QCOMPARE(view->rowHeight(0), 16);
        QCOMPARE(view->columnWidth(0), view->horizontalHeader()->defaultSectionSize());
        QVERIFY(!view->currentIndex().isValid());
    }

    void cellPlaces_data()
    {
        QTest::addColumn<int>("scrollRow");
        QTest::addColumn<int>("scrollPixels");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QRect>("rect");
        QTest::newRow("first cell") << 0 << 0 << 0 << 0 << QRect(0, 0, 64, 16);
        QTest::newRow("third row, second column") << 0 << 0 << 2 << 1 << QRect(64, 32, 64, 16);
        QTest::newRow("scrolled down") << 100 << 0 << 103 << 4 << QRect(256, 48, 64, 16);
        QTest::newRow("above the view") << 100 << 0 << 99 << 0 << QRect(0, -16, 64, 16);
        QTest::newRow("scrolled right") << 0 << 70 << 1 << 2 << QRect(58, 16, 64, 16);
        QTest::newRow("both") << 5000 << 640 << 5010 << 12 << QRect(128, 160, 64, 16);
    }

    void cellPlaces()
    {
        QFETCH(int, scrollRow);
        QFETCH(int, scrollPixels);
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(QRect, rect);
        showGrid(10000);
        view->verticalScrollBar()->setValue(scrollRow);
        view->horizontalScrollBar()->setValue(scrollPixels);
        QCOMPARE(view->firstVisibleRow(), scrollRow);
        const QModelIndex index = model->index(row, column);
        QCOMPARE(view->visualRect(index), rect);
        // The cell at the rectangle's middle is the cell, where the rectangle is on screen.
        if (rect.top() >= 0)
            QCOMPARE(view->indexAt(rect.center()), index);
    }

    void scrollRangeCountsRows_data()
    {
        QTest::addColumn<int>("records");
        QTest::newRow("fewer than fit") << 3;
        QTest::newRow("a thousand") << 1000;
        QTest::newRow("a million") << 1000000;
    }

    void scrollRangeCountsRows()
    {
        QFETCH(int, records);
        showGrid(records);
        const int rows = model->rowCount();
        const int fit = view->visibleRowCount();
        QCOMPARE(fit, view->viewport()->height() / 16);
        QCOMPARE(view->verticalScrollBar()->maximum(), std::max(rows - fit, 0));
        QCOMPARE(view->verticalScrollBar()->pageStep(), fit);
        QCOMPARE(view->horizontalScrollBar()->maximum(),
                 std::max(27 * 64 - view->viewport()->width(), 0));
    }

    void keysMoveTheCurrentCell_data()
    {
        QTest::addColumn<int>("startRow");
        QTest::addColumn<int>("startColumn");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        const int none = Qt::NoModifier;
        const int control = Qt::ControlModifier;
        QTest::newRow("down") << 5 << 3 << int(Qt::Key_Down) << none << 6 << 3;
        QTest::newRow("up at the top") << 0 << 3 << int(Qt::Key_Up) << none << 0 << 3;
        QTest::newRow("left at the left") << 5 << 0 << int(Qt::Key_Left) << none << 5 << 0;
        QTest::newRow("right at the right") << 5 << 26 << int(Qt::Key_Right) << none << 5 << 26;
        QTest::newRow("page down") << 5 << 3 << int(Qt::Key_PageDown) << none << -1 << 3;
        QTest::newRow("home") << 5 << 3 << int(Qt::Key_Home) << none << 5 << 0;
        QTest::newRow("end") << 5 << 3 << int(Qt::Key_End) << none << 5 << 26;
        QTest::newRow("ctrl end") << 5 << 3 << int(Qt::Key_End) << control << 999 << 26;
        QTest::newRow("ctrl home") << 700 << 3 << int(Qt::Key_Home) << control << 0 << 0;
        QTest::newRow("down at the bottom") << 999 << 3 << int(Qt::Key_Down) << none << 999 << 3;
    }

    void keysMoveTheCurrentCell()
    {
        QFETCH(int, startRow);
        QFETCH(int, startColumn);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, row);
        QFETCH(int, column);
        showGrid(1000);
        if (row < 0)
            row = startRow + view->visibleRowCount();
        view->setCurrentIndex(model->index(startRow, startColumn));
        view->scrollTo(model->index(startRow, startColumn));
        QTest::keyClick(view.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(view->currentIndex(), model->index(row, column));
        // The current cell is in sight, whole.
        const QRect rect = view->visualRect(view->currentIndex());
        QVERIFY2(view->viewport()->rect().contains(rect),
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(rect.x())
                                .arg(rect.y())
                                .arg(rect.width())
                                .arg(rect.height())));
    }

    void clickSetsTheCurrentCell()
    {
        showGrid(100);
        view->verticalScrollBar()->setValue(10);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(64 * 2 + 5, 16 * 3 + 5));
        QCOMPARE(view->currentIndex(), model->index(13, 2));
        // Below the last row there is no cell.
        showGrid(2);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(5, 16 * 30 + 5));
        QVERIFY(!view->currentIndex().isValid());
    }

    void columnWidthsFollowTheHeader()
    {
        showGrid(10);
        view->setColumnWidth(1, 100);
        QCOMPARE(view->columnWidth(1), 100);
        QCOMPARE(view->visualRect(model->index(0, 2)), QRect(164, 0, 64, 16));
        QCOMPARE(view->horizontalScrollBar()->maximum(),
                 std::max(26 * 64 + 100 - view->viewport()->width(), 0));
        // The header's divider dragged: the same.
        view->horizontalHeader()->resizeSection(0, 30);
        QCOMPARE(view->visualRect(model->index(0, 1)), QRect(30, 0, 100, 16));
    }

    void paintsOnlyTheRowsOnScreen()
    {
        CountingModel rows(1000000, 10);
        GridView grid;
        grid.setModel(&rows);
        grid.resize(400, 200);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        for (const int first : {0, 500000, 1000000 - grid.visibleRowCount()}) {
            grid.verticalScrollBar()->setValue(first);
            rows.asked.clear();
            grid.viewport()->repaint();
            QVERIFY(!rows.asked.empty());
            QVERIFY(*rows.asked.begin() >= first);
            QVERIFY(*rows.asked.rbegin() <= first + grid.visibleRowCount());
        }
    }

    void rowsAddedBelowLeaveTheScreenAlone()
    {
        showGrid(0);
        PaintCounter counter(view->viewport());
        // Rows on screen are filled: painted.
        model->appendRecords(numbered(25, 1, 5));
        QCoreApplication::processEvents();
        QVERIFY(counter.paints > 0);
        // Many rows later, rows far below the screen: the scroll bar grows, nothing is painted.
        model->appendRecords(numbered(25, 6, 100000));
        QCoreApplication::processEvents();
        const int before = counter.paints;
        model->appendRecords(numbered(25, 100006, 1000));
        QCoreApplication::processEvents();
        QCOMPARE(counter.paints, before);
        QCOMPARE(view->verticalScrollBar()->maximum(), model->rowCount() - view->visibleRowCount());
        // Scrolled to the end, added rows come into sight: painted.
        view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
        QCoreApplication::processEvents();
        const int atEnd = counter.paints;
        model->appendRecords(numbered(25, 101006, 3));
        QCoreApplication::processEvents();
        QVERIFY(counter.paints > atEnd);
    }

    void newRunRepaintsAndKeepsRows()
    {
        showGrid(50);
        view->setCurrentIndex(model->index(3, 3));
        PaintCounter counter(view->viewport());
        model->startRun();
        QCoreApplication::processEvents();
        QVERIFY(counter.paints > 0);
        // The grid keeps its rows, blank; the scroll range with them.
        QCOMPARE(view->verticalScrollBar()->maximum(),
                 std::max(model->rowCount() - view->visibleRowCount(), 0));
    }

    void anotherModelStartsAfresh()
    {
        showGrid(10);
        view->setCurrentIndex(model->index(2, 2));
        GridModel other(5, 8);
        view->setModel(&other);
        QVERIFY(!view->currentIndex().isValid());
        QCOMPARE(view->horizontalHeader()->count(), 5);
        QCOMPARE(view->verticalScrollBar()->maximum(), std::max(7 - view->visibleRowCount(), 0));
        view->setModel(nullptr);
        QCOMPARE(view->verticalScrollBar()->maximum(), 0);
        view->viewport()->repaint();
    }

    // A grid shown as a window of its own and destroyed while it shows: the window closes in
    // the widget base's destructor, after the grid's own has run, and hides the header there;
    // the header's signals must not reach the half-destroyed grid (undefined behaviour, at which
    // the sanitizer build stops). The model outlives the grid and goes on as before.
    void gridDestroyedWhileShown()
    {
        GridModel rows(15, 20);
        auto grid = std::make_unique<GridView>();
        grid->setModel(&rows);
        grid->resize(400, 200);
        grid->show();
        QVERIFY(QTest::qWaitForWindowExposed(grid.get()));
        rows.startRun();
        rows.setResultColumns(names(25));
        rows.appendRecords(numbered(25, 1, 100));
        QCoreApplication::processEvents();
        QCOMPARE(grid->verticalScrollBar()->maximum(), 100 - grid->visibleRowCount());
        grid.reset();
        rows.appendRecords(numbered(25, 101, 10));
        QCOMPARE(rows.rowCount(), 110);
    }
};

QTEST_MAIN(TestGridView)
#include "tst_gridview.moc"
