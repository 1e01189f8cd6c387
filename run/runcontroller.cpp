#include "run/runcontroller.h"

#include "common/sharedtexts.h"
#include "db/processlist.h"
#include "run/canceltexts.h"
#include "run/runchannel.h"
#include "run/servercounters.h"
#include "run/serverreading.h"

#include <QElapsedTimer>

#include <exception>
#include <utility>

namespace {

// How long the window applies queued output before it lets its other events run.
constexpr qint64 sliceMilliseconds = 8;

QString notRunningText()
{
    return QString::fromLatin1(SharedTexts::notRunning);
}

} // namespace

RunController::RunController(RunDisplay &display, std::unique_ptr<RunServer> server,
                             Options options, QObject *parent)
    : QObject(parent)
    , display(display)
    , server(std::move(server))
    , options(std::move(options))
{
    // A child of the controller, so the window's object tree holds it as the timer it is.
    timer.setParent(this);
    timer.setInterval(this->options.progressIntervalMilliseconds);
}

RunController::RunController(RunDisplay &display, std::unique_ptr<RunServer> server,
                             QObject *parent)
    : RunController(display, std::move(server), Options(), parent)
{ }

RunController::~RunController()
{
    // No reading still out comes back.
    server.reset();
    if (channel) {
        channel->stop();
        // A kill that will never be sent no longer needs the worker's connection.
        channel->releaseConnection();
    }
}

std::uint64_t RunController::workerServerId() const
{
    return channel ? channel->serverId() : 0;
}

bool RunController::start(QueryJob runJob)
{
    if (state_ != State::Idle)
        return false;
    const quint64 id = ++runId;
    state_ = State::Starting;
    job = std::move(runJob);
    pending.clear();
    channel = std::make_shared<RunChannel>([this, id] {
        QMetaObject::invokeMethod(
            this, [this, id] { drain(id); }, Qt::QueuedConnection);
    });
    channel->setFinishingHook(options.workerFinishing);
    runStartTime = currentLocalDays();
    display.runStarted();
    if (current(id))
        ReadRowReadCounter(CounterMode::Raw);
    return true;
}

void RunController::readListing(std::string_view statement, std::string key, int valueColumn,
                                void (RunController::*then)(quint64, const ServerReading &))
{
    const quint64 id = runId;
    try {
        server->readListing(
            job.settings, statement, std::move(key), valueColumn,
            [this, id, then](const ServerReading &reading) { (this->*then)(id, reading); });
    } catch (const std::exception &error) {
        if (then == &RunController::progressRead) {
            // Without its reading the progress display stops, as after a failed reading; the
            // run itself goes on.
            progressReadingRun = 0;
            timer.stop();
            display.runError(QString::fromLocal8Bit(error.what()));
            return;
        }
        failRun(QString::fromLocal8Bit(error.what()));
    }
}

void RunController::ReadRowReadCounter(CounterMode mode)
{
    readListing(ServerCounters::statusStatement, std::string(ServerCounters::rowReadCounter), 1,
                mode == CounterMode::Raw ? &RunController::baselineRead
                                         : &RunController::progressRead);
}

void RunController::ReadTableRowCount(const QString &tableName)
{
    readListing(ServerCounters::tableStatusStatement, tableName.toStdString(), 4,
                &RunController::rowCountRead);
}

void RunController::readingFailed()
{
    timer.stop();
    display.runMessage(notRunningText());
}

bool RunController::startReadingBack(quint64 id, const ServerReading &reading)
{
    if (!current(id) || state_ != State::Starting)
        return false;
    if (reading.failed)
        readingFailed();
    // The message may have let the run be cancelled meanwhile.
    return current(id);
}

void RunController::baselineRead(quint64 id, const ServerReading &reading)
{
    if (!startReadingBack(id, reading))
        return;
    baseline = reading.value;
    // The estimate is always that of the short surface table, whatever the statement reads.
    ReadTableRowCount(QStringLiteral("surfaceshort"));
}

void RunController::rowCountRead(quint64 id, const ServerReading &reading)
{
    if (!startReadingBack(id, reading))
        return;
    estimate = reading.value;
    startWorker();
}

void RunController::startWorker()
{
    // The timer starts also when a reading failed and stopped it.
    timer.start();
    state_ = State::Running;
    try {
        server->startWorker(job, channel);
    } catch (const std::exception &error) {
        failRun(QString::fromLocal8Bit(error.what()));
    }
}

void RunController::failRun(const QString &error)
{
    endRunShowing([this] { display.runFailed(); }, [this, &error] { display.runError(error); });
}

void RunController::readProgress()
{
    if (state_ != State::Running && state_ != State::Cancelling)
        return;
    if (progressReadingRun == runId)
        return;
    progressReadingRun = runId;
    ReadRowReadCounter(CounterMode::SinceBaseline);
}

void RunController::progressRead(quint64 id, const ServerReading &reading)
{
    if (progressReadingRun == id)
        progressReadingRun = 0;
    // A reading that comes back after its run ended or after the timer was stopped shows
    // nothing: the status line already tells how the run went.
    if (!current(id) || !timer.isActive())
        return;
    std::int64_t rowsRead = 0;
    if (reading.failed) {
        readingFailed();
        if (!current(id))
            return;
    } else {
        rowsRead = rowsReadSinceBaseline(reading.value, baseline);
    }
    display.runProgress(progressTick(rowsRead, estimate, runStartTime, reading.nowDays));
}

void RunController::scheduleDrain()
{
    QMetaObject::invokeMethod(
        this, [this, id = runId] { drain(id); }, Qt::QueuedConnection);
}

void RunController::drain(quint64 id)
{
    QElapsedTimer slice;
    slice.start();
    // Each piece is taken off the queue before it is applied, and the run is checked again
    // after it: a piece may show a message, and the run may end or be cancelled meanwhile.
    while (current(id) && state_ != State::Cancelling) {
        if (pending.empty()) {
            pending = channel->takeAll();
            if (pending.empty())
                return;
        }
        if (slice.elapsed() >= sliceMilliseconds) {
            scheduleDrain();
            return;
        }
        RunOutput output = std::move(pending.front());
        pending.pop_front();
        try {
            apply(output);
        } catch (const std::exception &error) {
            // The piece is lost, the rest of the run goes on: later pieces, and the run's end,
            // still come.
            scheduleDrain();
            display.runError(QString::fromLocal8Bit(error.what()));
            return;
        }
    }
}

void RunController::apply(RunOutput &output)
{
    switch (output.kind) {
    case RunOutput::Kind::Log:
        display.runLogLine(QString::fromStdString(output.text));
        break;
    case RunOutput::Kind::Columns:
        display.runColumns(std::move(output.names));
        break;
    case RunOutput::Kind::Batch:
        display.runBatch(std::move(output.batch));
        break;
    case RunOutput::Kind::Message: {
        const std::shared_ptr<RunChannel> asking = channel;
        // The worker's one message tells its failure.
        display.runFailed();
        display.runMessage(QString::fromStdString(output.text));
        asking->messageAnswered();
        break;
    }
    case RunOutput::Kind::DiskFull: {
        // The run stops as a cancel stops it, its query killed on the server after the pause;
        // what was read before stays in the grid. The worker waits for this stop before it
        // finishes, so the hold always takes.
        const QString text = QString::fromStdString(output.text);
        if (channel->stopAndHoldConnection())
            beginKill(QString::number(channel->serverId()));
        display.runMessage(text);
        break;
    }
    case RunOutput::Kind::Finished: {
        // Nothing of the worker follows its end; what does is a cancel's own lines.
        std::deque<RunOutput> after = std::exchange(pending, {});
        endRun();
        display.runFinished();
        for (const RunOutput &line : after)
            display.runLogLine(QString::fromStdString(line.text));
        break;
    }
    }
}

void RunController::cancel()
{
    if (state_ != State::Starting && state_ != State::Running)
        return;
    if (channel->serverId() == 0) {
        // The worker has not connected yet (or has not been started): once the run is stopped
        // it sends no statement, so there is nothing to kill on the server.
        if (!channel->stopAndHoldConnection()) {
            // It connected, ran its statement and finished meanwhile.
            logAfterWorkerOutput(CancelTexts::done);
            return;
        }
        if (channel->serverId() == 0) {
            endRunShowing([this] { display.runCancelled(); },
                          [this] { display.runLogLine(CancelTexts::done); });
            return;
        }
        // It connected in the meantime and may have sent its statement already.
        beginKill(QString::number(channel->serverId()));
        return;
    }

    // The worker's connection is known: its query is killed if the server still runs it.
    QString processId;
    try {
        processId = workerProcessId(server->processList(job.settings), channel->serverId());
    } catch (const std::exception &) {
        // Nothing was stopped: the run goes on.
        display.runMessage(CancelTexts::noConnection);
        return;
    }
    const bool found = !processId.isEmpty();
    if (found && options.queryFound)
        options.queryFound();
    // A query that has ended since the list was read leaves nothing to kill: the worker, which
    // closes its connection, ends the run as it would without the cancel.
    if (found && channel->stopAndHoldConnection())
        beginKill(processId);
    else
        logAfterWorkerOutput(CancelTexts::done);
}

void RunController::logAfterWorkerOutput(const QString &line)
{
    for (RunOutput &output : channel->takeAll())
        pending.push_back(std::move(output));
    RunOutput note;
    note.kind = RunOutput::Kind::Log;
    note.text = line.toStdString();
    pending.push_back(std::move(note));
    scheduleDrain();
}

void RunController::beginKill(const QString &processId)
{
    // From here nothing of the worker reaches the window; it ends by itself once its query is
    // killed, and keeps its connection until then.
    state_ = State::Cancelling;
    pending.clear();
    // The window goes on with its other events during the pause, but takes no other start or
    // cancel: the run is cancelling. The kill is set up before anything is shown, so a display
    // that fails cannot leave the run cancelling for good.
    QTimer::singleShot(options.cancelPauseMilliseconds, this,
                       [this, id = runId, processId] { killAfterPause(id, processId); });
    display.runCancelled();
    display.runLogLine(killingQueryLine(processId));
}

void RunController::killAfterPause(quint64 id, const QString &processId)
{
    if (!current(id) || state_ != State::Cancelling)
        return;
    try {
        server->kill(job.settings, processId);
    } catch (const std::exception &) {
        channel->cutConnection();
        endRunShowing([this] { display.runMessage(CancelTexts::noConnection); }, [] {});
        return;
    }
    // The worker's connection goes too. A server answers a killed query at once, but a front
    // whose tables lie on other servers answers only once those have sent it all they were
    // asked for, which may take minutes; the worker need not wait for that.
    channel->cutConnection();
    endRunShowing([this, &processId] { display.runLogLine(killedQueryLine(processId)); },
                  [this] { display.runLogLine(CancelTexts::done); });
}

void RunController::endRunShowing(const std::function<void()> &before,
                                  const std::function<void()> &after)
{
    endRun();
    try {
        before();
    } catch (...) {
        display.runFinished();
        throw;
    }
    display.runFinished();
    after();
}

void RunController::endRun()
{
    timer.stop();
    state_ = State::Idle;
    pending.clear();
    if (channel) {
        channel->stop();
        channel->releaseConnection();
        channel.reset();
    }
}
