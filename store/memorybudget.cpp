#include "store/memorybudget.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

std::atomic<std::size_t> budget {MemoryBudget::defaultBytes};
std::atomic<std::uint64_t> availableOverride {0};

// The sum of the values in kB of the lines that start with one of the keys, in bytes, read in
// one pass over the file.
std::uint64_t readKilobytes(const char *path, std::initializer_list<const char *> keys)
{
    std::FILE *file = std::fopen(path, "re");
    if (!file)
        return 0;
    char line[256];
    std::uint64_t value = 0;
    while (std::fgets(line, sizeof line, file)) {
        for (const char *key : keys) {
            const std::size_t keyLength = std::strlen(key);
            if (std::strncmp(line, key, keyLength) != 0)
                continue;
            unsigned long long kilobytes = 0;
            if (std::sscanf(line + keyLength, "%llu", &kilobytes) == 1)
                value += static_cast<std::uint64_t>(kilobytes) * 1024;
        }
    }
    std::fclose(file);
    return value;
}

} // namespace

std::size_t MemoryBudget::bytes()
{
    return budget.load();
}

void MemoryBudget::setBytes(std::size_t bytes)
{
    budget.store(bytes);
}

std::int64_t MemoryBudget::plotPoints()
{
    return static_cast<std::int64_t>(bytes() / 2 / 8);
}

std::uint64_t AnonymousMemoryBytes()
{
    // The counters of /proc/self/status cost the same whatever the process maps. The smaps
    // files walk every page of every mapping, under the lock that page faults and new mappings
    // take: sampled every 10 ms while a result of 100,000,000 records was read (12 GB of
    // mapped files), they slowed the whole fill and held the window up for as long as 0.7 s.
    return readKilobytes("/proc/self/status", {"RssAnon:", "VmSwap:"});
}

std::uint64_t AvailableMemoryBytes()
{
    const std::uint64_t set = availableOverride.load();
    return set != 0 ? set : readKilobytes("/proc/meminfo", {"MemAvailable:"});
}

void OverrideAvailableMemory(std::uint64_t bytes)
{
    availableOverride.store(bytes);
}
