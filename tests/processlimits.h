#pragma once

// What the tests and the benchmark of large results share about the process: its peak
// anonymous memory while something runs, and a file size limit that plays a full disk.

#include "store/memorybudget.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include <sys/resource.h>

// AddressSanitizer's own bookkeeping grows with the memory it watches, so bounds on the
// process's anonymous memory hold only without it.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool addressSanitizer = true;
#else
inline constexpr bool addressSanitizer = false;
#endif

// The highest anonymous memory of the process while it lives, read every 10 ms on a thread of
// its own, so a busy window thread does not hide a peak.
class AnonymousPeak
{
public:
    AnonymousPeak()
        : peak(AnonymousMemoryBytes())
        , sampler([this] {
            while (!done.load()) {
                const std::uint64_t now = AnonymousMemoryBytes();
                if (now > peak.load())
                    peak.store(now);
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        })
    { }
    ~AnonymousPeak()
    {
        done.store(true);
        sampler.join();
    }
    AnonymousPeak(const AnonymousPeak &) = delete;
    AnonymousPeak &operator=(const AnonymousPeak &) = delete;

    std::uint64_t bytes() const { return peak.load(); }

private:
    std::atomic<std::uint64_t> peak;
    std::atomic<bool> done {false};
    std::thread sampler;
};

// The process may write files up to this size while the object lives, as on a disk that is
// full; the limit it had comes back however the test ends.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit lower = saved;
        lower.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &saved); }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit saved {};
};
