#pragma once

#include "resultchunk.h"

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
        ServerId, // the server's id of the worker's connection (number)
        Columns, // the result's column names (names)
        Records, // a batch of records (records)
        Message, // a message to show; the worker waits until it has been answered
        Finished, // the run has ended; nothing follows
    };

    Kind kind = Kind::Log;
    std::string text;
    std::uint64_t number = 0;
    std::vector<std::string> names;
    std::shared_ptr<const ResultChunk> records;
};

// The hand-over from a run's worker to the main thread. The worker never blocks on it (a server
// kept waiting for its client aborts the query): it appends and, when the main thread has not
// been woken yet since it last took the queue, calls the wake function once. The main thread
// takes everything queued at once and applies it in slices at its own pace.
//
// Stopping a run is cooperative: once stop() is called the worker ends at its next check, and
// the main thread ignores whatever is still queued.
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
    bool stopped() const { return stopFlag.load(std::memory_order_acquire); }

    // Main-thread side.
    std::deque<RunOutput> takeAll();
    void messageAnswered();
    void stop();

private:
    std::function<void()> wake;
    std::mutex mutex;
    std::condition_variable answered;
    std::deque<RunOutput> queue;
    bool wakePending = false;
    bool messageOpen = false;
    std::atomic<bool> stopFlag {false};
};
