#pragma once

#include <cstdint>
#include <string_view>

// The server reports its counters as text. Leading blanks are skipped, one sign is taken,
// then the digits up to the first non-digit; anything after them is ignored, and a text
// without digits there reads as 0.
std::int64_t parseServerInteger(std::string_view text);

// The global row-read counter is 32 bits wide on some servers and wraps; a reading below the
// run's baseline lowers the baseline by 2^32 - 1 (kept for the rest of the run), so progress
// keeps counting on. Returns the reading less the (possibly lowered) baseline.
std::int64_t rowsReadSinceBaseline(std::int64_t reading, std::int64_t &baseline);

// Texts searched for in the server's listings.
namespace ServerCounters {
inline constexpr std::string_view rowReadCounter = "Handler_read_rnd_next";
inline constexpr std::string_view statusStatement = "SHOW GLOBAL STATUS;";
inline constexpr std::string_view tableStatusStatement = "SHOW TABLE STATUS;";
inline constexpr std::int64_t baselineLowering = 4294967295LL;
} // namespace ServerCounters
