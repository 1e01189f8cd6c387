// The program's background threads: each is counted from its start until its work has
// returned, so that the program knows when none is left talking to the server.

#include "common/backgroundthread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace {

// Waits until no background thread is left, for at most ten seconds.
bool noneLeft()
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (backgroundThreadsRunning() != 0) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::yield();
    }
    return true;
}

} // namespace

TEST(BackgroundThread, CountedUntilItsWorkHasReturned)
{
    ASSERT_TRUE(noneLeft());
    std::promise<void> started;
    std::promise<void> finish;
    std::shared_future<void> finishing = finish.get_future().share();
    startBackgroundThread([&started, finishing] {
        started.set_value();
        finishing.wait();
    });
    started.get_future().wait();
    EXPECT_EQ(backgroundThreadsRunning(), 1);
    finish.set_value();
    EXPECT_TRUE(noneLeft());
}
