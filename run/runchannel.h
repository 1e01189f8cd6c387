#pragma once

#include "store/recordbatch.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// One piece of a worker's output, in the order the worker produced it.
struct RunOutput
{
    enum class Kind {
        Log, // a log line (text)
        Columns, // the result's column names (names)
        Batch, // a batch of records (batch)
        Message, // a message to show; the worker waits until it has been answered
        DiskFull, // the records can no longer be kept (text says why): the run is to stop
        Finished, // the run has ended; nothing follows
    };

    Kind kind = Kind::Log;
    std::string text;
    std::vector<std::string> names;
    std::shared_ptr<const RecordBatch> batch;
};

// The hand-over from a run's worker to the main thread. The worker never blocks on it (a server
// kept waiting for its client aborts the query): it appends and, when the main thread has not
// been woken yet since it last took the queue, calls the wake function once. The main thread
// takes everything queued at once and applies it in slices at its own pace.
//
// Stopping a run is cooperative: once stop() is called the worker ends at its next check, and
// nothing it posts afterwards is queued or wakes anybody. A run stopped so that its query can
// be killed on the server keeps the worker's connection open until the kill has been sent
// (releaseConnection), so the kill always finds the connection it names. A worker whose
// statement has ended tells so (finishRun) before it closes its connection; from then on the
// run can no longer be stopped for a kill, and the cancel learns that its hold did not take.
class RunChannel
{
public:
    // wake is called on the worker thread with the channel locked; it must only post a call to
    // the main thread.
    explicit RunChannel(std::function<void()> wake);

    // Worker side.
    void post(RunOutput output);
    // Shows a message through the main thread and waits until it has been dismissed, or until
    // the run is stopped.
    void postMessageAndWait(std::string text);
    bool stopped() const { return stopFlag.load(); }
    // Waits until the run is stopped.
    void awaitStop();
    // The server's id of the worker's connection, told as soon as it has connected; 0 until then.
    void setServerId(std::uint64_t id) { serverIdValue.store(id); }
    // Waits, once the run is stopped, until its connection may be closed.
    void awaitConnectionRelease();
    // The worker's statement has ended (with its result or an error) and the worker goes on to
    // close its connection and end the run: true, and the run can no longer be stopped for a
    // kill. False when the run was stopped first; the worker then ends as a stopped run does.
    bool finishRun();
    // How the main thread can cut the worker's connection (cutConnection): told once the
    // connection is open, and taken back before the connection is closed.
    void setConnectionCut(std::function<void()> cut);
    void clearConnectionCut();

    // Main-thread side.
    std::deque<RunOutput> takeAll();
    void messageAnswered();
    // Stops the run; the worker may close its connection whenever it likes.
    void stop();
    // Stops the run; the worker keeps its connection open until releaseConnection(). False,
    // changing nothing, when the worker has finished its run already (finishRun): it closes its
    // connection, so there is nothing to kill, and the run ends as it would without the cancel.
    bool stopAndHoldConnection();
    void releaseConnection();
    // Cuts the worker's connection, if it has one open, so that the worker stops waiting for
    // the server: once its query has been killed, or the kill has been given up.
    void cutConnection();
    std::uint64_t serverId() const { return serverIdValue.load(); }

    // For tests: called on the worker thread once finishRun() has taken, before the worker
    // closes its connection, so that a test can hold the worker exactly there.
    void setFinishingHook(std::function<void()> hook) { finishingHook = std::move(hook); }

private:
    bool stopRun(bool holdConnection);

    std::function<void()> wake;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<RunOutput> queue;
    bool wakePending = false;
    bool messageOpen = false;
    bool connectionHeld = false;
    bool finishing = false;
    std::function<void()> finishingHook;
    std::function<void()> connectionCut;
    // Both are sequentially consistent: a cancel that sets the stop and then finds no server id
    // can rely on the worker, which sets its id and then looks at the stop, to run no statement.
    std::atomic<bool> stopFlag {false};
    std::atomic<std::uint64_t> serverIdValue {0};
};
