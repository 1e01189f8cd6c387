#include "runchannel.h"

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
    answered.wait(lock, [this] { return !messageOpen || stopped(); });
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
    answered.notify_all();
}

void RunChannel::stop()
{
    {
        std::lock_guard lock(mutex);
        stopFlag.store(true, std::memory_order_release);
        queue.clear();
    }
    answered.notify_all();
}
