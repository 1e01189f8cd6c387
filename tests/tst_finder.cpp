// The station finder beside the main window, acted on as a person does, against the test server:
// a station or a box reaching the statement, the nearest stations, and "Check the database" with
// its failure and its cancel.
#include "app/gridmodel.h"
#include "app/orvexapplication.h"
#include "app/orvexdbmain.h"
#include "common/backgroundthread.h"
#include "db/clientlibrary.h"
#include "db/sqlconnection.h"
#include "finder/stationcheck.h"
#include "finder/stationfinder.h"
#include "store/resultstore.h"
#include "tests/personactions.h"
#include "tests/platformnotices.h"
#include "tests/scriptedmessages.h"
#include "tests/testserver.h"
#include "tests/windowtest.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTableView>
#include <QTest>

#include <memory>
#include <thread>

namespace {

const QString notRunning =
    QStringLiteral("The MYSQL service is not running, or the connection settings are incorrect.");

// The statement of the main window's initial dates, with the place conditions given.
QString statementWith(const char *place)
{
    return QStringLiteral("SELECT * FROM surfaceshort WHERE ((year >= 1995) and (year <= 1995)) "
                          "AND ((month >= 07) and (month <= 07)) AND ((day >= 15) and (day <= "
                          "16)) AND ")
        + QString::fromLatin1(place) + QStringLiteral(" ORDER BY year,month,day,hour ASC;");
}

// The server's connection that runs a statement containing text, other than the one left out;
// 0 when there is none.
std::uint64_t connectionRunning(const QString &text, std::uint64_t leftOut)
{
    SqlConnection connection;
    applyRecipe(connection, ConnectionSettings());
    connection.open();
    SqlResult list = connection.query(QStringLiteral("SHOW PROCESSLIST;"));
    std::uint64_t id = 0;
    for (; !list.eof(); list.next()) {
        if (list.text(7).contains(text) && list.text(0).toULongLong() != leftOut)
            id = list.text(0).toULongLong();
    }
    return id;
}

} // namespace

class TestFinder : public WindowTest
{
    Q_OBJECT

private:
    StationFinder *openFinder()
    {
        QTest::mouseClick(form->FindStationButton, Qt::LeftButton);
        StationFinder *finder = form->findChild<StationFinder *>();
        if (finder && !QTest::qWaitForWindowExposed(finder))
            return nullptr;
        return finder;
    }

    static void search(StationFinder *finder, const QString &text)
    {
        QTest::mouseClick(finder->SearchEdit, Qt::LeftButton);
        QTest::keyClick(finder->SearchEdit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(finder->SearchEdit, text);
    }

    static void clickRow(QTableView *view, int row)
    {
        const QRect cell = view->visualRect(view->model()->index(row, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    }

    QString generated()
    {
        QTest::mouseClick(form->GenerateSQLButton, Qt::LeftButton);
        return form->SQLEdit->toPlainText();
    }

private slots:
    void initTestCase() { requireTestServer(); }

    void init() { openWindow(); }

    void cleanup()
    {
        QTRY_VERIFY(!form->runInProgress());
        form.reset();
        // No check or kill is left talking to the server.
        QTRY_COMPARE_WITH_TIMEOUT(backgroundThreadsRunning(), 0, 10000);
        QCOMPARE(messages.unscripted, 0);
    }

    void choiceReachesTheStatement_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("nearestRow"); // -1: the best match, without the nearest list
        QTest::addColumn<QString>("distance"); // that row's distance cell
        QTest::addColumn<QString>("radius"); // empty: "Use this station"; else the box's radius
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QStringList>("shown");

        QTest::newRow("station by its name")
            << QStringLiteral("newburgh") << -1 << QString() << QString()
            << statementWith("(icao = 'KSWF')") << QStringList();
        QTest::newRow("nearest station")
            << QStringLiteral("kswf") << 2 << QStringLiteral("23.3") << QString()
            << statementWith("(icao = 'KPOU')") << QStringList();
        QTest::newRow("box of the default radius")
            << QStringLiteral("dubendorf") << -1 << QString() << QStringLiteral("50")
            << statementWith("((lat >= 46.9489) and (lat <= 47.8483)) AND ((lon >= 7.9838) and "
                             "(lon <= 9.3126))")
            << QStringList();
        QTest::newRow("box holding the pole")
            << QStringLiteral("amundsen") << -1 << QString() << QStringLiteral("100")
            << statementWith("((lat >= -90.0000) and (lat <= -89.1006)) AND ((lon >= -180.0000) "
                             "and (lon <= 180.0000))")
            << QStringList();
        // No box is made: the constraints stay as they were.
        QTest::newRow("box across the 180th meridian")
            << QStringLiteral("labasa") << -1 << QString() << QStringLiteral("100")
            << statementWith("(icao = 'KDRA') AND ((lat >= 34.2) and (lat <= 38.5))")
            << QStringList {QStringLiteral(
                   "A box of 100 km around NFNL would cross the 180th meridian, and the "
                   "longitude Range holds one stretch only, from its low end up to its high "
                   "end. Choose a smaller radius, or use the station itself.")};
    }

    // What the finder chooses replaces the station and position constraints set before.
    void choiceReachesTheStatement()
    {
        QFETCH(QString, text);
        QFETCH(int, nearestRow);
        QFETCH(QString, distance);
        QFETCH(QString, radius);
        QFETCH(QString, statement);
        QFETCH(QStringList, shown);
        retype(form->StnEq, QStringLiteral("KDRA"));
        clickCheckBox(form->LatRangeCheck);

        StationFinder *finder = openFinder();
        QVERIFY(finder);
        search(finder, text);
        if (nearestRow >= 0) {
            QTest::mouseClick(finder->NearestButton, Qt::LeftButton);
            const QAbstractItemModel *list = finder->StationTable->model();
            QCOMPARE(list->headerData(6, Qt::Horizontal).toString(),
                     QStringLiteral("Distance (km)"));
            // The chosen station first, then the 50 nearest.
            QCOMPARE(list->rowCount(), 51);
            QCOMPARE(list->index(nearestRow, 6).data().toString(), distance);
            clickRow(finder->StationTable, nearestRow);
        }
        if (radius.isEmpty()) {
            QTest::mouseClick(finder->UseStationButton, Qt::LeftButton);
        } else {
            QTest::mouseClick(finder->RadiusBox, Qt::LeftButton);
            QTest::keyClick(finder->RadiusBox, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(finder->RadiusBox, radius);
            QTest::mouseClick(finder->UseBoxButton, Qt::LeftButton);
        }
        QCOMPARE(messages.texts(), shown);
        QCOMPARE(generated(), statement);
        // The finder stays open beside the window.
        QVERIFY(finder->isVisible());
    }

    // A user who knows only the town's name finds its station and gets its observations; the
    // statement can be brought back afterwards.
    void newUserFindsTheStationAndSearches()
    {
        retype(form->StnEq, QStringLiteral("Newburgh"));
        StationFinder *finder = openFinder();
        QVERIFY(finder);
        search(finder, QStringLiteral("newburgh"));
        QTest::mouseClick(finder->UseStationButton, Qt::LeftButton);
        QTest::mouseClick(form->SearchButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 30000);
        QCOMPARE(messages.texts(), QStringList());
        QCOMPARE(form->gridModel->store().recordCount(), 48);

        QTest::mouseClick(form->SQLEdit->viewport(), Qt::LeftButton);
        QTest::keyClick(form->SQLEdit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(form->SQLEdit, Qt::Key_Delete);
        QCOMPARE(form->SQLEdit->toPlainText(), QString());
        QTest::keyClick(form->SQLEdit, Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(form->SQLEdit->toPlainText(), statementWith("(icao = 'KSWF')"));
        QVERIFY(!form->runInProgress());
    }

    void checkTellsRowsAndDates_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        QTest::newRow("surfaceshort")
            << QStringLiteral("surfaceshort") << QStringLiteral("newburgh")
            << QStringLiteral("surfaceshort holds 840 rows for KSWF, from 1995-07-01 00:00 to "
                              "2012-11-02 23:00 UTC.");
        QTest::newRow("upper") << QStringLiteral("upper") << QStringLiteral("SWF")
                               << QStringLiteral("upper holds 1,167 rows for KSWF, from "
                                                 "1995-07-01 00:00 to 2012-11-02 12:00 UTC.");
        QTest::newRow("no rows") << QStringLiteral("surfaceshort") << QStringLiteral("dubendorf")
                                 << QStringLiteral("surfaceshort holds no rows for LSMD.");
    }

    void checkTellsRowsAndDates()
    {
        QFETCH(QString, table);
        QFETCH(QString, text);
        QFETCH(QString, result);
        if (table != form->OrvexTable->currentText())
            QCOMPARE(actOnChooser(form->OrvexTable, {QStringLiteral("pickClick:") + table}),
                     QStringList());
        StationFinder *finder = openFinder();
        QVERIFY(finder);
        search(finder, text);
        QTest::mouseClick(finder->CheckButton, Qt::LeftButton);
        // The window goes on while the check is out.
        QCOMPARE(finder->CheckButton->text(), QStringLiteral("Stop the check"));
        QTRY_VERIFY_WITH_TIMEOUT(!finder->checking(), 10000);
        QCOMPARE(finder->CheckResult->text(), result);
        QCOMPARE(finder->CheckButton->text(), QStringLiteral("Check the database"));
        QCOMPARE(messages.texts(), QStringList());
    }

    void checkFailureSaysNotConnected()
    {
        form->connectionSettings.host = QStringLiteral("/nonexistent/orvex/mysqld.sock");
        StationFinder *finder = openFinder();
        QVERIFY(finder);
        search(finder, QStringLiteral("kswf"));
        QTest::mouseClick(finder->CheckButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!finder->checking(), 10000);
        QCOMPARE(messages.texts(), QStringList {notRunning});
        QCOMPARE(finder->CheckResult->text(), QString());
    }

    // Closing the finder kills its own check on the server; another client's identical
    // statement, waiting in the same way, goes on and gets its answer.
    void closingTheFinderKillsOnlyItsOwnCheck()
    {
        SqlConnection locker;
        applyRecipe(locker, ConnectionSettings());
        locker.open();
        locker.execute(QStringLiteral("LOCK TABLES surfaceshort WRITE"));

        // The process list shows the start of each statement.
        const QString statement =
            stationCheckStatement(QStringLiteral("surfaceshort"), QStringLiteral("KSWF"));
        const QString check = statement.left(60);
        std::atomic<std::uint64_t> otherId {0};
        QString otherCount;
        // Whatever the test's outcome, the table is unlocked and the other client waited for.
        std::thread other;
        const auto release = qScopeGuard([&] {
            locker.execute(QStringLiteral("UNLOCK TABLES"));
            if (other.joinable())
                other.join();
        });
        other = std::thread([&] {
            ClientThreadScope clientThread;
            SqlConnection connection;
            applyRecipe(connection, ConnectionSettings());
            connection.open();
            otherId = connection.serverId();
            SqlResult rows = connection.query(statement);
            otherCount = rows.text(0);
        });
        QTRY_VERIFY(otherId != 0 && connectionRunning(check, 0) == otherId);

        StationFinder *finder = openFinder();
        QVERIFY(finder);
        search(finder, QStringLiteral("kswf"));
        QTest::mouseClick(finder->CheckButton, Qt::LeftButton);
        std::uint64_t checkId = 0;
        QTRY_VERIFY((checkId = connectionRunning(check, otherId)) != 0);

        QTest::mouseClick(finder->CloseButton, Qt::LeftButton);
        QVERIFY(!finder->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(serverStatement(checkId), QString(), 10000);
        QVERIFY(!serverStatement(otherId).isEmpty());

        locker.execute(QStringLiteral("UNLOCK TABLES"));
        other.join();
        QCOMPARE(otherCount, QStringLiteral("840"));
        QCOMPARE(messages.texts(), QStringList());
        QCOMPARE(finder->CheckResult->text(), QStringLiteral("The check was stopped."));
    }
};

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ClientLibraryScope clientLibrary;
    OrvexApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    TestFinder test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_finder.moc"
