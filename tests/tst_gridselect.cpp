// The result grid's selection under the mouse and the keys, what Ctrl+C and the context menu put
// on the clipboard, and a double click on a header divider fitting the column; offscreen.
#include "app/gridmodel.h"
#include "app/gridview.h"
#include "tests/platformnotices.h"
#include "tests/resultrows.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

Q_DECLARE_METATYPE(std::vector<CellRange>)

namespace {

constexpr int toLast = CellRange::toLastRow;

} // namespace

class TestGridSelect : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<GridModel> model;
    std::unique_ptr<GridView> view;

    // 5 result columns (7 with the grid's two empty ones) of 64 pixels, rows of 16.
    void showGrid(std::shared_ptr<const RecordBatch> batch)
    {
        model = std::make_unique<GridModel>(15, 20);
        view = std::make_unique<GridView>();
        view->setModel(model.get());
        view->setRowHeight(16);
        view->horizontalHeader()->setDefaultSectionSize(64);
        view->horizontalHeader()->setFixedHeight(16);
        view->resize(640, 300);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        model->setResultColumns({"year", "icao", "temp", "report", "wind"});
        model->appendRecords(std::move(batch));
        view->setFocus();
    }

    QPoint cellPoint(int row, int column) const
    {
        return view->visualRect(model->index(row, column)).center();
    }
    QPoint headerPoint(int column) const
    {
        const QHeaderView *header = view->horizontalHeader();
        return QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                      header->height() / 2);
    }

    // Acts out the steps, each "what row column" or "what key":
    //   click, shift+click, ctrl+click, right+click on a cell; header, shift+header,
    //   ctrl+header on a column's name; drag from one cell to another ("drag r c r c");
    //   key Down|Right|PageDown|End|A|C, with shift+ or ctrl+ in front.
    void act(const QString &steps)
    {
        for (const QString &step : steps.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QStringList words = step.simplified().split(QLatin1Char(' '));
            const QString what = words[0];
            const auto number = [&](int i) {
                return words[i].toInt();
            };
            Qt::KeyboardModifiers modifiers;
            if (what.startsWith(QLatin1String("shift+")))
                modifiers = Qt::ShiftModifier;
            else if (what.startsWith(QLatin1String("ctrl+")))
                modifiers = Qt::ControlModifier;
            const QString action = what.section(QLatin1Char('+'), -1);
            QWidget *cells = view->viewport();
            QWidget *names = view->horizontalHeader()->viewport();
            if (action == QLatin1String("click")) {
                const Qt::MouseButton button =
                    what.startsWith(QLatin1String("right")) ? Qt::RightButton : Qt::LeftButton;
                // Through the window, as the platform delivers it, so a right click also
                // opens the context menu.
                QWidget *window = view->window();
                QTest::mouseClick(window->windowHandle(), button, modifiers,
                                  cells->mapTo(window, cellPoint(number(1), number(2))));
            } else if (action == QLatin1String("header")) {
                QTest::mouseClick(names, Qt::LeftButton, modifiers, headerPoint(number(1)));
            } else if (action == QLatin1String("drag")) {
                QTest::mousePress(cells, Qt::LeftButton, {}, cellPoint(number(1), number(2)));
                QTest::mouseMove(cells, cellPoint(number(3), number(4)));
                QTest::mouseRelease(cells, Qt::LeftButton, {}, cellPoint(number(3), number(4)));
            } else if (action == QLatin1String("key")) {
                static const QHash<QString, Qt::Key> keys {
                    {QStringLiteral("Down"), Qt::Key_Down},
                    {QStringLiteral("Right"), Qt::Key_Right},
                    {QStringLiteral("PageDown"), Qt::Key_PageDown},
                    {QStringLiteral("End"), Qt::Key_End},
                    {QStringLiteral("A"), Qt::Key_A},
                    {QStringLiteral("C"), Qt::Key_C}};
                QTest::keyClick(view.get(), keys.value(words[1]), modifiers);
            } else {
                QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
            }
        }
    }

private slots:
    void initTestCase() { installPlatformNoticeFilter(); }
    void init() { QGuiApplication::clipboard()->setText(QStringLiteral("before")); }
    void cleanup()
    {
        view.reset();
        model.reset();
    }

    void selectionByMouseAndKeys_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<std::vector<CellRange>>("blocks");
        using Blocks = std::vector<CellRange>;
        QTest::newRow("click") << "click 2 1" << Blocks {{2, 1, 2, 1}};
        QTest::newRow("shift+click") << "click 1 1; shift+click 3 2" << Blocks {{1, 1, 3, 2}};
        QTest::newRow("shift+click upward")
            << "click 3 2; shift+click 1 0" << Blocks {{1, 0, 3, 2}};
        QTest::newRow("ctrl+click adds")
            << "click 0 0; ctrl+click 2 2" << Blocks {{0, 0, 0, 0}, {2, 2, 2, 2}};
        QTest::newRow("ctrl+click then shift+click extends the added block")
            << "click 0 0; ctrl+click 2 2; shift+click 3 3" << Blocks {{0, 0, 0, 0}, {2, 2, 3, 3}};
        QTest::newRow("shift arrows")
            << "click 1 1; shift+key Down; shift+key Down; shift+key Right"
            << Blocks {{1, 1, 3, 2}};
        QTest::newRow("arrow alone starts afresh")
            << "click 1 1; shift+key Down; key Right" << Blocks {{2, 2, 2, 2}};
        QTest::newRow("shift+end") << "click 1 1; shift+key End" << Blocks {{1, 1, 1, 6}};
        QTest::newRow("ctrl+a") << "click 1 1; ctrl+key A" << Blocks {{0, 0, toLast, 6}};
        QTest::newRow("column name") << "click 1 1; header 3" << Blocks {{0, 3, toLast, 3}};
        QTest::newRow("ctrl+column name adds")
            << "header 3; ctrl+header 5" << Blocks {{0, 3, toLast, 3}, {0, 5, toLast, 5}};
        QTest::newRow("shift+column name")
            << "header 4; shift+header 2" << Blocks {{0, 2, toLast, 4}};
        QTest::newRow("drag") << "drag 1 1 3 3" << Blocks {{1, 1, 3, 3}};
        QTest::newRow("right click in the selection keeps it")
            << "click 1 1; shift+click 3 2; right+click 2 2" << Blocks {{1, 1, 3, 2}};
        QTest::newRow("right click outside selects the cell")
            << "click 1 1; shift+click 3 2; right+click 5 5" << Blocks {{5, 5, 5, 5}};
    }

    void selectionByMouseAndKeys()
    {
        QFETCH(QString, steps);
        QFETCH(std::vector<CellRange>, blocks);
        showGrid(numbered(5, 1, 40));
        act(steps);
        if (QWidget *popup = QApplication::activePopupWidget())
            popup->close();
        QCOMPARE(view->selection().ranges(), blocks);
        for (const CellRange &block : blocks)
            QVERIFY(view->isSelected(block.top, block.left));
    }

    void shiftPageDownExtendsAPage()
    {
        showGrid(numbered(5, 1, 40));
        act(QStringLiteral("click 0 1; shift+key PageDown"));
        const std::vector<CellRange> page {{0, 1, view->visibleRowCount(), 1}};
        QCOMPARE(view->selection().ranges(), page);
    }

    // Dragging past the top edge scrolls up a row at each move, taking the rows in.
    void dragPastTheTopScrollsUp()
    {
        showGrid(numbered(5, 1, 60));
        view->verticalScrollBar()->setValue(30);
        QWidget *cells = view->viewport();
        QTest::mousePress(cells, Qt::LeftButton, {}, cellPoint(33, 1));
        for (int move = 1; move <= 3; ++move)
            QTest::mouseMove(cells, QPoint(cellPoint(30, 1).x(), -5 - move));
        QTest::mouseRelease(cells, Qt::LeftButton, {}, QPoint(cellPoint(30, 1).x(), -8));
        QCOMPARE(view->firstVisibleRow(), 27);
        const std::vector<CellRange> block {{27, 1, 33, 1}};
        QCOMPARE(view->selection().ranges(), block);
    }

    // Three rows by two columns holding a tab, double quotes and a line break, selected with the
    // mouse and copied with Ctrl+C: the clipboard holds them as spreadsheets read them.
    void ctrlCCopiesTheSelectionAsTabSeparatedText()
    {
        showGrid(batchOf(5,
                         {{"1995", "KSWF", "x\ty", "calm", "0"},
                          {"1995", "KSWF", "say \"hi\"", "line\nbreak", "5"},
                          {"1995", "KALB", "", "z", "7"}}));
        act(QStringLiteral("click 0 2; shift+click 2 3; ctrl+key C"));
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QStringLiteral("\"x\ty\"\tcalm\n\"say \"\"hi\"\"\"\t\"line\nbreak\"\n\tz\n"));
        // Ctrl+A then Ctrl+C: every row and column, the grid's blank rows and columns too.
        act(QStringLiteral("ctrl+key A; ctrl+key C"));
        const QString all = QGuiApplication::clipboard()->text();
        QVERIFY(all.startsWith(QStringLiteral("1995\tKSWF\t\"x\ty\"\tcalm\t0\t\t\n")));
        QVERIFY(all.contains(QStringLiteral("\n1995\tKALB\t\tz\t7\t\t\n")));
        // A line per row, and the quoted line break inside one cell.
        QCOMPARE(all.count(QLatin1Char('\n')), model->rowCount() + 1);
    }

    // The context menu opened by a right click: its entries, and each doing what it says, for
    // one block and for blocks added with Ctrl (the cells between them blank, the names line
    // whole).
    void contextMenuCopiesWithAndWithoutNames_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("copied");
        QTest::addColumn<QString>("names");
        QTest::newRow("one block")
            << QStringLiteral("click 1 1; shift+click 2 2")
            << QStringLiteral("2.1\t2.2\n3.1\t3.2\n") << QStringLiteral("icao\ttemp\n");
        QTest::newRow("two blocks")
            << QStringLiteral("click 1 1; ctrl+click 3 2") << QStringLiteral("2.1\t\n\t4.2\n")
            << QStringLiteral("icao\ttemp\n");
        QTest::newRow("three blocks, columns apart")
            << QStringLiteral("click 1 1; ctrl+click 1 3; ctrl+click 2 4")
            << QStringLiteral("2.1\t2.3\t\n\t\t3.4\n") << QStringLiteral("icao\treport\twind\n");
    }

    void contextMenuCopiesWithAndWithoutNames()
    {
        QFETCH(QString, steps);
        QFETCH(QString, copied);
        QFETCH(QString, names);
        showGrid(numbered(5, 1, 40));
        act(steps);
        const auto choose = [this](int entry) {
            act(QStringLiteral("right+click 1 1"));
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            QStringList texts;
            for (QAction *action : menu->actions())
                texts << action->text();
            QCOMPARE(texts,
                     QStringList({QStringLiteral("Copy"), QStringLiteral("Copy with column names"),
                                  QString(), QStringLiteral("Select All")}));
            QAction *action = menu->actions()[entry];
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        };
        choose(0);
        QCOMPARE(QGuiApplication::clipboard()->text(), copied);
        choose(1);
        QCOMPARE(QGuiApplication::clipboard()->text(), names + copied);
        choose(3);
        const std::vector<CellRange> all {{0, 0, toLast, 6}};
        QCOMPARE(view->selection().ranges(), all);
    }

    // A double click on the divider right of a column fits it to the widest of its name and the
    // texts on screen; rows below the screen do not count.
    void doubleClickOnADividerFitsTheColumn()
    {
        std::vector<std::vector<std::string>> rows(60, {"1", "a", "b", "c", "d"});
        rows[3][2] = "a much longer text than the others";
        rows[59][2] = "an even longer text, far below, that is not on screen at all";
        showGrid(batchOf(5, rows));
        QHeaderView *header = view->horizontalHeader();
        const QPoint divider(header->sectionViewportPosition(2) + header->sectionSize(2) - 1,
                             header->height() / 2);
        QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, divider);
        const int wanted = view->fontMetrics().horizontalAdvance(
            QStringLiteral("a much longer text than the others"));
        QVERIFY2(view->columnWidth(2) > wanted && view->columnWidth(2) < wanted + 12,
                 qPrintable(QString::number(view->columnWidth(2))));
        // A column whose name is wider than its cells keeps room for the name.
        const QPoint nameDivider(header->sectionViewportPosition(0) + header->sectionSize(0) - 1,
                                 header->height() / 2);
        QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, nameDivider);
        QCOMPARE(view->columnWidth(0), header->sectionSizeHint(0));
    }

    // A new run's rows arrive into a whole-column selection; a new result clears the selection
    // through the window, not here, so the block stays and reaches the new rows.
    void wholeColumnTakesInRowsThatArriveLater()
    {
        showGrid(numbered(5, 1, 3));
        act(QStringLiteral("header 1"));
        model->appendRecords(numbered(5, 4, 30));
        QVERIFY(view->isSelected(model->rowCount() - 1, 1));
        QCOMPARE(QString::fromUtf8(view->selectedText()).count(QLatin1Char('\n')),
                 model->rowCount());
    }
};

QTEST_MAIN(TestGridSelect)
#include "tst_gridselect.moc"
