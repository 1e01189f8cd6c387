// The result grid and the log memo as assistive technology reads them, through Qt's
// accessibility interfaces in this process, offscreen: the grid as a table (counts, column
// names, cells, selection and focus, a new result, and the few cell interfaces it keeps
// with ten million rows) and the log as text (offsets by line, selection, the last line of a
// large log).
#include "app/gridaccessible.h"
#include "app/gridmodel.h"
#include "app/gridview.h"
#include "app/logview.h"
#include "tests/resultrows.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QHeaderView>
#include <QTest>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

// Ten million rows that cost nothing: each cell's text is made from its place.
class HugeModel : public QAbstractTableModel
{
public:
    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : 10'000'000;
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : 25;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole)
            return {};
        return QStringLiteral("%1.%2").arg(index.row()).arg(index.column());
    }
};

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
    }
    return -1;
}

} // namespace

class TestAccessible : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<GridModel> model;
    std::unique_ptr<GridView> grid;

    QAccessibleInterface *table() const
    {
        return QAccessible::queryAccessibleInterface(grid.get());
    }

    // A grid of 40 records after a run: columns year, icao, temp, wind; temp is NULL (empty)
    // every fifth record and "0" every seventh.
    void showGrid()
    {
        model = std::make_unique<GridModel>(15, 20);
        grid = std::make_unique<GridView>();
        grid->setModel(model.get());
        grid->setRowHeight(16);
        grid->horizontalHeader()->setDefaultSectionSize(64);
        grid->resize(400, 200);
        grid->show();
        QVERIFY(QTest::qWaitForWindowExposed(grid.get()));
        model->startRun();
        model->setResultColumns({"year", "icao", "temp", "wind"});
        std::vector<std::vector<std::string>> rows;
        for (int i = 0; i < 40; ++i) {
            const std::string temp = i % 5 == 0 ? "" : i % 7 == 0 ? "0" : std::to_string(60 + i);
            rows.push_back({"1995", "KSWF", temp, std::to_string(i)});
        }
        model->appendRecords(batchOf(4, rows));
    }

private slots:
    void cleanup()
    {
        grid.reset();
        model.reset();
    }

    void gridReadsAsATable()
    {
        showGrid();
        QAccessibleInterface *view = table();
        QVERIFY(view);
        QCOMPARE(view->role(), QAccessible::Table);
        QAccessibleTableInterface *cells = view->tableInterface();
        QVERIFY(cells);
        // The grid's rows (its 19 rows grew to 40) and its columns, two empty ones after the
        // result's own.
        QCOMPARE(cells->rowCount(), 40);
        QCOMPARE(cells->columnCount(), 6);
        QCOMPARE(view->childCount(), 41 * 6);
        QStringList names;
        for (int column = 0; column < cells->columnCount(); ++column)
            names << cells->columnDescription(column);
        QCOMPARE(
            names,
            QStringList({QStringLiteral("year"), QStringLiteral("icao"), QStringLiteral("temp"),
                         QStringLiteral("wind"), QString(), QString()}));

        // Cells: text as the grid shows it (a NULL like an empty text), on screen or far below.
        struct Cell
        {
            int row, column;
            const char *text;
            bool onScreen;
        };
        for (const Cell &expected :
             {Cell {1, 2, "61", true}, Cell {0, 2, "", true}, Cell {7, 2, "0", true},
              Cell {39, 3, "39", false}, Cell {2, 5, "", true}}) {
            QAccessibleInterface *cell = cells->cellAt(expected.row, expected.column);
            QVERIFY(cell);
            QCOMPARE(cell->role(), QAccessible::Cell);
            QCOMPARE(cell->text(QAccessible::Name), QString::fromUtf8(expected.text));
            QCOMPARE(!cell->state().offscreen, expected.onScreen);
            QAccessibleTableCellInterface *place = cell->tableCellInterface();
            QCOMPARE(place->rowIndex(), expected.row);
            QCOMPARE(place->columnIndex(), expected.column);
            QCOMPARE(place->rowExtent(), 1);
            QCOMPARE(place->columnExtent(), 1);
            QCOMPARE(place->table(), view);
            QCOMPARE(place->columnHeaderCells().value(0)->text(QAccessible::Name),
                     names[expected.column]);
            QCOMPARE(view->indexOfChild(cell), (expected.row + 1) * 6 + expected.column);
            QCOMPARE(view->child(view->indexOfChild(cell)), cell);
            QCOMPARE(cell->parent(), view);
        }
        QAccessibleInterface *name = view->child(2);
        QCOMPARE(name->role(), QAccessible::ColumnHeader);
        QCOMPARE(name->text(QAccessible::Name), QStringLiteral("temp"));
        // The cell under a point of the screen.
        const QPoint middle =
            grid->viewport()->mapToGlobal(grid->visualRect(model->index(3, 1)).center());
        QCOMPARE(view->childAt(middle.x(), middle.y()), cells->cellAt(3, 1));
    }

    // Selection and focus as a person makes them, and what the table then reports.
    void selectionAndFocusReachTheTable()
    {
        showGrid();
        QAccessibleTableInterface *cells = table()->tableInterface();
        grid->setFocus();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(model->index(1, 1)).center());
        QTest::keyClick(grid.get(), Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(grid.get(), Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(cells->selectedCellCount(), 4);
        QCOMPARE(cells->selectedCells().size(), 4);
        QVERIFY(cells->cellAt(2, 2)->tableCellInterface()->isSelected());
        QVERIFY(cells->cellAt(2, 2)->state().selected);
        QVERIFY(!cells->cellAt(3, 2)->state().selected);
        QVERIFY(cells->cellAt(2, 2)->state().focused);
        QCOMPARE(table()->focusChild(), cells->cellAt(2, 2));

        // A column's name clicked: the whole column, a selected column for the table.
        QHeaderView *header = grid->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(3) + 10, 5));
        QCOMPARE(cells->selectedColumns(), QList<int>({3}));
        QVERIFY(cells->isColumnSelected(3));
        QCOMPARE(cells->selectedCellCount(), 40);
        // And through the table: a row added, then the column taken out again.
        QVERIFY(cells->selectRow(5));
        QVERIFY(cells->isRowSelected(5));
        QVERIFY(cells->unselectColumn(3));
        QVERIFY(!cells->isColumnSelected(3));
        QCOMPARE(cells->selectedCellCount(), 5);
    }

    // Rows added keep the cells asked about; a new result with other columns is read afresh,
    // whether or not assistive technology listened when it came.
    void newResultIsReadAfresh()
    {
        showGrid();
        QAccessibleInterface *cell = table()->tableInterface()->cellAt(2, 1);
        const QAccessible::Id kept = QAccessible::uniqueId(cell);
        model->appendRecords(batchOf(4, {{"1995", "KALB", "70", "3"}}));
        QCOMPARE(QAccessible::accessibleInterface(kept), cell);
        QCOMPARE(table()->tableInterface()->cellAt(40, 1)->text(QAccessible::Name),
                 QStringLiteral("KALB"));

        model->startRun();
        model->setResultColumns({"icao", "temp"});
        model->appendRecords(batchOf(2, {{"KBOS", "71"}, {"KJFK", "72"}, {"KLGA", "73"}}));
        QAccessibleTableInterface *cells = table()->tableInterface();
        QCOMPARE(cells->columnCount(), 4);
        QCOMPARE(cells->columnDescription(1), QStringLiteral("temp"));
        QCOMPARE(cells->cellAt(2, 1)->text(QAccessible::Name), QStringLiteral("73"));
        QCOMPARE(cells->cellAt(2, 1)->tableCellInterface()->columnIndex(), 1);
        // The cells of the old result go once the window is back in its event loop.
        QTRY_VERIFY(!QAccessible::accessibleInterface(kept));
    }

    // A screen reader takes the selected cells of a wide result and asks each for its column's
    // name and then its text. The names are made anew and push older interfaces out of those
    // kept, the cells in hand among them; yet none is deleted while the reader holds it, so it
    // reads them all (the sanitizer build sees any use of a freed one). Once the window is back
    // in its event loop, those no longer kept are let go.
    void cellsInHandOutliveTheirColumnNames()
    {
        const int columns = gridAccessibleCellsKept + 44;
        model = std::make_unique<GridModel>(15, 20);
        grid = std::make_unique<GridView>();
        grid->setModel(model.get());
        grid->resize(400, 200);
        grid->show();
        QVERIFY(QTest::qWaitForWindowExposed(grid.get()));
        std::vector<std::string> names;
        for (int column = 0; column < columns; ++column)
            names.push_back("c" + std::to_string(column));
        model->startRun();
        model->setResultColumns(names);
        model->appendRecords(numbered(columns, 0, 3));
        grid->setFocus();
        QTest::keyClick(grid.get(), Qt::Key_A, Qt::ControlModifier);

        const QList<QAccessibleInterface *> selected = table()->tableInterface()->selectedCells();
        QCOMPARE(selected.size(), gridAccessibleCellsKept);
        std::vector<QAccessible::Id> ids;
        for (QAccessibleInterface *cell : selected)
            ids.push_back(QAccessible::uniqueId(cell));
        for (int i = 0; i < selected.size(); ++i) {
            QAccessibleInterface *cell = selected[i];
            const QList<QAccessibleInterface *> header =
                cell->tableCellInterface()->columnHeaderCells();
            QCOMPARE(header.size(), 1);
            QCOMPARE(header.first()->text(QAccessible::Name), QStringLiteral("c%1").arg(i));
            QCOMPARE(QAccessible::accessibleInterface(ids[std::size_t(i)]), cell);
            QCOMPARE(cell->text(QAccessible::Name), QStringLiteral("0.%1").arg(i));
        }
        QTRY_VERIFY(!QAccessible::accessibleInterface(ids.front()));
    }

    // Ten million rows: any cell is read, and only the last cells asked for are kept.
    void tenMillionRowsKeepFewCells()
    {
        HugeModel huge;
        GridView view;
        view.setModel(&huge);
        view.resize(400, 200);
        view.show();
        QAccessibleTableInterface *cells =
            QAccessible::queryAccessibleInterface(&view)->tableInterface();
        QCOMPARE(cells->rowCount(), 10'000'000);
        QCOMPARE(cells->cellAt(9'999'999, 24)->text(QAccessible::Name),
                 QStringLiteral("9999999.24"));
        const QAccessible::Id first = QAccessible::uniqueId(cells->cellAt(0, 0));
        // Warm up the allocator, then ask for many more cells than are kept.
        for (int i = 0; i < 2 * gridAccessibleCellsKept; ++i)
            cells->cellAt(i * 37, i % 25);
        QCoreApplication::processEvents();
        const long before = residentKiB();
        // A reader's requests come one at a time, with the window's events between them.
        for (int i = 0; i < 100'000; ++i) {
            const int row = int((i * 7919LL) % 10'000'000);
            QCOMPARE(cells->cellAt(row, i % 25)->text(QAccessible::Name),
                     QStringLiteral("%1.%2").arg(row).arg(i % 25));
            if (i % 100 == 99)
                QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
#ifndef __SANITIZE_ADDRESS__
        // The address sanitizer holds freed memory back; there, only the check below that the
        // first cell was let go tells.
        QVERIFY2(residentKiB() - before < 1024,
                 qPrintable(QStringLiteral("%1 KiB more").arg(residentKiB() - before)));
#else
        Q_UNUSED(before);
#endif
        QVERIFY(!QAccessible::accessibleInterface(first));
    }

    void logReadsAsText()
    {
        LogView log;
        log.resize(300, 120);
        log.show();
        log.appendLine(QStringLiteral("Starting..."));
        log.appendEchoLines(batchOf(4, {{"1", "KSWF", "85", ""}, {"2", "KSWF", "", "Zürich"}}));
        log.appendLine(QStringLiteral("Done!"));
        const QString whole = log.toPlainText();

        QAccessibleInterface *view = QAccessible::queryAccessibleInterface(&log);
        QCOMPARE(view->role(), QAccessible::EditableText);
        QVERIFY(view->state().readOnly);
        QAccessibleTextInterface *text = view->textInterface();
        QVERIFY(text);
        QCOMPARE(text->characterCount(), int(whole.size()));
        QCOMPARE(text->text(0, text->characterCount()), whole);
        QCOMPARE(text->text(3, 20), whole.mid(3, 17));

        // Each offset's line: the line with its line break, as a plain text box gives it.
        for (int offset = 0; offset <= whole.size(); ++offset) {
            int start = -1, end = -1;
            const QString line =
                text->textAtOffset(offset, QAccessible::LineBoundary, &start, &end);
            const int at = std::min(offset, int(whole.size()) - 1);
            const int lineStart =
                at > 0 ? int(whole.lastIndexOf(QLatin1Char('\n'), at - 1) + 1) : 0;
            const int breakAt = int(whole.indexOf(QLatin1Char('\n'), lineStart));
            const int lineEnd = breakAt < 0 ? int(whole.size()) : breakAt + 1;
            QCOMPARE(start, lineStart);
            QCOMPARE(end, lineEnd);
            QCOMPARE(line, whole.mid(lineStart, lineEnd - lineStart));
        }
        int start = 0, end = 0;
        QCOMPARE(text->textAtOffset(whole.indexOf(QLatin1Char('Z')) + 2, QAccessible::WordBoundary,
                                    &start, &end),
                 QStringLiteral("Zürich"));
        QCOMPARE(text->textAfterOffset(0, QAccessible::LineBoundary, &start, &end),
                 QStringLiteral("KSWF,85,,\n"));

        // The selection is whole lines, both ways.
        QCOMPARE(text->selectionCount(), 0);
        text->setSelection(0, 14, 16);
        QCOMPARE(log.selectedText(), QStringLiteral("KSWF,85,,"));
        QTest::keyClick(&log, Qt::Key_Down, Qt::ShiftModifier);
        text->selection(0, &start, &end);
        QCOMPARE(whole.mid(start, end - start), QStringLiteral("KSWF,85,,\nKSWF,,Zürich,"));

        // Lines added and the log cleared.
        log.appendLine(QStringLiteral("more"));
        QCOMPARE(text->characterCount(), int(whole.size() + 5));
        log.clear();
        QCOMPARE(text->characterCount(), 0);
        log.appendLine(QStringLiteral("again"));
        QCOMPARE(text->text(0, -1), QStringLiteral("again"));
    }

    // A million echo lines: the last line and its offsets, found without the log's text.
    void lastLineOfAMillionLineLog()
    {
        LogView log;
        log.appendLine(QStringLiteral("Starting..."));
        for (int batch = 0; batch < 100; ++batch) {
            RecordBatchBuilder builder(3);
            for (int i = 0; i < 10'000; ++i) {
                builder.appendField(std::to_string(batch));
                builder.appendField(batch % 2 ? "Zürich" : "KSWF");
                builder.appendField(std::to_string(i));
                builder.endRecord();
            }
            log.appendEchoLines(builder.finish());
        }
        log.appendLine(QStringLiteral("All done!"));
        QAccessibleTextInterface *text =
            QAccessible::queryAccessibleInterface(&log)->textInterface();
        // "Starting...", the echo lines "KSWF,i," and "Zürich,i," (7 UTF-16 units before the
        // number), "All done!", and a line break between each two lines.
        qint64 expected = 11 + 9 + 1'000'001;
        for (int batch = 0; batch < 100; ++batch) {
            for (int i = 0; i < 10'000; ++i)
                expected += (batch % 2 ? 7 : 5) + QString::number(i).size() + 1;
        }
        QCOMPARE(text->characterCount(), int(expected));
        int start = 0, end = 0;
        QCOMPARE(
            text->textAtOffset(text->characterCount() - 1, QAccessible::LineBoundary, &start, &end),
            QStringLiteral("All done!"));
        QCOMPARE(text->textBeforeOffset(start, QAccessible::LineBoundary, &start, &end),
                 QStringLiteral("Zürich,9999,\n"));
    }
};

QTEST_MAIN(TestAccessible)
#include "tst_accessible.moc"
