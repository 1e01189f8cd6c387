#pragma once

#include <QEventLoop>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// Starts work on a thread of its own that nobody waits for: it frees itself when the work has
// returned. The program counts these threads, so that it can end at once, without shutting the
// client library down under one of them that is still talking to the server.
void startBackgroundThread(std::function<void()> work);

// Background threads whose work has not returned yet.
int backgroundThreadsRunning();

// Runs work on a background thread while the calling thread goes on handling its events (the
// window keeps painting and taking input), and returns work's result once it is back. Returns
// nothing when the program is told to end first; the work then finishes on its own.
template<typename Result> std::optional<Result> waitForBackgroundWork(std::function<Result()> work)
{
    struct Shared
    {
        std::mutex mutex;
        std::optional<Result> result;
        QEventLoop *loop = nullptr;
    };
    auto shared = std::make_shared<Shared>();
    QEventLoop loop;
    shared->loop = &loop;
    startBackgroundThread([shared, work = std::move(work)] {
        Result result = work();
        const std::lock_guard lock(shared->mutex);
        shared->result = std::move(result);
        if (shared->loop)
            QMetaObject::invokeMethod(shared->loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // A quit posted before the loop runs still ends it; a loop told to end with the program
    // returns at once.
    loop.exec();
    const std::lock_guard lock(shared->mutex);
    shared->loop = nullptr;
    return std::move(shared->result);
}
