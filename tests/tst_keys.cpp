// The keys of the main window and its SQL memo, sent as real key events, and the statements run
// since start with their list, against the test server.
#include "app/gridmodel.h"
#include "app/historymenu.h"
#include "app/logview.h"
#include "app/orvexapplication.h"
#include "app/orvexdbmain.h"
#include "common/backgroundthread.h"
#include "db/clientlibrary.h"
#include "help/orvexdbdocs.h"
#include "store/resultstore.h"
#include "tests/platformnotices.h"
#include "tests/scriptedmessages.h"
#include "tests/windowtest.h"

#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {

const QString kswfDay =
    QStringLiteral("SELECT icao, hour FROM surfaceshort WHERE icao = 'KSWF' AND year = 1995 AND "
                   "month = 7 AND day = 15");
// One record every 50 ms, long enough to be cancelled in the middle; a wide record fills the
// server's buffer at once, so the first ones arrive soon.
const QString slowQuery =
    QStringLiteral("SELECT id, icao, SLEEP(0.05) AS pause, REPEAT('x', 20000) AS pad FROM "
                   "surfaceshort");

// Counts the Esc key presses that reach a control.
class EscapeSpy : public QObject
{
public:
    int presses = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress
            && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
            ++presses;
        return false;
    }
};

} // namespace

class TestKeys : public WindowTest
{
    Q_OBJECT

private:
    TOrvexNavigatorDocForm *help = nullptr;

    // Types the statement and runs it with F5; waits for the end.
    void runFromMemo(const QString &statement)
    {
        typeIntoMemo(statement);
        QTest::keyClick(form->SQLEdit, Qt::Key_F5);
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 30000);
    }

    void startSlowRun()
    {
        typeIntoMemo(slowQuery);
        QTest::keyClick(form->SQLEdit, Qt::Key_F5);
        QTRY_VERIFY_WITH_TIMEOUT(form->gridModel->store().recordCount() >= 3, 10000);
    }

private slots:
    void initTestCase() { requireTestServer(); }

    void init()
    {
        openWindow();
        help = new TOrvexNavigatorDocForm(form.get());
        form->setHelpWindow(help);
    }

    void cleanup() { closeWindow(); }

    void memoKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("runs");
        QTest::addColumn<QString>("memoAfter");
        const QString broken = kswfDay + QLatin1Char('\n');
        QTest::newRow("F5") << int(Qt::Key_F5) << int(Qt::NoModifier) << true << kswfDay;
        // Ctrl+Enter breaks the line, as such a memo does; it runs nothing.
        QTest::newRow("Ctrl+Return")
            << int(Qt::Key_Return) << int(Qt::ControlModifier) << false << broken;
        QTest::newRow("Ctrl+Enter on the keypad")
            << int(Qt::Key_Enter) << int(Qt::ControlModifier | Qt::KeypadModifier) << false
            << broken;
        // Enter alone, or with Shift, still adds nothing; other keys are the memo's own.
        QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier) << false << kswfDay;
        QTest::newRow("Shift+Return")
            << int(Qt::Key_Return) << int(Qt::ShiftModifier) << false << kswfDay;
        QTest::newRow("Shift+F5") << int(Qt::Key_F5) << int(Qt::ShiftModifier) << false << kswfDay;
        QTest::newRow("Ctrl+F5") << int(Qt::Key_F5) << int(Qt::ControlModifier) << false << kswfDay;
    }

    void memoKeys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, runs);
        QFETCH(QString, memoAfter);
        typeIntoMemo(kswfDay);
        QTest::keyClick(form->SQLEdit, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(form->runInProgress(), runs);
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 30000);
        QCOMPARE(form->SQLEdit->toPlainText(), memoAfter);
        QCOMPARE(messages.texts(), QStringList());
        QCOMPARE(form->gridModel->store().recordCount(), runs ? 24 : 0);
        QCOMPARE(int(form->history.entries().size()), runs ? 1 : 0);
    }

    // A statement typed over two lines, the line broken with Ctrl+Enter, runs as its two lines
    // joined by a blank.
    void statementTypedOverTwoLinesRuns()
    {
        const QString firstLine = QStringLiteral("SELECT icao, hour");
        const QString secondLine = kswfDay.mid(firstLine.size() + 1);
        typeIntoMemo(firstLine);
        QTest::keyClick(form->SQLEdit, Qt::Key_Return, Qt::ControlModifier);
        QTest::keyClicks(form->SQLEdit, secondLine);
        QCOMPARE(form->SQLEdit->toPlainText(), firstLine + QLatin1Char('\n') + secondLine);
        QTest::keyClick(form->SQLEdit, Qt::Key_F5);
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 30000);
        QCOMPARE(messages.texts(), QStringList());
        QCOMPARE(form->gridModel->store().recordCount(), 24);
        QCOMPARE(form->history.entries().front().statement,
                 firstLine + QLatin1Char('\n') + secondLine);
    }

    // F5 during a run is refused as a second start is; Esc then cancels it as the Cancel button
    // does, with its log lines after the pause.
    void f5RefusedAndEscapeCancelsDuringARun()
    {
        startSlowRun();
        QTest::keyClick(form->SQLEdit, Qt::Key_F5);
        QCOMPARE(messages.texts(), QStringList {QStringLiteral("A query is already running.")});
        QCOMPARE(int(form->history.entries().size()), 1);

        const QString id = QString::number(form->runController->workerServerId());
        QTest::keyClick(form->StnEq, Qt::Key_Escape);
        QCOMPARE(logLines().last(), QStringLiteral("Killing query ") + id + QStringLiteral("..."));

        // A start during the cancel's pause does nothing at all: no message, and the log, the
        // memo, the grid, the status line and the history stay as they are.
        const QStringList log = logLines();
        const QString memo = form->SQLEdit->toPlainText();
        const qint64 records = form->gridModel->store().recordCount();
        const QString status = form->StatusMessage->text();
        QTest::mouseClick(form->SubmitSQL, Qt::LeftButton);
        QTest::keyClick(form->SQLEdit, Qt::Key_F5);
        QCOMPARE(messages.texts(), QStringList {QStringLiteral("A query is already running.")});
        QCOMPARE(logLines(), log);
        QCOMPARE(form->SQLEdit->toPlainText(), memo);
        QCOMPARE(form->gridModel->store().recordCount(), records);
        QCOMPARE(form->StatusMessage->text(), status);
        QCOMPARE(int(form->history.entries().size()), 1);
        QVERIFY(form->runInProgress());

        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 15000);
        QCOMPARE(logLines().mid(logLines().size() - 2),
                 (QStringList {QStringLiteral("Killed query ") + id + QLatin1Char('.'),
                               QStringLiteral("Done...")}));
        QCOMPARE(form->StatusMessage->text(), QStringLiteral("Done!"));
        QCOMPARE(form->history.entries().front().outcome,
                 StatementHistory::Entry::Outcome::Cancelled);
    }

    // With nothing running, before any run and after one, Esc cancels nothing and reaches the
    // control that has the focus: the SQL memo, or the table chooser's open list, which it
    // closes.
    void escapeWhenIdleIsTheControlsOwn_data()
    {
        QTest::addColumn<bool>("afterARun");
        QTest::addColumn<bool>("inTheList");
        QTest::newRow("memo, before any run") << false << false;
        QTest::newRow("memo, after a run") << true << false;
        QTest::newRow("table list, before any run") << false << true;
        QTest::newRow("table list, after a run") << true << true;
    }

    void escapeWhenIdleIsTheControlsOwn()
    {
        QFETCH(bool, afterARun);
        QFETCH(bool, inTheList);
        if (afterARun)
            runFromMemo(kswfDay);
        const QStringList log = logLines();
        EscapeSpy spy;
        QWidget *target = form->SQLEdit;
        if (inTheList) {
            QStyleOptionComboBox option;
            option.initFrom(form->OrvexTable);
            option.editable = true;
            option.subControls = QStyle::SC_All;
            const QRect arrow = form->OrvexTable->style()->subControlRect(
                QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, form->OrvexTable);
            QTest::mouseClick(form->OrvexTable, Qt::LeftButton, {}, arrow.center());
            QTRY_VERIFY(form->OrvexTable->view()->isVisible());
            target = form->OrvexTable->view();
        } else {
            QTest::mouseClick(form->SQLEdit->viewport(), Qt::LeftButton);
        }
        target->installEventFilter(&spy);
        QTest::keyClick(target, Qt::Key_Escape);
        QCOMPARE(spy.presses, 1);
        if (inTheList)
            QTRY_VERIFY(!form->OrvexTable->view()->isVisible());
        QCOMPARE(logLines(), log);
        QCOMPARE(messages.texts(), QStringList());
        QVERIFY(!form->runInProgress());
    }

    void f1ShowsTheHelp()
    {
        QVERIFY(!help->isVisible());
        QTest::keyClick(form->StnEq, Qt::Key_F1);
        QVERIFY(help->isVisible());
    }

    // The list shows each run newest first with its time and outcome; picking one puts it into
    // the memo and runs nothing.
    void historyListsRunsAndBringsOneBack()
    {
        runFromMemo(kswfDay);
        runFromMemo(QStringLiteral("SELECT nosuchcolumn FROM surfaceshort"));
        QCOMPARE(messages.texts(), QStringList {QStringLiteral("Failed")});
        startSlowRun();
        QTest::keyClick(form->SQLEdit, Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 15000);
        typeIntoMemo(QStringLiteral("draft"));
        const QStringList log = logLines();

        QTest::mouseClick(form->SQLHistoryButton, Qt::LeftButton);
        QMenu *menu = form->SQLHistoryMenu;
        QTRY_VERIFY(menu->isVisible());
        const QList<QAction *> actions = menu->actions();
        QCOMPARE(actions.size(), 3);
        QStringList lines;
        for (QAction *action : actions)
            lines << action->text().mid(10); // after the time and its two blanks
        const qint64 cancelledRows = form->gridModel->store().recordCount();
        QCOMPARE(
            lines,
            (QStringList {QStringLiteral("cancelled, ") + QString::number(cancelledRows)
                              + QStringLiteral(" rows  ") + slowQuery,
                          QStringLiteral("failed  SELECT nosuchcolumn FROM surfaceshort"),
                          QStringLiteral("24 rows  ") + kswfDay.left(90) + QStringLiteral("...")}));
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(actions.at(2)).center());
        QTRY_VERIFY(!menu->isVisible());
        QCOMPARE(form->SQLEdit->toPlainText(), kswfDay);
        QVERIFY(!form->runInProgress());
        QCOMPARE(logLines(), log);
        QCOMPARE(int(form->history.entries().size()), 3);
    }

    // Ctrl+Up and Ctrl+Down in the memo step through the statements and back to what was typed.
    void memoStepsThroughTheHistory()
    {
        const QString older = kswfDay + QStringLiteral(" AND hour < 2");
        runFromMemo(older);
        runFromMemo(kswfDay);
        typeIntoMemo(QStringLiteral("SELECT"));
        const struct
        {
            Qt::Key key;
            QString memo;
        } steps[] = {{Qt::Key_Up, kswfDay},
                     {Qt::Key_Up, older},
                     {Qt::Key_Up, older},
                     {Qt::Key_Down, kswfDay},
                     {Qt::Key_Down, QStringLiteral("SELECT")},
                     {Qt::Key_Down, QStringLiteral("SELECT")}};
        for (const auto &step : steps) {
            QTest::keyClick(form->SQLEdit, step.key, Qt::ControlModifier);
            QCOMPARE(form->SQLEdit->toPlainText(), step.memo);
            QVERIFY(!form->runInProgress());
        }
        QCOMPARE(int(form->history.entries().size()), 2);
    }
};

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ClientLibraryScope clientLibrary;
    OrvexApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    TestKeys test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_keys.moc"
