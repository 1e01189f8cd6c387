#pragma once

#include "common/connectionsettings.h"
#include "run/progresstext.h"
#include "run/queryworker.h"
#include "run/runserver.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class RecordBatch;
class RunChannel;
struct RunOutput;
struct ServerReading;

// What a run shows. The run controller calls it on the window's thread, in the order the run
// produced its output; a call may show a modal message and so handle other events before it
// returns.
class RunDisplay
{
public:
    virtual ~RunDisplay() = default;

    // The run has started: starting another is not possible, cancelling is.
    virtual void runStarted() = 0;
    // The result's column names, then its records in batches, each with its echo lines.
    virtual void runColumns(std::vector<std::string> names) = 0;
    virtual void runBatch(std::shared_ptr<const RecordBatch> batch) = 0;
    virtual void runLogLine(const QString &line) = 0;
    // A message for the user; returns once it has been dismissed.
    virtual void runMessage(const QString &text) = 0;
    // An error shown as one that escaped its handler would be: no thread could be made, or
    // output could not be shown. The run ends only where runFinished follows.
    virtual void runError(const QString &text) = 0;
    // A progress tick: the status line and the bar.
    virtual void runProgress(const ProgressTick &tick) = 0;
    // The run is over; the window goes back to its idle state.
    virtual void runFinished() = 0;
    // The run failed (its worker could not connect, the server refused its statement, or the
    // run could not go on); told before the failure's message and the run's end.
    virtual void runFailed() { }
    // The run was cancelled: nothing more of it is shown; told before the run's end.
    virtual void runCancelled() { }
};

// One query run from start to end, away from any widget: the first counter readings, the
// worker and its hand-over, the progress readings once a second, and the cancel with its kill on
// the server. It asks the server for all of these through a RunServer, whose readings come back
// as events of the window's thread; the controller never runs an event loop of its own.
//
// A run goes through these states; a request that means nothing in the state it finds does
// nothing:
//   Idle        start() begins a run; cancel() and progress ticks do nothing.
//   Starting    the read-counter baseline and the total-row estimate are being read; then the
//               progress timer starts and the worker is started. cancel() ends the run at once.
//   Running     the worker runs the statement and hands its output over. cancel() looks the
//               worker's query up on the server and, when it finds it, stops the run and goes
//               on to Cancelling; else, or when the worker has finished its statement
//               meanwhile, the run goes on to its own end.
//   Cancelling  a fixed pause, then the worker's query is killed and the run ends.
// Everything that comes back for a run other than the current one, or after it ended, is
// dropped here (see current()).
class RunController : public QObject
{
    Q_OBJECT

public:
    enum class State { Idle, Starting, Running, Cancelling };

    struct Options
    {
        int cancelPauseMilliseconds = 5000;
        int progressIntervalMilliseconds = 1000;
        // For tests: called by a cancel that has found the worker's query in the process list,
        // before it stops the run; and on the worker thread once the worker has finished its
        // statement, before it closes its connection (RunChannel::setFinishingHook).
        std::function<void()> queryFound;
        std::function<void()> workerFinishing;
    };

    RunController(RunDisplay &display, std::unique_ptr<RunServer> server, Options options,
                  QObject *parent = nullptr);
    RunController(RunDisplay &display, std::unique_ptr<RunServer> server,
                  QObject *parent = nullptr);
    // A run still going is stopped: its worker ends by itself and nothing of it comes back.
    ~RunController() override;

    State state() const { return state_; }
    bool idle() const { return state_ == State::Idle; }

    // Begins a run of the job; false, changing nothing, unless idle.
    bool start(QueryJob job);
    // Cancels the current run as its state allows (see the states above).
    void cancel();
    // A progress tick: reads the server's row-read counter away from the window's thread and
    // shows the tick when the reading is back. A tick while the last reading is out is skipped.
    void readProgress();

    // Ticks once a second from the end of the start's readings to the end of the run. A failed
    // reading or column lookup stops it for the rest of the run.
    QTimer *progressTimer() { return &timer; }

    // The current or last run: its start (local days), the read-counter baseline and the
    // total-row estimate (1 until the first run has read it).
    double startTime() const { return runStartTime; }
    std::int64_t readCounterBaseline() const { return baseline; }
    std::int64_t totalRowEstimate() const { return estimate; }
    // The server's id of the current run's worker connection; 0 until the worker has connected.
    std::uint64_t workerServerId() const;

private:
    // Whether output or a reading for run id may still be shown.
    bool current(quint64 id) const { return id == runId && state_ != State::Idle; }
    // How the row-read counter is read: as the server reports it, for the start's baseline, or
    // against that baseline, for a progress tick. The reading goes on to baselineRead or to
    // progressRead accordingly.
    enum class CounterMode { Raw, SinceBaseline };
    // The start's readings, in this order, then the worker.
    void ReadRowReadCounter(CounterMode mode);
    void ReadTableRowCount(const QString &tableName);
    // A reading of the start is back: a failure is told; true when the run still starts.
    bool startReadingBack(quint64 id, const ServerReading &reading);
    void baselineRead(quint64 id, const ServerReading &reading);
    void rowCountRead(quint64 id, const ServerReading &reading);
    void startWorker();
    void progressRead(quint64 id, const ServerReading &reading);
    // A failed server reading: the progress timer stops and the user is told.
    void readingFailed();
    // Runs a reading away from the window's thread; then(reading) follows on it for run id.
    void readListing(std::string_view statement, std::string key, int valueColumn,
                     void (RunController::*then)(quint64, const ServerReading &));

    // Takes the worker's queued output and applies it for a few milliseconds at most, then
    // yields to the event loop and goes on later.
    void drain(quint64 id);
    void scheduleDrain();
    void apply(RunOutput &output);

    // Logs a line of the cancel's own after everything the worker handed over before it.
    void logAfterWorkerOutput(const QString &line);
    // The cancel's steps after the run has been stopped: the pause, then the kill.
    void beginKill(const QString &processId);
    void killAfterPause(quint64 id, const QString &processId);
    // Ends the current run: idle, timer off, its channel stopped and let go.
    void endRun();
    // Ends the current run, then shows before(), the run's end and after(). A display call that
    // fails cannot keep the run going: it has ended before anything is shown, and the window
    // hears of its end also when before() fails, whose failure then goes on.
    void endRunShowing(const std::function<void()> &before, const std::function<void()> &after);
    // The run could not go on: it ends, and the error is shown.
    void failRun(const QString &error);

    RunDisplay &display;
    std::unique_ptr<RunServer> server;
    Options options;
    QTimer timer;

    State state_ = State::Idle;
    quint64 runId = 0;
    QueryJob job;
    std::shared_ptr<RunChannel> channel;
    std::deque<RunOutput> pending;
    // The run whose progress reading is out, 0 when none is.
    quint64 progressReadingRun = 0;

    double runStartTime = 0;
    std::int64_t baseline = 0;
    std::int64_t estimate = 1;
};
