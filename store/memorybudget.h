#pragma once

#include <cstddef>
#include <cstdint>

// The program's own memory (anonymous memory, which the system cannot give back by dropping
// cached file pages) that a result may cost beyond an idle window, whatever its size. The
// records lie in files of the temporary folder (RecordFile); what a result holds in memory is
// the batch being built, a few bytes per batch, and the plot's arrays, which may take half of
// the budget: a result with more points than that fits is not offered for a plot.
namespace MemoryBudget {
inline constexpr std::size_t defaultBytes = std::size_t(256) << 20;
std::size_t bytes();
// For a test that streams a result larger than the budget it sets.
void setBytes(std::size_t bytes);
// The points a plot may hold: 8 bytes each (a time and a value), in half of the budget.
std::int64_t plotPoints();
} // namespace MemoryBudget

// The process's anonymous memory in bytes, in memory or swapped out (RssAnon and VmSwap of
// /proc/self/status); 0 where the system does not tell it.
std::uint64_t AnonymousMemoryBytes();
// The memory the system can still give the program (MemAvailable of /proc/meminfo), in bytes;
// 0 where it does not tell it.
std::uint64_t AvailableMemoryBytes();
// A figure AvailableMemoryBytes() gives instead of the system's, for a test; 0 goes back to the
// system's.
void OverrideAvailableMemory(std::uint64_t bytes);
