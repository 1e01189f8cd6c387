#include "common/backgroundthread.h"

#include <atomic>
#include <thread>

namespace {
std::atomic<int> runningThreads {0};
} // namespace

void startBackgroundThread(std::function<void()> work)
{
    ++runningThreads;
    try {
        std::thread([work = std::move(work)] {
            work();
            --runningThreads;
        }).detach();
    } catch (...) {
        --runningThreads;
        throw;
    }
}

int backgroundThreadsRunning()
{
    return runningThreads.load();
}
