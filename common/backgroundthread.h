#pragma once

#include <QMetaObject>
#include <QObject>

#include <functional>
#include <memory>
#include <mutex>
#include <utility>

// Starts work on a thread of its own that nobody waits for: it frees itself when the work has
// returned. The program counts these threads, so that it can end at once, without shutting the
// client library down under one of them that is still talking to the server. Throws
// std::system_error when no thread can be made.
void startBackgroundThread(std::function<void()> work);

// Background threads whose work has not returned yet.
int backgroundThreadsRunning();

// The one way the program does work away from the window's thread: each job runs on a
// background thread, and its result comes back as a call on the receiver's thread, in that
// thread's event loop. Nobody waits for a job. Once the runner is closed (or gone) no result is
// handed back any more; jobs still out finish on their own.
class JobRunner
{
public:
    // How threads are started; the default is startBackgroundThread.
    using ThreadStarter = std::function<void(std::function<void()>)>;

    explicit JobRunner(QObject *receiver, ThreadStarter starter = startBackgroundThread)
        : shared(std::make_shared<Shared>())
        , starter(std::move(starter))
    {
        shared->receiver = receiver;
    }
    ~JobRunner() { close(); }
    JobRunner(const JobRunner &) = delete;
    JobRunner &operator=(const JobRunner &) = delete;

    // Runs work away from this thread and hands its result to done on the receiver's thread.
    // Throws std::system_error, handing nothing back, when the thread cannot be started.
    template<typename Result>
    void run(std::function<Result()> work, std::function<void(Result)> done)
    {
        starter([shared = shared, work = std::move(work), done = std::move(done)]() mutable {
            Result result = work();
            // Posted under the lock, so once close() has returned nothing reaches the receiver.
            const std::lock_guard lock(shared->mutex);
            if (shared->receiver)
                QMetaObject::invokeMethod(
                    shared->receiver,
                    [done = std::move(done), result = std::move(result)]() mutable {
                        done(std::move(result));
                    },
                    Qt::QueuedConnection);
        });
    }

    // Runs work away from this thread; its outcome goes wherever work itself sends it.
    void start(std::function<void()> work) { starter(std::move(work)); }

    void close()
    {
        const std::lock_guard lock(shared->mutex);
        shared->receiver = nullptr;
    }

private:
    struct Shared
    {
        std::mutex mutex;
        QObject *receiver = nullptr;
    };
    std::shared_ptr<Shared> shared;
    ThreadStarter starter;
};
