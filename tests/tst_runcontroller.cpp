// The run controller without a window, end to end against the test server: a run from its start
// to its end, the cancel while records stream, as the query ends and before the worker connects,
// a kill that fails or is answered late, and the progress ticks. Every state of a run, driven by
// a stand-in server, is in tst_runstates.
#include "common/backgroundthread.h"
#include "common/groupthousands.h"
#include "db/clientlibrary.h"
#include "db/connectionrecipe.h"
#include "db/sqlconnection.h"
#include "db/sqlquery.h"
#include "db/statusconnection.h"
#include "run/progresstext.h"
#include "run/runcontroller.h"
#include "store/recordbatch.h"
#include "tests/holdingrelay.h"
#include "tests/testserver.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <set>

namespace {

const QString notRunning =
    QStringLiteral("The MYSQL service is not running, or the connection settings are incorrect.");

// Everything the controller shows, as lines: "started", "columns a,b", "records 3", "log ...",
// "message ...", "error ...", "finished"; the progress ticks, "<bar> <status>", apart.
class RecordingDisplay : public RunDisplay
{
public:
    void runStarted() override { events << QStringLiteral("started"); }
    void runColumns(std::vector<std::string> names) override
    {
        QStringList list;
        for (const std::string &name : names)
            list << QString::fromStdString(name);
        events << QStringLiteral("columns ") + list.join(QLatin1Char(','));
    }
    void runBatch(std::shared_ptr<const RecordBatch> batch) override
    {
        recordCount += batch->recordCount();
        if (events.isEmpty() || !events.last().startsWith(QStringLiteral("records ")))
            events << QString();
        events.last() = QStringLiteral("records ") + QString::number(recordCount);
    }
    void runLogLine(const QString &line) override { events << QStringLiteral("log ") + line; }
    void runMessage(const QString &text) override { events << QStringLiteral("message ") + text; }
    void runError(const QString &text) override { events << QStringLiteral("error ") + text; }
    void runProgress(const ProgressTick &tick) override
    {
        ticks << QStringLiteral("%1 %2").arg(tick.bar).arg(tick.status);
    }
    void runFinished() override { events << QStringLiteral("finished"); }

    QStringList matching(const QString &prefix) const
    {
        QStringList found;
        for (const QString &event : events)
            if (event.startsWith(prefix))
                found << event;
        return found;
    }

    QStringList events;
    QStringList ticks;
    int recordCount = 0;
};

QueryJob jobFor(const QString &statement, ConnectionSettings settings = {})
{
    return QueryJob {statement.toUtf8(), settings};
}

// Records that come one every 50 ms, each wide enough to fill the server's buffer at once.
QString slowStatement(const QString &extraColumn = QString())
{
    return QStringLiteral("SELECT id, icao, SLEEP(0.05) AS pause, REPEAT('x', 20000) AS pad")
        + extraColumn + QStringLiteral(" FROM surfaceshort");
}

using State = RunController::State;

// Thread starts counted from 1, the chosen ones held back before their work until released:
// how a test makes a reading or the worker slower than everything around it. A run's starts are
// its baseline reading, its row-count reading, its worker, then one per progress reading.
struct StartGate
{
    explicit StartGate(std::function<bool(int)> holds)
        : holds(std::move(holds))
    { }

    JobRunner::ThreadStarter starter(const std::shared_ptr<StartGate> &self)
    {
        return [self](std::function<void()> work) {
            int start = 0;
            {
                const std::lock_guard lock(self->mutex);
                start = ++self->started;
            }
            startBackgroundThread([self, start, work = std::move(work)] {
                {
                    std::unique_lock lock(self->mutex);
                    self->changed.wait(lock, [&] {
                        return self->all || self->released.count(start) || !self->holds(start);
                    });
                }
                work();
                {
                    const std::lock_guard lock(self->mutex);
                    self->returned.insert(start);
                }
                self->changed.notify_all();
            });
        };
    }

    void release(int start)
    {
        {
            const std::lock_guard lock(mutex);
            released.insert(start);
        }
        changed.notify_all();
    }
    void releaseAll()
    {
        {
            const std::lock_guard lock(mutex);
            all = true;
        }
        changed.notify_all();
    }
    // Waits until the start's work has returned (and so posted its result, if it has one).
    bool awaitReturn(int start)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20),
                                [&] { return returned.count(start) > 0; });
    }

    const std::function<bool(int)> holds;
    std::mutex mutex;
    std::condition_variable changed;
    int started = 0;
    bool all = false;
    std::set<int> released;
    std::set<int> returned;
};

// One side waits until the other has come to a point of its own, on another thread.
struct Meeting
{
    std::promise<void> arrived;
    std::shared_future<void> arrival {arrived.get_future().share()};
    std::promise<void> goOn;
    std::shared_future<void> going {goOn.get_future().share()};
    std::once_flag once;

    // Lets the other side go on; a test does so also where it fails early.
    void letGo()
    {
        std::call_once(once, [this] { goOn.set_value(); });
    }
};

QString firstCell(const QString &statement)
{
    SqlConnection connection;
    applyRecipe(connection, ConnectionSettings());
    connection.open();
    SqlResult result = connection.query(statement);
    return result.eof() ? QString() : result.text(0);
}

} // namespace

class TestRunController : public QObject
{
    Q_OBJECT

private:
    StatusConnection status;
    RecordingDisplay display;
    std::unique_ptr<RunController> controller;
    // The gate of the test's thread starts, if it holds any; opened at the end of each test.
    std::shared_ptr<StartGate> gate;

    void holdStarts(std::function<bool(int)> holds, RunController::Options options = fastOptions())
    {
        gate = std::make_shared<StartGate>(std::move(holds));
        makeController(std::move(options), gate->starter(gate));
    }

    void makeController(RunController::Options options = fastOptions(),
                        JobRunner::ThreadStarter starter = startBackgroundThread)
    {
        controller = std::make_unique<RunController>(
            display, std::make_unique<ConnectionRunServer>(status, std::move(starter)),
            std::move(options));
        connect(controller->progressTimer(), &QTimer::timeout, controller.get(),
                &RunController::readProgress);
    }

    static RunController::Options fastOptions()
    {
        RunController::Options options;
        options.cancelPauseMilliseconds = 1500;
        options.progressIntervalMilliseconds = 200;
        return options;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("MYSQL_UNIX_PORT"),
                 "run through ctest, which starts the test server");
    }

    void init()
    {
        display = RecordingDisplay();
        makeController();
    }

    void cleanup()
    {
        if (gate)
            gate->releaseAll();
        gate.reset();
        QTRY_VERIFY_WITH_TIMEOUT(controller->idle(), 30000);
        controller.reset();
        // No worker or reading is left talking to the server.
        QTRY_COMPARE_WITH_TIMEOUT(backgroundThreadsRunning(), 0, 20000);
    }

    void runFromStartToEnd()
    {
        // Each of the three rows waits a little, so the run is seen in each of its states.
        QVERIFY(controller->start(jobFor(QStringLiteral(
            "SELECT id, icao FROM surfaceshort WHERE SLEEP(0.2) = 0 ORDER BY id LIMIT 3"))));
        QCOMPARE(controller->state(), State::Starting);
        QCOMPARE(display.events, QStringList {QStringLiteral("started")});
        // A second start is refused in every state of a run, and changes nothing.
        QVERIFY(!controller->start(jobFor(QStringLiteral("SELECT 2"))));
        QTRY_COMPARE(controller->state(), State::Running);
        QVERIFY(!controller->start(jobFor(QStringLiteral("SELECT 2"))));
        QTRY_VERIFY(controller->idle());
        QCOMPARE(display.events,
                 (QStringList {QStringLiteral("started"), QStringLiteral("log Starting..."),
                               QStringLiteral("columns id,icao"), QStringLiteral("records 3"),
                               QStringLiteral("log All done!"), QStringLiteral("finished")}));
        QVERIFY(controller->readCounterBaseline() > 0);
        QVERIFY(controller->totalRowEstimate() > 200000);
        QVERIFY(!controller->progressTimer()->isActive());
    }

    // A cancel while records stream: the run stops at once, its query is killed after the
    // pause, and nothing of it arrives afterwards. Clicks during the pause change nothing. The
    // worker's connection is kept until the kill, so a query that ends during the pause is
    // still reported as killed.
    void cancelWhileRecordsStream_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<bool>("endsDuringPause");
        QTest::newRow("text rows") << slowStatement() << false;
        QTest::newRow("prepared rows (DOUBLE column)")
            << slowStatement(QStringLiteral(", CAST(lat AS DOUBLE) AS latitude")) << false;
        QTest::newRow("query ends during the pause")
            << slowStatement() + QStringLiteral(" LIMIT 12") << true;
    }

    void cancelWhileRecordsStream()
    {
        QFETCH(QString, statement);
        QFETCH(bool, endsDuringPause);
        QVERIFY(controller->start(jobFor(statement)));
        QTRY_VERIFY_WITH_TIMEOUT(display.recordCount >= 1, 10000);
        const std::uint64_t worker = controller->workerServerId();
        QVERIFY(worker != 0);
        const QString id = QString::number(worker);

        controller->cancel();
        QCOMPARE(controller->state(), State::Cancelling);
        QCOMPARE(display.events.last(),
                 QStringLiteral("log Killing query ") + id + QStringLiteral("..."));
        const int recordsAtCancel = display.recordCount;
        controller->cancel();
        QVERIFY(!controller->start(jobFor(QStringLiteral("SELECT 2"))));
        if (endsDuringPause)
            QTRY_COMPARE_WITH_TIMEOUT(serverStatement(worker), QString(), 5000);
        QCOMPARE(controller->state(), State::Cancelling);

        QTRY_VERIFY_WITH_TIMEOUT(controller->idle(), 10000);
        const QStringList tail = display.events.mid(display.events.size() - 4);
        QCOMPARE(tail,
                 (QStringList {QStringLiteral("log Killing query ") + id + QStringLiteral("..."),
                               QStringLiteral("log Killed query ") + id + QStringLiteral("."),
                               QStringLiteral("finished"), QStringLiteral("log Done...")}));
        QCOMPARE(display.matching(QStringLiteral("message ")), QStringList());
        QCOMPARE(display.matching(QStringLiteral("log Killing")).size(), 1);
        QVERIFY(!display.events.contains(QStringLiteral("log All done!")));
        QCOMPARE(display.recordCount, recordsAtCancel);
        QTRY_COMPARE(serverStatement(worker), QString());
        QTRY_COMPARE_WITH_TIMEOUT(backgroundThreadsRunning(), 0, 20000);
        QCOMPARE(display.recordCount, recordsAtCancel);

        // The next run goes as usual.
        display.events.clear();
        QVERIFY(controller->start(jobFor(QStringLiteral("SELECT 7 AS seven"))));
        QTRY_VERIFY(controller->idle());
        QCOMPARE(display.events.last(), QStringLiteral("finished"));
        QCOMPARE(display.matching(QStringLiteral("message ")), QStringList());
    }

    // The query ends by itself just as a cancel, which has found it in the process list, is
    // about to stop the run: the cancel's hold on the worker's connection does not take, so
    // nothing is killed, and the run ends as the finished run it is, with every record.
    void cancelAsTheQueryEnds()
    {
        auto worker = std::make_shared<Meeting>();
        RunController::Options options = fastOptions();
        options.workerFinishing = [worker] {
            worker->arrived.set_value();
            worker->going.wait();
        };
        const auto release = qScopeGuard([worker] { worker->letGo(); });
        options.queryFound = [worker] {
            // Meanwhile the worker reads its last record and finishes its statement.
            QCOMPARE(worker->arrival.wait_for(std::chrono::seconds(20)), std::future_status::ready);
        };
        makeController(options);
        // A statement of a second, cancelled while the server runs it.
        QVERIFY(controller->start(jobFor(QStringLiteral("SELECT SLEEP(1) AS pause"))));
        QTRY_VERIFY_WITH_TIMEOUT(controller->workerServerId() != 0, 10000);
        QTRY_VERIFY(!serverStatement(controller->workerServerId()).isEmpty());
        controller->cancel();
        QCOMPARE(controller->state(), State::Running);
        worker->letGo();
        QTRY_VERIFY_WITH_TIMEOUT(controller->idle(), 10000);
        QCOMPARE(display.events,
                 (QStringList {QStringLiteral("started"), QStringLiteral("log Starting..."),
                               QStringLiteral("columns pause"), QStringLiteral("records 1"),
                               QStringLiteral("log Done..."), QStringLiteral("log All done!"),
                               QStringLiteral("finished")}));
    }

    // A cancel after the worker was started but before it connected: the run ends at once, and
    // the worker, connecting later, sends no statement at all (the server's general query log
    // shows none).
    void cancelBeforeTheWorkerConnectsSendsNoStatement()
    {
        const QString statement = QStringLiteral("SELECT 'sent after its cancel' AS marker");
        runOnServer({QStringLiteral("SET GLOBAL general_log = 'OFF'"),
                     QStringLiteral("TRUNCATE TABLE mysql.general_log"),
                     QStringLiteral("SET GLOBAL log_output = 'TABLE'"),
                     QStringLiteral("SET GLOBAL general_log = 'ON'")});
        struct LogOff
        {
            ~LogOff() { runOnServer({QStringLiteral("SET GLOBAL general_log = 'OFF'")}); }
        } logOff;
        holdStarts([](int start) { return start == 3; });
        QVERIFY(controller->start(jobFor(statement)));
        QTRY_COMPARE(controller->state(), State::Running);
        controller->cancel();
        QVERIFY(controller->idle());
        QCOMPARE(display.events,
                 (QStringList {QStringLiteral("started"), QStringLiteral("finished"),
                               QStringLiteral("log Done...")}));
        gate->release(3);
        QVERIFY(gate->awaitReturn(3));
        QCOMPARE(firstCell(QStringLiteral("SELECT COUNT(*) FROM mysql.general_log WHERE "
                                          "argument = 'SELECT ''sent after its cancel'' AS "
                                          "marker'")),
                 QStringLiteral("0"));
        QTest::qWait(50);
        QCOMPARE(display.events.size(), 3);
    }

    // A server that answers the kill late (a split archive's front waits for its busy backend):
    // once the kill has been sent the worker's connection is cut, so the worker does not wait.
    void killedRunsWorkerDoesNotWaitForALateServer()
    {
        HoldingRelay relay(serverEnv("ORVEX_DB_PORT").toUShort());
        QVERIFY(relay.listening());
        ConnectionSettings throughRelay;
        throughRelay.host = relay.host();
        RunController::Options options = fastOptions();
        // No reading may be under way when the relay holds.
        options.progressIntervalMilliseconds = 3600 * 1000;
        makeController(options);
        QVERIFY(controller->start(jobFor(slowStatement(), throughRelay)));
        QTRY_VERIFY_WITH_TIMEOUT(display.recordCount >= 1, 10000);
        const QString id = QString::number(controller->workerServerId());
        controller->cancel();
        QCOMPARE(controller->state(), State::Cancelling);
        // From now on the worker's connection hears nothing, the answer to its kill included.
        relay.holdOpenConnections();
        QTRY_VERIFY_WITH_TIMEOUT(controller->idle(), 10000);
        QVERIFY(
            display.events.contains(QStringLiteral("log Killed query ") + id + QLatin1Char('.')));
        QTRY_COMPARE_WITH_TIMEOUT(backgroundThreadsRunning(), 0, 1000);
    }

    // The kill cannot be sent (the run's user lost its rights during the pause): the user is
    // told, and the run ends all the same.
    void killThatFailsStillEndsTheRun()
    {
        const ConnectionSettings settings =
            makeReadingUser(QStringLiteral("orvex_kill"), QStringLiteral("k"));
        QVERIFY(controller->start(jobFor(slowStatement(), settings)));
        QTRY_VERIFY_WITH_TIMEOUT(display.recordCount >= 1, 10000);
        const std::uint64_t worker = controller->workerServerId();
        controller->cancel();
        QCOMPARE(controller->state(), State::Cancelling);
        runOnServer({QStringLiteral("DROP USER 'orvex_kill'@'localhost'")});
        QTRY_VERIFY_WITH_TIMEOUT(controller->idle(), 10000);
        QCOMPARE(display.events.mid(display.events.size() - 2),
                 (QStringList {QStringLiteral("message No database connection!"),
                               QStringLiteral("finished")}));
        // The worker's connection is cut all the same, so its query ends on the server without
        // the kill, and the worker with it.
        QTRY_COMPARE_WITH_TIMEOUT(serverStatement(worker), QString(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(backgroundThreadsRunning(), 0, 10000);
    }

    // Once a second the server's counter is read against the baseline; a reading that fails
    // stops the ticks, tells the user, and its tick shows no rows read.
    void progressTicks()
    {
        const ConnectionSettings settings =
            makeReadingUser(QStringLiteral("orvex_ticks"), QStringLiteral("t"));
        // Each record scans the whole table again, with a key the server cannot cache.
        QVERIFY(controller->start(jobFor(
            QStringLiteral("SELECT a.id, (SELECT COUNT(*) FROM surfaceshort b WHERE b.wxcodes = "
                           "CONCAT('#', a.id)) AS n FROM surfaceshort a"),
            settings)));
        QTRY_VERIFY_WITH_TIMEOUT(!display.ticks.isEmpty(), 10000);
        const QString estimate = GroupThousands(QString::number(controller->totalRowEstimate()));
        QVERIFY2(display.ticks.first().contains(QStringLiteral(" of ") + estimate
                                                + QStringLiteral(" observations... (")),
                 qPrintable(display.ticks.first()));

        runOnServer({QStringLiteral("DROP USER 'orvex_ticks'@'localhost'")});
        QTRY_VERIFY_WITH_TIMEOUT(display.events.contains(QStringLiteral("message ") + notRunning),
                                 10000);
        QVERIFY(!controller->progressTimer()->isActive());
        // The failed tick goes on with no rows read: the minutes to go cannot be worked out.
        const QString failedTick = display.ticks.last();
        QVERIFY2(failedTick.startsWith(QStringLiteral("0 Read 0 of ") + estimate
                                       + QStringLiteral(" observations... (0%)  (")),
                 qPrintable(failedTick));
        QVERIFY2(failedTick.endsWith(QStringLiteral(" minutes elapsed, ? minutes to go)")),
                 qPrintable(failedTick));
        const qsizetype ticks = display.ticks.size();
        QTest::qWait(600);
        QCOMPARE(display.ticks.size(), ticks);
        QCOMPARE(controller->state(), State::Running);

        // The worker's own connection still runs; it is ended from outside.
        runOnServer(
            {QStringLiteral("KILL QUERY ") + QString::number(controller->workerServerId())});
        QTRY_VERIFY_WITH_TIMEOUT(controller->idle(), 10000);
        QCOMPARE(display.events.mid(display.events.size() - 3),
                 (QStringList {QStringLiteral("message Failed"), QStringLiteral("log All done!"),
                               QStringLiteral("finished")}));
    }
};

int main(int argc, char *argv[])
{
    ClientLibraryScope clientLibrary;
    QCoreApplication app(argc, argv);
    TestRunController test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_runcontroller.moc"
