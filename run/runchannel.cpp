#include "run/runchannel.h"

#include <utility>

RunChannel::RunChannel(std::function<void()> wake)
    : wake(std::move(wake))
{ }

void RunChannel::post(RunOutput output)
{
    // The wake-up is posted under the lock, so once stop() has returned no wake-up can reach a
    // receiver that may be gone by then.
    std::lock_guard lock(mutex);
    if (stopped())
        return;
    queue.push_back(std::move(output));
    if (!wakePending) {
        wakePending = true;
        wake();
    }
}

void RunChannel::postMessageAndWait(std::string text)
{
    {
        std::lock_guard lock(mutex);
        messageOpen = true;
    }
    RunOutput message;
    message.kind = RunOutput::Kind::Message;
    message.text = std::move(text);
    post(std::move(message));
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return !messageOpen || stopped(); });
}

void RunChannel::awaitStop()
{
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return stopped(); });
}

void RunChannel::awaitConnectionRelease()
{
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return !connectionHeld; });
}

bool RunChannel::finishRun()
{
    bool first = false;
    {
        // Under the lock, as the hold is taken: a worker and a cancel that meet here see each
        // other, so either the kill finds the connection open or the cancel knows it will not.
        std::lock_guard lock(mutex);
        if (stopped())
            return false;
        first = !std::exchange(finishing, true);
    }
    if (first && finishingHook)
        finishingHook();
    return true;
}

void RunChannel::setConnectionCut(std::function<void()> cut)
{
    std::lock_guard lock(mutex);
    connectionCut = std::move(cut);
}

void RunChannel::clearConnectionCut()
{
    // Under the lock: a cut under way ends before the connection may be closed.
    std::lock_guard lock(mutex);
    connectionCut = nullptr;
}

void RunChannel::cutConnection()
{
    std::lock_guard lock(mutex);
    if (connectionCut)
        connectionCut();
}

std::deque<RunOutput> RunChannel::takeAll()
{
    std::lock_guard lock(mutex);
    wakePending = false;
    return std::exchange(queue, {});
}

void RunChannel::messageAnswered()
{
    {
        std::lock_guard lock(mutex);
        messageOpen = false;
    }
    changed.notify_all();
}

void RunChannel::stop()
{
    stopRun(false);
}

bool RunChannel::stopAndHoldConnection()
{
    return stopRun(true);
}

bool RunChannel::stopRun(bool holdConnection)
{
    {
        std::lock_guard lock(mutex);
        if (holdConnection && finishing && !stopped())
            return false;
        // A run stopped once stays stopped as it was: a later stop cannot take back a hold.
        if (!stopped())
            connectionHeld = holdConnection;
        stopFlag.store(true);
        queue.clear();
    }
    changed.notify_all();
    return true;
}

void RunChannel::releaseConnection()
{
    {
        std::lock_guard lock(mutex);
        connectionHeld = false;
    }
    changed.notify_all();
}
