// Query runs of the main window against the test server with the sample database: the grid, the
// log, the messages and the window's state from start to end of a run, the column lookup and the
// server readings.
#include "app/gridexport.h"
#include "app/gridmodel.h"
#include "app/gridview.h"
#include "app/logview.h"
#include "app/orvexapplication.h"
#include "app/orvexdbmain.h"
#include "common/backgroundthread.h"
#include "common/groupthousands.h"
#include "db/clientlibrary.h"
#include "db/connectionrecipe.h"
#include "db/sqlconnection.h"
#include "tests/personactions.h"
#include "tests/platformnotices.h"
#include "tests/scriptedmessages.h"
#include "tests/silentsocket.h"
#include "tests/testserver.h"
#include "tests/windowtest.h"

#include <QAccessible>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <memory>
#include <thread>

namespace {

const QString notRunning =
    QStringLiteral("The MYSQL service is not running, or the connection settings are incorrect.");

// A list of texts written as plain literals.
QStringList strings(std::initializer_list<const char *> texts)
{
    QStringList list;
    for (const char *text : texts)
        list << QString::fromUtf8(text);
    return list;
}

QStringList gridRow(const GridModel &model, int row)
{
    QStringList cells;
    for (int column = 0; column < model.gridColumnCount(); ++column)
        cells << model.store().cellText(column, row);
    return cells;
}

} // namespace

class TestRuns : public WindowTest
{
    Q_OBJECT

private:
    // Puts the statement into the SQL memo and runs it as "Submit SQL" does; waits for the end.
    void submit(const QString &statement)
    {
        form->SQLEdit->setPlainText(statement);
        QTest::mouseClick(form->SubmitSQL, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 30000);
    }

    void expectIdle()
    {
        QCOMPARE(form->StatusMessage->text(), QStringLiteral("Done!"));
        QCOMPARE(form->ProgressBar1->value(), 0);
        QVERIFY(form->SearchButton->isEnabled());
        QVERIFY(!form->CancelButton->isEnabled());
        QVERIFY(!form->Timer1->isActive());
    }

    // A query that sends one record every 50 ms, long enough to be cancelled in the middle. The
    // server sends its output when its buffer is full; a wide record fills it at once.
    static QString slowQuery()
    {
        return QStringLiteral("SELECT id, icao, SLEEP(0.05) AS pause, REPEAT('x', 20000) AS pad "
                              "FROM surfaceshort;");
    }

    // Starts the slow query and waits until its first records are in the grid.
    void startSlowRun()
    {
        form->SQLEdit->setPlainText(slowQuery());
        QTest::mouseClick(form->SubmitSQL, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(form->gridModel->store().recordCount() >= 3, 10000);
        QVERIFY(form->runController->workerServerId() != 0);
    }

    // Clicks Cancel and waits for the run to end: the kill comes after a pause of 5 s.
    void cancelAndWait()
    {
        QTest::mouseClick(form->CancelButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 15000);
    }

private slots:
    void initTestCase() { requireTestServer(); }

    void init() { openWindow(); }

    void cleanup() { closeWindow(); }

    void initialSearchFillsGridAndLog()
    {
        form->Memo1->setPlainText(QStringLiteral("earlier line"));
        QTest::mouseClick(form->SearchButton, Qt::LeftButton);
        QVERIFY(!form->SearchButton->isEnabled());
        QVERIFY(form->CancelButton->isEnabled());
        QCOMPARE(form->StatusMessage->text(), QStringLiteral("Running query..."));
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 30000);
        QCOMPARE(messages.texts(), QStringList());
        expectIdle();

        const GridModel &grid = *form->gridModel;
        QCOMPARE(grid.gridColumnCount(), 25 + 2);
        QCOMPARE(gridRow(grid, 0).mid(0, 12),
                 (strings({"id", "year", "month", "day", "hour", "faa", "icao", "wmo", "lat", "lon",
                           "temp", "dewpt"})));
        QCOMPARE(gridRow(grid, 0).mid(22), (strings({"skyl", "ceil", "wxcodes", "", ""})));
        QCOMPARE(grid.store().recordCount(), 48);
        QCOMPARE(grid.gridRowCount(), 49);
        // Ordered by date and hour: the first record is 1995-07-15 00 UTC, the last 16th 23 UTC.
        QCOMPARE(
            gridRow(grid, 1).mid(1, 9),
            (strings({"1995", "7", "15", "0", "SWF", "KSWF", "69423", "41.5000", "-74.1000"})));
        QCOMPARE(gridRow(grid, 48).mid(1, 4), (strings({"1995", "7", "16", "23"})));

        const QStringList log = logLines();
        QCOMPARE(log.size(), 1 + 48 + 1);
        QCOMPARE(log.first(), QStringLiteral("Starting..."));
        QCOMPARE(log.last(), QStringLiteral("All done!"));
        // Each echo line holds columns 1 to 20 of its record, each followed by a comma.
        for (int record = 1; record <= 48; ++record) {
            QString echo;
            for (int column = 1; column <= 20; ++column)
                echo += grid.store().cellText(column, record) + QLatin1Char(',');
            QCOMPARE(log.at(record), echo);
        }
    }

    void emptyResultShowsHeaderOnly()
    {
        submit(QStringLiteral("SELECT * FROM surfaceshort WHERE year = 1800;"));
        QCOMPARE(messages.texts(), QStringList());
        expectIdle();
        QCOMPARE(form->gridModel->gridColumnCount(), 27);
        QCOMPARE(form->gridModel->gridRowCount(), 20);
        QCOMPARE(form->gridModel->store().cellText(6, 0), QStringLiteral("icao"));
        for (int row = 1; row < 20; ++row)
            QCOMPARE(gridRow(*form->gridModel, row).join(QString()), QString());
        QCOMPARE(logLines(), (strings({"Starting...", "All done!"})));
    }

    // Results of fewer than 21 columns run like any other; their echo lines hold what there is.
    void narrowResultsRun_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QStringList>("echo");
        QTest::newRow("three columns")
            << QStringLiteral("SELECT id, icao, year FROM surfaceshort WHERE icao = 'KSWF' "
                              "AND year = 1995 AND month = 7 AND day = 15 ORDER BY hour LIMIT 2;")
            << 3 << strings({"KSWF,1995,", "KSWF,1995,"});
        QTest::newRow("one column")
            << QStringLiteral("SELECT 'x' AS only_one;") << 1 << strings({""});
        QTest::newRow("twenty-one columns")
            << QStringLiteral("SELECT 0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20;") << 21
            << strings({"1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,"});
    }

    void narrowResultsRun()
    {
        QFETCH(QString, statement);
        QFETCH(int, columns);
        QFETCH(QStringList, echo);
        submit(statement);
        QCOMPARE(messages.texts(), QStringList());
        QCOMPARE(form->gridModel->gridColumnCount(), columns + 2);
        QCOMPARE(form->gridModel->store().recordCount(), echo.size());
        QCOMPARE(logLines(), strings({"Starting..."}) + echo + strings({"All done!"}));
        expectIdle();
    }

    // A run's result and log as assistive technology reads them: the grid a table of the
    // result's columns, a NULL read as the grid shows it, like an empty text; the log's last line.
    void resultReadsThroughAccessibility()
    {
        submit(QStringLiteral("SELECT icao, hour, '' AS blank, NULL AS missing FROM surfaceshort "
                              "WHERE icao = 'KSWF' AND year = 1995 AND month = 7 AND day = 15 "
                              "ORDER BY hour LIMIT 3;"));
        QCOMPARE(messages.texts(), QStringList());
        QAccessibleTableInterface *grid =
            QAccessible::queryAccessibleInterface(form->StringGrid1)->tableInterface();
        QVERIFY(grid);
        QCOMPARE(grid->columnCount(), 6);
        QCOMPARE(grid->columnDescription(3), QStringLiteral("missing"));
        QCOMPARE(grid->cellAt(2, 0)->text(QAccessible::Name), QStringLiteral("KSWF"));
        QCOMPARE(grid->cellAt(2, 1)->text(QAccessible::Name), QStringLiteral("2"));
        QCOMPARE(grid->cellAt(2, 2)->text(QAccessible::Name), QString());
        QCOMPARE(grid->cellAt(2, 3)->text(QAccessible::Name), QString());
        QAccessibleTextInterface *log =
            QAccessible::queryAccessibleInterface(form->Memo1)->textInterface();
        int start = 0, end = 0;
        QCOMPARE(log->textAtOffset(log->characterCount(), QAccessible::LineBoundary, &start, &end),
                 QStringLiteral("All done!"));
        QCOMPARE(log->text(0, log->characterCount()), form->Memo1->toPlainText());
    }

    // The run's own connection, over TCP, is encrypted when the server offers TLS (the suite
    // runs against a server with TLS and again against one without).
    void runOverTcpIsEncryptedWhenOffered()
    {
        form->connectionSettings.host = QStringLiteral("127.0.0.1:") + serverEnv("ORVEX_DB_PORT");
        submit(QStringLiteral("SHOW SESSION STATUS LIKE 'Ssl_cipher';"));
        QCOMPARE(messages.texts(), QStringList());
        QCOMPARE(form->gridModel->store().cellText(0, 1), QStringLiteral("Ssl_cipher"));
        const QString cipher = form->gridModel->store().cellText(1, 1);
        QCOMPARE(!cipher.isEmpty(), serverEnv("ORVEX_DB_TLS") != QStringLiteral("0"));
    }

    // The grid's column count follows each result; its row count only grows.
    void gridLayoutFollowsEachRun()
    {
        submit(QStringLiteral("SELECT s.*, 1, 2, 3, 4, 5 FROM surfaceshort s LIMIT 1;"));
        QCOMPARE(form->gridModel->gridColumnCount(), 32);
        submit(QStringLiteral(
            "SELECT id,year,month,day,hour,faa,icao,wmo,lat,lon,temp,dewpt,relh,"
            "feel,wdir,wspd,gust,vis,alti,slp,p01i,skyc FROM surfaceshort LIMIT 1;"));
        QCOMPARE(form->gridModel->gridColumnCount(), 24);
        QCOMPARE(form->gridModel->store().cellText(21, 0), QStringLiteral("skyc"));
        QCOMPARE(form->gridModel->store().cellText(22, 0), QString());

        submit(QStringLiteral("SELECT id, icao FROM surfaceshort ORDER BY id LIMIT 100;"));
        QCOMPARE(form->gridModel->gridRowCount(), 101);
        QCOMPARE(form->gridModel->store().cellText(0, 100), QStringLiteral("100"));
        submit(QStringLiteral("SELECT id, icao FROM surfaceshort ORDER BY id DESC LIMIT 5;"));
        QCOMPARE(form->gridModel->gridRowCount(), 101);
        QCOMPARE(form->gridModel->store().recordCount(), 5);
        QVERIFY(!form->gridModel->store().cellText(0, 5).isEmpty());
        for (int row = 6; row <= 100; ++row)
            QCOMPARE(gridRow(*form->gridModel, row).join(QString()), QString());
        QCOMPARE(messages.texts(), QStringList());
    }

    // The statement is the memo's typed lines joined by one blank, not its lines as wrapped on
    // screen, so a long literal reaches the server whole.
    void statementComesFromTypedLines()
    {
        const QString literal = QString(400, QLatin1Char('w'));
        submit(QStringLiteral("  SELECT '") + literal + QStringLiteral("' AS x,\n'a' AS y ;\n"));
        QCOMPARE(messages.texts(), QStringList());
        QCOMPARE(form->gridModel->store().cellText(0, 1), literal);
        QCOMPARE(form->gridModel->store().cellText(1, 1), QStringLiteral("a"));
    }

    // What is typed into the SQL memo reaches the server as typed: a no-break space inside a
    // literal stays one.
    void typedStatementKeepsEveryCharacter()
    {
        const QString literal = QStringLiteral("a") + QChar(QChar::Nbsp) + QStringLiteral("b");
        form->SQLEdit->clear();
        QTest::mouseClick(form->SQLEdit->viewport(), Qt::LeftButton);
        QTest::keyClicks(form->SQLEdit,
                         QStringLiteral("SELECT '") + literal + QStringLiteral("' AS x;"));
        QTest::mouseClick(form->SubmitSQL, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 30000);
        QCOMPARE(messages.texts(), QStringList());
        QCOMPARE(form->gridModel->store().cellText(0, 1), literal);
    }

    void failuresEndTheRunIdle_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("refused statement")
            << QStringLiteral("qxzv") << QStringLiteral("SELEC * FROM surfaceshort;")
            << strings({"Failed"});
        QTest::newRow("unknown table")
            << QStringLiteral("qxzv") << QStringLiteral("SELECT * FROM nowhere;")
            << strings({"Failed"});
        QTest::newRow("wrong password")
            << QStringLiteral("wrong") << QStringLiteral("SELECT 1;")
            << (QStringList {notRunning, notRunning} << QStringLiteral("Failed"));
    }

    void failuresEndTheRunIdle()
    {
        QFETCH(QString, password);
        QFETCH(QString, statement);
        QFETCH(QStringList, shown);
        form->connectionSettings.password = password;
        submit(statement);
        QCOMPARE(messages.texts(), shown);
        QCOMPARE(logLines(), (strings({"Starting...", "All done!"})));
        expectIdle();
        // The window is usable afterwards.
        messages = ScriptedMessages();
        form->connectionSettings.password = QStringLiteral("qxzv");
        submit(QStringLiteral("SELECT 7 AS seven;"));
        QCOMPARE(messages.texts(), QStringList());
        QCOMPARE(form->gridModel->store().cellText(0, 1), QStringLiteral("7"));
    }

    // A server that hangs when the run starts does not freeze the window: it goes on handling
    // its events while the run's first readings wait, and a second start is refused meanwhile.
    void hangingServerAtTheStartLeavesTheWindowResponsive()
    {
        SilentSocket server;
        QVERIFY(server.listening());
        form->connectionSettings.host = server.host();
        bool handledMeanwhile = false;
        QTimer::singleShot(200, form.get(), [&] {
            handledMeanwhile = true;
            QCOMPARE(form->StatusMessage->text(), QStringLiteral("Running query..."));
            QTest::mouseClick(form->SubmitSQL, Qt::LeftButton);
            server.close();
        });
        submit(QStringLiteral("SELECT 7 AS seven;"));
        QVERIFY(handledMeanwhile);
        QCOMPARE(messages.texts(),
                 (QStringList {QStringLiteral("A query is already running."), notRunning,
                               notRunning, QStringLiteral("Failed")}));
        expectIdle();
    }

    // Clicks on Search and Submit SQL that wait in the queue while a run starts change nothing
    // of the run or the memos: Search is off by then, Submit SQL is refused.
    void clicksQueuedDuringAStart()
    {
        form->Memo1->setPlainText(QStringLiteral("earlier line"));
        const QString statement = QStringLiteral("SELECT SLEEP(0.3) AS s;");
        form->SQLEdit->setPlainText(statement);
        for (QPushButton *button : {form->SearchButton, form->SubmitSQL}) {
            const QPoint centre = button->rect().center();
            for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
                QCoreApplication::postEvent(
                    button,
                    new QMouseEvent(type, centre, button->mapToGlobal(centre), Qt::LeftButton,
                                    type == QEvent::MouseButtonPress ? Qt::LeftButton
                                                                     : Qt::NoButton,
                                    Qt::NoModifier));
        }
        QTest::mouseClick(form->SubmitSQL, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 30000);
        QCOMPARE(messages.texts(), strings({"A query is already running."}));
        QCOMPARE(form->SQLEdit->toPlainText(), statement);
        QCOMPARE(logLines(), (strings({"earlier line", "Starting...", "", "All done!"})));
        expectIdle();
    }

    // The second click of a double click: lost on Search, which is off by then; refused on
    // Submit SQL; nothing on Cancel, which is already cancelling.
    void doubleClicks_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("logged");
        QTest::newRow("Search") << QStringLiteral("SearchButton") << QStringList()
                                << strings({"Starting..."});
        QTest::newRow("Submit SQL")
            << QStringLiteral("SubmitSQL") << strings({"A query is already running."})
            << strings({"Starting..."});
        QTest::newRow("Cancel") << QStringLiteral("CancelButton") << QStringList()
                                << strings(
                                       {"Starting...", "Killing query", "Killed query", "Done..."});
    }

    void doubleClicks()
    {
        QFETCH(QString, button);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, logged);
        if (button == QStringLiteral("CancelButton"))
            startSlowRun();
        else
            form->SQLEdit->setPlainText(QStringLiteral("SELECT SLEEP(0.3) AS s;"));
        // Through the window, as the windowing system delivers it: press, release, press (which
        // the application takes as a double click), release.
        QPushButton *clicked = form->findChild<QPushButton *>(button);
        QTest::mouseDClick(form->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                           clicked->mapTo(form.get(), clicked->rect().center()));
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 15000);
        QCOMPARE(messages.texts(), shown);
        // Each line that tells of a start or a cancel comes once.
        QStringList told;
        for (const QString &line : logLines()) {
            for (const QString &start :
                 strings({"Starting...", "Killing query", "Killed query", "Done..."}))
                if (line.startsWith(start))
                    told << start;
        }
        QCOMPARE(told, logged);
        expectIdle();
    }

    // Cancel while the run's first readings wait for a server that hangs: the run ends at once
    // and no statement runs; the readings that come back later show nothing.
    void cancelWhileTheStartReads()
    {
        SilentSocket server;
        QVERIFY(server.listening());
        form->connectionSettings.host = server.host();
        form->SQLEdit->setPlainText(QStringLiteral("SELECT 7 AS seven;"));
        QTest::mouseClick(form->SubmitSQL, Qt::LeftButton);
        QVERIFY(form->runInProgress());
        QTest::mouseClick(form->CancelButton, Qt::LeftButton);
        QVERIFY(!form->runInProgress());
        expectIdle();
        QCOMPARE(logLines(), strings({"Done..."}));
        server.close();
        QTRY_COMPARE_WITH_TIMEOUT(backgroundThreadsRunning(), 0, 10000);
        QTest::qWait(50);
        QCOMPARE(messages.texts(), QStringList());
        QCOMPARE(logLines(), strings({"Done..."}));
        QCOMPARE(form->gridModel->store().cellText(0, 0), QString());
    }

    // During the cancel's pause the window goes on painting, but clicks on Search, Submit SQL
    // and Cancel (mouse or keys) change nothing: no message, no log line, no new statement.
    void clicksDuringTheCancelPause()
    {
        startSlowRun();
        QTest::mouseClick(form->CancelButton, Qt::LeftButton);
        QVERIFY(form->runInProgress());
        const QStringList log = logLines();
        QVERIFY(log.last().startsWith(QStringLiteral("Killing query ")));
        const QString memo = form->SQLEdit->toPlainText();
        QTest::mouseClick(form->SubmitSQL, Qt::LeftButton);
        QTest::mouseClick(form->CancelButton, Qt::LeftButton);
        QTest::keyClick(form.get(), Qt::Key_C, Qt::AltModifier);
        QCOMPARE(messages.texts(), QStringList());
        QCOMPARE(logLines(), log);
        QCOMPARE(form->SQLEdit->toPlainText(), memo);
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 15000);
        expectIdle();
        QCOMPARE(logLines().mid(log.size()),
                 (QStringList {QStringLiteral("Killed query ")
                                   + log.last().mid(14, log.last().size() - 17) + QLatin1Char('.'),
                               QStringLiteral("Done...")}));
    }

    // An error in the middle of a result keeps what the grid received before it.
    void errorAfterRowsKeepsThem()
    {
        submit(QStringLiteral("SELECT id, IF(id = 3, (SELECT 1 UNION SELECT 2), 0) AS q "
                              "FROM surfaceshort WHERE id <= 5 ORDER BY id;"));
        QCOMPARE(messages.texts(), strings({"Failed"}));
        QCOMPARE(logLines().last(), QStringLiteral("All done!"));
        QCOMPARE(form->gridModel->store().recordCount(), 2);
        QCOMPARE(form->gridModel->store().cellText(0, 2), QStringLiteral("2"));
        expectIdle();
    }

    void emptyFirstLineStartsNothing_data()
    {
        QTest::addColumn<QString>("memo");
        QTest::newRow("empty") << QString();
        QTest::newRow("second line only") << QStringLiteral("\nSELECT 1;");
    }

    void emptyFirstLineStartsNothing()
    {
        QFETCH(QString, memo);
        form->Memo1->setPlainText(QStringLiteral("kept"));
        form->SQLEdit->setPlainText(memo);
        QTest::mouseClick(form->SubmitSQL, Qt::LeftButton);
        QCOMPARE(messages.texts(), strings({"No query was entered."}));
        QVERIFY(!form->runInProgress());
        QCOMPARE(form->StatusMessage->text(), QStringLiteral("Idle"));
        QCOMPARE(logLines(), strings({"kept"}));
        QVERIFY(form->SearchButton->isEnabled());
    }

    void secondStartIsRefused()
    {
        form->SQLEdit->setPlainText(QStringLiteral("SELECT SLEEP(1) AS s;"));
        QTest::mouseClick(form->SubmitSQL, Qt::LeftButton);
        QVERIFY(form->runInProgress());
        form->SQLEdit->setPlainText(QStringLiteral("SELECT 2 AS two;"));
        QTest::mouseClick(form->SubmitSQL, Qt::LeftButton);
        QCOMPARE(messages.texts(), strings({"A query is already running."}));
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 30000);
        QCOMPARE(form->gridModel->store().cellText(0, 0), QStringLiteral("s"));
        QCOMPARE(form->gridModel->store().cellText(0, 1), QStringLiteral("0"));
        QCOMPARE(logLines(), (strings({"Starting...", "", "All done!"})));
    }

    void submitKeepsEarlierLog()
    {
        submit(QStringLiteral("SELECT 1 AS a;"));
        submit(QStringLiteral("SELECT 2 AS b;"));
        QCOMPARE(logLines(),
                 (strings({"Starting...", "", "All done!", "Starting...", "", "All done!"})));
    }

    void columnLookup_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("firstNames");
        QTest::addColumn<QStringList>("firstTypes");
        QTest::addColumn<QString>("lastName");
        QTest::addColumn<QString>("lastType");
        const QStringList names =
            strings({"id", "year", "month", "day", "hour", "faa", "icao", "wmo", "lat", "lon"});
        const QStringList types =
            strings({"int(10) unsigned", "smallint(6)", "tinyint(4)", "tinyint(4)", "tinyint(4)",
                     "char(3)", "char(4)", "char(5)", "decimal(7,4)", "decimal(7,4)"});
        QTest::newRow("surfaceshort") << QStringLiteral("surfaceshort") << 25 << names << types
                                      << QStringLiteral("wxcodes") << QStringLiteral("varchar(24)");
        QTest::newRow("surface") << QStringLiteral("surface") << 31 << names << types
                                 << QStringLiteral("metar") << QStringLiteral("varchar(255)");
        QTest::newRow("upper") << QStringLiteral("upper") << 22 << names << types
                               << QStringLiteral("levtype") << QStringLiteral("char(3)");
    }

    void columnLookup()
    {
        QFETCH(QString, table);
        QFETCH(int, count);
        QFETCH(QStringList, firstNames);
        QFETCH(QStringList, firstTypes);
        QFETCH(QString, lastName);
        QFETCH(QString, lastType);
        // A first lookup for another table, so the one measured replaces existing entries.
        const QString other =
            QStringLiteral("upper") == table ? QStringLiteral("surface") : QStringLiteral("upper");
        QVERIFY(pickFromList(form->OrvexTable, other, ListOpening::F4));
        QVERIFY(pickFromList(form->OrvexTable, table, ListOpening::Click));
        QCOMPARE(messages.texts(), QStringList());
        QCOMPARE(form->ParamCombo->count(), count);
        QCOMPARE(form->VarTypes->count(), count);
        for (int i = 0; i < firstNames.size(); ++i) {
            QCOMPARE(form->ParamCombo->itemText(i), firstNames.at(i));
            QCOMPARE(form->VarTypes->itemText(i), firstTypes.at(i));
        }
        QCOMPARE(form->ParamCombo->itemText(count - 1), lastName);
        QCOMPARE(form->VarTypes->itemText(count - 1), lastType);
        QCOMPARE(form->ParamCombo->currentIndex(), -1);
        QCOMPARE(form->ParamCombo->currentText(), QStringLiteral("select a table first"));
    }

    // Typed key by key, the name completes to "surfaceshort" until the last key makes it a name
    // of no table.
    void misspeltTableStopsTheTimer()
    {
        form->Timer1->start();
        retype(form->OrvexTable->lineEdit(), QStringLiteral("surfaceshorts"));
        QCOMPARE(form->OrvexTable->currentText(), QStringLiteral("surfaceshorts"));
        QCOMPARE(messages.texts(), QStringList {notRunning});
        QVERIFY(!form->Timer1->isActive());
        QCOMPARE(form->ParamCombo->count(), 0);
        QCOMPARE(form->VarTypes->count(), 0);
    }

    // After a column was picked, another table's lookup leaves its name shown; the new table's
    // entry of that name, if it has one, decides the quotes.
    void lookupAfterPickingAColumn()
    {
        QTRY_VERIFY(form->isActiveWindow());
        QVERIFY(pickFromList(form->OrvexTable, QStringLiteral("surface"), ListOpening::F4));
        QVERIFY(pickFromList(form->ParamCombo, QStringLiteral("skyc"), ListOpening::Click));
        for (const char *name :
             {"ParamRangeCheck", "DateRangeCheck", "StnEqCheck", "OrderByDateTime"})
            clickCheckBox(form->findChild<QCheckBox *>(QLatin1String(name)));
        QTest::mouseClick(form->GenerateSQLButton, Qt::LeftButton);
        QCOMPARE(form->SQLEdit->toPlainText(),
                 QStringLiteral("SELECT * FROM surface WHERE (skyc >= '85') AND (skyc <= '93');"));

        QVERIFY(pickFromList(form->OrvexTable, QStringLiteral("surfaceshort"), ListOpening::F4));
        QCOMPARE(form->ParamCombo->currentText(), QStringLiteral("skyc"));
        QCOMPARE(form->ParamCombo->currentIndex(),
                 form->ParamCombo->findText(QStringLiteral("skyc")));
        QTest::mouseClick(form->GenerateSQLButton, Qt::LeftButton);
        QCOMPARE(form->SQLEdit->toPlainText(),
                 QStringLiteral("SELECT * FROM surfaceshort WHERE (skyc >= '85') AND (skyc <= "
                                "'93');"));

        // The soundings have no "skyc": the name stays, with no entry and so no quotes.
        QVERIFY(pickFromList(form->OrvexTable, QStringLiteral("upper"), ListOpening::AltDown));
        QCOMPARE(form->ParamCombo->currentText(), QStringLiteral("skyc"));
        QCOMPARE(form->ParamCombo->currentIndex(), -1);
        QTest::mouseClick(form->GenerateSQLButton, Qt::LeftButton);
        QCOMPARE(form->SQLEdit->toPlainText(),
                 QStringLiteral("SELECT * FROM upper WHERE (skyc >= 85) AND (skyc <= 93);"));
        QCOMPARE(messages.texts(), QStringList());
    }

    // Over the socket, and over TCP, where the connection is encrypted when the server offers
    // TLS: the cancel also cuts the stopped run's connection.
    void cancelStopsTheRunAndItsQuery_data()
    {
        QTest::addColumn<bool>("overTcp");
        QTest::newRow("socket") << false;
        QTest::newRow("TCP") << true;
    }

    void cancelStopsTheRunAndItsQuery()
    {
        QFETCH(bool, overTcp);
        if (overTcp)
            form->connectionSettings.host =
                QStringLiteral("127.0.0.1:") + serverEnv("ORVEX_DB_PORT");
        startSlowRun();
        const QString id = QString::number(form->runController->workerServerId());
        cancelAndWait();
        expectIdle();
        const QStringList log = logLines();
        QCOMPARE(log.first(), QStringLiteral("Starting..."));
        QCOMPARE(log.mid(log.size() - 3),
                 (QStringList {QStringLiteral("Killing query ") + id + QStringLiteral("..."),
                               QStringLiteral("Killed query ") + id + QStringLiteral("."),
                               QStringLiteral("Done...")}));
        QVERIFY(!log.contains(QStringLiteral("All done!")));
        QTRY_COMPARE(serverStatement(id.toULongLong()), QString());

        // Nothing of the stopped run arrives afterwards.
        const int records = form->gridModel->store().recordCount();
        QTest::qWait(300);
        QCOMPARE(form->gridModel->store().recordCount(), records);
        QCOMPARE(logLines(), log);
        QCOMPARE(messages.texts(), QStringList());

        // The next search runs as usual.
        QTest::mouseClick(form->SearchButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 30000);
        QCOMPARE(form->gridModel->store().recordCount(), 48);
        QCOMPARE(logLines().last(), QStringLiteral("All done!"));
        QCOMPARE(messages.texts(), QStringList());
    }

    // Another client's select, running all along, is left alone.
    void cancelKillsOnlyTheRunsOwnQuery()
    {
        QString otherResult;
        QString otherError;
        std::atomic<std::uint64_t> otherId {0};
        std::thread other([&] {
            ClientThreadScope clientThread;
            try {
                SqlConnection connection;
                applyRecipe(connection, ConnectionSettings());
                connection.open();
                otherId = connection.serverId();
                SqlResult result = connection.query(QStringLiteral("SELECT SLEEP(7) AS other;"));
                otherResult = result.text(0);
            } catch (const std::exception &e) {
                otherError = QString::fromUtf8(e.what());
            }
        });
        QTRY_VERIFY(otherId != 0);
        QTRY_VERIFY(serverStatement(otherId).contains(QStringLiteral("SLEEP(7)")));
        startSlowRun();
        cancelAndWait();
        expectIdle();
        QVERIFY(serverStatement(otherId).contains(QStringLiteral("SLEEP(7)")));
        other.join();
        QCOMPARE(otherError, QString());
        QCOMPARE(otherResult, QStringLiteral("0")); // SLEEP gives 1 when it is interrupted
    }

    // The server has ended the worker's statement (here: it refused it, and the worker waits
    // for its failure box to be answered): nothing is stopped, and the run ends as usual.
    void cancelAfterTheServerFinished()
    {
        messages.onInformation = [this](const QString &text) {
            if (text == QStringLiteral("Failed"))
                form->CancelRun();
        };
        submit(QStringLiteral("SELECT * FROM nowhere;"));
        QCOMPARE(messages.texts(), strings({"Failed"}));
        QCOMPARE(logLines(), strings({"Starting...", "Done...", "All done!"}));
        expectIdle();
    }

    // The cancel cannot reach the server (the run's user lost its rights meanwhile): the user
    // is told, nothing is stopped and the run goes on.
    void cancelWithoutStatusConnection()
    {
        form->connectionSettings =
            makeReadingUser(QStringLiteral("orvex_cancel"), QStringLiteral("c"));
        startSlowRun();
        form->Timer1->stop();
        runOnServer({QStringLiteral("DROP USER 'orvex_cancel'@'localhost'")});
        const QStringList before = logLines();
        QTest::mouseClick(form->CancelButton, Qt::LeftButton);
        QCOMPARE(messages.texts(), strings({"No database connection!"}));
        // The run goes on.
        QVERIFY(form->runInProgress());
        QVERIFY(form->CancelButton->isEnabled());
        QVERIFY(!logLines().contains(QStringLiteral("Done...")));
        QTRY_VERIFY(logLines().size() > before.size());

        makeReadingUser(QStringLiteral("orvex_cancel"), QStringLiteral("c"));
        cancelAndWait();
        expectIdle();
        QCOMPARE(logLines().last(), QStringLiteral("Done..."));
        runOnServer({QStringLiteral("DROP USER 'orvex_cancel'@'localhost'")});
    }

    // Once a second the status line and the bar show the rows the server has read.
    void progressTicksDuringALongQuery()
    {
        // Each record scans the whole table again, with a key the server cannot cache.
        form->SQLEdit->setPlainText(
            QStringLiteral("SELECT a.id, (SELECT COUNT(*) FROM surfaceshort b WHERE b.wxcodes = "
                           "CONCAT('#', a.id)) AS n FROM surfaceshort a;"));
        QTest::mouseClick(form->SubmitSQL, Qt::LeftButton);
        QCOMPARE(form->StatusMessage->text(), QStringLiteral("Running query..."));
        QTRY_VERIFY(form->runController->totalRowEstimate() > 200000);
        const QString estimate =
            GroupThousands(QString::number(form->runController->totalRowEstimate()));
        QTRY_VERIFY_WITH_TIMEOUT(form->ProgressBar1->value() > 0, 20000);
        const QString status = form->StatusMessage->text();
        QVERIFY2(status.startsWith(QStringLiteral("Read ")), qPrintable(status));
        QVERIFY2(status.contains(QStringLiteral(" of ") + estimate
                                 + QStringLiteral(" observations... (")),
                 qPrintable(status));
        QVERIFY2(status.contains(QStringLiteral(" minutes elapsed, ")), qPrintable(status));
        QTRY_VERIFY_WITH_TIMEOUT(form->StatusMessage->text() != status, 5000);
        QVERIFY(form->runInProgress());
        cancelAndWait();
        expectIdle();
        QCOMPARE(messages.texts(), QStringList());
    }

    // The export buttons write the grid as the run left it.
    void exportButtonsTakeTheGrid()
    {
        submit(QStringLiteral("SELECT icao, temp, 'a b' AS t FROM surfaceshort WHERE icao = "
                              "'KSWF' AND year = 1995 AND month = 7 AND day = 15 ORDER BY hour "
                              "LIMIT 2;"));
        const QString firstTemp = form->gridModel->store().cellText(1, 1);
        const QString secondTemp = form->gridModel->store().cellText(1, 2);
        QVERIFY(!firstTemp.isEmpty());
        const QByteArray records = "KSWF," + firstTemp.toUtf8() + ",\"a b\",,\r\nKSWF,"
            + secondTemp.toUtf8() + ",\"a b\",,\r\n";
        const QByteArray csv = "icao,temp,t,,\r\n" + records + QByteArray(",,,,\r\n").repeated(17);

        // The clipboard's comma text quotes nothing and drops each line's last character.
        QTest::mouseClick(form->ClipboardCSVButton, Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text().toUtf8(),
                 "icao,temp,t,\r\nKSWF," + firstTemp.toUtf8() + ",a b,\r\nKSWF,"
                     + secondTemp.toUtf8() + ",a b,\r\n" + QByteArray(",,,\r\n").repeated(17));

        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        struct ChosenPath : SaveDialogSeam
        {
            QString path;
            std::optional<QString> chooseSavePath() override { return path; }
        };
        auto dialog = std::make_unique<ChosenPath>();
        dialog->path = folder.filePath(QStringLiteral("kswf"));
        form->saveDialogs = std::move(dialog);
        QTest::mouseClick(form->SaveCSVButton, Qt::LeftButton);
        QFile saved(folder.filePath(QStringLiteral("kswf.csv")));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), csv);
        QCOMPARE(messages.texts(), QStringList());
    }
};

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ClientLibraryScope clientLibrary;
    OrvexApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    TestRuns test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_runs.moc"
