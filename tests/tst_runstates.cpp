// The run controller's states driven by a stand-in server, without a database: the test answers
// each reading, acts as the worker on the run's channel, and lists the processes the cancel
// finds. Every case runs in milliseconds; tst_runcontroller runs a few of them end to end.
#include "common/sharedtexts.h"
#include "run/progresstext.h"
#include "run/runchannel.h"
#include "run/runcontroller.h"
#include "run/runserver.h"
#include "run/servercounters.h"
#include "run/serverreading.h"
#include "tests/resultrows.h"

#include <QCoreApplication>
#include <QTest>

#include <deque>
#include <stdexcept>
#include <system_error>

namespace {

const QString notRunning = QString::fromLatin1(SharedTexts::notRunning);

// Everything the controller shows, as lines: "started", "columns a,b", "records 3", "log ...",
// "message ...", "error ...", "failed", "cancelled", "finished"; the progress ticks apart. A
// line that starts with throwOn is recorded, then the call throws, as a display out of memory
// would.
class RecordingDisplay : public RunDisplay
{
public:
    void runStarted() override { record(QStringLiteral("started")); }
    void runColumns(std::vector<std::string> names) override
    {
        QStringList list;
        for (const std::string &name : names)
            list << QString::fromStdString(name);
        record(QStringLiteral("columns ") + list.join(QLatin1Char(',')));
    }
    void runBatch(std::shared_ptr<const RecordBatch> batch) override
    {
        record(QStringLiteral("records ") + QString::number(batch->recordCount()));
    }
    void runLogLine(const QString &line) override { record(QStringLiteral("log ") + line); }
    void runMessage(const QString &text) override { record(QStringLiteral("message ") + text); }
    void runError(const QString &text) override { record(QStringLiteral("error ") + text); }
    void runProgress(const ProgressTick &tick) override { ticks << tick.status; }
    void runFinished() override { record(QStringLiteral("finished")); }
    void runFailed() override { record(QStringLiteral("failed")); }
    void runCancelled() override { record(QStringLiteral("cancelled")); }

    QStringList events;
    QStringList ticks;
    QString throwOn;

private:
    void record(const QString &event)
    {
        events << event;
        if (!throwOn.isEmpty() && event.startsWith(throwOn))
            throw std::runtime_error("out of memory");
    }
};

// Catches what escapes an event's handler, as the program's application object does, so that a
// test can see it.
class CatchingApplication : public QCoreApplication
{
public:
    using QCoreApplication::QCoreApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QCoreApplication::notify(receiver, event);
        } catch (const std::exception &error) {
            escaped << QString::fromLocal8Bit(error.what());
            return false;
        }
    }

    QStringList escaped;
};

std::system_error noThread()
{
    return std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                             "no thread");
}

// The server as the controller sees it. Readings wait until the test answers them, oldest
// first; the worker is the test itself, on the channel of the last run started.
class StandInServer : public RunServer
{
public:
    struct Reading
    {
        std::string statement;
        std::string key;
        int valueColumn = 0;
        std::function<void(const ServerReading &)> done;
    };

    void readListing(const ConnectionSettings &, std::string_view statement, std::string key,
                     int valueColumn, std::function<void(const ServerReading &)> done) override
    {
        if (readingThreadFails)
            throw noThread();
        readings.push_back({std::string(statement), std::move(key), valueColumn, std::move(done)});
    }
    void startWorker(const QueryJob &job, std::shared_ptr<RunChannel> channel) override
    {
        if (workerThreadFails)
            throw noThread();
        workerStatement = job.statement;
        worker = std::move(channel);
    }
    QList<QStringList> processList(const ConnectionSettings &) override
    {
        ++processListsRead;
        if (processListFails)
            throw std::runtime_error("Lost connection to server during query");
        if (onProcessList)
            onProcessList();
        return processes;
    }
    void kill(const ConnectionSettings &, const QString &processId) override
    {
        if (killFails)
            throw std::runtime_error("Access denied");
        killed << processId;
    }

    // Hands the oldest reading out its value, or its failure.
    void answer(std::int64_t value, bool failed = false)
    {
        QVERIFY(!readings.empty());
        Reading reading = std::move(readings.front());
        readings.pop_front();
        reading.done(ServerReading {failed ? 0 : value, failed, currentLocalDays()});
    }

    std::deque<Reading> readings;
    bool readingThreadFails = false;
    bool workerThreadFails = false;
    QByteArray workerStatement;
    std::shared_ptr<RunChannel> worker;
    QList<QStringList> processes;
    bool processListFails = false;
    int processListsRead = 0;
    std::function<void()> onProcessList;
    bool killFails = false;
    QStringList killed;
};

RunOutput logLine(const char *text)
{
    RunOutput output;
    output.kind = RunOutput::Kind::Log;
    output.text = text;
    return output;
}

RunOutput outputOf(RunOutput::Kind kind, std::string text = {})
{
    RunOutput output;
    output.kind = kind;
    output.text = std::move(text);
    return output;
}

// A process-list row as the server gives it: id, user, host, db, command, time, state, info.
QStringList processRow(const QString &id, const QString &statement)
{
    return {id,
            QStringLiteral("root"),
            QStringLiteral("localhost"),
            QStringLiteral("orvex"),
            QStringLiteral("Query"),
            QStringLiteral("3"),
            QStringLiteral("Sending data"),
            statement,
            QStringLiteral("0.000")};
}

using State = RunController::State;

// What a run shows until its worker has connected and told its columns (workerConnects).
QStringList begun()
{
    return {QStringLiteral("started"), QStringLiteral("log Starting..."),
            QStringLiteral("columns id")};
}

// Where a run stands when it is cancelled.
enum class Moment {
    Idle,
    BaselineOut, // the start's first reading is out
    RowCountOut, // the start's second reading is out
    WorkerNotConnected,
    QueryRunning, // the process list shows the worker's query
    QueryEnded, // the worker is connected, the process list shows no query of it
    ProcessListFails,
    Cancelling, // a cancel is in its pause already
};

} // namespace

Q_DECLARE_METATYPE(Moment)
Q_DECLARE_METATYPE(RunController::State)

class TestRunStates : public QObject
{
    Q_OBJECT

private:
    RecordingDisplay display;
    StandInServer *server = nullptr;
    std::unique_ptr<RunController> controller;

    void makeController()
    {
        auto standIn = std::make_unique<StandInServer>();
        server = standIn.get();
        RunController::Options options;
        // The pause ends at the next turn of the event loop, never inside a cancel.
        options.cancelPauseMilliseconds = 0;
        // The test ticks by itself.
        options.progressIntervalMilliseconds = 3600 * 1000;
        controller = std::make_unique<RunController>(display, std::move(standIn), options);
    }

    void start(const char *statement = "SELECT id FROM surfaceshort")
    {
        QVERIFY(controller->start(QueryJob {statement, ConnectionSettings()}));
    }

    // Starts a run and answers its two readings: the worker is started.
    void startRunning(std::int64_t baseline = 500, std::int64_t estimate = 1000)
    {
        start();
        server->answer(baseline);
        server->answer(estimate);
        QCOMPARE(controller->state(), State::Running);
        QVERIFY(server->worker);
    }

    // Lets the window's thread take what the worker handed over.
    static void settle()
    {
        for (int turn = 0; turn < 5; ++turn)
            QCoreApplication::processEvents();
    }

    // The worker connects as server id and hands over its first output.
    void workerConnects(std::uint64_t id = 42)
    {
        server->worker->setServerId(id);
        server->worker->post(logLine("Starting..."));
        RunOutput columns = outputOf(RunOutput::Kind::Columns);
        columns.names = {"id"};
        server->worker->post(std::move(columns));
        settle();
    }

    // The worker ends its statement and the run, as a worker does.
    void workerEnds()
    {
        server->worker->finishRun();
        server->worker->post(logLine("All done!"));
        server->worker->post(outputOf(RunOutput::Kind::Finished));
        settle();
    }

private slots:
    void init()
    {
        display = RecordingDisplay();
        makeController();
    }

    void cleanup()
    {
        controller.reset();
        server = nullptr;
    }

    // A run from start to end: the two readings in their order, the worker, its output in
    // order; a second start is refused in every state.
    void runFromStartToEnd()
    {
        start();
        QCOMPARE(controller->state(), State::Starting);
        QCOMPARE(server->readings.size(), size_t(1));
        QCOMPARE(server->readings.front().statement, std::string(ServerCounters::statusStatement));
        QCOMPARE(server->readings.front().key, std::string(ServerCounters::rowReadCounter));
        QCOMPARE(server->readings.front().valueColumn, 1);
        QVERIFY(!controller->start(QueryJob {"SELECT 2", ConnectionSettings()}));
        server->answer(500);
        QCOMPARE(server->readings.front().statement,
                 std::string(ServerCounters::tableStatusStatement));
        // The estimate is that of the short surface table, whatever the statement reads.
        QCOMPARE(server->readings.front().key, std::string("surfaceshort"));
        QCOMPARE(server->readings.front().valueColumn, 4);
        QVERIFY(!server->worker);
        server->answer(1000);
        QCOMPARE(controller->state(), State::Running);
        QCOMPARE(server->workerStatement, QByteArray("SELECT id FROM surfaceshort"));
        QVERIFY(controller->progressTimer()->isActive());
        QCOMPARE(controller->readCounterBaseline(), 500);
        QCOMPARE(controller->totalRowEstimate(), 1000);
        QVERIFY(!controller->start(QueryJob {"SELECT 2", ConnectionSettings()}));

        workerConnects();
        QCOMPARE(controller->workerServerId(), std::uint64_t(42));
        RunOutput batch = outputOf(RunOutput::Kind::Batch);
        batch.batch = numbered(1, 0, 3);
        server->worker->post(std::move(batch));
        workerEnds();
        QVERIFY(controller->idle());
        QVERIFY(!controller->progressTimer()->isActive());
        QCOMPARE(display.events,
                 (begun()
                  + QStringList {QStringLiteral("records 3"), QStringLiteral("log All done!"),
                                 QStringLiteral("finished")}));
        QVERIFY(server->killed.isEmpty());
    }

    // A cancel in each state of a run: what it shows, the state it leaves, and what it asks of
    // the server. Output that the worker hands over afterwards shows nothing but the run's own
    // end, where the run goes on.
    void cancelInEachState_data()
    {
        QTest::addColumn<Moment>("moment");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<State>("after");
        QTest::addColumn<int>("processListsRead");
        QTest::addColumn<QStringList>("killed");

        const QString started = QStringLiteral("started");
        const QString finished = QStringLiteral("finished");
        const QString done = QStringLiteral("log Done...");
        const QStringList workerOutput = begun();
        QTest::newRow("idle") << Moment::Idle << QStringList() << State::Idle << 0 << QStringList();
        QTest::newRow("baseline reading out")
            << Moment::BaselineOut
            << QStringList {started, QStringLiteral("cancelled"), finished, done} << State::Idle
            << 0 << QStringList();
        QTest::newRow("row-count reading out")
            << Moment::RowCountOut
            << QStringList {started, QStringLiteral("cancelled"), finished, done} << State::Idle
            << 0 << QStringList();
        QTest::newRow("worker not connected")
            << Moment::WorkerNotConnected
            << QStringList {started, QStringLiteral("cancelled"), finished, done} << State::Idle
            << 0 << QStringList();
        QTest::newRow("query running") << Moment::QueryRunning
                                       << workerOutput
                + QStringList {QStringLiteral("cancelled"),
                               QStringLiteral("log Killing query 42..."),
                               QStringLiteral("log Killed query 42."), finished, done}
                                       << State::Idle << 1 << QStringList {QStringLiteral("42")};
        // The worker's output before the click comes first, then the cancel's line; the run
        // goes on to its own end.
        QTest::newRow("query ended") << Moment::QueryEnded
                                     << workerOutput
                + QStringList {QStringLiteral("records 2"), done, QStringLiteral("log All done!"),
                               finished}
                                     << State::Idle << 1 << QStringList();
        QTest::newRow("process list fails") << Moment::ProcessListFails
                                            << workerOutput
                + QStringList {QStringLiteral("message No database connection!"),
                               QStringLiteral("log All done!"), finished}
                                            << State::Idle << 1 << QStringList();
        // A second cancel during the first one's pause does nothing.
        QTest::newRow("cancelling") << Moment::Cancelling
                                    << workerOutput
                + QStringList {QStringLiteral("cancelled"),
                               QStringLiteral("log Killing query 42..."),
                               QStringLiteral("log Killed query 42."), finished, done}
                                    << State::Idle << 1 << QStringList {QStringLiteral("42")};
    }

    void cancelInEachState()
    {
        QFETCH(Moment, moment);
        QFETCH(QStringList, shown);
        QFETCH(State, after);
        QFETCH(int, processListsRead);
        QFETCH(QStringList, killed);

        server->processes = {processRow(QStringLiteral("7"), QStringLiteral("SELECT 1")),
                             processRow(QStringLiteral("42"), QString())};
        switch (moment) {
        case Moment::Idle:
            break;
        case Moment::BaselineOut:
            start();
            break;
        case Moment::RowCountOut:
            start();
            server->answer(500);
            break;
        case Moment::WorkerNotConnected:
            startRunning();
            break;
        case Moment::QueryRunning:
        case Moment::Cancelling:
            startRunning();
            workerConnects();
            server->processes << processRow(QStringLiteral("42"), QStringLiteral("SELECT id"));
            break;
        case Moment::QueryEnded:
        case Moment::ProcessListFails: {
            startRunning();
            workerConnects();
            server->processListFails = moment == Moment::ProcessListFails;
            if (moment == Moment::QueryEnded) {
                // Queued by the worker, not yet shown, when the cancel comes.
                RunOutput batch = outputOf(RunOutput::Kind::Batch);
                batch.batch = numbered(1, 0, 2);
                server->worker->post(std::move(batch));
            }
            break;
        }
        }

        controller->cancel();
        if (moment == Moment::QueryRunning || moment == Moment::Cancelling) {
            QCOMPARE(controller->state(), State::Cancelling);
            QVERIFY(!controller->start(QueryJob {"SELECT 2", ConnectionSettings()}));
            if (moment == Moment::Cancelling)
                controller->cancel();
            // Until the pause is over nothing is killed.
            QVERIFY(server->killed.isEmpty());
        }
        settle();
        // Whatever is still to come of the readings and the worker.
        while (!server->readings.empty())
            server->answer(1);
        if (server->worker && controller->state() == State::Running) {
            QVERIFY(!server->worker->stopped());
            workerEnds();
        } else if (server->worker) {
            QVERIFY(server->worker->stopped());
            // A stopped worker's output goes nowhere.
            server->worker->post(logLine("All done!"));
            settle();
        }
        QCOMPARE(display.events, shown);
        QCOMPARE(controller->state(), after);
        QCOMPARE(server->processListsRead, processListsRead);
        QCOMPARE(server->killed, killed);
        // Only a run that reached its worker started one.
        QCOMPARE(bool(server->worker),
                 moment != Moment::Idle && moment != Moment::BaselineOut
                     && moment != Moment::RowCountOut);
    }

    // The query ends by itself while the cancel, having found it in the process list, is about
    // to stop the run: nothing is killed, and the run ends as the finished run it is.
    void cancelCrossingTheQueryEnd()
    {
        startRunning();
        workerConnects();
        server->processes = {processRow(QStringLiteral("42"), QStringLiteral("SELECT id"))};
        server->onProcessList = [this] {
            QVERIFY(server->worker->finishRun());
        };
        controller->cancel();
        QCOMPARE(controller->state(), State::Running);
        QVERIFY(!server->worker->stopped());
        workerEnds();
        QVERIFY(controller->idle());
        QCOMPARE(display.events,
                 (begun()
                  + QStringList {QStringLiteral("log Done..."), QStringLiteral("log All done!"),
                                 QStringLiteral("finished")}));
        QVERIFY(server->killed.isEmpty());
    }

    // The kill after the pause: sent, or failing; either way the worker's connection is cut and
    // the run ends. A run stopped because the disk is full is killed the same way.
    void killAfterThePause_data()
    {
        QTest::addColumn<bool>("diskFull");
        QTest::addColumn<bool>("killFails");
        QTest::addColumn<QStringList>("shown");
        const QStringList before = begun();
        QTest::newRow("cancel, kill sent") << false << false
                                           << before
                + QStringList {QStringLiteral("cancelled"),
                               QStringLiteral("log Killing query 42..."),
                               QStringLiteral("log Killed query 42."), QStringLiteral("finished"),
                               QStringLiteral("log Done...")};
        QTest::newRow("cancel, kill fails") << false << true
                                            << before
                + QStringList {
                    QStringLiteral("cancelled"), QStringLiteral("log Killing query 42..."),
                    QStringLiteral("message No database connection!"), QStringLiteral("finished")};
        QTest::newRow("disk full, kill sent") << true << false
                                              << before
                + QStringList {QStringLiteral("cancelled"),
                               QStringLiteral("log Killing query 42..."),
                               QStringLiteral("message The disk is full."),
                               QStringLiteral("log Killed query 42."),
                               QStringLiteral("finished"),
                               QStringLiteral("log Done...")};
    }

    void killAfterThePause()
    {
        QFETCH(bool, diskFull);
        QFETCH(bool, killFails);
        QFETCH(QStringList, shown);
        startRunning();
        workerConnects();
        bool cut = false;
        server->worker->setConnectionCut([&cut] { cut = true; });
        server->processes = {processRow(QStringLiteral("42"), QStringLiteral("SELECT id"))};
        server->killFails = killFails;
        if (diskFull) {
            server->worker->post(outputOf(RunOutput::Kind::DiskFull, "The disk is full."));
        } else {
            controller->cancel();
        }
        QTRY_VERIFY(controller->idle());
        QCOMPARE(display.events, shown);
        QVERIFY(cut);
        QVERIFY(server->worker->stopped());
        QCOMPARE(server->killed, killFails ? QStringList() : QStringList {QStringLiteral("42")});
        // The disk-full stop needs no process list: the worker's own connection is named.
        QCOMPARE(server->processListsRead, diskFull ? 0 : 1);
    }

    // A reading of the start that fails tells the user, and the run still starts; one that
    // comes back for a run that is over, or a cancelled run's reading that comes back while the
    // next run starts, shows nothing and sets nothing.
    void startReadings_data()
    {
        QTest::addColumn<bool>("baselineFails");
        QTest::addColumn<bool>("rowCountFails");
        QTest::newRow("both read") << false << false;
        QTest::newRow("baseline fails") << true << false;
        QTest::newRow("row count fails") << false << true;
    }

    void startReadings()
    {
        QFETCH(bool, baselineFails);
        QFETCH(bool, rowCountFails);
        // The reading of a cancelled run, still out.
        start();
        controller->cancel();
        display.events.clear();

        start();
        // The stale reading fails, and comes back first.
        server->answer(0, true);
        QCOMPARE(display.events, QStringList {QStringLiteral("started")});
        QCOMPARE(controller->state(), State::Starting);
        server->answer(500, baselineFails);
        server->answer(1000, rowCountFails);
        QCOMPARE(controller->state(), State::Running);
        QVERIFY(server->worker);
        QVERIFY(controller->progressTimer()->isActive());
        QCOMPARE(controller->readCounterBaseline(), baselineFails ? 0 : 500);
        QCOMPARE(controller->totalRowEstimate(), rowCountFails ? 0 : 1000);
        QStringList shown {QStringLiteral("started")};
        if (baselineFails || rowCountFails)
            shown << QStringLiteral("message ") + notRunning;
        QCOMPARE(display.events, shown);
    }

    // The progress readings: no second one while one is out; the tick counts the rows read
    // since the baseline; a failed reading stops the ticks and tells the user; a reading that
    // cannot get a thread stops the ticks; one that comes back after the run shows nothing.
    void progressReadings()
    {
        startRunning(500, 1000);
        controller->readProgress();
        controller->readProgress();
        QCOMPARE(server->readings.size(), size_t(1));
        server->answer(750);
        QCOMPARE(display.ticks.size(), 1);
        QVERIFY2(display.ticks.last().startsWith(
                     QStringLiteral("Read 250 of 1,000 observations... (25%)")),
                 qPrintable(display.ticks.last()));

        controller->readProgress();
        server->answer(0, true);
        QCOMPARE(display.events.last(), QStringLiteral("message ") + notRunning);
        QVERIFY(!controller->progressTimer()->isActive());
        QVERIFY2(
            display.ticks.last().startsWith(QStringLiteral("Read 0 of 1,000 observations... (0%)")),
            qPrintable(display.ticks.last()));
        QCOMPARE(controller->state(), State::Running);

        // The timer restarted, then a tick that gets no thread: an error, the ticks stop.
        controller->progressTimer()->start();
        server->readingThreadFails = true;
        controller->readProgress();
        QVERIFY2(display.events.last().startsWith(QStringLiteral("error no thread")),
                 qPrintable(display.events.last()));
        QVERIFY(!controller->progressTimer()->isActive());
        QCOMPARE(controller->state(), State::Running);
        server->readingThreadFails = false;

        // A reading still out when the run ends.
        controller->progressTimer()->start();
        controller->readProgress();
        workerEnds();
        QVERIFY(controller->idle());
        const qsizetype ticks = display.ticks.size();
        const QStringList events = display.events;
        server->answer(900);
        QCOMPARE(display.ticks.size(), ticks);
        QCOMPARE(display.events, events);
        controller->readProgress();
        QVERIFY(server->readings.empty());
    }

    // A thread that cannot be made, for the first reading or for the worker, ends the run with
    // an error.
    void threadThatCannotStart_data()
    {
        QTest::addColumn<bool>("forWorker");
        QTest::newRow("first reading") << false;
        QTest::newRow("worker") << true;
    }

    void threadThatCannotStart()
    {
        QFETCH(bool, forWorker);
        server->readingThreadFails = !forWorker;
        server->workerThreadFails = forWorker;
        start();
        if (forWorker) {
            server->answer(500);
            server->answer(1000);
        }
        QVERIFY(controller->idle());
        QVERIFY(!controller->progressTimer()->isActive());
        QCOMPARE(display.events.size(), 4);
        QCOMPARE(display.events.mid(0, 3),
                 (QStringList {QStringLiteral("started"), QStringLiteral("failed"),
                               QStringLiteral("finished")}));
        QVERIFY2(display.events.at(3).startsWith(QStringLiteral("error no thread")),
                 qPrintable(display.events.at(3)));
        // The next run starts as usual.
        server->readingThreadFails = false;
        server->workerThreadFails = false;
        startRunning();
    }

    // Output the window fails to show is lost and told as an error; the rest of the run still
    // comes, and so does its end.
    void displayThatThrows()
    {
        startRunning();
        display.throwOn = QStringLiteral("columns");
        // All of it handed over before the window takes any, so the end waits behind the
        // failure.
        server->worker->post(logLine("Starting..."));
        RunOutput columns = outputOf(RunOutput::Kind::Columns);
        columns.names = {"id"};
        server->worker->post(std::move(columns));
        server->worker->finishRun();
        server->worker->post(logLine("All done!"));
        server->worker->post(outputOf(RunOutput::Kind::Finished));
        settle();
        QVERIFY(controller->idle());
        QCOMPARE(display.events,
                 (begun()
                  + QStringList {QStringLiteral("error out of memory"),
                                 QStringLiteral("log All done!"), QStringLiteral("finished")}));
    }

    // A display that fails at a step of the cancel or of a failed start: the failure leaves the
    // call or the event it came in, as one that escapes a handler does, and the run still ends
    // and the window hears of its end, instead of the run staying as it was for good, with no
    // start ever taken again.
    void displayThatThrowsAsTheRunEnds_data()
    {
        QTest::addColumn<Moment>("moment");
        QTest::addColumn<QString>("throwOn");
        QTest::addColumn<bool>("killFails");
        QTest::addColumn<QStringList>("killed");
        const QStringList none;
        const QStringList worker {QStringLiteral("42")};
        QTest::newRow("cancel before the worker connects")
            << Moment::WorkerNotConnected << QStringLiteral("cancelled") << false << none;
        QTest::newRow("cancel shows the kill to come")
            << Moment::QueryRunning << QStringLiteral("log Killing") << false << worker;
        QTest::newRow("kill sent")
            << Moment::QueryRunning << QStringLiteral("log Killed") << false << worker;
        QTest::newRow("kill fails")
            << Moment::QueryRunning << QStringLiteral("message No database") << true << none;
        QTest::newRow("no thread for the first reading")
            << Moment::Idle << QStringLiteral("failed") << false << none;
    }

    void displayThatThrowsAsTheRunEnds()
    {
        QFETCH(Moment, moment);
        QFETCH(QString, throwOn);
        QFETCH(bool, killFails);
        QFETCH(QStringList, killed);
        auto *app = static_cast<CatchingApplication *>(QCoreApplication::instance());
        app->escaped.clear();
        server->processes = {processRow(QStringLiteral("42"), QStringLiteral("SELECT id"))};
        server->killFails = killFails;
        if (moment != Moment::Idle)
            startRunning();
        if (moment == Moment::QueryRunning)
            workerConnects();
        server->readingThreadFails = moment == Moment::Idle;
        display.throwOn = throwOn;
        try {
            if (moment == Moment::Idle)
                start();
            else
                controller->cancel();
        } catch (const std::exception &error) {
            app->escaped << QString::fromLocal8Bit(error.what());
        }
        QTRY_VERIFY(controller->idle());
        QCOMPARE(app->escaped, QStringList {QStringLiteral("out of memory")});
        QVERIFY2(display.events.contains(QStringLiteral("finished")),
                 qPrintable(display.events.join(QLatin1Char('|'))));
        QCOMPARE(server->killed, killed);
        // The next run starts as usual.
        display.throwOn.clear();
        server->readingThreadFails = false;
        startRunning();
    }

    // The worker's one message tells its failure; the run then ends as the worker ends it.
    void workerMessage()
    {
        startRunning();
        workerConnects();
        server->worker->post(outputOf(RunOutput::Kind::Message, "Failed"));
        workerEnds();
        QVERIFY(controller->idle());
        QCOMPARE(display.events.mid(3),
                 (QStringList {QStringLiteral("failed"), QStringLiteral("message Failed"),
                               QStringLiteral("log All done!"), QStringLiteral("finished")}));
    }
};

int main(int argc, char *argv[])
{
    CatchingApplication app(argc, argv);
    TestRunStates test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_runstates.moc"
