// The hand-over from a run's worker to the window's thread, without a window: wake-ups, the
// worker's message, the stop, and the connection held for the cancel's kill.

#include "run/runchannel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

RunOutput logLine(const char *text)
{
    RunOutput output;
    output.text = text;
    return output;
}

// Whether the future is still waiting after a short while.
bool stillWaiting(const std::future<void> &done)
{
    return done.wait_for(std::chrono::milliseconds(50)) == std::future_status::timeout;
}

} // namespace

// Posts wake the window once until it takes the queue; then the next post wakes it again.
TEST(RunChannel, OneWakeUpPerTaking)
{
    std::atomic<int> wakes {0};
    RunChannel channel([&] { ++wakes; });
    channel.post(logLine("a"));
    channel.post(logLine("b"));
    channel.post(logLine("c"));
    EXPECT_EQ(wakes, 1);
    const auto taken = channel.takeAll();
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_EQ(taken.at(0).text, "a");
    EXPECT_EQ(taken.at(2).text, "c");
    EXPECT_TRUE(channel.takeAll().empty());
    channel.post(logLine("d"));
    EXPECT_EQ(wakes, 2);
}

// After the stop nothing is queued and nobody is woken: what was queued is dropped too.
TEST(RunChannel, NothingPassesAfterTheStop)
{
    for (const bool hold : {false, true}) {
        SCOPED_TRACE(hold ? "stopped holding the connection" : "stopped");
        std::atomic<int> wakes {0};
        RunChannel channel([&] { ++wakes; });
        channel.post(logLine("queued"));
        if (hold)
            EXPECT_TRUE(channel.stopAndHoldConnection());
        else
            channel.stop();
        EXPECT_TRUE(channel.stopped());
        channel.post(logLine("late"));
        EXPECT_TRUE(channel.takeAll().empty());
        EXPECT_EQ(wakes, 1);
    }
}

// The worker waits for its message to be answered, and the stop ends the wait as well.
TEST(RunChannel, MessageWaitEndsWithTheAnswerOrTheStop)
{
    for (const bool answer : {true, false}) {
        SCOPED_TRACE(answer ? "answered" : "stopped");
        RunChannel channel([] {});
        std::future<void> worker =
            std::async(std::launch::async, [&] { channel.postMessageAndWait("Failed"); });
        EXPECT_TRUE(stillWaiting(worker));
        const auto taken = channel.takeAll();
        ASSERT_EQ(taken.size(), 1u);
        EXPECT_EQ(taken.front().kind, RunOutput::Kind::Message);
        EXPECT_EQ(taken.front().text, "Failed");
        answer ? channel.messageAnswered() : channel.stop();
        EXPECT_EQ(worker.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    }
}

// A run stopped for a kill keeps the worker's connection until the kill has been sent; a plain
// stop, and a stop that comes after the hold, let it go at once or keep the hold respectively.
TEST(RunChannel, ConnectionHeldUntilReleased)
{
    RunChannel plain([] {});
    plain.stop();
    plain.awaitConnectionRelease();

    RunChannel held([] {});
    held.setServerId(42);
    held.stopAndHoldConnection();
    held.stop();
    EXPECT_EQ(held.serverId(), 42u);
    std::future<void> worker =
        std::async(std::launch::async, [&] { held.awaitConnectionRelease(); });
    EXPECT_TRUE(stillWaiting(worker));
    held.releaseConnection();
    EXPECT_EQ(worker.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

// The worker's end and the cancel's hold exclude each other: whichever comes first decides.
// A worker that has finished its statement closes its connection, so the hold does not take
// and the run goes on to its end; a run held first ends as a stopped run does.
TEST(RunChannel, FinishedRunCannotBeHeldAndHeldRunCannotFinish)
{
    RunChannel finished([] {});
    EXPECT_TRUE(finished.finishRun());
    EXPECT_FALSE(finished.stopAndHoldConnection());
    EXPECT_FALSE(finished.stopped());
    finished.post(logLine("All done!"));
    EXPECT_EQ(finished.takeAll().size(), 1u);
    // A plain stop still stops it.
    finished.stop();
    EXPECT_TRUE(finished.stopped());

    RunChannel held([] {});
    EXPECT_TRUE(held.stopAndHoldConnection());
    EXPECT_FALSE(held.finishRun());
    std::future<void> worker =
        std::async(std::launch::async, [&] { held.awaitConnectionRelease(); });
    EXPECT_TRUE(stillWaiting(worker));
    held.releaseConnection();
    EXPECT_EQ(worker.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}
