// The log memo: lines in order, selection and copy with keys, mouse and menu, no typing,
// wrapping that leaves the lines alone, following the end, and a log of a million lines.
#include "app/logview.h"
#include "tests/resultrows.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QScrollBar>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

namespace {

// A shown view with lines "line 0" to "line <count - 1>", tall enough for all of them.
std::unique_ptr<LogView> viewWithLines(int count)
{
    auto view = std::make_unique<LogView>();
    view->resize(400, 300);
    for (int i = 0; i < count; ++i)
        view->appendLine(QStringLiteral("line %1").arg(i));
    view->show();
    return view;
}

// Vertical centre of the k-th line shown, for lines that fit the width unwrapped.
int lineCentre(const LogView &view, int k)
{
    const int spacing = view.fontMetrics().lineSpacing();
    return k * spacing + spacing / 2;
}

} // namespace

class TestLogView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void linesInOrder();
    void setPlainTextAndClear();
    void keysSelectAndCopy_data();
    void keysSelectAndCopy();
    void mouseSelectsLines();
    void contextMenuCopiesAndSelectsAll();
    void copyWithoutSelectionLeavesClipboard();
    void typingChangesNothing();
    void wrappingKeepsTheLines();
    void followsTheEndOnlyFromTheEnd_data();
    void followsTheEndOnlyFromTheEnd();
    void millionLines();
};

void TestLogView::init()
{
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
}

void TestLogView::linesInOrder()
{
    LogView view;
    view.appendLine(QStringLiteral("Starting..."));
    view.appendEchoLines(batchOf(4, {{"1", "KSWF", "85", ""}, {"2", "KSWF", "", "Z\xc3\xbcrich"}}));
    view.appendLine(QStringLiteral("All done!"));
    view.appendPlainText(QStringLiteral("Killing query 12...\nDone..."));

    QCOMPARE(view.lineCount(), qsizetype(6));
    QCOMPARE(view.line(0), QStringLiteral("Starting..."));
    QCOMPARE(view.line(1), QStringLiteral("KSWF,85,,"));
    QCOMPARE(view.line(2), QStringLiteral("KSWF,,Zürich,"));
    QCOMPARE(view.line(3), QStringLiteral("All done!"));
    QCOMPARE(view.line(4), QStringLiteral("Killing query 12..."));
    QCOMPARE(view.line(5), QStringLiteral("Done..."));
    QCOMPARE(view.toPlainText(),
             QStringLiteral("Starting...\nKSWF,85,,\nKSWF,,Zürich,\nAll "
                            "done!\nKilling query 12...\nDone..."));
}

void TestLogView::setPlainTextAndClear()
{
    LogView view;
    view.setPlainText(QStringLiteral("earlier log line"));
    QCOMPARE(view.lineCount(), qsizetype(1));
    QCOMPARE(view.toPlainText(), QStringLiteral("earlier log line"));

    view.setPlainText(QStringLiteral("a\n\nb"));
    QCOMPARE(view.lineCount(), qsizetype(3));
    QCOMPARE(view.line(1), QString());
    QCOMPARE(view.toPlainText(), QStringLiteral("a\n\nb"));

    view.selectAll();
    view.clear();
    QCOMPARE(view.lineCount(), qsizetype(0));
    QCOMPARE(view.toPlainText(), QString());
    QVERIFY(!view.hasSelection());
    QCOMPARE(view.verticalScrollBar()->maximum(), 0);

    view.setPlainText(QString());
    QCOMPARE(view.lineCount(), qsizetype(0));
}

void TestLogView::keysSelectAndCopy_data()
{
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QList<int>>("modifiers");
    QTest::addColumn<QString>("copied");

    const int none = Qt::NoModifier;
    const int shift = Qt::ShiftModifier;
    const int ctrl = Qt::ControlModifier;

    QTest::newRow("ctrl+a") << QList<int> {Qt::Key_A, Qt::Key_C} << QList<int> {ctrl, ctrl}
                            << QStringLiteral("line 0\nline 1\nline 2\nline 3\nline 4\nline 5");
    QTest::newRow("first key selects the top line")
        << QList<int> {Qt::Key_Down, Qt::Key_C} << QList<int> {none, ctrl}
        << QStringLiteral("line 0");
    QTest::newRow("shift+down extends")
        << QList<int> {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_C}
        << QList<int> {none, none, shift, shift, ctrl} << QStringLiteral("line 1\nline 2\nline 3");
    QTest::newRow("plain arrow moves the selection")
        << QList<int> {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_C}
        << QList<int> {none, shift, none, ctrl} << QStringLiteral("line 2");
    QTest::newRow("end then shift+up")
        << QList<int> {Qt::Key_Down, Qt::Key_End, Qt::Key_Up, Qt::Key_C}
        << QList<int> {none, none, shift, ctrl} << QStringLiteral("line 4\nline 5");
    QTest::newRow("shift+home from the end")
        << QList<int> {Qt::Key_Down, Qt::Key_End, Qt::Key_Up, Qt::Key_Home, Qt::Key_C}
        << QList<int> {none, none, none, shift, ctrl}
        << QStringLiteral("line 0\nline 1\nline 2\nline 3\nline 4");
    QTest::newRow("up stops at the first line")
        << QList<int> {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Up, Qt::Key_Up, Qt::Key_C}
        << QList<int> {none, none, shift, shift, shift, ctrl} << QStringLiteral("line 0\nline 1");
    QTest::newRow("shift+page down from the top")
        << QList<int> {Qt::Key_PageDown, Qt::Key_C} << QList<int> {shift, ctrl}
        << QStringLiteral("line 0\nline 1\nline 2\nline 3\nline 4\nline 5");
    QTest::newRow("ctrl+insert copies")
        << QList<int> {Qt::Key_A, Qt::Key_Insert} << QList<int> {ctrl, ctrl}
        << QStringLiteral("line 0\nline 1\nline 2\nline 3\nline 4\nline 5");
}

void TestLogView::keysSelectAndCopy()
{
    QFETCH(QList<int>, keys);
    QFETCH(QList<int>, modifiers);
    QFETCH(QString, copied);

    auto view = viewWithLines(6);
    view->setFocus();
    for (int i = 0; i < keys.size(); ++i) {
        QTest::keyClick(view.get(), static_cast<Qt::Key>(keys[i]),
                        Qt::KeyboardModifiers(modifiers[i]));
    }
    QCOMPARE(view->selectedText(), copied);
    QCOMPARE(QGuiApplication::clipboard()->text(), copied);
}

void TestLogView::mouseSelectsLines()
{
    auto view = viewWithLines(6);
    QWidget *area = view->viewport();

    QTest::mouseClick(area, Qt::LeftButton, Qt::NoModifier, QPoint(10, lineCentre(*view, 1)));
    QCOMPARE(view->selectedText(), QStringLiteral("line 1"));

    QTest::mouseClick(area, Qt::LeftButton, Qt::ShiftModifier, QPoint(10, lineCentre(*view, 3)));
    QCOMPARE(view->selectedText(), QStringLiteral("line 1\nline 2\nline 3"));

    // Dragging from line 4 up to line 2.
    QTest::mousePress(area, Qt::LeftButton, Qt::NoModifier, QPoint(10, lineCentre(*view, 4)));
    QMouseEvent move(QEvent::MouseMove, QPointF(12, lineCentre(*view, 2)),
                     area->mapToGlobal(QPointF(12, lineCentre(*view, 2))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &move);
    QTest::mouseRelease(area, Qt::LeftButton, Qt::NoModifier, QPoint(12, lineCentre(*view, 2)));
    QCOMPARE(view->selectedText(), QStringLiteral("line 2\nline 3\nline 4"));

    // Below the last line: the last line.
    QTest::mouseClick(area, Qt::LeftButton, Qt::NoModifier, QPoint(10, area->height() - 2));
    QCOMPARE(view->selectedText(), QStringLiteral("line 5"));

    QTest::keyClick(view.get(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("line 5"));
}

void TestLogView::contextMenuCopiesAndSelectsAll()
{
    auto view = viewWithLines(3);
    std::unique_ptr<QMenu> menu(view->createStandardContextMenu());
    const QList<QAction *> actions = menu->actions();
    QCOMPARE(actions.size(), 2);
    QCOMPARE(actions[0]->text(), QStringLiteral("Copy"));
    QCOMPARE(actions[1]->text(), QStringLiteral("Select All"));
    QVERIFY(!actions[0]->isEnabled());
    QVERIFY(actions[1]->isEnabled());

    actions[1]->trigger();
    QVERIFY(view->hasSelection());
    menu.reset(view->createStandardContextMenu());
    QVERIFY(menu->actions()[0]->isEnabled());
    menu->actions()[0]->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("line 0\nline 1\nline 2"));
}

void TestLogView::copyWithoutSelectionLeavesClipboard()
{
    auto view = viewWithLines(3);
    view->setFocus();
    QTest::keyClick(view.get(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));

    LogView empty;
    empty.selectAll();
    QVERIFY(!empty.hasSelection());
}

void TestLogView::typingChangesNothing()
{
    auto view = viewWithLines(3);
    view->setFocus();
    view->selectAll();
    QTest::keyClicks(view.get(), QStringLiteral("typed text"));
    QTest::keyClick(view.get(), Qt::Key_Backspace);
    QTest::keyClick(view.get(), Qt::Key_Delete);
    QTest::keyClick(view.get(), Qt::Key_Return);
    QTest::keyClick(view.get(), Qt::Key_Tab);
    QTest::keyClick(view.get(), Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(view.get(), Qt::Key_X, Qt::ControlModifier);

    QCOMPARE(view->lineCount(), qsizetype(3));
    QCOMPARE(view->toPlainText(), QStringLiteral("line 0\nline 1\nline 2"));
}

// A long line wraps on screen, so a few of them no longer fit the view and it scrolls; the
// stored and copied lines stay whole, whatever the width.
void TestLogView::wrappingKeepsTheLines()
{
    const QString longLine = QStringLiteral("KSWF 151253Z 22005KT 10SM FEW045 SCT250 29/17 "
                                            "A3001 RMK AO2 SLP160 T02890172 ")
                                 .repeated(6);
    const QString unbroken = QStringLiteral("1995,07,15,12,SWF,KSWF,72502,41.5,-74.1,").repeated(8);

    LogView view;
    view.resize(200, 120);
    view.show();
    view.appendLine(longLine);
    view.appendLine(unbroken);
    view.appendEchoLines(batchOf(3, {{"1", "two\nlines", "x"}}));
    QCoreApplication::processEvents();

    QCOMPARE(view.lineCount(), qsizetype(3));
    QVERIFY(view.verticalScrollBar()->maximum() > 0);
    QCOMPARE(view.line(0), longLine);
    QCOMPARE(view.line(1), unbroken);
    QCOMPARE(view.line(2), QStringLiteral("two\nlines,x,"));

    view.resize(180, 300);
    QCoreApplication::processEvents();
    view.grab();
    view.selectAll();
    view.copy();
    QCOMPARE(QGuiApplication::clipboard()->text(),
             longLine + QLatin1Char('\n') + unbroken + QStringLiteral("\ntwo\nlines,x,"));

    // Wide enough for each on one line, all three fit at once.
    view.resize(4000, 300);
    QCoreApplication::processEvents();
    QCOMPARE(view.verticalScrollBar()->maximum(), 0);
}

void TestLogView::followsTheEndOnlyFromTheEnd_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("short lines") << QStringLiteral("line");
    QTest::newRow("wrapped lines")
        << QStringLiteral("KSWF 151253Z 22005KT 10SM FEW045 ").repeated(8);
}

// Shown at its end, the view follows new lines; scrolled anywhere else, even one line above the
// end, it stays where it is.
void TestLogView::followsTheEndOnlyFromTheEnd()
{
    QFETCH(QString, text);
    LogView view;
    view.resize(300, 150);
    view.show();
    QScrollBar *bar = view.verticalScrollBar();

    for (int i = 0; i < 200; ++i)
        view.appendLine(text);
    QCOMPARE(bar->value(), bar->maximum());
    QCoreApplication::processEvents();
    QVERIFY(bar->maximum() > 150);
    QCOMPARE(bar->value(), bar->maximum());

    bar->setValue(10);
    view.appendEchoLines(batchOf(2, {{"a", "b"}, {"c", "d"}}));
    QCOMPARE(bar->value(), 10);
    QCoreApplication::processEvents();
    QCOMPARE(bar->value(), 10);
    QCOMPARE(view.firstVisibleLine(), qsizetype(10));

    const int nearEnd = bar->maximum() - 1;
    bar->setValue(nearEnd);
    view.appendLine(text);
    QCOMPARE(bar->value(), nearEnd);
    QCoreApplication::processEvents();
    QCOMPARE(bar->value(), nearEnd);

    bar->setValue(bar->maximum());
    const int before = bar->maximum();
    view.appendLine(text);
    view.appendLine(QStringLiteral("one more"));
    QCoreApplication::processEvents();
    QVERIFY(bar->maximum() > before);
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(view.line(view.lineCount() - 1), QStringLiteral("one more"));
}

// A million echo lines take the log no memory of their own beyond one entry per batch, and the
// view scrolls through them laying out only what it shows.
void TestLogView::millionLines()
{
    LogView view;
    view.resize(497, 197);
    view.show();
    view.appendLine(QStringLiteral("Starting..."));
    RecordBatchBuilder builder(3);
    for (int batch = 0; batch < 100; ++batch) {
        for (int r = 0; r < 10000; ++r) {
            const std::string number = std::to_string(batch * 10000 + r + 1);
            builder.appendField(number);
            builder.appendField(number);
            builder.appendField("x");
            builder.endRecord();
        }
        view.appendEchoLines(builder.finish());
    }
    view.appendLine(QStringLiteral("All done!"));
    QCoreApplication::processEvents();

    QCOMPARE(view.lineCount(), qsizetype(1000002));
    QVERIFY(view.store().byteCount() < 10000);
    QCOMPARE(view.line(0), QStringLiteral("Starting..."));
    QCOMPARE(view.line(1), QStringLiteral("1,x,"));
    QCOMPARE(view.line(500000), QStringLiteral("500000,x,"));
    QCOMPARE(view.line(1000000), QStringLiteral("1000000,x,"));
    QCOMPARE(view.line(1000001), QStringLiteral("All done!"));

    QScrollBar *bar = view.verticalScrollBar();
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(bar->maximum() > 999980);
    view.grab();

    bar->setValue(500000);
    view.grab();
    QCOMPARE(view.firstVisibleLine(), qsizetype(500000));

    view.setFocus();
    QTest::keyClick(&view, Qt::Key_Down);
    QTest::keyClick(&view, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("500000,x,\n500001,x,"));

    QTest::keyClick(&view, Qt::Key_End);
    QCOMPARE(view.selectedText(), QStringLiteral("All done!"));
    QCOMPARE(bar->value(), bar->maximum());
    view.grab();
}

QTEST_MAIN(TestLogView)
#include "tst_logview.moc"
