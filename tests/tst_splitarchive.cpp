// The main window on the split archive's front (scripts/spider.sh) while one of its backends is
// busy or gone: what a person sees when the front has to wait for a backend, or cannot reach one.
#include "app/gridmodel.h"
#include "app/orvexdbmain.h"
#include "common/backgroundthread.h"
#include "db/connectionrecipe.h"
#include "db/sqlconnection.h"
#include "tests/testserver.h"
#include "tests/windowtest.h"

#include <QPushButton>
#include <QTest>

#include <memory>

namespace {

// A root connection to one of the split archive's servers: "back1", "back2" or "front".
std::unique_ptr<SqlConnection> connectTo(const char *server)
{
    ConnectionSettings settings;
    settings.host = serverEnvIn(qEnvironmentVariable("ORVEX_SPIDERDB_DIR") + QLatin1Char('/')
                                    + QLatin1String(server),
                                "ORVEX_DB_SOCKET");
    auto connection = std::make_unique<SqlConnection>();
    applyRecipe(*connection, settings);
    connection->open();
    return connection;
}

// The rows of "SHOW FULL PROCESSLIST;" on a server whose statement contains the text: "Id Command
// State" of each.
QStringList serverStatementsWith(SqlConnection &connection, const QString &text)
{
    QStringList found;
    for (SqlResult list = connection.query(QStringLiteral("SHOW FULL PROCESSLIST;")); !list.eof();
         list.next()) {
        if (list.text(7).contains(text))
            found << list.text(0) + QLatin1Char(' ') + list.text(4) + QLatin1Char(' ')
                    + list.text(6);
    }
    return found;
}

} // namespace

class TestSplitArchive : public WindowTest
{
    Q_OBJECT

private:
    // Types the statement into the SQL memo and clicks Submit SQL.
    void submitTyped(const QString &statement)
    {
        typeIntoMemo(statement);
        QTest::mouseClick(form->SubmitSQL, Qt::LeftButton);
    }

private slots:
    void initTestCase()
    {
        requireTestServer();
        QVERIFY2(!qEnvironmentVariableIsEmpty("ORVEX_SPIDERDB_DIR"),
                 "run through ctest, which starts the split archive");
    }

    void init() { openWindow(); }

    void cleanup() { closeWindow(); }

    // A backend that is still busy with the run's rows (here it waits for a lock) does not hold
    // the cancel up: the killed run ends in the window and in the program at once, and the
    // window serves the stations of the other backend meanwhile. The front itself keeps its
    // killed connection until the backend has answered.
    void cancelWhileABackendStillWorks()
    {
        const auto back1 = connectTo("back1");
        const auto front = connectTo("front");
        back1->execute(QStringLiteral("LOCK TABLES surfaceshort WRITE"));
        const QString statement =
            QStringLiteral("SELECT * FROM surfaceshort ORDER BY year,month,day,hour");
        submitTyped(statement);
        QTRY_VERIFY_WITH_TIMEOUT(!serverStatementsWith(*back1, QStringLiteral("surfaceshort"))
                                      .filter(QStringLiteral("metadata lock"))
                                      .isEmpty(),
                                 10000);
        const QString worker = QString::number(form->runController->workerServerId());
        QVERIFY(worker != QStringLiteral("0"));

        QTest::mouseClick(form->CancelButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 15000);
        QCOMPARE(logLines().mid(logLines().size() - 3),
                 (QStringList {QStringLiteral("Killing query ") + worker + QStringLiteral("..."),
                               QStringLiteral("Killed query ") + worker + QStringLiteral("."),
                               QStringLiteral("Done...")}));
        QVERIFY(form->SearchButton->isEnabled());
        QVERIFY(!form->CancelButton->isEnabled());
        // The worker has let go of its connection and ended, while the backend still works and
        // the front still waits for it.
        QTRY_COMPARE_WITH_TIMEOUT(backgroundThreadsRunning(), 0, 2000);
        QVERIFY(!serverStatementsWith(*back1, QStringLiteral("surfaceshort")).isEmpty());
        const QStringList killed = serverStatementsWith(*front, statement);
        QCOMPARE(killed.size(), 1);
        QVERIFY2(killed.first().startsWith(worker + QStringLiteral(" Killed")),
                 qPrintable(killed.first()));

        // A search for a station of the other backend runs as usual meanwhile.
        QTest::mouseClick(form->SearchButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 30000);
        QCOMPARE(form->gridModel->store().recordCount(), 48);
        QCOMPARE(logLines().last(), QStringLiteral("All done!"));

        // Once the backend is free the front lets the killed statement go, and nothing of it
        // reaches the window.
        const QStringList log = logLines();
        back1->execute(QStringLiteral("UNLOCK TABLES"));
        QTRY_VERIFY_WITH_TIMEOUT(serverStatementsWith(*front, statement).isEmpty(), 15000);
        QCOMPARE(form->gridModel->store().recordCount(), 48);
        QCOMPARE(logLines(), log);
        QCOMPARE(messages.texts(), QStringList());
    }

    // A backend that cannot be reached fails the runs that need it, even though the front takes
    // the statement and only the first fetch brings the error; the stations of the backend that
    // is up are still served.
    void unreachableBackend_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<int>("records");
        QTest::newRow("both backends")
            << QStringLiteral("SELECT * FROM halfgone ORDER BY year,month,day,hour")
            << QStringList {QStringLiteral("Failed")} << 0;
        QTest::newRow("both backends, unordered")
            << QStringLiteral("SELECT icao, temp FROM halfgone")
            << QStringList {QStringLiteral("Failed")} << 0;
        QTest::newRow("the backend that is up")
            << QStringLiteral("SELECT icao, year, month, day, hour, temp FROM halfgone "
                              "WHERE icao = 'CWJO' AND year = 1995 AND month = 7 AND day = 15")
            << QStringList() << 24;
    }

    void unreachableBackend()
    {
        QFETCH(QString, statement);
        QFETCH(QStringList, shown);
        QFETCH(int, records);
        // The first half of the surface table lies on back1, the other half on a server that
        // nobody listens for.
        const auto front = connectTo("front");
        front->execute(QStringLiteral("DROP TABLE IF EXISTS halfgone"));
        front->execute(QStringLiteral("DROP SERVER IF EXISTS gone"));
        front->execute(QStringLiteral(
            "CREATE SERVER gone FOREIGN DATA WRAPPER mysql OPTIONS (HOST '127.0.0.1', PORT 1, "
            "DATABASE 'orvex', USER 'root', PASSWORD 'qxzv')"));
        front->execute(QStringLiteral(
            "CREATE TABLE halfgone (id INT UNSIGNED NOT NULL, year SMALLINT NOT NULL, "
            "month TINYINT NOT NULL, day TINYINT NOT NULL, hour TINYINT NOT NULL, "
            "icao CHAR(4) NOT NULL, temp DECIMAL(4,1), PRIMARY KEY (id, icao)) ENGINE=SPIDER "
            "COMMENT='wrapper \"mysql\", table \"surfaceshort\"' "
            "PARTITION BY RANGE COLUMNS(icao) ("
            "PARTITION up VALUES LESS THAN ('KL') COMMENT = 'srv \"back1\"', "
            "PARTITION down VALUES LESS THAN (MAXVALUE) COMMENT = 'srv \"gone\"')"));

        submitTyped(statement);
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 30000);
        QCOMPARE(messages.texts(), shown);
        QCOMPARE(form->gridModel->store().recordCount(), records);
        QCOMPARE(logLines().last(), QStringLiteral("All done!"));
        // A failed run offers no plot of its records, as after any failure.
        QCOMPARE(form->PlotButton->isEnabled(), shown.isEmpty());

        front->execute(QStringLiteral("DROP TABLE halfgone"));
        front->execute(QStringLiteral("DROP SERVER gone"));
    }
};

QTEST_MAIN(TestSplitArchive)
#include "tst_splitarchive.moc"
